#include "search/prefilter.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/bit_scan.h"
#include "core/simd_level.h"
#include "core/text_document.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif
#if TV_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

void AppendUtf8(std::basic_string<unsigned char>& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<unsigned char>(c);
    } else if (c < 0x800) {
        out += static_cast<unsigned char>(0xC0 | (c >> 6));
        out += static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<unsigned char>(0xE0 | (c >> 12));
        out += static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<unsigned char>(0xF0 | (c >> 18));
        out += static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
}

bool AppendUtf8(std::basic_string<unsigned char>& out, const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xDC00 && c <= 0xDFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        AppendUtf8(out, c);
    }
    return true;
}

namespace {

std::atomic<bool> enabled{true};
std::atomic<uint64_t> bytesRead{0}, bytesCompared{0};

// Candidate checks may compare this many bytes per step, and this many per
// byte the step covers: repetitive text against a repetitive search text
// would otherwise cost the search text's length for every byte.
constexpr uint64_t WorkAllowance = 4096, WorkPerByte = 16;
std::atomic<int64_t> stepBytes{BlockPrefilter::StepBytes};
std::atomic<uint64_t> workAllowance{WorkAllowance}, workPerByte{WorkPerByte};

inline unsigned char FoldByte(unsigned char b) { return (b >= 'A' && b <= 'Z') ? (b | 0x20) : b; }


// First and last byte of the needle as the vector compares see them: a
// letter of a folded needle is compared with the byte or 0x20.
// The vector compares also test a third byte of the needle, the one least
// likely in text by this rough order (rare first), so that common first and
// last bytes do not make every other position a candidate.
int Commonness(unsigned char b) {
    static const char order[] = " etaoinsrhldcumfpgwyb0123456789.:-/,_vk=[]()x\tjqz";
    if (b >= 'A' && b <= 'Z') b |= 0x20;
    if (b == 0) return 101;  // the high byte of every ASCII unit in UTF-16
    if (b >= 0x80) return 60;  // UTF-8 lead and continuation bytes
    for (int i = 0; order[i]; ++i)
        if (static_cast<unsigned char>(order[i]) == b) return 100 - i;
    return 10;
}

size_t LeastCommon(const std::basic_string<unsigned char>& nd) {
    size_t mid = 0;
    for (size_t i = 1; i + 1 < nd.size(); ++i)
        if (mid == 0 || Commonness(nd[i]) < Commonness(nd[mid])) mid = i;
    return mid;
}

struct Ends {
    unsigned char first, last, orFirst, orLast;
    size_t mid;
    unsigned char midByte, orMid;
};

Ends EndsOf(const std::basic_string<unsigned char>& nd, bool fold, size_t mid) {
    auto letter = [&](unsigned char b) { return fold && b >= 'a' && b <= 'z'; };
    Ends e{nd.front(), nd.back(), 0, 0, mid, nd[mid], 0};
    if (letter(e.first)) e.orFirst = 0x20;
    if (letter(e.last)) e.orLast = 0x20;
    if (letter(e.midByte)) e.orMid = 0x20;
    return e;
}

// Finds the first or last candidate in a step's bytes, or where checking
// them has cost more than allowed: a place that the caller takes as a
// candidate, every place beyond it having been checked.
struct Finder {
    Finder(const std::basic_string<unsigned char>& needle, bool folded, size_t mid)
        : nd(needle), fold(folded), e(EndsOf(needle, folded, mid)), allowance(workAllowance.load()),
          perByte(workPerByte.load()) {}
    ~Finder() { bytesCompared.fetch_add(work, std::memory_order_relaxed); }
    Finder(const Finder&) = delete;
    Finder& operator=(const Finder&) = delete;

    const std::basic_string<unsigned char>& nd;
    bool fold;
    Ends e;
    uint64_t allowance, perByte;
    uint64_t work = 0;  // bytes compared

    bool At(const unsigned char* p) {
        const size_t n = nd.size();
        size_t i = 0;
        if (fold) {
            while (i < n && FoldByte(p[i]) == nd[i]) ++i;
        } else {
            while (i < n && p[i] == nd[i]) ++i;
        }
        work += i + 1;
        return i == n;
    }
    // The checks have cost more than allowed for the bytes covered so far.
    bool Spent(size_t covered) const { return work > allowance + perByte * covered; }
    bool EndsAt(const unsigned char* p) const {
        return (p[0] | e.orFirst) == e.first && (p[nd.size() - 1] | e.orLast) == e.last;
    }

    // First candidate p in [0, len - n], or -1.
    int64_t ScalarFirst(const unsigned char* b, size_t from, size_t len) {
        const size_t n = nd.size();
        for (size_t p = from; p + n <= len; ++p)
            if (EndsAt(b + p) && (At(b + p) || Spent(p))) return int64_t(p);
        return -1;
    }
    int64_t ScalarLast(const unsigned char* b, size_t to, size_t len) {  // candidates p < to
        for (size_t p = to; p-- > 0;)
            if (EndsAt(b + p) && (At(b + p) || Spent(len - p))) return int64_t(p);
        return -1;
    }

#if TV_HAVE_SSE2_PATH
    int64_t Sse2First(const unsigned char* b, size_t len) {
        const size_t n = nd.size();
        const __m128i f = _mm_set1_epi8(char(e.first)), l = _mm_set1_epi8(char(e.last));
        const __m128i of = _mm_set1_epi8(char(e.orFirst)), ol = _mm_set1_epi8(char(e.orLast));
        size_t p = 0;
        for (; p + n - 1 + 16 <= len; p += 16) {
            __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + p)), of);
            __m128i z = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + p + n - 1)), ol);
            uint32_t m = uint32_t(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, f), _mm_cmpeq_epi8(z, l))));
            for (; m; m &= m - 1) {
                const size_t k = p + bits::Low(m);
                if (At(b + k) || Spent(k)) return int64_t(k);
            }
        }
        return ScalarFirst(b, p, len);
    }
    int64_t Sse2Last(const unsigned char* b, size_t len) {
        const size_t n = nd.size();
        const __m128i f = _mm_set1_epi8(char(e.first)), l = _mm_set1_epi8(char(e.last));
        const __m128i of = _mm_set1_epi8(char(e.orFirst)), ol = _mm_set1_epi8(char(e.orLast));
        size_t to = len - n + 1;  // candidates p < to
        while (to >= 16) {
            size_t p = to - 16;
            __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + p)), of);
            __m128i z = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + p + n - 1)), ol);
            uint32_t m = uint32_t(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, f), _mm_cmpeq_epi8(z, l))));
            for (; m; m &= ~(1u << bits::High(m))) {
                const size_t k = p + bits::High(m);
                if (At(b + k) || Spent(len - k)) return int64_t(k);
            }
            to = p;
        }
        return ScalarLast(b, to, len);
    }
#endif

#if TV_HAVE_AVX2_PATH
    TV_TARGET_AVX2 int64_t Avx2First(const unsigned char* b, size_t len) {
        const size_t n = nd.size();
        const __m256i f = _mm256_set1_epi8(char(e.first)), l = _mm256_set1_epi8(char(e.last));
        const __m256i of = _mm256_set1_epi8(char(e.orFirst)), ol = _mm256_set1_epi8(char(e.orLast));
        const __m256i md = _mm256_set1_epi8(char(e.midByte)), om = _mm256_set1_epi8(char(e.orMid));
        size_t p = 0;
        for (; p + n - 1 + 32 <= len; p += 32) {
            __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + p)), of);
            __m256i z = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + p + n - 1)), ol);
            __m256i c = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + p + e.mid)), om);
            uint32_t m = uint32_t(_mm256_movemask_epi8(_mm256_and_si256(
                _mm256_and_si256(_mm256_cmpeq_epi8(a, f), _mm256_cmpeq_epi8(z, l)), _mm256_cmpeq_epi8(c, md))));
            for (; m; m &= m - 1) {
                const size_t k = p + bits::Low(m);
                if (At(b + k) || Spent(k)) return int64_t(k);
            }
        }
        return ScalarFirst(b, p, len);
    }
    TV_TARGET_AVX2 int64_t Avx2Last(const unsigned char* b, size_t len) {
        const size_t n = nd.size();
        const __m256i f = _mm256_set1_epi8(char(e.first)), l = _mm256_set1_epi8(char(e.last));
        const __m256i of = _mm256_set1_epi8(char(e.orFirst)), ol = _mm256_set1_epi8(char(e.orLast));
        const __m256i md = _mm256_set1_epi8(char(e.midByte)), om = _mm256_set1_epi8(char(e.orMid));
        size_t to = len - n + 1;
        while (to >= 32) {
            size_t p = to - 32;
            __m256i a = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + p)), of);
            __m256i z = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + p + n - 1)), ol);
            __m256i c = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + p + e.mid)), om);
            uint32_t m = uint32_t(_mm256_movemask_epi8(_mm256_and_si256(
                _mm256_and_si256(_mm256_cmpeq_epi8(a, f), _mm256_cmpeq_epi8(z, l)), _mm256_cmpeq_epi8(c, md))));
            for (; m; m &= ~(1u << bits::High(m))) {
                const size_t k = p + bits::High(m);
                if (At(b + k) || Spent(len - k)) return int64_t(k);
            }
            to = p;
        }
        return ScalarLast(b, to, len);
    }
#endif

    // First / last candidate inside b[0, len), or -1.
    int64_t First(const unsigned char* b, size_t len) {
        if (len < nd.size()) return -1;
        switch (simd_level::Current()) {
#if TV_HAVE_AVX2_PATH
        case simd_level::Avx2: return Avx2First(b, len);
#endif
#if TV_HAVE_SSE2_PATH
        case simd_level::Sse2: return Sse2First(b, len);
#endif
        default: return ScalarFirst(b, 0, len);
        }
    }
    int64_t Last(const unsigned char* b, size_t len) {
        if (len < nd.size()) return -1;
        switch (simd_level::Current()) {
#if TV_HAVE_AVX2_PATH
        case simd_level::Avx2: return Avx2Last(b, len);
#endif
#if TV_HAVE_SSE2_PATH
        case simd_level::Sse2: return Sse2Last(b, len);
#endif
        default: return ScalarLast(b, len - nd.size() + 1, len);
        }
    }
};

// The UTF-8 bytes of text; false when a character has no fixed byte form
// there (a lone surrogate, or U+FFFD, which malformed bytes decode to).
// U+FFFD may stand for malformed bytes, which do not hold its bytes.
bool Utf8Bytes(const std::u16string& text, std::basic_string<unsigned char>& out) {
    return text.find(char16_t(0xFFFD)) == std::u16string::npos && AppendUtf8(out, text);
}

} // namespace

void BlockPrefilter::Enable(bool on) { enabled.store(on); }
uint64_t BlockPrefilter::BytesRead() { return bytesRead.load(); }
uint64_t BlockPrefilter::BytesCompared() { return bytesCompared.load(); }
void BlockPrefilter::Limits(int64_t step, uint64_t allowance, uint64_t perByte) {
    stepBytes.store(step > 0 ? step : StepBytes);
    workAllowance.store(step > 0 ? allowance : WorkAllowance);
    workPerByte.store(step > 0 ? perByte : WorkPerByte);
}

BlockPrefilter::BlockPrefilter(TextDocument& doc, const std::u16string& pat, bool matchCase, bool forward)
    : doc_(doc), forward_(forward) {
    std::u16string text = pat.substr(0, pat.find(char16_t(0)));
    if (!enabled.load() || text.empty()) return;
    std::basic_string<unsigned char> nd;
    switch (doc.encoding) {
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
        if (!Utf8Bytes(text, nd)) return;
        break;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
        for (char16_t u : text) {
            unsigned char lo = static_cast<unsigned char>(u & 0xFF), hi = static_cast<unsigned char>(u >> 8);
            if (doc.encoding == Encoding::Utf16Le) nd += {lo, hi};
            else nd += {hi, lo};
        }
        break;
    case Encoding::Ansi:
        // Only ASCII other than '?' (what unmappable bytes may decode to)
        // is sure to come from the same single bytes in every code page.
        for (char16_t u : text) {
            if (u >= 0x80 || u == u'?') return;
            nd += static_cast<unsigned char>(u);
        }
        break;
    default: return;
    }
    fold_ = !matchCase;
    if (fold_)
        for (unsigned char& b : nd) b = FoldByte(b);
    needle_ = nd;
    mid_ = LeastCommon(nd);
    usable_ = true;
}

bool BlockPrefilter::Load(int64_t start, int64_t end) {
    if (start >= bufStart_ && end <= bufEnd_ && bufEnd_ > bufStart_) return true;
    const size_t want = static_cast<size_t>(end - start);
    // Room for the vector loads past the last candidate.
    buf_.resize(want + 64);
    bufStart_ = bufEnd_ = 0;
    if (!doc_.file.Seek(start, SEEK_SET)) return false;
    if (doc_.file.Read(buf_.data(), want) != want) return false;
    bytesRead.fetch_add(want, std::memory_order_relaxed);
    bufStart_ = start;
    bufEnd_ = end;
    return true;
}

void BlockPrefilter::StepForward() {
    const int64_t n = static_cast<int64_t>(needle_.size()), lo = fwdStop_;
    // The rest of the bytes already read first, then the next step.
    int64_t hi = bufEnd_;
    if (!(lo >= bufStart_ && lo + n <= bufEnd_)) {
        hi = std::min(doc_.fileSize, lo + stepBytes.load() + n - 1);
        if (!Load(lo, hi)) {  // unreadable: let the exact engine decide
            fwdHit_ = true;
            return;
        }
    }
    Finder f(needle_, fold_, mid_);
    const int64_t k = f.First(buf_.data() + (lo - bufStart_), size_t(hi - lo));
    fwdHit_ = k >= 0;
    fwdStop_ = k >= 0 ? lo + k : hi - n + 1;
}

void BlockPrefilter::StepBackward() {
    const int64_t n = static_cast<int64_t>(needle_.size()), hi = bwdStop_;
    int64_t lo = bufStart_;
    if (!(hi <= bufEnd_ && hi - n >= bufStart_)) {
        lo = std::max<int64_t>(0, hi - stepBytes.load() - n + 1);
        if (!Load(lo, hi)) {
            bwdHit_ = true;
            return;
        }
    }
    Finder f(needle_, fold_, mid_);
    const int64_t k = f.Last(buf_.data() + (lo - bufStart_), size_t(hi - lo));
    bwdHit_ = k >= 0;
    bwdStop_ = (k >= 0 ? lo + k : lo - 1) + n;  // else ends up to lo + n - 1 are left
}

bool BlockPrefilter::BlockMayMatch(uint64_t block) {
    if (!usable_ || cancelled_) return true;
    int64_t start, end;
    // The bytes the document reads for the block's lines.
    if (!doc_.BlockBytes(block, start, end) || start > end || end > doc_.fileSize) return true;
    const int64_t n = static_cast<int64_t>(needle_.size());
    if (end - start < n) return false;
    // Steps after the first report the share of the block done.
    auto more = [&](int64_t done) {
        if (!tick || tick(uint64_t(double(done) / double(end - start) * 1023))) return true;
        cancelled_ = true;
        return false;
    };
    if (forward_) {
        if (!(fwdFrom_ >= 0 && start >= fwdFrom_ && start <= fwdStop_)) {
            fwdFrom_ = fwdStop_ = start;
            fwdHit_ = false;
        }
        for (bool first = true; !fwdHit_ && fwdStop_ <= end - n; first = false) {
            if (!first && !more(fwdStop_ - start)) return true;
            StepForward();
        }
        return fwdHit_ && fwdStop_ + n <= end;
    }
    if (!(bwdTo_ >= 0 && end <= bwdTo_ && end >= bwdStop_)) {
        bwdTo_ = bwdStop_ = end;
        bwdHit_ = false;
    }
    for (bool first = true; !bwdHit_ && bwdStop_ >= start + n; first = false) {
        if (!first && !more(end - bwdStop_)) return true;
        StepBackward();
    }
    return bwdHit_ && bwdStop_ - n >= start;
}

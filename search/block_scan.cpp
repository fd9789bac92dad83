#include "search/block_scan.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/encoding.h"
#include "core/platform.h"
#include "core/simd_level.h"
#include "core/text_document.h"
#include "search/match_rules.h"
#include "search/match_count.h"
#include "search/prefilter.h"
#include "search/simd.h"
#include "core/utf8_sequence.h"

#if TV_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

namespace {

std::atomic<bool> enabled{true};

// Bytes read from the file per step (whole blocks).
// A file read: a chunk of blocks up to this size (a larger block is read
// alone). Reads are made ahead on another thread, one handover per chunk.
constexpr int64_t ChunkBytes = 1 << 20;
std::atomic<int64_t> chunkBytes{ChunkBytes};
// Blocks larger than this go line by line.
constexpr int64_t LargestBlock = 4 << 20;
// Readable units after every text handed to the matcher.
constexpr size_t PadUnits = 64;


bool CleanUtf8Scalar(const unsigned char* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        // Eight ASCII bytes without a NUL at a time.
        while (n - i >= 8) {
            uint64_t w;
            std::memcpy(&w, p + i, 8);
            if ((w & 0x8080808080808080ull) || ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull)) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char c = p[i];
        if (c == 0) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        const size_t k = Utf8SequenceLength(p + i, n - i);
        if (k == 0) return false;
        i += k;
    }
    return true;
}

#if TV_HAVE_AVX2_PATH
// Well-formedness by table lookups on the high and low nibbles of each byte
// and the high nibble of the next (every error of two bytes shows as a common
// bit), plus a check that third and fourth bytes are continuations exactly
// where a lead byte calls for them.
constexpr uint8_t TooShort = 1 << 0;   // lead, then ASCII or a lead
constexpr uint8_t TooLong = 1 << 1;    // ASCII, then a continuation
constexpr uint8_t Overlong3 = 1 << 2;  // E0 80..9F
constexpr uint8_t TooLarge = 1 << 3;   // F4 90.., F5..FF 90..
constexpr uint8_t Surrogate = 1 << 4;  // ED A0..BF
constexpr uint8_t Overlong2 = 1 << 5;  // C0, C1
constexpr uint8_t TooLarge1000 = 1 << 6;  // F5..FF 80..8F
constexpr uint8_t Overlong4 = 1 << 6;     // F0 80..8F
constexpr uint8_t TwoConts = 1 << 7;      // continuation, then a continuation
constexpr uint8_t Carry = TooShort | TooLong | TwoConts;

TV_TARGET_AVX2 inline __m256i Table(uint8_t a0, uint8_t a1, uint8_t a2, uint8_t a3, uint8_t a4, uint8_t a5,
                                    uint8_t a6, uint8_t a7, uint8_t a8, uint8_t a9, uint8_t a10, uint8_t a11,
                                    uint8_t a12, uint8_t a13, uint8_t a14, uint8_t a15) {
    return _mm256_setr_epi8(char(a0), char(a1), char(a2), char(a3), char(a4), char(a5), char(a6), char(a7),
                            char(a8), char(a9), char(a10), char(a11), char(a12), char(a13), char(a14), char(a15),
                            char(a0), char(a1), char(a2), char(a3), char(a4), char(a5), char(a6), char(a7),
                            char(a8), char(a9), char(a10), char(a11), char(a12), char(a13), char(a14), char(a15));
}

// The 32 bytes before each position of in, continuing from prev, by k.
template <int K>
TV_TARGET_AVX2 inline __m256i Before(__m256i in, __m256i prev) {
    return _mm256_alignr_epi8(in, _mm256_permute2x128_si256(prev, in, 0x21), 16 - K);
}

struct Utf8Check {
    __m256i high1, low1, high2, openMax;
    __m256i prev, open, err;

    TV_TARGET_AVX2 Utf8Check() {
        high1 = Table(TooLong, TooLong, TooLong, TooLong, TooLong, TooLong, TooLong, TooLong, TwoConts, TwoConts,
                      TwoConts, TwoConts, TooShort | Overlong2, TooShort, TooShort | Overlong3 | Surrogate,
                      TooShort | TooLarge | TooLarge1000 | Overlong4);
        const uint8_t big = Carry | TooLarge | TooLarge1000;
        low1 = Table(Carry | Overlong3 | Overlong2 | Overlong4, Carry | Overlong2, Carry, Carry, Carry | TooLarge,
                     big, big, big, big, big, big, big, big, big | Surrogate, big, big);
        const uint8_t cont = TooLong | Overlong2 | TwoConts;
        high2 = Table(TooShort, TooShort, TooShort, TooShort, TooShort, TooShort, TooShort, TooShort,
                      cont | Overlong3 | TooLarge1000 | Overlong4, cont | Overlong3 | TooLarge,
                      cont | Surrogate | TooLarge, cont | Surrogate | TooLarge, TooShort, TooShort, TooShort, TooShort);
        // Above the lead bytes whose sequences the last 3 bytes leave open.
        openMax = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                   -1, -1, -1, -1, -1, -1, -1, -1, -1, char(0xF0 - 1), char(0xE0 - 1),
                                   char(0xC0 - 1));
        prev = open = err = _mm256_setzero_si256();
    }

    TV_TARGET_AVX2 TV_ALWAYS_INLINE void Step(__m256i in) {
        const __m256i nib = _mm256_set1_epi8(0x0F);
        err = _mm256_or_si256(err, _mm256_cmpeq_epi8(in, _mm256_setzero_si256()));
        if (_mm256_movemask_epi8(in) == 0) {  // ASCII: only a sequence left open before is an error
            err = _mm256_or_si256(err, open);
            open = _mm256_setzero_si256();
        } else {
            const __m256i p1 = Before<1>(in, prev);
            const __m256i special = _mm256_and_si256(
                _mm256_and_si256(_mm256_shuffle_epi8(high1, _mm256_and_si256(_mm256_srli_epi16(p1, 4), nib)),
                                 _mm256_shuffle_epi8(low1, _mm256_and_si256(p1, nib))),
                _mm256_shuffle_epi8(high2, _mm256_and_si256(_mm256_srli_epi16(in, 4), nib)));
            const __m256i third = _mm256_subs_epu8(Before<2>(in, prev), _mm256_set1_epi8(char(0xE0 - 0x80)));
            const __m256i fourth = _mm256_subs_epu8(Before<3>(in, prev), _mm256_set1_epi8(char(0xF0 - 0x80)));
            const __m256i must = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
            err = _mm256_or_si256(err, _mm256_xor_si256(must, special));
            open = _mm256_subs_epu8(in, openMax);
        }
        prev = in;
    }
};

TV_TARGET_AVX2 bool CleanUtf8Avx2(const unsigned char* p, size_t n) {
    Utf8Check c;
    size_t i = 0;
    for (; n - i >= 32; i += 32) c.Step(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
    // The rest with spaces after it: a sequence cut by the end shows as too short.
    unsigned char last[32];
    std::memset(last, ' ', sizeof last);
    std::memcpy(last, p + i, n - i);
    c.Step(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(last)));
    return _mm256_testz_si256(c.err, c.err) != 0;
}
#endif

#if TV_HAVE_AVX2_PATH
// Whether any of the n units at t is U+0000: 64 units a step, their minimum
// compared with zero.
TV_TARGET_AVX2 bool HasNulAvx2(const char16_t* t, size_t n) {
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    for (; n - i >= 64; i += 64) {
        const __m256i* p = reinterpret_cast<const __m256i*>(t + i);
        const __m256i low = _mm256_min_epu16(_mm256_min_epu16(_mm256_loadu_si256(p), _mm256_loadu_si256(p + 1)),
                                             _mm256_min_epu16(_mm256_loadu_si256(p + 2), _mm256_loadu_si256(p + 3)));
        const __m256i z = _mm256_cmpeq_epi16(low, zero);
        if (!_mm256_testz_si256(z, z)) return true;
    }
    return simd::FindNul(t, i, n) != n;
}
#endif

#if TV_HAVE_AVX2_PATH
// Big-endian units into the host's order, 32 bytes a step.
TV_TARGET_AVX2 void SwapUnitsAvx2(char16_t* t, size_t n) {
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4,
                                          7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    size_t i = 0;
    for (; n - i >= 16; i += 16) {
        __m256i* p = reinterpret_cast<__m256i*>(t + i);
        _mm256_storeu_si256(p, _mm256_shuffle_epi8(_mm256_loadu_si256(p), swap));
    }
    SwapBytes16Large(t + i, n - i);
}
#endif

void SwapUnits(char16_t* t, size_t n) {
#if TV_HAVE_AVX2_PATH
    if (simd_level::Current() == simd_level::Avx2) return SwapUnitsAvx2(t, n);
#endif
    SwapBytes16Large(t, n);
}

// The search text up to its first NUL.
std::u16string Searched(const std::u16string& pat) { return pat.substr(0, pat.find(char16_t(0))); }

} // namespace

bool CleanUtf8(const unsigned char* p, size_t n) {
#if TV_HAVE_AVX2_PATH
    if (simd_level::Current() == simd_level::Avx2) return CleanUtf8Avx2(p, n);
#endif
    return CleanUtf8Scalar(p, n);
}

bool HasNul(const char16_t* t, size_t n) {
#if TV_HAVE_AVX2_PATH
    if (simd_level::Current() == simd_level::Avx2) return HasNulAvx2(t, n);
#endif
    return simd::FindNul(t, 0, n) != n;
}

void BlockScan::Enable(bool on) { enabled.store(on); }

void BlockScan::ChunkLimit(int64_t bytes) { chunkBytes.store(bytes > 0 ? bytes : ChunkBytes); }

BlockScan::BlockScan(TextDocument& doc, const std::u16string& pat, const FindOptions& opt)
    : doc_(doc), wholeWord_(opt.wholeWord), units_(pat, opt.matchCase),
      bytes_(std::basic_string<unsigned char>(), false) {
    const std::u16string text = Searched(pat);
    if (!enabled.load() || text.empty()) return;
    if (text.find_first_of(u"\r\n") != std::u16string::npos) return;
    std::basic_string<unsigned char> b;
    switch (doc.encoding) {
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
        for (size_t i = 0; i < text.size(); ++i) {
            uint32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                return;  // a lone surrogate has no UTF-8 form
            }
            if (c == 0xFFFD) alwaysCheck_ = true;
            AppendUtf8(b, c);
        }
        asciiOnly_ = std::all_of(b.begin(), b.end(), [](unsigned char c) { return c < 0x80; });
        bytes_ = ByteMatcher(b, opt.matchCase);
        utf8_ = true;
        break;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: utf16_ = true; break;
    case Encoding::Ansi:
        // ASCII other than '?' comes from the same single byte in every code
        // page, and no other bytes decode to it.
        rawFilter_ = std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80 && u != u'?'; });
        if (rawFilter_) {
            b.assign(text.begin(), text.end());
            bytes_ = ByteMatcher(b, opt.matchCase);
            for (int k = 0; k < 256; ++k) lead_[k] = platform::IsAnsiLeadByte(static_cast<unsigned char>(k));
            ansiUtf8_ = platform::AnsiIsUtf8();
        }
        ansi_ = true;
        break;
    default: return;
    }
    usable_ = true;
    ahead_.Open(doc_.openedPath, doc_.file);
}

bool BlockScan::BlockRange(uint64_t block, int64_t& start, int64_t& end) const {
    // As the line source reads blocks.
    if (!doc_.BlockBytes(block, start, end)) return false;
    return start <= end && end - start <= std::min(doc_.BlockBound(), LargestBlock) && end <= doc_.fileSize;
}

int64_t BlockScan::ChunkEnd(int64_t cs, int64_t ce, uint64_t& hi) const {
    const uint64_t blocks = doc_.lineIndex.size();
    int64_t s, e;
    const int64_t limit = chunkBytes.load(std::memory_order_relaxed);
    while (hi < blocks && BlockRange(hi, s, e) && s == ce && e - cs <= limit) {
        ce = e;
        ++hi;
    }
    return ce;
}

bool BlockScan::Fill(uint64_t block) {
    chunkFirst_ = chunkEnd_ = 0;
    int64_t cs, ce;
    if (!BlockRange(block, cs, ce)) return false;
    uint64_t hi = block + 1;
    ce = ChunkEnd(cs, ce, hi);
    // Units that hold n bytes and the padding after them.
    auto units = [](size_t n) { return n / 2 + 1 + PadUnits; };
    const size_t want = size_t(ce - cs);
    if (ahead_.Get(doc_.file, cs, want, units(want), buf_) != want) return false;
    if (!ahead_.Pending()) {
        // Reads ahead go on from here.
        aheadBlock_ = hi;
        aheadStart_ = ce;
    }
    std::memset(reinterpret_cast<char*>(buf_.data()) + want, 0, PadUnits * 2 + 1);
    if (doc_.encoding == Encoding::Utf16Be) SwapUnits(buf_.data(), want / 2);
    chunkFirst_ = block;
    chunkEnd_ = hi;
    chunkStart_ = cs;
    int64_t s, e;
    while (ahead_.Room() && BlockRange(aheadBlock_, s, e) && s == aheadStart_) {
        uint64_t after = aheadBlock_ + 1;
        e = ChunkEnd(s, e, after);
        ahead_.Start(s, size_t(e - s), units(size_t(e - s)));
        aheadBlock_ = after;
        aheadStart_ = e;
    }
    return true;
}

int BlockScan::Decided(const unsigned char* raw, size_t n, size_t s) {
    const size_t len = bytes_.size();
    if (s == 0) return -1;
    // Lead bytes just before `end`. A byte that is no lead byte ends a
    // character (one takes one byte, or a lead byte and the next), and the
    // lead bytes after it pair up from the start of their run, as where the
    // document cuts a block.
    auto leads = [&](size_t end) {
        size_t k = end;
        while (k > 0 && lead_[raw[k - 1]]) --k;
        return end - k;
    };
    const size_t before = leads(s);
    // A lead byte right before s: what it does with an ASCII byte is the code
    // page's; decoding from the start of its run tells.
    if (before % 2) return DecodedNear(raw, n, s, s - before);
    // s starts a character: the occurrence is its ASCII characters.
    if (!wholeWord_) return 1;
    // After the occurrence a character starts: ASCII decodes as it is.
    if (s + len < n && raw[s + len] < 0x80 && IsLetter(raw[s + len])) return 0;
    // Before it: a byte above 127 (the end of a double-byte character or a
    // character of its own, no letter either way), or ASCII, its own
    // character unless a lead byte just before it takes it.
    if (raw[s - 1] >= 0x80) return 1;
    const size_t earlier = leads(s - 1);
    if (earlier % 2) return DecodedNear(raw, n, s, s - 1 - earlier);
    return IsLetter(raw[s - 1]) ? 0 : 1;
}

int BlockScan::DecodedNear(const unsigned char* raw, size_t n, size_t s, size_t q) {
    const size_t len = bytes_.size();
    const size_t k = s + len - q;
    if (k > 0x7FFFFFFF) return -1;
    if (near_.size() < k) near_.resize(k);
    const int r = platform::MultiByteToWide(platform::CodePageAnsi, reinterpret_cast<const char*>(raw) + q, int(k),
                                            near_.data(), int(k));
    // The bytes before s give at least one unit.
    if (r <= int(len)) return -1;
    const char16_t* at = near_.data() + (r - int(len));
    for (size_t j = 0; j < len; ++j)
        if (at[j] != raw[s + j]) return 0;
    if (!wholeWord_) return 1;
    if (IsLetter(at[-1]) || (s + len < n && raw[s + len] < 0x80 && IsLetter(raw[s + len]))) return 0;
    return 1;
}

bool BlockScan::Text(uint64_t block, const unsigned char*& raw, size_t& n) {
    if (!usable_ || !doc_.file.IsOpen()) return false;
    int64_t start, end;
    if (!BlockRange(block, start, end)) return false;
    if (block < chunkFirst_ || block >= chunkEnd_) {
        if (!Fill(block)) return false;
    }
    n = size_t(end - start);
    raw = reinterpret_cast<const unsigned char*>(buf_.data()) + size_t(start - chunkStart_);
    return true;
}

bool BlockScan::Utf8AsIs(const unsigned char* raw, size_t n, const bool* nul) const {
    // Malformed bytes decode to units above 127 and leave every ASCII byte
    // as it is, except that a sequence cut by the end of the block takes
    // the rest of it: away from such an end, an ASCII search text needs
    // only a block without NUL.
    bool leadAtEnd = false;
    for (size_t k = n > 3 ? n - 3 : 0; k < n; ++k) leadAtEnd |= raw[k] >= 0xC0;
    if (asciiOnly_ && !leadAtEnd) return nul ? !*nul : simd::FindNul(raw, 0, n) == n;
    return CleanUtf8(raw, n);
}

bool BlockScan::List(uint64_t block, LineSpans& lines) {
    const unsigned char* raw;
    size_t n;
    if (!(utf8_ || utf16_) || !Text(block, raw, n)) return false;
    const size_t before = lines.size();
    // A block before the last ends each of its lines.
    const size_t ends = block + 1 < doc_.lineIndex.size() ? size_t(doc_.Stride()) : SIZE_MAX;
    bool nul = false;
    if (utf16_) {
        if (reinterpret_cast<uintptr_t>(raw) % 2) return false;
        const char16_t* t = reinterpret_cast<const char16_t*>(raw);
        units_.Begin(t, n / 2, true);
        if (!units_.ListLines(wholeWord_, ends, lines, nul)) return false;
        return lines.size() == before || !nul;
    }
    bytes_.Begin(raw, n, true);
    if (!bytes_.ListLines(wholeWord_, ends, lines, nul)) return false;
    return (lines.size() == before && !alwaysCheck_) || Utf8AsIs(raw, n, &nul);
}

bool BlockScan::Count(uint64_t block, uint64_t& count) {
    count = 0;
    const unsigned char* raw;
    size_t n;
    if (!Text(block, raw, n)) return false;
    const size_t offset = size_t(raw - reinterpret_cast<const unsigned char*>(buf_.data()));
    bool seen = false;
    bool nul = false;
    if (utf8_) {
        count = CountMatches(bytes_, raw, n, true, wholeWord_, seen, &nul);
        return !(seen || alwaysCheck_) || Utf8AsIs(raw, n, seen ? &nul : nullptr);
    }
    if (utf16_) {
        if (offset % 2) return false;
        const char16_t* t = buf_.data() + offset / 2;
        count = CountMatches(units_, t, n / 2, true, wholeWord_, seen, &nul);
        return !seen || !nul;
    }
    // ANSI: counted in the bytes when every occurrence there is sure to be
    // one in the decoded text (and the block has no NUL, which ends a line's
    // text), else decoded as the document decodes a block. For an ASCII
    // search text, a byte after two ASCII bytes (or after the block's start,
    // where decoding starts) begins a character in every code page whose
    // characters take one or two bytes and whose lead bytes are above 127,
    // so an occurrence there is ASCII characters, decoded as they are. Its
    // neighbours are the same letters or non-letters in the decoded text: a
    // byte above 127 decodes to no ASCII letter. The other occurrences are
    // judged one by one by the lead bytes just before them.
    // The ANSI code page 65001 has no lead bytes, but there, as in UTF-8
    // blocks, a sequence cut by the end of the block takes the rest of it.
    bool cut = false;
    if (ansiUtf8_)
        for (size_t k = n > 3 ? n - 3 : 0; k < n; ++k) cut |= raw[k] >= 0xC0;
    if (rawFilter_ && !cut) {
        bool exact = false;
        unsure_.clear();
        count = CountMatches(bytes_, raw, n, true, wholeWord_, seen, exact, true, &unsure_);
        if (exact && simd::FindNul(raw, 0, n) == n) {
            size_t k = 0;
            for (int r; k < unsure_.size() && (r = Decided(raw, n, unsure_[k])) >= 0; ++k) count += uint64_t(r);
            if (k == unsure_.size()) return true;
        }
        count = 0;
    }
    if (n == 0) return true;
    if (n > 0x7FFFFFFF) return false;
    if (decoded_.size() < n + PadUnits) decoded_.resize(n + PadUnits);
    const int r = platform::MultiByteToWide(platform::CodePageAnsi, reinterpret_cast<const char*>(raw), int(n),
                                            decoded_.data(), int(n));
    if (r <= 0) return false;
    std::fill(decoded_.begin() + r, decoded_.begin() + r + PadUnits, char16_t(0));
    if (HasNul(decoded_.data(), size_t(r))) return false;
    count = CountMatches(units_, decoded_.data(), size_t(r), true, wholeWord_, seen);
    return true;
}

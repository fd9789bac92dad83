#include "search/line_source.h"

#include <algorithm>
#include <cstring>

#include "core/encoding.h"
#include "core/platform.h"
#include "core/text_document.h"
#include "search/simd.h"
#include "core/utf8_sequence.h"

namespace {

inline bool Cont(unsigned char b) { return (b & 0xC0) == 0x80; }

const char16_t EmptyUnits[1] = {0};

// First index at or after i holding CR, LF or NUL, or n.
size_t LineEnd(const char16_t* p, size_t i, size_t n) {
#if TV_SSE2
    const __m128i cr = _mm_set1_epi16(0x0D), lf = _mm_set1_epi16(0x0A), zero = _mm_setzero_si128();
    while (i < n && n - i >= 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, cr), _mm_cmpeq_epi16(v, lf)),
                                 _mm_cmpeq_epi16(v, zero));
        uint32_t bits = uint32_t(_mm_movemask_epi8(m));
        if (bits) return i + bits::Low(bits) / 2;
        i += 8;
    }
#endif
    while (i < n && p[i] != 0x0D && p[i] != 0x0A && p[i] != 0) ++i;
    return i;
}

// Widens the run of ASCII bytes at the start of [s, s + n); returns its length.
size_t WidenAscii(const unsigned char* s, size_t n, char16_t* out) {
    size_t i = 0;
#if TV_SSE2
    const __m128i zero = _mm_setzero_si128();
    while (n - i >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        uint32_t high = uint32_t(_mm_movemask_epi8(v));
        if (high) {
            size_t k = bits::Low(high);
            for (size_t j = 0; j < k; ++j) out[i + j] = s[i + j];
            return i + k;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
        i += 16;
    }
#endif
    while (i < n && s[i] < 0x80) {
        out[i] = s[i];
        ++i;
    }
    return i;
}

// The same lines the document's block split gives: CR LF, CR and LF end a
// line and stay in it; the first NUL ends the split; a last entry after a
// final line end (or a NUL in a block ending with one) is dropped.
template <class U>
void SplitLines(const U* p, size_t n, std::vector<size_t>& starts) {
    starts.clear();
    starts.push_back(0);
    size_t i = 0;
    for (;;) {
        i = LineEnd(p, i, n);
        if (i == n || p[i] == 0) {
            starts.push_back(i);
            break;
        }
        i += (p[i] == 0x0D && i + 1 < n && p[i + 1] == 0x0A) ? 2 : 1;
        starts.push_back(i);
    }
    if (n > 0 && (p[n - 1] == 0x0D || p[n - 1] == 0x0A)) starts.pop_back();
}


// SplitLines over bytes that checks on the way that they are well-formed
// UTF-8 up to the NUL or end that ends the split; false when they are not.
bool SplitWellFormedUtf8(const unsigned char* p, size_t n, std::vector<size_t>& starts) {
    starts.clear();
    starts.push_back(0);
    size_t j = 0;
    for (;;) {
        // j moves to the next CR, LF or NUL (or n), over well-formed text
        for (;;) {
#if TV_SSE2
            const __m128i cr = _mm_set1_epi8(0x0D), lf = _mm_set1_epi8(0x0A), zero = _mm_setzero_si128();
            while (n - j >= 16) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j));
                uint32_t term = uint32_t(_mm_movemask_epi8(
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, zero))));
                uint32_t high = uint32_t(_mm_movemask_epi8(v));
                if (!(term | high)) {
                    j += 16;
                    continue;
                }
                if (term && (!high || bits::Low(term) < bits::Low(high))) {
                    j += bits::Low(term);
                    goto found;
                }
                j += bits::Low(high);
                break;
            }
#endif
            if (j >= n) goto found;
            const unsigned char c = p[j];
            if (c == 0x0D || c == 0x0A || c == 0) goto found;
            if (c < 0x80) {
                ++j;
                continue;
            }
            while (j < n && p[j] >= 0x80) {
                size_t k = Utf8SequenceLength(p + j, n - j);
                if (k == 0) return false;
                j += k;
            }
        }
    found:
        if (j >= n || p[j] == 0) {
            starts.push_back(j < n ? j : n);
            // The bytes after a NUL give no lines but must be well-formed
            // too: a broken sequence there can change the decoded end.
            for (size_t k = j; k < n;) {
                if (p[k] < 0x80) {
                    ++k;
                    continue;
                }
                size_t w = Utf8SequenceLength(p + k, n - k);
                if (w == 0) return false;
                k += w;
            }
            break;
        }
        j += (p[j] == 0x0D && j + 1 < n && p[j + 1] == 0x0A) ? 2 : 1;
        starts.push_back(j);
    }
    if (n > 0 && (p[n - 1] == 0x0D || p[n - 1] == 0x0A)) starts.pop_back();
    return true;
}

// Decodes n bytes of well-formed UTF-8; false at the first malformed or
// truncated sequence.
bool DecodeWellFormedUtf8(const unsigned char* s, size_t n, char16_t* out, size_t& o) {
    size_t i = 0;
    o = 0;
    while (i < n) {
        size_t k = WidenAscii(s + i, n - i, out + o);
        i += k;
        o += k;
        while (i < n && s[i] >= 0x80) {
            const unsigned char c = s[i];
            if (c >= 0xC2 && c <= 0xDF) {
                if (n - i < 2 || !Cont(s[i + 1])) return false;
                out[o++] = char16_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
                i += 2;
            } else if (c >= 0xE0 && c <= 0xEF) {
                if (n - i < 3 || !Cont(s[i + 1]) || !Cont(s[i + 2])) return false;
                if (c == 0xE0 && s[i + 1] < 0xA0) return false;  // overlong
                if (c == 0xED && s[i + 1] > 0x9F) return false;  // surrogate
                out[o++] = char16_t(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
                i += 3;
            } else if (c >= 0xF0 && c <= 0xF4) {
                if (n - i < 4 || !Cont(s[i + 1]) || !Cont(s[i + 2]) || !Cont(s[i + 3])) return false;
                if (c == 0xF0 && s[i + 1] < 0x90) return false;  // overlong
                if (c == 0xF4 && s[i + 1] > 0x8F) return false;  // above U+10FFFF
                uint32_t cp = (uint32_t(c & 0x07) << 18) | (uint32_t(s[i + 1] & 0x3F) << 12) |
                              (uint32_t(s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
                cp -= 0x10000;
                out[o++] = char16_t(0xD800 | (cp >> 10));
                out[o++] = char16_t(0xDC00 | (cp & 0x3FF));
                i += 4;
            } else {
                return false;
            }
        }
    }
    return true;
}

} // namespace

LineSource::LineSource(TextDocument& doc, bool forward, bool bytes)
    : doc_(doc), forward_(forward), wantBytes_(bytes) {}

bool LineSource::BlockRange(uint64_t block, int64_t& start, int64_t& end) const {
    return doc_.BlockBytes(block, start, end);
}

AnyLine LineSource::GetAny(uint64_t line) {
    if (line >= doc_.lineCount) return {EmptyUnits, nullptr, 0, false};
    // The lines [blockFirst_, blockEnd_) are those of the block held.
    if (!haveBlock_ || line < blockFirst_ || line >= blockEnd_) {
        const uint64_t block = doc_.BlockOfLine(line);
        blockFirst_ = doc_.FirstLineOfBlock(block);
        blockEnd_ = doc_.FirstLineOfBlock(block + 1);
        haveBlock_ = true;
        fallback_ = !LoadBlock(block);
    }
    if (fallback_) {
        const std::u16string& s = doc_.LineTextRef(line);
        return {s.data(), nullptr, s.size(), false};
    }
    const uint64_t k = line - blockFirst_;
    if (k + 1 >= starts_.size()) return {EmptyUnits, nullptr, 0, false};
    const size_t from = starts_[size_t(k)], length = starts_[size_t(k + 1)] - from;
    if (heldAsBytes_) return {nullptr, blockBytes_ + from, length, true};
    return {units_.data() + from, nullptr, length, true};
}

AnyLine LineSource::GetBlockOf(uint64_t line) {
    const AnyLine first = GetAny(line);
    if (!first.padded || starts_.empty()) return {EmptyUnits, nullptr, 0, false};
    const size_t end = starts_.back();
    if (heldAsBytes_) return {nullptr, blockBytes_, end, true};
    return {units_.data(), nullptr, end, true};
}

bool LineSource::RawUtf8Block(uint64_t block, const unsigned char*& bytes, size_t& n) {
    if (doc_.encoding != Encoding::Utf8 && doc_.encoding != Encoding::Utf8Bom) return false;
    if (!doc_.file.IsOpen() || doc_.lineIndex.empty()) return false;
    int64_t start, end;
    if (!BlockRange(block, start, end) || end < start) return false;
    haveBlock_ = false;  // the held block's text may point into a chunk read again
    const char* at;
    if (!InChunk(block, start, end, at)) return false;
    bytes = reinterpret_cast<const unsigned char*>(at);
    n = size_t(end - start);
    return true;
}

bool LineSource::InChunk(uint64_t block, int64_t start, int64_t end, const char*& at) {
    if (end - start > doc_.BlockBound() || end - start > FastBlockBytes) return false;
    if (block < chunkFirst_ || block >= chunkEnd_ || start < chunkStart_) {
        if (!FillChunk(block)) return false;
    }
    const int64_t offset = start - chunkStart_;
    if (offset < 0 || uint64_t(offset) + uint64_t(end - start) > bytes_.size()) return false;
    at = bytes_.data() + offset;
    return true;
}

LineView LineSource::Get(uint64_t line) {
    AnyLine a = GetAny(line);
    if (a.bytes) {
        if (!DecodeHeldBytes()) fallback_ = true;
        a = GetAny(line);
    }
    return {a.units, a.length};
}

bool LineSource::LoadBlock(uint64_t block) {
    switch (doc_.encoding) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8:
    case Encoding::Ansi:
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: break;
    default: return false;
    }
    if (!doc_.file.IsOpen() || doc_.lineIndex.empty()) return false;
    int64_t start, end;
    if (!BlockRange(block, start, end)) return false;
    if (end - start <= 0) {  // a block without bytes has no lines
        unitCount_ = 0;
        heldAsBytes_ = false;
        starts_.assign(1, 0);
        return true;
    }
    const char* at;
    if (!InChunk(block, start, end, at)) return false;
    const size_t n = size_t(end - start);
    heldAsBytes_ = false;
    const bool utf8 = doc_.encoding == Encoding::Utf8 || doc_.encoding == Encoding::Utf8Bom;
    // Well-formed UTF-8 is searched as it is: its CR, LF and NUL bytes are
    // exactly the CR, LF and NUL units of the decoded text.
    if (wantBytes_ && utf8 && SplitWellFormedUtf8(reinterpret_cast<const unsigned char*>(at), n, starts_)) {
        blockBytes_ = reinterpret_cast<const unsigned char*>(at);
        blockByteCount_ = n;
        heldAsBytes_ = true;
        return true;
    }
    if (!Decode(at, n)) return false;
    SplitLines(units_.data(), unitCount_, starts_);
    return true;
}

bool LineSource::FillChunk(uint64_t block) {
    chunkFirst_ = chunkEnd_ = 0;
    int64_t cs, ce;
    if (!BlockRange(block, cs, ce) || ce < cs) return false;
    uint64_t lo = block, hi = block + 1;
    const uint64_t blocks = doc_.lineIndex.size();
    int64_t s, e;
    if (forward_) {
        while (hi < blocks && BlockRange(hi, s, e) && s == ce && e >= s && e - cs <= ChunkBytes) {
            ce = e;
            ++hi;
        }
    } else {
        while (lo > 0 && BlockRange(lo - 1, s, e) && e == cs && e >= s && ce - s <= ChunkBytes) {
            cs = s;
            --lo;
        }
    }
    const size_t want = size_t(ce - cs);
    if (bytes_.size() < want + Padding) bytes_.resize(want + Padding);
    if (!doc_.file.Seek(cs, SEEK_SET)) return false;
    if (doc_.file.Read(bytes_.data(), want) != want) return false;  // the file changed: use the cache
    chunkFirst_ = lo;
    chunkEnd_ = hi;
    chunkStart_ = cs;
    return true;
}

bool LineSource::Decode(const char* bytes, size_t n) {
    const Encoding enc = doc_.encoding;
    if (IsUtf16(enc)) {
        const size_t units = n / 2;
        if (units_.size() < units + Padding) units_.resize(units + Padding);
        if (units) std::memcpy(units_.data(), bytes, units * 2);
        if (enc == Encoding::Utf16Be) SwapBytes16Large(units_.data(), units);
        unitCount_ = units;
        return true;
    }
    if (n > 0x7FFFFFFF) return false;
    if (units_.size() < n + Padding) units_.resize(n + Padding);  // one byte gives at most one unit
    char16_t* out = units_.data();
    if (enc == Encoding::Ansi) {
        int r = platform::MultiByteToWide(platform::CodePageAnsi, bytes, int(n), out, int(n));
        if (r <= 0) return false;
        unitCount_ = size_t(r);
        return true;
    }
    // UTF-8: well-formed text, which every decoder turns into the same
    // units, is decoded here; a block with any malformed sequence goes to the
    // platform whole, exactly as the document decodes it.
    size_t o = 0;
    if (DecodeWellFormedUtf8(reinterpret_cast<const unsigned char*>(bytes), n, out, o)) {
        unitCount_ = o;
        return true;
    }
    int r = platform::MultiByteToWide(platform::CodePageUtf8, bytes, int(n), out, int(n));
    if (r <= 0) return false;
    unitCount_ = size_t(r);
    return true;
}

bool LineSource::DecodeHeldBytes() {
    // Turns a block held as bytes into units (the bytes after a NUL may be
    // malformed, so this decodes as any block).
    heldAsBytes_ = false;
    if (!Decode(reinterpret_cast<const char*>(blockBytes_), blockByteCount_)) return false;
    SplitLines(units_.data(), unitCount_, starts_);
    return true;
}

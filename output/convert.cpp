// Save As conversion: each block of 100 lines is read from the document's
// stream, converted to the target encoding and written to a temporary file
// beside the target, which finally takes the target's name.
#include "output/convert.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/platform.h"
#include "core/fast_convert.h"
#include "core/file_identity.h"

namespace {

bool HostIsLittleEndian() {
    const uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

Encoding Normalise(Encoding e) { return e == Encoding::Utf8 ? Encoding::Utf8Bom : e; }

bool InTable(Encoding e) {
    return e == Encoding::Utf8Bom || e == Encoding::Utf16Le || e == Encoding::Utf16Be ||
           e == Encoding::Ansi;
}

void SwapBytePairs(char* p, size_t bytes) {
    for (size_t i = 0; i + 1 < bytes; i += 2) std::swap(p[i], p[i + 1]);
}

// Writes host-order units in the byte order of target.
bool SinkUnits(char16_t* units, size_t count, Encoding target, const ByteSink& sink) {
    if (count == 0) return true;
    bool wantLittle = target == Encoding::Utf16Le;
    if (wantLittle != HostIsLittleEndian()) SwapBytes16Large(units, count);
    return sink(reinterpret_cast<const char*>(units), count * 2);
}

bool SinkString(const std::string& s, const ByteSink& sink) {
    return s.empty() || sink(s.data(), s.size());
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// Units to a byte target through the platform call alone.
std::string EncodePlain(Encoding target, const char16_t* units, size_t count) {
    const int32_t len = static_cast<int32_t>(count);
    return target == Encoding::Ansi ? WideToAnsi(units, len) : WideToUtf8(units, len);
}

// Units to a byte target: the fast path when there are buffers.
bool SinkEncoded(Encoding target, const char16_t* units, size_t count, ConvertBuffers* buffers,
                 const ByteSink& sink) {
    if (count == 0) return true;
    if (buffers) {
        char* out = buffers->Bytes(3 * count);
        size_t got = target == Encoding::Ansi ? fast_convert::UnitsToAnsi(units, count, out)
                                              : fast_convert::UnitsToUtf8(units, count, out);
        if (got != fast_convert::NoRoom) return got == 0 || sink(out, got);
    }
    return SinkString(EncodePlain(target, units, count), sink);
}

// UTF-16 source (even byte count) to a byte target, in pieces.
bool Utf16ToBytes(Encoding src, Encoding target, const char* bytes, size_t n, const ByteSink& sink,
                  ConvertBuffers* buffers) {
    const bool swap = (src == Encoding::Utf16Le) != HostIsLittleEndian();
    const size_t pieceUnits = ConvertPieceBytes / 2;
    std::u16string plainUnits;
    size_t total = n / 2, done = 0;
    while (done < total) {
        size_t take = std::min(total - done, pieceUnits);
        char16_t* units;
        if (buffers) {
            units = buffers->Units(take);
        } else {
            plainUnits.resize(take);
            units = &plainUnits[0];
        }
        std::memcpy(units, bytes + done * 2, take * 2);
        if (swap) SwapBytes16Large(units, take);
        // A pair split between pieces would become two substitutes.
        if (done + take < total && take > 1 && IsHighSurrogate(units[take - 1])) --take;
        if (!SinkEncoded(target, units, take, buffers, sink)) return false;
        done += take;
    }
    return true;
}

// Byte source (UTF-8 or ANSI) to a different target, in pieces. more: the
// text goes on after the n bytes (see fast_convert).
bool BytesToOther(Encoding src, Encoding target, const char* bytes, size_t n, const ByteSink& sink,
                  ConvertBuffers* buffers, bool more) {
    size_t done = 0;
    while (done < n) {
        size_t rest = n - done;
        // Four bytes or more stay after a cut, where a sequence cut off by the end swallows the rest.
        size_t take = rest <= ConvertPieceBytes
                          ? rest
                          : CharBoundaryPrefix(src, bytes + done, std::min(ConvertPieceBytes, rest - 4));
        if (take == 0) take = std::min(rest, ConvertPieceBytes);
        const char* piece = bytes + done;
        done += take;
        const bool goesOn = done < n || more;
        if (buffers) {
            char16_t* units = buffers->Units(take);
            size_t count = src == Encoding::Ansi ? fast_convert::AnsiToUnits(piece, take, units, goesOn)
                                                 : fast_convert::Utf8ToUnits(piece, take, units, goesOn);
            if (count != fast_convert::NoRoom) {
                bool ok = IsUtf16(target) ? SinkUnits(units, count, target, sink)
                                          : SinkEncoded(target, units, count, buffers, sink);
                if (!ok) return false;
                continue;
            }
        }
        const int32_t len = static_cast<int32_t>(take);
        std::u16string wide = src == Encoding::Ansi ? AnsiToWide(piece, len) : Utf8ToWide(piece, len);
        bool ok;
        if (IsUtf16(target)) {
            ok = wide.empty() || SinkUnits(&wide[0], wide.size(), target, sink);
        } else {
            ok = SinkString(EncodePlain(target, wide.data(), wide.size()), sink);
        }
        if (!ok) return false;
    }
    return true;
}

bool Convert(Encoding src, Encoding target, char* bytes, size_t n, const ByteSink& sink,
             ConvertBuffers* buffers, bool more = false) {
    if (n == 0 || bytes == nullptr) return true;
    src = Normalise(src);
    target = Normalise(target);
    if (!InTable(src) || !InTable(target)) return true;
    if (src == target) return sink(bytes, n);  // as they are, an odd UTF-16 byte included
    if (IsUtf16(src)) {
        const size_t even = n & ~size_t(1);
        if (IsUtf16(target)) {
            SwapBytePairs(bytes, even);
            return even == 0 || sink(bytes, even);
        }
        return Utf16ToBytes(src, target, bytes, even, sink, buffers);
    }
    return BytesToOther(src, target, bytes, n, sink, buffers, more);
}

constexpr size_t ReadAheadBytes = size_t(1) << 20;

// Gathers the many small writes of a conversion into few large ones.
class GatheredWrites {
public:
    explicit GatheredWrites(FileStream& stream) : out(stream) { held.reserve(Capacity); }
    bool Write(const char* b, size_t n) {
        if (held.size() + n > Capacity && !Flush()) return false;
        if (n >= Capacity) return out.Write(b, n) == n;
        held.insert(held.end(), b, b + n);
        return true;
    }
    bool Flush() {
        const bool ok = held.empty() || out.Write(held.data(), held.size()) == held.size();
        held.clear();
        return ok;
    }

private:
    static constexpr size_t Capacity = size_t(1) << 20;
    FileStream& out;
    std::vector<char> held;
};

}  // namespace

char16_t* ConvertBuffers::Units(size_t n) {
    if (n > unitCount) {
        units.reset();
        units.reset(new char16_t[n]);
        unitCount = n;
    }
    return units.get();
}

char* ConvertBuffers::Bytes(size_t n) {
    if (n > byteCount) {
        bytes.reset();
        bytes.reset(new char[n]);
        byteCount = n;
    }
    return bytes.get();
}

bool ConvertBytes(Encoding src, Encoding target, char* bytes, size_t n, const ByteSink& sink,
                  ConvertBuffers* buffers) {
    ConvertBuffers local;
    return Convert(src, target, bytes, n, sink, buffers ? buffers : &local);
}

bool ConvertBytesPlain(Encoding src, Encoding target, char* bytes, size_t n, const ByteSink& sink) {
    return Convert(src, target, bytes, n, sink, nullptr);
}

size_t SourceMarkLength(Encoding src, const char* bytes, size_t n) {
    auto startsWith = [&](const char* mark, size_t len) {
        return n >= len && std::memcmp(bytes, mark, len) == 0;
    };
    switch (src) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8:
        return startsWith("\xEF\xBB\xBF", 3) ? 3 : 0;
    case Encoding::Utf16Le:
        return startsWith("\xFF\xFE", 2) ? 2 : 0;
    case Encoding::Utf16Be:
        return startsWith("\xFE\xFF", 2) ? 2 : 0;
    case Encoding::Ansi: {
        // Only a code page that can encode U+FEFF (UTF-8 as the ANSI page) has one.
        const char16_t mark = 0xFEFF;
        std::string enc = WideToAnsi(&mark, 1);
        if (enc.empty() || !startsWith(enc.data(), enc.size())) return 0;
        std::u16string back = AnsiToWide(enc.data(), static_cast<int32_t>(enc.size()));
        return back == std::u16string(1, mark) ? enc.size() : 0;
    }
    default:
        return 0;
    }
}

std::string TargetMark(Encoding target) {
    switch (target) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8: return "\xEF\xBB\xBF";
    case Encoding::Utf16Le: return "\xFF\xFE";
    case Encoding::Utf16Be: return "\xFE\xFF";
    default: return std::string();
    }
}

size_t ConvertBoundary(Encoding src, const char* bytes, size_t n) {
    if (IsUtf16(src)) {
        size_t even = n & ~size_t(1);
        if (even >= 4) {
            const unsigned char* last = reinterpret_cast<const unsigned char*>(bytes + even - 2);
            char16_t u = src == Encoding::Utf16Le ? char16_t(last[0] | (last[1] << 8))
                                                  : char16_t((last[0] << 8) | last[1]);
            if (IsHighSurrogate(u)) even -= 2;
        }
        return even;
    }
    return CharBoundaryPrefix(src, bytes, n);
}

BlockConverter::BlockConverter(Encoding s, Encoding t, size_t lim)
    : src(s), target(t), limit(std::max<size_t>(lim, 8)) {
    buffer.resize(std::min(BlockBufferSize, limit));
}

bool BlockConverter::Convert(const ByteSource& source, int64_t length, bool skipMark,
                             const ByteSink& sink) {
    if (length <= 0) return true;
    // The buffer grows to the block (up to the limit) and never shrinks.
    const size_t want = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(limit)));
    if (buffer.size() < want) buffer.resize(want);

    size_t carried = 0;
    int64_t left = length;
    bool first = true;
    for (;;) {
        const size_t ask = static_cast<size_t>(
            std::min<int64_t>(left, static_cast<int64_t>(buffer.size() - carried)));
        const size_t got = ask ? source(buffer.data() + carried, ask) : 0;
        left -= static_cast<int64_t>(ask);
        const bool last = left == 0 || got < ask;  // a short read converts what came
        char* p = buffer.data();
        size_t have = carried + got;
        if (first && skipMark) {
            size_t m = SourceMarkLength(src, p, have);
            p += m;
            have -= m;
            if (m > 0 && !last) {
                // Fill the room the mark took before cutting: the cut needs
                // a full buffer to find a character boundary.
                std::memmove(buffer.data(), p, have);
                carried = have;
                first = false;
                continue;
            }
        }
        first = false;
        size_t use = have;
        if (!last) {
            // Four bytes or more of the block stay after the cut (as in CharBoundaryPrefix).
            const size_t after = left >= 4 ? 0 : static_cast<size_t>(4 - left);
            use = ConvertBoundary(src, p, have > after ? have - after : have);
        }
        if (use == 0 && !last) use = have;  // cannot happen with a full buffer; stay finite
        if (!::Convert(src, target, p, use, sink, &outBuffers, !last)) return false;
        if (last) return true;
        carried = have - use;
        std::memmove(buffer.data(), p + use, carried);
    }
}

bool WriteThroughTemporary(const std::u16string& target, const std::function<bool(FileStream& out)>& write) {
    const std::u16string temp = TemporaryName(target, platform::TickCount());
    FileStream out;
    if (!out.Open(temp, "wb")) return false;
    bool ok = write(out);
    ok = out.Flush() && ok;
    out.Close();
    if (!ok || !platform::MoveReplacing(temp, target)) {
        platform::DeleteFile(temp);
        return false;
    }
    return true;
}

std::u16string TemporaryName(const std::u16string& target, uint32_t ticks) {
    std::string digits = std::to_string(ticks);
    std::u16string name = target;
    for (char c : digits) name.push_back(static_cast<char16_t>(c));
    name += u".tmp";
    return name;
}

bool ConvertDocument(TextDocument& doc, const std::u16string& target, bool withMark,
                     Encoding targetEncoding, bool replacesSource, size_t blockLimit,
                     const ConvertProgress& progress) {
    // Without an open source there is nothing to convert; an empty file
    // written in its place would be reported as a good copy.
    if (!doc.file.IsOpen() || !InTable(Normalise(doc.encoding)) ||
        !InTable(Normalise(targetEncoding)))
        return false;
    // Onto its own file the conversion takes all the file holds now, lines
    // appended since the open included, or none of them would survive the
    // replacement; the target must still be the file indexed, with the bytes
    // indexed. Elsewhere it keeps to the size taken at opening.
    auto indexed = [&](int64_t& size) {
        FileIdentity id;
        return doc.StillIndexed(doc.file, size) && ReadFileIdentity(target, id) &&
               id == doc.scanEnd.identity;
    };
    int64_t end = doc.fileSize;
    if (replacesSource && !indexed(end)) return false;

    const std::u16string temp = TemporaryName(target, platform::TickCount());
    FileStream out;
    if (!out.Open(temp, "wb")) return false;

    bool ok = true;
    // The progress hook: stopped when it cancels; after it ran, other code
    // may have moved the read position, so the next read seeks back.
    bool stopped = false, moved = false;
    int64_t readAt = doc.lineIndex.empty() ? 0 : doc.lineIndex[0], done = 0, told = 0;
    const int64_t total = end - readAt;
    auto tell = [&] {
        told = done;
        moved = true;
        if (!progress(done, total)) stopped = true;
    };
    try {
    if (progress) tell();
    if (withMark && !stopped) {
        std::string mark = TargetMark(targetEncoding);
        ok = out.Write(mark.data(), mark.size()) == mark.size();
    }

    if (ok && !stopped && !doc.lineIndex.empty()) {
        ok = doc.file.Seek(doc.lineIndex[0]);
        BlockConverter converter(doc.encoding, targetEncoding, blockLimit);
        bool lost = false;  // the read position could not be set again
        // Short blocks are served from reads of up to ReadAheadBytes: far fewer
        // calls on files of short lines. Never past the end.
        std::vector<char> ahead;
        size_t aheadAt = 0;
        auto readFile = [&](char* b, size_t n) -> size_t {
            if (moved && !doc.file.Seek(readAt)) {
                lost = true;
                return 0;
            }
            moved = false;
            size_t got = doc.file.Read(b, n);
            readAt += static_cast<int64_t>(got);
            return got;
        };
        ByteSource source = [&](char* b, size_t n) -> size_t {
            if (stopped || lost) return 0;
            size_t got = 0;
            while (got < n && !lost) {
                if (aheadAt == ahead.size()) {
                    const int64_t left = std::max<int64_t>(end - readAt, 0);
                    if (n - got >= ReadAheadBytes || left <= static_cast<int64_t>(n - got)) {
                        got += readFile(b + got, n - got);  // large or last: straight into the block
                        break;
                    }
                    ahead.resize(static_cast<size_t>(std::min<int64_t>(left, ReadAheadBytes)));
                    ahead.resize(readFile(ahead.data(), ahead.size()));
                    aheadAt = 0;
                    if (ahead.empty()) break;
                }
                const size_t take = std::min(n - got, ahead.size() - aheadAt);
                std::memcpy(b + got, ahead.data() + aheadAt, take);
                aheadAt += take;
                got += take;
            }
            done += static_cast<int64_t>(got);
            if (progress && done - told >= static_cast<int64_t>(ProgressStepBytes)) tell();
            return got;
        };
        GatheredWrites gathered(out);
        ByteSink sink = [&gathered](const char* b, size_t n) { return gathered.Write(b, n); };
        const size_t entries = doc.lineIndex.size();
        for (size_t j = 1; ok && !stopped && j < entries; ++j) {
            int64_t len = doc.lineIndex[j] - doc.lineIndex[j - 1];
            ok = converter.Convert(source, len, j == 1, sink);
        }
        if (ok && !stopped) {
            int64_t len = end - doc.lineIndex.back();
            ok = converter.Convert(source, len, entries == 1, sink);
        }
        ok = gathered.Flush() && ok && !lost;
    }
    if (ok && !stopped && progress) tell();
    ok = ok && !stopped;
    } catch (const std::bad_alloc&) {
        ok = false;  // out of memory: the save fails like any other
    }
    ok = out.Flush() && ok;
    out.Close();
    if (!ok) {
        platform::DeleteFile(temp);
        return false;
    }

    if (replacesSource) {
        // Bytes appended while it was converted would be lost with the old file.
        int64_t now = 0;
        if (!indexed(now) || now != end) {
            platform::DeleteFile(temp);
            return false;
        }
        doc.file.Close();
        doc.ClearCache();
    }
    // One step: the old target stays under its name unless the new file takes it.
    if (!platform::MoveReplacing(temp, target)) {
        platform::DeleteFile(temp);
        return false;
    }
    return true;
}

bool TextDocument::ConvertChunk(FileStream& out, char* bytes, int64_t count, Encoding targetEncoding) {
    if (count <= 0) return true;
    ByteSink sink = [&out](const char* b, size_t n) { return out.Write(b, n) == n; };
    return ConvertBytes(encoding, targetEncoding, bytes, static_cast<size_t>(count), sink);
}

bool TextDocument::ConvertToFile(const std::u16string& target, bool withMark, Encoding targetEncoding) {
    return ConvertDocument(*this, target, withMark, targetEncoding, false);
}

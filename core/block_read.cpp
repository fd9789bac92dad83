#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/codepage_standin.h"
#include "core/plain_units.h"
#include "core/text_document.h"

void SplitBlock(const std::u16string& text, uint64_t firstLine, BlockCache& lines) {
    const char16_t* p = text.data();
    const size_t n = text.size();
    uint64_t k = firstLine;
    size_t start = 0, i = 0;
    for (;;) {
        while (i < n && (p[i] > 0x0D || (p[i] != 0x0D && p[i] != 0x0A && p[i] != 0))) i++;
        if (i == n || p[i] == 0) {
            lines.emplace_hint(lines.end(), k, std::u16string(p + start, i - start));
            break;
        }
        size_t endUnits = (p[i] == 0x0D && i + 1 < n && p[i + 1] == 0x0A) ? 2 : 1;
        i += endUnits;
        lines.emplace_hint(lines.end(), k, std::u16string(p + start, i - start));
        k++;
        start = i;
    }
    if (!text.empty() && (text.back() == 0x0D || text.back() == 0x0A)) lines.erase(k);
}

namespace {

// Whether UTF-8 decoding starts afresh at x (p[0] is where a character
// starts): the byte before x is ASCII, and no lead byte before it among the last
// three announces a sequence reaching past x, which the conversion would
// take as cut off by the end of the input and swallow what follows.
bool Utf8Settled(const unsigned char* p, size_t x) {
    // After ASCII only: a multi-byte character or a malformed run before x
    // may decode otherwise when the input ends there.
    const size_t l = x - 1;
    if (p[l] >= 0x80) return false;
    for (size_t k = x >= 3 ? x - 3 : 0; k < l; k++)
        if (k + 1 + standin::Utf8AnnouncedTrail(p[k]) > x) return false;
    return true;
}

// The largest x in (from, n] after which decoding starts afresh, so that
// the bytes before x decode alone as they do with what follows; 0 if none.
// p[0] is where a character starts. UTF-16: any whole unit. A double-byte
// code page: its lead bytes pair up from the start of their run. A
// single-byte code page: anywhere. ANSI as UTF-8 (65001): as UTF-8.
size_t QuietCut(Encoding e, const unsigned char* p, size_t from, size_t n) {
    if (IsUtf16(e)) return n & ~size_t(1);
    if (e == Encoding::Ansi && !platform::AnsiIsUtf8() && !platform::IsAnsiLeadByte(0x81)) return n;
    if (e == Encoding::Ansi && platform::IsAnsiLeadByte(0x81)) {
        size_t run = 0;
        while (run < n && platform::IsAnsiLeadByte(p[n - 1 - run])) run++;
        const size_t x = n - run % 2;
        return x > from ? x : 0;
    }
    for (size_t x = n; x > from; x--)
        if (Utf8Settled(p, x)) return x;
    return 0;
}

// Hands the bytes [start, end) of the file to take(bytes, count) in pieces
// of about `piece` bytes cut by QuietCut, so that decoding them one by one
// gives the text of the whole; take returns false when it wants no more.
// Returns where the bytes handed on end: end, unless the file gave fewer.
template <class Take>
int64_t ReadInPieces(FileStream& file, Encoding e, int64_t start, int64_t end, size_t piece, Take&& take) {
    if (!file.Seek(start, SEEK_SET)) return start;
    std::vector<char> buf;
    size_t have = 0;
    int64_t pos = start;  // the file offset of buf[0]
    for (;;) {
        const int64_t unread = end - pos - static_cast<int64_t>(have);
        const size_t want = unread < static_cast<int64_t>(piece) ? static_cast<size_t>(unread) : piece;
        if (buf.size() < have + want) buf.resize(have + want);
        const size_t got = want ? file.Read(buf.data() + have, want) : 0;
        const size_t searched = have;
        have += got;
        const bool last = got < want || unread == static_cast<int64_t>(got);
        const size_t cut = last ? have : QuietCut(e, reinterpret_cast<const unsigned char*>(buf.data()), searched, have);
        if (cut == 0) {
            if (last) return pos;
            continue;  // no place to cut yet: read on
        }
        if (!take(buf.data(), cut)) return pos + static_cast<int64_t>(cut);
        pos += static_cast<int64_t>(cut);
        have -= cut;
        std::memmove(buf.data(), buf.data() + cut, have);
        if (last) return pos;
    }
}

// The lines SplitBlock makes of the decoded bytes [start, end), each held
// once at its size: a first pass over the pieces finds where the lines end,
// a second fills them. True when every byte was read as the first pass saw it.
bool SplitInPieces(FileStream& file, Encoding e, int64_t start, int64_t end, size_t piece, uint64_t firstLine,
                   BlockCache& lines) {
    std::vector<uint64_t> ends;  // the column after each line end
    uint64_t column = 0, nul = UINT64_MAX;
    bool pendingCr = false;
    char16_t last = 0;
    const int64_t reached = ReadInPieces(file, e, start, end, piece, [&](const char* bytes, size_t n) {
        uint64_t plain = 0;
        // Most pieces of long lines hold no line end: their units are counted.
        if (!pendingCr && CountPlainUnits(e, bytes, n, plain)) {
            column += plain;
            if (plain) last = u'x';
            return true;
        }
        const std::u16string units = DecodeText(e, bytes, n);
        for (size_t i = 0; i < units.size() && nul == UINT64_MAX; i++) {
            const char16_t u = units[i];
            if (u > 0x0D && !pendingCr) continue;
            if (pendingCr) {
                pendingCr = false;
                ends.push_back(column + i + (u == 0x0A ? 1 : 0));
                if (u == 0x0A) continue;
            }
            if (u == 0x0D) pendingCr = true;
            else if (u == 0x0A) ends.push_back(column + i + 1);
            else if (u == 0) nul = column + i;
        }
        column += units.size();
        if (!units.empty()) last = units.back();
        return true;
    });
    if (nul == UINT64_MAX && pendingCr) ends.push_back(column);
    // As SplitBlock: the first NUL ends the last line, and no line follows
    // the final line end of the text.
    const uint64_t finalEnd = nul != UINT64_MAX ? nul : column;
    const size_t count = ends.size() + (column > 0 && (last == 0x0D || last == 0x0A) ? 0 : 1);
    auto lineEnd = [&](size_t k) { return k < ends.size() ? ends[k] : finalEnd; };

    size_t k = 0;
    uint64_t at = 0;
    std::u16string text;
    auto fill = [&](const std::u16string& units) {
        for (size_t i = 0; k < count;) {
            const uint64_t to = lineEnd(k);
            const size_t take = static_cast<size_t>(std::min<uint64_t>(units.size() - i, to - at));
            if (text.empty()) text.reserve(static_cast<size_t>(to - at));
            text.append(units, i, take);
            i += take;
            at += take;
            if (at < to) break;
            lines.emplace_hint(lines.end(), firstLine + k++, std::move(text));
            text = std::u16string();
        }
    };
    ReadInPieces(file, e, start, reached, piece, [&](const char* bytes, size_t n) {
        fill(DecodeText(e, bytes, n));
        return k < count;
    });
    fill(std::u16string());  // lines left empty at the end
    if (k < count && !text.empty()) lines.emplace_hint(lines.end(), firstLine + k, std::move(text));
    return reached == end && k == count;
}

} // namespace

BlockCache TextDocument::ReadBlock(uint64_t line) {
    BlockCache lines;
    blockComplete = false;
    if (!file.IsOpen() || line >= lineCount || lineIndex.empty()) return lines;
    const uint64_t j = BlockOfLine(line);
    int64_t start, end;
    if (!BlockBytes(j, start, end)) return lines;
    if (end - start <= 0) {
        blockComplete = true;
        return lines;
    }

    // A larger block is not read whole: its lines are read in pieces.
    if (end - start > BlockBound()) return lines;
    const size_t want = static_cast<size_t>(end - start);
    // A block of more than one piece is read, decoded and split piece by
    // piece: its text is held once, not beside its bytes and its lines.
    const size_t piece = readPieceBytes > 0 ? readPieceBytes : 1;
    if (want > piece) {
        try {
            blockComplete = SplitInPieces(file, encoding, start, end, piece, FirstLineOfBlock(j), lines);
        } catch (const std::bad_alloc&) {
            lines.clear();
            blockComplete = false;
        }
        return lines;
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[want]);
    if (!buffer || !file.Seek(start, SEEK_SET)) return lines;
    const size_t got = file.Read(buffer.get(), want);
    const bool whole = got == want;
    try {
        std::u16string text = DecodeText(encoding, buffer.get(), got);
        buffer.reset();
        SplitBlock(text, FirstLineOfBlock(j), lines);
        blockComplete = whole;
    } catch (const std::bad_alloc&) {
        lines.clear();
    }
    return lines;
}

namespace {
const std::u16string& EmptyText() {
    static const std::u16string empty;
    return empty;
}
} // namespace

const std::u16string& TextDocument::LineTextRef(uint64_t line) {
    auto it = blockCache.find(line);
    if (it != blockCache.end()) return it->second;
    const uint64_t block = BlockOfLine(line);
    // Reading the block again would give the same lines: a block of NULs
    // would otherwise be read whole for every line of it on screen.
    if (line < lineCount && block == cachedBlock) return EmptyText();
    if (IsLongLine(line)) {
        // A line of a long block: its first units only, one line at a time.
        blockCache.clear();
        cachedBlock = NoBlock;
        std::u16string text = LongLinePiece(line, 0, PrefixUnits());
        if (text.empty()) return EmptyText();
        return blockCache.emplace(line, std::move(text)).first->second;
    }
    blockCache = ReadBlock(line);
    const bool whole = blockComplete && file.IsOpen() && line < lineCount && block < lineIndex.size() &&
                       (block + 1 < lineIndex.size() || !indexing);
    cachedBlock = whole ? block : NoBlock;
    it = blockCache.find(line);
    return it != blockCache.end() ? it->second : EmptyText();
}

std::u16string TextDocument::GetLineText(uint64_t line) { return LineTextRef(line); }

std::u16string TextDocument::LinePiece(uint64_t line, uint64_t column, size_t count) {
    if (count == 0 || line >= lineCount) return std::u16string();
    if (IsLongLine(line)) return LongLinePiece(line, column, count);
    std::u16string out;
    try {
        const std::u16string& text = LineTextRef(line);
        if (column < text.size()) out.assign(text, static_cast<size_t>(column), count);
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    return out;
}

uint64_t TextDocument::LineLength(uint64_t line, const TableProgress& progress) {
    if (line >= lineCount) return 0;
    if (!IsLongLine(line)) return LineTextRef(line).size();
    return LongLineLength(line, progress);
}

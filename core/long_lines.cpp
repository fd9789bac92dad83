// Lines of blocks larger than one block read takes: one pass over such a
// block in pieces builds a table of checkpoints (file offset <-> column) and
// of its line bounds; a piece of a line is then decoded from the checkpoint
// before it. Pieces are cut exactly where DecodeTextInPieces cuts, so every
// piece decodes to the same units as the whole block would.
#include <algorithm>
#include <new>

#include "core/plain_units.h"
#include "core/text_document.h"

const LongBlockTable* TextDocument::LongTable(uint64_t block, const TableProgress& progress) {
    int64_t start, end;
    if (!BlockBytes(block, start, end) || end - start <= BlockBound()) return nullptr;
    LongBlockTable table;
    for (size_t i = 0; i < longTables.size(); i++) {
        LongBlockTable& t = longTables[i];
        if (t.block != block) continue;
        if (i + 1 != longTables.size()) std::swap(t, longTables.back());
        const int64_t built = longTables.back().end;
        if (built == end) return &longTables.back();
        // Bytes appended to the block (Reload): its table goes on from near
        // the old end; any other change builds it anew.
        if (built < end && longTables.back().resume.valid && longTables.back().points.front().offset == start)
            table = std::move(longTables.back());
        longTables.pop_back();
        break;
    }
    try {
        table.block = block;
        if (!BuildLongTable(start, end, table, progress)) return nullptr;
        if (longTables.size() >= 2) longTables.erase(longTables.begin());
        longTables.push_back(std::move(table));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    pieceStamp++;
    return &longTables.back();
}

bool TextDocument::BuildLongTable(int64_t start, int64_t end, LongBlockTable& t, const TableProgress& progress) {
    const size_t spacing = PieceBytes();
    const uint64_t stride = Stride();
    // Its own buffer: the progress call may read other pieces.
    std::vector<char> bytes(spacing);
    char* buf = bytes.data();
    uint64_t column = 0;
    bool pendingCr = false, stopped = false, capped = false;
    char16_t last = 0;
    if (t.resume.valid) {
        const LongBlockTable::Resume r = t.resume;
        t.points.resize(r.points);
        t.bounds.resize(r.bounds);
        column = t.points.back().column;
        pendingCr = r.pendingCr;
        stopped = r.stopped;
        capped = r.capped;
        last = r.last;
    } else {
        t.points.assign(1, PieceCheckpoint{start, 0});
        t.bounds.assign(1, 0);
    }
    t.resume.valid = false;
    t.end = end;
    // A line end at column c; lines past the block's own are not kept.
    auto endLine = [&](uint64_t c) {
        t.bounds.push_back(c);
        if (t.bounds.size() > stride) stopped = capped = true;
    };
    int64_t pos = t.points.back().offset;
    size_t have = 0;
    bool shortRead = !file.Seek(pos, SEEK_SET);
    while (pos < end) {
        // The last two pieces are cut as the block's end decides.
        if (!t.resume.valid && end - pos < 2 * static_cast<int64_t>(spacing))
            t.resume = LongBlockTable::Resume{true, t.points.size(), t.bounds.size(), pendingCr, stopped, capped, last};
        if (progress) {
            if (!progress(pos - start, end - start)) return false;
            shortRead = shortRead || !file.Seek(pos + static_cast<int64_t>(have), SEEK_SET);
        }
        const size_t want = end - pos < static_cast<int64_t>(spacing) ? static_cast<size_t>(end - pos) : spacing;
        if (have < want && !shortRead) {
            const size_t got = file.Read(buf + have, want - have);
            longTableBytes += got;
            have += got;
            shortRead = have < want;
        }
        if (have == 0) break;
        // The cut DecodeTextInPieces makes: at a character boundary, four
        // bytes clear of the end, where a cut-off sequence decodes otherwise.
        const int64_t remaining = shortRead ? static_cast<int64_t>(have) : end - pos;
        size_t take = have;
        if (remaining > static_cast<int64_t>(spacing)) {
            const size_t limit = remaining - static_cast<int64_t>(spacing) >= 4 ? spacing : static_cast<size_t>(remaining - 4);
            take = CharBoundaryPrefix(encoding, buf, limit);
        }
        // Most pieces of a long line hold no line end: their units are counted, not decoded.
        uint64_t count = 0;
        if ((pendingCr && !stopped) || !CountPlainUnits(encoding, buf, take, count)) {
            const std::u16string units = DecodeText(encoding, buf, take, static_cast<int64_t>(take) < remaining);
            for (size_t i = 0; i < units.size() && !stopped; i++) {
                const char16_t u = units[i];
                if (u > 0x0D && !pendingCr) continue;
                const uint64_t c = column + i;
                if (pendingCr) {
                    pendingCr = false;
                    if (u == 0x0A) {
                        endLine(c + 1);
                        continue;
                    }
                    endLine(c);
                    if (stopped) break;
                }
                if (u == 0x0D) pendingCr = true;
                else if (u == 0x0A) endLine(c + 1);
                else if (u == 0) {
                    t.bounds.push_back(c);
                    stopped = true;
                }
            }
            if (!units.empty()) last = units.back();
            count = units.size();
        } else {
            last = u'x';  // no line end in the piece
        }
        column += count;
        pos += static_cast<int64_t>(take);
        std::copy(buf + take, buf + have, buf);
        have -= take;
        t.points.push_back(PieceCheckpoint{pos, column});
        if (shortRead && have == 0) break;
    }
    if (shortRead) t.resume.valid = false;
    if (!stopped) {
        if (pendingCr) endLine(column);
        if (!stopped) t.bounds.push_back(column);
    }
    // As in SplitBlock: the entry after the block's final line end is not a line.
    if (!capped && (last == 0x0D || last == 0x0A) && column > 0) t.bounds.pop_back();
    return true;
}

bool TextDocument::DecodePiece(const LongBlockTable& t, size_t i, std::u16string& out) {
    const int64_t from = t.points[i].offset, to = t.points[i + 1].offset;
    const size_t n = static_cast<size_t>(to - from);
    if (pieceBytes_.size() < n) pieceBytes_.resize(n);
    if (!file.Seek(from, SEEK_SET) || file.Read(pieceBytes_.data(), n) != n) return false;
    out = DecodeText(encoding, pieceBytes_.data(), n, i + 2 < t.points.size());  // all but the last go on
    return out.size() == t.points[i + 1].column - t.points[i].column;  // else the file changed
}

std::u16string TextDocument::LongLinePiece(uint64_t line, uint64_t column, size_t count) {
    std::u16string out;
    try {
        const uint64_t block = BlockOfLine(line);
        const LongBlockTable* t = LongTable(block);
        const uint64_t k = line - FirstLineOfBlock(block);
        if (!t || k + 1 >= t->bounds.size()) return out;
        const uint64_t lineStart = t->bounds[k], lineEnd = t->bounds[k + 1];
        if (column >= lineEnd - lineStart) return out;
        const uint64_t from = lineStart + column, to = from + std::min<uint64_t>(count, lineEnd - from);
        out.reserve(static_cast<size_t>(to - from));
        auto at = std::upper_bound(t->points.begin(), t->points.end(), from,
                                   [](uint64_t c, const PieceCheckpoint& p) { return c < p.column; });
        size_t i = static_cast<size_t>(at - t->points.begin()) - 1;
        std::u16string piece;
        for (; i + 1 < t->points.size() && t->points[i].column < to; i++) {
            const uint64_t a = t->points[i].column, b = t->points[i + 1].column;
            if (b <= from) continue;
            if (!DecodePiece(*t, i, piece)) break;
            const uint64_t lo = std::max(from, a) - a, hi = std::min(to, b) - a;
            out.append(piece, static_cast<size_t>(lo), static_cast<size_t>(hi - lo));
        }
    } catch (const std::bad_alloc&) {
        out.clear();
    }
    return out;
}

uint64_t TextDocument::LongLineLength(uint64_t line, const TableProgress& progress) {
    const uint64_t block = BlockOfLine(line);
    const LongBlockTable* t = LongTable(block, progress);
    const uint64_t k = line - FirstLineOfBlock(block);
    if (!t || k + 1 >= t->bounds.size()) return 0;
    return t->bounds[k + 1] - t->bounds[k];
}

#include <algorithm>
#include <memory>
#include <new>

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

BlockCache TextDocument::ReadBlock(uint64_t line) {
    BlockCache lines;
    blockComplete = false;
    if (!file.IsOpen() || line >= lineCount || lineIndex.empty()) return lines;
    const uint64_t stride = indexStride ? indexStride : 100;
    const uint64_t j = line / stride;
    int64_t start, end;
    if (!BlockBytes(j, start, end)) return lines;
    if (end - start <= 0) {
        blockComplete = true;
        return lines;
    }

    // A larger block is not read whole: its lines are read in pieces.
    if (end - start > BlockBound()) return lines;
    const size_t want = static_cast<size_t>(end - start);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[want]);
    if (!buffer || !file.Seek(start, SEEK_SET)) return lines;
    const size_t got = file.Read(buffer.get(), want);
    const bool whole = got == want;
    try {
        std::u16string text = DecodeText(encoding, buffer.get(), got);
        buffer.reset();
        SplitBlock(text, j * stride, lines);
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
    const uint64_t block = line / (indexStride ? indexStride : 100);
    // Reading the block again would give the same lines: a block of NULs
    // would otherwise be read whole for every line of it on screen.
    if (line < lineCount && block == cachedBlock) return EmptyText();
    if (IsLongLine(line)) {
        // A line of a long block: its first units only, one line at a time.
        blockCache.clear();
        cachedBlock = NoBlock;
        std::u16string text = LinePiece(line, 0, PrefixUnits());
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

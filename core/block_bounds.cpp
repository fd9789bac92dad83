// Where the index blocks of a document lie in its file, and how much of one
// a block read takes: the rules the block reads and the long-line tables share.
#include <algorithm>

#include "core/text_document.h"

int64_t TextDocument::BlockBound() const {
    return maxBlockBytes > 0 && maxBlockBytes < MaxBlockBytes ? maxBlockBytes : MaxBlockBytes;
}

size_t TextDocument::PieceBytes() const {
    const int64_t bound = std::max<int64_t>(BlockBound(), 16);
    return bound < static_cast<int64_t>(LinePieceBytes) ? static_cast<size_t>(bound) : LinePieceBytes;
}

size_t TextDocument::PrefixUnits() const {
    const int64_t bound = BlockBound();
    return bound < static_cast<int64_t>(LongLinePrefixUnits) ? static_cast<size_t>(bound) : LongLinePrefixUnits;
}

bool TextDocument::BlockBytes(uint64_t block, int64_t& start, int64_t& end) const {
    if (!file.IsOpen() || block >= lineIndex.size()) return false;
    start = lineIndex[static_cast<size_t>(block)];
    if (block + 1 < lineIndex.size()) end = lineIndex[static_cast<size_t>(block + 1)];
    else if (indexing) end = lineIndex.back();  // the block the scan is still filling
    else end = fileSize;
    return true;
}

bool TextDocument::IsLongLine(uint64_t line) {
    if (line >= lineCount) return false;
    int64_t start, end;
    return BlockBytes(BlockOfLine(line), start, end) && end - start > BlockBound();
}

// The one open file: encoding, size, line index, kept read stream, block cache.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "core/line_index.h"
#include "core/platform.h"

using OpenProgress = std::function<void(int32_t percent)>;
using BlockCache = std::map<uint64_t, std::u16string>;

constexpr size_t ScanBufferSize = 0x1400000;  // 20 MiB per scan read
constexpr size_t ScanPieceSize = 256 << 10;   // a scan read is taken in pieces of this size
// Most bytes one block read takes; lines past it read as truncated text.
constexpr int64_t MaxBlockBytes = 64ll << 20;

// Splits decoded block text into lines numbered from firstLine: CR LF, CR
// and LF end a line and stay in it; the first NUL ends the split; an empty
// entry after a final line end is left out.
void SplitBlock(const std::u16string& text, uint64_t firstLine, BlockCache& lines);

class TextDocument {
public:
    uint64_t indexStride = 100;
    bool indexing = false;
    Encoding encoding = Encoding::None;
    Encoding detectedEncoding = Encoding::None;
    uint64_t lineCount = 1;
    uint64_t maxLineLength = 0;
    int64_t fileSize = 0;
    // The file starts with the byte-order mark of its encoding (read from its bytes).
    bool hasMark = false;
    FileStream file;
    LineIndex lineIndex;
    OpenProgress progress;
    BlockCache blockCache;
    // The block that blockCache holds when it was read with its final end:
    // a line of it that the cache lacks has no text (it follows a NUL or a
    // final line end) and is not read again. NoBlock otherwise.
    static constexpr uint64_t NoBlock = UINT64_MAX;
    uint64_t cachedBlock = NoBlock;
    // The last ReadBlock got every byte it asked for (or had none to read).
    bool blockComplete = false;

    // Test hooks: size of each scan read (ScanBufferSize in the program) and
    // the most bytes one block read takes (at most MaxBlockBytes).
    size_t scanBufferSize = ScanBufferSize;
    int64_t maxBlockBytes = MaxBlockBytes;

    bool Open(std::u16string path, Encoding enc);
    void Close();

    std::u16string GetLineText(uint64_t line);
    // The cached text of a line without copying; valid until the next call
    // of GetLineText/LineTextRef/ClearCache.
    const std::u16string& LineTextRef(uint64_t line);
    BlockCache ReadBlock(uint64_t line);
    void ClearCache() {
        blockCache.clear();
        cachedBlock = NoBlock;
    }

    // Save As conversion (output/).
    bool ConvertToFile(const std::u16string& target, bool withMark, Encoding targetEncoding);
    bool ConvertChunk(FileStream& out, char* bytes, int64_t count, Encoding targetEncoding);

private:
    bool Scan(FileStream& in, int unitWidth);
};

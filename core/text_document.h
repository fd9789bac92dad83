// The one open file: encoding, size, line index, kept read stream, block cache.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "core/file_identity.h"
#include "core/line_index.h"
#include "core/line_scan.h"
#include "core/platform.h"

using OpenProgress = std::function<void(int32_t percent)>;
using BlockCache = std::map<uint64_t, std::u16string>;

constexpr size_t ScanBufferSize = 0x1400000;  // 20 MiB per scan read
constexpr size_t ScanPieceSize = 256 << 10;   // a scan read is taken in pieces of this size
// Most bytes one block read takes; lines past it read as truncated text.
constexpr int64_t MaxBlockBytes = 64ll << 20;
// Most bytes at the end of a scan that a reload compares to tell growth from change.
constexpr int64_t ScanEndCheckBytes = 1 << 20;

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

    // Where the last complete scan stopped, so that a reload of a file that
    // has only grown scans just the appended bytes.
    struct ScanEnd {
        bool valid = false;
        FileIdentity identity;
        int unitWidth = 1;
        bool bigEndian = false;
        int64_t bytes = 0;            // bytes scanned: whole code units
        size_t indexEntries = 0;      // entries before the end of the data closed a pending line
        LineScanner::Position scanner;
        int64_t checkStart = 0;       // the bytes [checkStart, bytes) have checkHash
        uint64_t checkHash = 0;
    } scanEnd;
    // The last Reload scanned only the bytes appended since the scan before.
    bool reloadAppended = false;

    // Indexes the file at path again in the current encoding. When it is the
    // same file and has only grown (the last complete indexed block and the
    // bytes after it unchanged), the index, line count and longest line go on
    // from where the last scan stopped, exactly as a full scan would give
    // them; otherwise the file is opened afresh. The detected encoding stays.
    bool Reload(const std::u16string& path);

    // Save As conversion (output/).
    bool ConvertToFile(const std::u16string& target, bool withMark, Encoding targetEncoding);
    bool ConvertChunk(FileStream& out, char* bytes, int64_t count, Encoding targetEncoding);

private:
    bool Scan(FileStream& in, int unitWidth, bool resume = false);
    // Records scanEnd for the scan just made through in.
    void NoteScanEnd(const std::u16string& path, FileStream& in);
    // The Reload of a file that only grew; false when it did otherwise.
    bool ScanAppended(const std::u16string& path);
};

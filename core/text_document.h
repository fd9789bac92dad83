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
// Called between the pieces of a long block's table while it is built, with
// the block's bytes read so far and in all; false stops the building.
using TableProgress = std::function<bool(int64_t done, int64_t total)>;
using BlockCache = std::map<uint64_t, std::u16string>;

constexpr size_t ScanBufferSize = 0x1400000;  // 20 MiB per scan read
constexpr size_t ScanPieceSize = 1 << 20;     // a scan read is taken in pieces of this size
// Most bytes one block read takes; the lines of a larger block are read in pieces.
constexpr int64_t MaxBlockBytes = 64ll << 20;
// Bytes decoded at once in a block read in pieces: the spacing of its checkpoints.
constexpr size_t LinePieceBytes = 64 << 10;
// Most units GetLineText gives of a line of such a block (its first ones).
constexpr size_t LongLinePrefixUnits = 1 << 20;
// A block read of more bytes than this reads and decodes them in pieces of
// about this size.
constexpr size_t BlockReadPieceBytes = 1 << 20;
// Most bytes at the end of a scan that a reload compares to tell growth from change.
constexpr int64_t ScanEndCheckBytes = 1 << 20;

// Splits decoded block text into lines numbered from firstLine: CR LF, CR
// and LF end a line and stay in it; the first NUL ends the split; an empty
// entry after a final line end is left out.
void SplitBlock(const std::u16string& text, uint64_t firstLine, BlockCache& lines);

// A place where decoding a long block may start: a file offset and the column,
// in the block's decoded text, of the first unit it gives.
struct PieceCheckpoint {
    int64_t offset;
    uint64_t column;
};

// What one pass over a long block found: checkpoints from its start to its
// end, and the columns where its lines start and end.
struct LongBlockTable {
    uint64_t block = 0;
    int64_t end = 0;  // the end of the block's bytes it was built for
    std::vector<PieceCheckpoint> points;
    std::vector<uint64_t> bounds;  // line k of the block spans [bounds[k], bounds[k + 1])
    // The pass as it stood at the first checkpoint of the last two pieces,
    // the first one a longer block (bytes appended) would place otherwise:
    // the table of the longer block goes on from there.
    struct Resume {
        bool valid = false;
        size_t points = 0, bounds = 0;  // entries up to there
        bool pendingCr = false, stopped = false, capped = false;
        char16_t last = 0;
    } resume;
};

class TextDocument {
public:
    uint64_t indexStride = 100;
    bool indexing = false;
    Encoding encoding = Encoding::None;
    Encoding detectedEncoding = Encoding::None;
    // The encoding came from detection, and the bytes it saw could not decide
    // it (none, or ASCII only without a mark): Reload detects it again.
    bool redetect = false;
    uint64_t lineCount = 1;
    uint64_t maxLineLength = 0;
    int64_t fileSize = 0;
    // The file starts with the byte-order mark of its encoding (read from its bytes).
    bool hasMark = false;
    FileStream file;
    // The path file was opened by (a search opens it again to read ahead).
    std::u16string openedPath;
    LineIndex lineIndex;
    OpenProgress progress;
    // Called after every piece a scan reads (ScanPieceSize bytes at most),
    // between the percentages: the caller keeps its window answering
    // however large the file.
    std::function<void()> scanStep;
    BlockCache blockCache;
    // The block that blockCache holds when it was read with its final end:
    // a line of it that the cache lacks has no text (it follows a NUL or a
    // final line end) and is not read again. NoBlock otherwise.
    static constexpr uint64_t NoBlock = UINT64_MAX;
    uint64_t cachedBlock = NoBlock;
    // The last ReadBlock got every byte it asked for (or had none to read).
    bool blockComplete = false;

    // Test hooks: size of each scan read (ScanBufferSize in the program),
    // the most bytes one block read takes (at most MaxBlockBytes) and the
    // pieces a block read takes them in.
    size_t scanBufferSize = ScanBufferSize;
    int64_t maxBlockBytes = MaxBlockBytes;
    size_t readPieceBytes = BlockReadPieceBytes;

    bool Open(std::u16string path, Encoding enc);
    void Close();

    std::u16string GetLineText(uint64_t line);
    // The cached text of a line without copying; valid until the next call
    // of GetLineText/LineTextRef/ClearCache.
    const std::u16string& LineTextRef(uint64_t line);
    BlockCache ReadBlock(uint64_t line);
    // Lines per index block, and the block of a line: the one place of this rule.
    uint64_t Stride() const { return indexStride ? indexStride : 100; }
    uint64_t BlockOfLine(uint64_t line) const { return line / Stride(); }
    uint64_t FirstLineOfBlock(uint64_t block) const { return block * Stride(); }
    // The file bytes [start, end) of index block `block` (the block the scan is
    // still filling ends at the last entry). False past the index or when closed.
    bool BlockBytes(uint64_t block, int64_t& start, int64_t& end) const;
    // Drops every line read and every table: the file, its bytes or the
    // encoding may be other ones now.
    void ClearCache() {
        blockCache.clear();
        cachedBlock = NoBlock;
        longTables.clear();
        pieceStamp++;
        generation++;
    }
    // Changes whenever lines read before may read otherwise (ClearCache):
    // views key what they keep of the text by it. An append (Reload) leaves
    // it, and the lines before unchangedLines read as before.
    uint64_t generation = 0;

    // The line lies in a block larger than one block read takes (maxBlockBytes): its text is
    // read in pieces, never whole. False for every line of an ordinary block.
    bool IsLongLine(uint64_t line);
    // Length of the line in UTF-16 code units, its line end included, for any line
    // (ordinary lines: the size of their cached text). Long lines: from the checkpoint table,
    // built first when missing, with progress calls; a stopped build keeps nothing and gives 0.
    uint64_t LineLength(uint64_t line, const TableProgress& progress = nullptr);
    // The code units [column, column + count) of the line's whole decoded text (clamped to the
    // line's end): exactly what decoding the whole line and taking that range would give,
    // malformed bytes, the NUL rule and ANSI lead bytes included. Reads only a bounded piece
    // of the file around the column (through the line's checkpoints: byte offset <-> column).
    std::u16string LinePiece(uint64_t line, uint64_t column, size_t count);
    // Bump on every change of the long-line tables (open, re-open, another block): consumers
    // key their own caches by (line, stamp).
    uint64_t pieceStamp = 0;
    // The bound in use (maxBlockBytes within 1..MaxBlockBytes), the bytes
    // between two checkpoints, and the units GetLineText gives of a long line.
    int64_t BlockBound() const;
    size_t PieceBytes() const;
    size_t PrefixUnits() const;
    // Tables of the long blocks read last (at most two, the latest last).
    std::vector<LongBlockTable> longTables;
    // Bytes read to build them (watched by tests).
    uint64_t longTableBytes = 0;
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
    // Lines that read as before the last Reload (0 unless it only appended).
    uint64_t unchangedLines = 0;
    // The stream holds what the last complete scan indexed, bytes appended
    // after it aside, as far as Reload tells (the checked bytes at the scan's
    // end unchanged); its size in `size`. Moves the stream's position.
    bool StillIndexed(FileStream& in, int64_t& size);

    // Indexes the file at path again in the current encoding. When it is the
    // same file and has only grown (the last complete indexed block and the
    // bytes after it unchanged), the index, line count and longest line go on
    // from where the last scan stopped, exactly as a full scan would give
    // them; otherwise the file is opened afresh. The detected encoding stays,
    // unless detection is due again (redetect) and now gives another one.
    bool Reload(const std::u16string& path);

    // Save As conversion (output/).
    bool ConvertToFile(const std::u16string& target, bool withMark, Encoding targetEncoding);
    bool ConvertChunk(FileStream& out, char* bytes, int64_t count, Encoding targetEncoding);

private:
    // LinePiece and LineLength of a line of a long block (IsLongLine).
    std::u16string LongLinePiece(uint64_t line, uint64_t column, size_t count);
    uint64_t LongLineLength(uint64_t line, const TableProgress& progress);
    const LongBlockTable* LongTable(uint64_t block, const TableProgress& progress = nullptr);
    bool BuildLongTable(int64_t start, int64_t end, LongBlockTable& table, const TableProgress& progress);
    bool DecodePiece(const LongBlockTable& table, size_t i, std::u16string& out);
    std::vector<char> pieceBytes_;
    bool Scan(FileStream& in, int unitWidth, bool resume = false);
    // Records scanEnd for the scan just made through in.
    void NoteScanEnd(const std::u16string& path, FileStream& in);
    // The Reload of a file that only grew; false when it did otherwise.
    bool ScanAppended(const std::u16string& path);
};

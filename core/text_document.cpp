#include "core/text_document.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "core/line_scan.h"
#include "core/read_ahead.h"

namespace {

bool Reserve(std::vector<char16_t>& v, size_t n) {
    try {
        v.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Share of the file scanned, truncated toward zero; kept within 0..100 so
// that a file that grew or an empty size cannot produce other values.
int32_t ScanPercent(uint64_t base, int64_t fileSize) {
    if (fileSize <= 0) return 100;
    double pct = static_cast<double>(base) * 100.0 / static_cast<double>(fileSize);
    if (pct >= 100.0) return 100;
    if (pct <= 0.0) return 0;
    return static_cast<int32_t>(pct);
}

// A hash of the bytes [from, to) of a stream; false when they cannot all be read.
bool HashRange(FileStream& in, int64_t from, int64_t to, uint64_t& hash) {
    constexpr size_t Chunk = 64 << 10;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[Chunk]);
    if (!buffer || from < 0 || to < from || !in.Seek(from)) return false;
    uint64_t h = 0xCBF29CE484222325ull ^ static_cast<uint64_t>(to - from);
    for (int64_t at = from; at < to;) {
        size_t want = to - at < static_cast<int64_t>(Chunk) ? static_cast<size_t>(to - at) : Chunk;
        if (in.Read(buffer.get(), want) != want) return false;
        size_t i = 0;
        for (; i + 8 <= want; i += 8) {
            uint64_t w;
            std::memcpy(&w, buffer.get() + i, 8);
            h = (h ^ w) * 0x100000001B3ull;
            h ^= h >> 29;
        }
        for (; i < want; i++) h = (h ^ buffer[i]) * 0x100000001B3ull;
        at += static_cast<int64_t>(want);
    }
    hash = h;
    return true;
}

} // namespace

bool TextDocument::Open(std::u16string path, Encoding enc) {
    lineIndex.clear();
    lineCount = 1;
    fileSize = 0;
    maxLineLength = 0;
    hasMark = false;
    ClearCache();
    scanEnd.valid = false;
    redetect = false;
    if (enc == Encoding::None) enc = DetectEncoding(path, &redetect);
    encoding = enc;
    detectedEncoding = enc;
    file.Close();
    if (enc == Encoding::None) return false;

    if (!file.Open(path, "rb")) return false;
    openedPath = path;
    FileStream scan;
    if (!scan.Open(path, "rb")) {
        file.Close();
        return false;
    }
    int64_t size = -1;
    if (file.Seek(0, SEEK_END)) size = file.Tell();
    fileSize = size > 0 ? size : 0;
    const std::string mark = ByteOrderMark(enc == Encoding::Utf8 ? Encoding::Utf8Bom : enc);
    char head[4] = {};
    if (!mark.empty() && file.Seek(0, SEEK_SET))
        hasMark = file.Read(head, mark.size()) == mark.size() && mark.compare(0, mark.size(), head, mark.size()) == 0;
    file.Seek(0, SEEK_SET);

    indexing = true;
    const bool scanned = Scan(scan, IsUtf16(enc) ? 2 : 1);
    indexing = false;
    if (scanned) NoteScanEnd(path, scan);
    scan.Close();
    if (!scanned) {
        // Without its buffer the scan saw nothing: no index, no file.
        file.Close();
        lineIndex.clear();
        lineCount = 1;
        maxLineLength = 0;
        return false;
    }
    return true;
}

void TextDocument::Close() {
    file.Close();
    progress = nullptr;
    scanStep = nullptr;
    lineIndex.release();
    ClearCache();
    lineCount = 1;
    maxLineLength = 0;
    fileSize = 0;
    indexing = false;
    scanEnd.valid = false;
}

// One pass over the file in reads of scanBufferSize bytes. The scan stops at
// the size taken at opening, so a file that keeps growing cannot hold it up
// and the index matches fileSize.
// A resumed scan goes on from scanEnd with the bytes after it.
bool TextDocument::Scan(FileStream& in, int unitWidth, bool resume) {
    // The first value shown is where the scan starts; 100 comes once, at the end.
    int32_t noted = resume ? std::min(ScanPercent(static_cast<uint64_t>(scanEnd.bytes), fileSize), 99) : 0;
    size_t bufferSize = scanBufferSize > 0 ? scanBufferSize : 1;
    // Each read is taken in pieces small enough to stay in the processor's
    // cache while they are scanned; only a read's last piece can be odd.
    const size_t pieceSize = bufferSize < ScanPieceSize ? bufferSize : ScanPieceSize;
    std::vector<char16_t> piece;  // 16-bit units: the reads ahead hand over such buffers
    if (!Reserve(piece, pieceSize / 2 + 1)) return false;
    if (resume && !in.Seek(scanEnd.bytes)) return false;
    if (progress) progress(noted);
    if (!resume) lineIndex.push_back(0);
    LineScanner scanner(lineIndex, unitWidth, encoding == Encoding::Utf16Be, Stride());
    if (resume) scanner.GoOn(scanEnd.scanner);
    int64_t consumed = resume ? scanEnd.bytes : 0;
    uint64_t base = static_cast<uint64_t>(consumed);
    // The pieces after the one scanned are read meanwhile, through a handle
    // of their own, when the path still names the file.
    ReadAhead ahead;
    ahead.Open(openedPath, in);
    int64_t at = consumed, asked = consumed;  // the next piece; where reads ahead go on
    auto readPiece = [&](size_t ask) -> size_t {
        const size_t n = ahead.Get(in, at, ask, pieceSize / 2 + 1, piece);
        if (!ahead.Pending()) asked = at + static_cast<int64_t>(ask);
        at += static_cast<int64_t>(n);
        while (ahead.Room() && asked < fileSize) {
            const int64_t rest = fileSize - asked;
            const size_t len = static_cast<uint64_t>(rest) < pieceSize ? static_cast<size_t>(rest) : pieceSize;
            ahead.Start(asked, len, pieceSize / 2 + 1);
            asked += static_cast<int64_t>(len);
        }
        return n;
    };
    // One read of up to bufferSize bytes, scanned; the bytes it read.
    auto scanRead = [&]() -> size_t {
        int64_t left = fileSize - consumed;
        if (piece.empty() || left <= 0) return 0;
        size_t want = static_cast<uint64_t>(left) < bufferSize ? static_cast<size_t>(left) : bufferSize;
        size_t got = 0;
        while (got < want) {
            size_t ask = want - got < pieceSize ? want - got : pieceSize;
            size_t n = readPiece(ask);
            got += n;
            size_t units = n / static_cast<size_t>(unitWidth);
            scanner.Feed(reinterpret_cast<const unsigned char*>(piece.data()), units);
            base += static_cast<uint64_t>(units) * static_cast<uint64_t>(unitWidth);
            if (scanStep) {
                lineCount = scanner.lineCount;
                maxLineLength = scanner.maxLineLength;
                scanStep();
            }
            if (n < ask) break;
        }
        consumed += static_cast<int64_t>(got);
        return got;
    };

    while (scanRead() > 0) {
        lineCount = scanner.lineCount;
        maxLineLength = scanner.maxLineLength;
        int32_t pct = ScanPercent(base, fileSize);
        if (pct != noted) {
            if (progress) progress(noted);
            noted = pct;
        }
    }
    scanEnd.valid = false;
    scanEnd.unitWidth = unitWidth;
    scanEnd.bigEndian = encoding == Encoding::Utf16Be;
    scanEnd.bytes = static_cast<int64_t>(base);
    scanEnd.indexEntries = lineIndex.size();
    scanEnd.scanner = scanner.Where();
    scanner.Finish();
    lineCount = scanner.lineCount;
    maxLineLength = scanner.maxLineLength;
    if (progress) progress(100);
    return true;
}

void TextDocument::NoteScanEnd(const std::u16string& path, FileStream& in) {
    scanEnd.valid = false;
    if (!scanEnd.scanner.indexComplete || !ReadFileIdentity(path, scanEnd.identity)) return;
    // The last complete block of the index and the lines after it, or as
    // much of their end as the check takes.
    const size_t k = scanEnd.indexEntries;
    int64_t start = k >= 2 ? lineIndex[k - 2] : 0;
    start = std::max(start, scanEnd.bytes - ScanEndCheckBytes);
    scanEnd.checkStart = std::max<int64_t>(start, 0);
    scanEnd.valid = HashRange(in, scanEnd.checkStart, scanEnd.bytes, scanEnd.checkHash);
}

bool TextDocument::ScanAppended(const std::u16string& path) {
    if (!scanEnd.valid || !file.IsOpen() || indexing) return false;
    const int width = IsUtf16(encoding) ? 2 : 1;
    if (width != scanEnd.unitWidth || (encoding == Encoding::Utf16Be) != scanEnd.bigEndian) return false;
    FileIdentity id;
    if (!ReadFileIdentity(path, id) || id != scanEnd.identity) return false;
    FileStream scan;
    int64_t size = -1;
    if (!scan.Open(path, "rb") || !StillIndexed(scan, size)) return false;

    // The lines closed before the old end read as before, but for those
    // ending in its last bytes, which a sequence cut off by that end may
    // have taken in. The tables of long blocks stay: LongTable checks a
    // table's block end and goes on with a block that grew.
    const LineScanner::Position& at = scanEnd.scanner;
    unchangedLines = at.lineCount - 1;
    if (at.units - at.lineStart < 4) unchangedLines = unchangedLines > 4 ? unchangedLines - 4 : 0;
    blockCache.clear();
    cachedBlock = NoBlock;
    pieceStamp++;
    fileSize = size;
    // Back to the state before the end of the data closed a pending line.
    lineIndex.truncate(scanEnd.indexEntries);
    lineCount = scanEnd.scanner.lineCount;
    maxLineLength = scanEnd.scanner.maxLineLength;
    indexing = true;
    const bool scanned = Scan(scan, width, true);
    indexing = false;
    if (scanned) NoteScanEnd(path, scan);
    return scanned;
}

bool TextDocument::StillIndexed(FileStream& in, int64_t& size) {
    size = in.Seek(0, SEEK_END) ? in.Tell() : -1;
    uint64_t hash = 0;
    return scanEnd.valid && size >= scanEnd.bytes &&
           HashRange(in, scanEnd.checkStart, scanEnd.bytes, hash) && hash == scanEnd.checkHash;
}

bool TextDocument::Reload(const std::u16string& path) {
    bool detect = false;
    if (redetect) {
        bool undecided = true;
        const Encoding now = DetectEncoding(path, &undecided);
        detect = now != Encoding::None && now != encoding;
        if (!detect) redetect = undecided;
    }
    reloadAppended = !detect && ScanAppended(path);
    if (reloadAppended) return true;
    unchangedLines = 0;
    const Encoding detected = detectedEncoding;
    const Encoding enc = redetect ? Encoding::None : encoding;
    ClearCache();
    const bool ok = Open(path, enc);
    if (ok && enc != Encoding::None) detectedEncoding = detected;
    return ok;
}

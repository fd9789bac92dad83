#include "core/text_document.h"

#include <algorithm>
#include <memory>
#include <new>

#include "core/line_scan.h"

namespace {

// Share of the file scanned, truncated toward zero; kept within 0..100 so
// that a file that grew or an empty size cannot produce other values.
int32_t ScanPercent(uint64_t base, int64_t fileSize) {
    if (fileSize <= 0) return 100;
    double pct = static_cast<double>(base) * 100.0 / static_cast<double>(fileSize);
    if (pct >= 100.0) return 100;
    if (pct <= 0.0) return 0;
    return static_cast<int32_t>(pct);
}

} // namespace

bool TextDocument::Open(std::u16string path, Encoding enc) {
    lineIndex.clear();
    lineCount = 1;
    fileSize = 0;
    maxLineLength = 0;
    hasMark = false;
    ClearCache();
    if (enc == Encoding::None) enc = DetectEncoding(path);
    encoding = enc;
    detectedEncoding = enc;
    file.Close();
    if (enc == Encoding::None) return false;

    if (!file.Open(path, "rb")) return false;
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
    lineIndex.release();
    ClearCache();
    lineCount = 1;
    maxLineLength = 0;
    fileSize = 0;
    indexing = false;
}

// One pass over the file in reads of scanBufferSize bytes. The scan stops at
// the size taken at opening, so a file that keeps growing cannot hold it up
// and the index matches fileSize.
bool TextDocument::Scan(FileStream& in, int unitWidth) {
    int32_t noted = 0;
    size_t bufferSize = scanBufferSize > 0 ? scanBufferSize : 1;
    // Each read is taken in pieces small enough to stay in the processor's
    // cache while they are scanned; only a read's last piece can be odd.
    const size_t pieceSize = bufferSize < ScanPieceSize ? bufferSize : ScanPieceSize;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[pieceSize]);
    if (!buffer) return false;
    if (progress) progress(0);
    lineIndex.push_back(0);
    LineScanner scanner(lineIndex, unitWidth, encoding == Encoding::Utf16Be, indexStride);
    int64_t consumed = 0;
    uint64_t base = 0;
    // One read of up to bufferSize bytes, scanned; the bytes it read.
    auto scanRead = [&]() -> size_t {
        int64_t left = fileSize - consumed;
        if (!buffer || left <= 0) return 0;
        size_t want = static_cast<uint64_t>(left) < bufferSize ? static_cast<size_t>(left) : bufferSize;
        size_t got = 0;
        while (got < want) {
            size_t ask = want - got < pieceSize ? want - got : pieceSize;
            size_t n = in.Read(buffer.get(), ask);
            got += n;
            size_t units = n / static_cast<size_t>(unitWidth);
            scanner.Feed(buffer.get(), units);
            base += static_cast<uint64_t>(units) * static_cast<uint64_t>(unitWidth);
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
    scanner.Finish();
    lineCount = scanner.lineCount;
    maxLineLength = scanner.maxLineLength;
    buffer.reset();
    if (progress) progress(100);
    return true;
}

#include "output/save_lines.h"

#include <algorithm>
#include <vector>

#include "core/platform.h"

namespace {

constexpr size_t WindowBytes = size_t(1) << 20;

// Reads the document's file through a window of bytes and writes ranges of
// it out. Positions are file offsets; lines start on code-unit boundaries.
class LineCopier {
public:
    LineCopier(TextDocument& doc, FileStream& out)
        : doc_(doc), out_(out), limit_(doc.fileSize),
          width_(IsUtf16(doc.encoding) ? 2 : 1),
          bigEndian_(doc.encoding == Encoding::Utf16Be), window_(WindowBytes) {}

    int64_t written = 0;  // bytes written so far

    // Writes the file bytes [from, to).
    bool Copy(int64_t from, int64_t to) {
        while (from < to) {
            size_t avail = 0;
            const unsigned char* b = At(from, avail);
            if (!b) return false;
            const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(avail), to - from));
            if (out_.Write(b, n) != n) return false;
            from += static_cast<int64_t>(n);
            written += static_cast<int64_t>(n);
        }
        return true;
    }

    // The end of the line that starts at pos, past its line end (CR LF, CR
    // or LF), or the end of the data.
    bool LineEnd(int64_t pos, int64_t& end) {
        int64_t p = pos;
        while (p + static_cast<int64_t>(width_) <= limit_) {
            size_t avail = 0;
            const unsigned char* b = At(p, avail);
            if (!b) return false;
            const size_t n = avail / width_ * width_;
            if (n == 0) break;
            for (size_t k = 0; k < n; k += width_) {
                const unsigned u = Unit(b + k);
                if (u != '\n' && u != '\r') continue;
                end = p + static_cast<int64_t>(k + width_);
                if (u == '\r' && end + static_cast<int64_t>(width_) <= limit_) {
                    size_t more = 0;
                    const unsigned char* c = At(end, more);
                    if (!c || more < width_) return false;
                    if (Unit(c) == '\n') end += width_;
                }
                return true;
            }
            p += static_cast<int64_t>(n);
        }
        end = limit_;
        return true;
    }

private:
    unsigned Unit(const unsigned char* b) const {
        if (width_ == 1) return b[0];
        return bigEndian_ ? unsigned(b[0]) << 8 | b[1] : b[0] | unsigned(b[1]) << 8;
    }

    // The bytes from off on that the window holds (filled there when it
    // does not hold off); null when the file holds fewer than indexed.
    const unsigned char* At(int64_t off, size_t& avail) {
        if (off < start_ || off >= start_ + static_cast<int64_t>(filled_)) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(WindowBytes), limit_ - off));
            if (want == 0 || !doc_.file.Seek(off)) return nullptr;
            filled_ = doc_.file.Read(window_.data(), want);
            start_ = off;
            if (filled_ != want) {
                filled_ = 0;
                return nullptr;
            }
        }
        const size_t at = static_cast<size_t>(off - start_);
        avail = filled_ - at;
        return window_.data() + at;
    }

    TextDocument& doc_;
    FileStream& out_;
    const int64_t limit_;
    const size_t width_;
    const bool bigEndian_;
    std::vector<unsigned char> window_;
    int64_t start_ = 0;
    size_t filled_ = 0;
};

// Writes every listed line to out; the cursor (pos, line) only moves on,
// and jumps to a block's first byte where the index tells it.
bool WriteListed(TextDocument& doc, const MatchingLines& list, FileStream& out, const ConvertProgress& progress) {
    LineCopier copier(doc, out);
    const uint64_t stride = doc.Stride();
    // The mark is written once, whether the first line is listed or not
    // (the index may count it in that line).
    const int64_t mark = !doc.hasMark ? 0 : IsUtf16(doc.encoding) ? 2 : 3;
    if (mark > 0 && !copier.Copy(0, mark)) return false;
    int64_t s = 0, e = 0;
    auto blockBytes = [&](uint64_t block) {
        if (!doc.BlockBytes(block, s, e)) return false;
        s = std::max(s, mark);
        return true;
    };
    if (!blockBytes(0)) return false;
    int64_t pos = s;
    uint64_t line = 0, rows = 0;
    const int64_t total = static_cast<int64_t>(list.Size());
    // Progress about every 4 MiB written or 64 Ki rows.
    int64_t nextBytes = 0;
    uint64_t nextRows = 0;
    auto report = [&] {
        if (!progress || (copier.written < nextBytes && rows < nextRows)) return true;
        nextBytes = copier.written + static_cast<int64_t>(ProgressStepBytes);
        nextRows = rows + (uint64_t(1) << 16);
        return progress(static_cast<int64_t>(rows), total);
    };
    // Moves the cursor one line on, writing it or not.
    auto step = [&](bool write) {
        int64_t end = 0;
        if (!copier.LineEnd(pos, end) || (write && !copier.Copy(pos, end))) return false;
        pos = end;
        ++line;
        return true;
    };
    return list.ForEachRun([&](uint64_t first, uint64_t count) {
        if (first + count > doc.lineCount) return false;
        const uint64_t block = doc.BlockOfLine(first);
        if (doc.FirstLineOfBlock(block) > line) {
            if (!blockBytes(block)) return false;
            pos = s;
            line = doc.FirstLineOfBlock(block);
        }
        while (line < first)
            if (!step(false)) return false;
        const uint64_t end = first + count;
        while (line < end) {
            if (line % stride == 0 && end - line >= stride) {
                // A whole block listed is copied without looking for its line ends.
                if (!blockBytes(doc.BlockOfLine(line)) || s != pos || !copier.Copy(s, e)) return false;
                pos = e;
                line += stride;
                rows += stride;
                if (!report()) return false;
            } else {
                if (!step(true)) return false;
                ++rows;
            }
        }
        return report();
    });
}

}  // namespace

bool SaveListedLines(TextDocument& doc, const std::u16string& path, const MatchingLines& list,
                     const std::u16string& target, const ConvertProgress& progress) {
    if (!doc.file.IsOpen() || target == path || SameFile(path, target)) return false;
    if (progress && !progress(0, static_cast<int64_t>(list.Size()))) return false;
    return WriteThroughTemporary(target, [&](FileStream& out) { return WriteListed(doc, list, out, progress); });
}

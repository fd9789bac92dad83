// Plain, unit-at-a-time models of the line rules, written straight from the
// rules, that the fast code is checked against.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace model {

struct ScanResult {
    uint64_t lineCount = 1;
    uint64_t maxLineLength = 0;
    std::vector<int64_t> index;
};

// The scan over `data` read in pieces of `readSize` bytes (last one shorter);
// an odd trailing byte of a 2-byte read is not scanned. The index holds the
// start of every stride-th line.
inline ScanResult Scan(const std::string& data, int width, bool bigEndian, size_t readSize, uint64_t stride = 100) {
    ScanResult r;
    uint64_t len = 0, base = 0;
    bool pendingCr = false;
    auto endLine = [&](uint64_t next) {
        if (r.lineCount % stride == 0) r.index.push_back(static_cast<int64_t>(next));
        r.lineCount++;
    };
    auto raise = [&](uint64_t v) { if (v > r.maxLineLength) r.maxLineLength = v; };
    size_t consumed = 0;
    auto read = [&]() {
        size_t n = data.size() - consumed < readSize ? data.size() - consumed : readSize;
        std::string piece = data.substr(consumed, n);
        consumed += n;
        return piece;
    };
    std::string buf = read();
    r.index.push_back(0);
    while (!buf.empty()) {
        size_t units = buf.size() / width;
        for (size_t i = 0; i < units; i++) {
            uint64_t off = base + i * width;
            unsigned u;
            if (width == 1) u = static_cast<unsigned char>(buf[i]);
            else if (bigEndian) u = static_cast<unsigned char>(buf[2 * i]) << 8 | static_cast<unsigned char>(buf[2 * i + 1]);
            else u = static_cast<unsigned char>(buf[2 * i]) | static_cast<unsigned char>(buf[2 * i + 1]) << 8;
            len++;
            if (u == 0x0D) {
                if (pendingCr) {
                    len--;
                    raise(len);
                    endLine(off);
                    len = 1;
                }
                pendingCr = true;
            } else if (u == 0x0A) {
                raise(len);
                endLine(off + width);
                len = 0;
                pendingCr = false;
            } else if (pendingCr) {
                len--;
                raise(len);
                endLine(off);
                len = 1;
                pendingCr = false;
            }
        }
        base += units * width;
        buf = read();
    }
    raise(len);
    if (pendingCr) endLine(base);
    return r;
}

// The split of a block's decoded text into lines numbered from `first`.
inline std::map<uint64_t, std::u16string> Split(const std::u16string& text, uint64_t first) {
    std::map<uint64_t, std::u16string> lines;
    uint64_t k = first;
    lines[k];
    for (size_t i = 0; i < text.size() && text[i] != 0; i++) {
        char16_t u = text[i];
        if (u == 0x0D && i + 1 < text.size() && text[i + 1] == 0x0A) {
            lines[k] += u"\r\n";
            lines[++k];
            i++;
        } else if (u == 0x0D || u == 0x0A) {
            lines[k] += u;
            lines[++k];
        } else {
            lines[k] += u;
        }
    }
    if (!text.empty() && (text.back() == 0x0D || text.back() == 0x0A)) lines.erase(k);
    return lines;
}

} // namespace model

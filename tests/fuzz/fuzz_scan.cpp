// Differential fuzz target: the line scan against the plain model of the
// line rules, for both unit widths, with random read sizes, index strides
// and index chunk sizes, on each vector path (scalar, SSE2, AVX2 where the
// processor has it). The same data is also scanned as a file that grew: each
// part is fed to a scanner that goes on from where the previous one stood
// before it finished, as a reload does.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/line_scan.h"
#include "core/simd_level.h"
#include "tests/core/reference_models.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int width = (data[0] & 1) ? 2 : 1;
    const bool bigEndian = (data[0] & 2) != 0;
    // Read sizes: 1..4096, odd ones included (they drop a byte of 2-byte files).
    size_t readSize = 1 + ((static_cast<size_t>(data[1]) << 8 | data[2]) % 4096);
    std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    // Bias towards line ends: map some byte values onto CR and LF units.
    if (data[0] & 4)
        for (char& c : text) {
            unsigned char b = static_cast<unsigned char>(c);
            if (b >= 0xF0) c = (b & 1) ? '\r' : '\n';
            else if (b >= 0xE8) c = 0;
        }

    // Strides of every line, a few lines and a block of units; chunks from one entry up.
    static const uint64_t strides[4] = {100, 1, 3, 64};
    const uint64_t stride = strides[(data[0] >> 3) & 3];
    const unsigned chunkBits = data[0] >> 5;
    model::ScanResult want = model::Scan(text, width, bigEndian, readSize, stride);

    for (int level = simd_level::Scalar; level <= simd_level::Avx2; level++) {
    simd_level::Cap(static_cast<simd_level::Level>(level));
    LineIndex index(chunkBits);
    index.push_back(0);
    LineScanner scanner(index, width, bigEndian, stride);
    for (size_t at = 0; at < text.size(); at += readSize) {
        size_t got = text.size() - at < readSize ? text.size() - at : readSize;
        // Each read lands at a fresh, odd-aligned place so the wide loads see every alignment.
        std::vector<unsigned char> buf(got + 1);
        std::copy(text.begin() + at, text.begin() + at + got, buf.begin() + 1);
        scanner.Feed(buf.data() + 1, got / width);
    }
    scanner.Finish();

    if (scanner.lineCount != want.lineCount || scanner.maxLineLength != want.maxLineLength ||
        index.size() != want.index.size())
        std::abort();
    for (size_t i = 0; i < index.size(); i++)
        if (index[i] != want.index[i]) std::abort();

    // Appends: up to three cuts, at unit boundaries picked by the data.
    if (readSize % width == 0) {
        const size_t units = text.size() / width;
        size_t cuts[5] = {0, 0, 0, 0, units};
        for (int c = 0; c < 3 && units > 0; c++)
            cuts[c + 1] = std::max(cuts[c], static_cast<size_t>(data[(c + 1) % size]) * 131 % (units + 1));
        LineIndex grown(chunkBits);
        grown.push_back(0);
        LineScanner::Position at;
        size_t entries = 1;
        for (int part = 0; part < 4; part++) {
            LineScanner s(grown, width, bigEndian, stride);
            if (part > 0) {
                grown.truncate(entries);
                s.GoOn(at);
            }
            const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
            for (size_t u = cuts[part]; u < cuts[part + 1];) {
                size_t n = std::min(cuts[part + 1] - u, readSize / width);
                s.Feed(p + u * width, n);
                u += n;
            }
            at = s.Where();
            entries = grown.size();
            s.Finish();
            if (part == 3 && (s.lineCount != want.lineCount || s.maxLineLength != want.maxLineLength ||
                              grown.size() != want.index.size()))
                std::abort();
        }
        for (size_t i = 0; i < grown.size(); i++)
            if (grown[i] != want.index[i]) std::abort();
    }
    }
    simd_level::Cap(simd_level::Avx2);
    return 0;
}

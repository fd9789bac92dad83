// Finds line ends in raw code units (1 or 2 bytes) and records every
// stride-th line start. Feed buffers in file order, then Finish.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/line_index.h"

class LineScanner {
public:
    // unitWidth 1: bytes 0D/0A. 2: units 0D 00/0A 00, or 00 0D/00 0A when bigEndian.
    LineScanner(LineIndex& index, int unitWidth, bool bigEndian, uint64_t stride = 100);

    // Scans `units` code units at data (unitWidth * units bytes).
    void Feed(const unsigned char* data, size_t units);
    // Ends the scan: a CR still pending ends the last line.
    void Finish();

    uint64_t lineCount = 1;
    uint64_t maxLineLength = 0;
    // False once the index could not grow; no entries are added after that.
    bool indexComplete = true;

private:
    void LineEnd(uint64_t unit, bool isCr);
    void EndLine(uint64_t nextStart);

    LineIndex& index_;
    int width_;
    bool bigEndian_;
    uint64_t stride_;
    uint64_t pos_ = 0;        // units fed so far
    uint64_t lineStart_ = 0;  // unit where the current line starts
    bool pending_ = false;    // a CR whose successor is not yet known
    uint64_t pendingAt_ = 0;
};

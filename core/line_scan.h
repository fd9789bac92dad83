// Finds line ends in raw code units (1 or 2 bytes) and records every
// stride-th line start. Feed buffers in file order, then Finish.
// The work is per block of 64 units: line ends are counted from bit masks,
// only every stride-th start is located, and line lengths are looked at only
// where a line longer than the longest so far can be.
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

    // Where a scan stands between two Feeds: with it, units appended to the
    // data later are scanned as if they had been fed in the same scan.
    struct Position {
        uint64_t units = 0;
        uint64_t lineStart = 0;
        uint64_t toIndex = 0;
        uint64_t lineCount = 1;
        uint64_t maxLineLength = 0;
        bool pending = false;
        bool indexComplete = true;
    };
    // Taken before Finish.
    Position Where() const;
    // Goes on from p over the index as it was when p was taken.
    void GoOn(const Position& p);

    uint64_t lineCount = 1;
    uint64_t maxLineLength = 0;
    // False once the index could not grow; no entries are added after that.
    bool indexComplete = true;

private:
    friend struct ScanKernel;
    // A line ends just before unit nextStart.
    void EndLine(uint64_t nextStart);
    // The shifts that find `longest` units without a line end in a block.
    void Shifts(uint64_t longest);

    LineIndex& index_;
    int width_;
    bool bigEndian_;
    uint64_t stride_;
    uint64_t pos_ = 0;        // units fed so far
    uint64_t lineStart_ = 0;  // unit where the current line starts
    bool pending_ = false;    // the unit at pos_ - 1 is a CR whose successor is not yet known
    uint64_t toIndex_ = 0;    // line ends still to come before the next index entry
    uint64_t shiftsFor_ = 0;  // the longest line shifts_ were made for
    unsigned shiftCount_ = 0;
    unsigned char shifts_[8] = {};
};

// The lines of the open document as a pane reads them. The blocks the
// screen shows are kept (two when the screen spans a block boundary, more
// with over 100 rows), so painting does not read them again, and one more
// within a budget. Lines of long blocks are read in pieces.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/text_document.h"
#include "view/pane_lines.h"

class DocumentLines {
public:
    explicit DocumentLines(TextDocument& doc) : document_(doc) {}

    // The lines the screen shows now, first and last: their blocks stay.
    std::function<void(uint64_t& first, uint64_t& last)> screen;

    // A line's text: lines past the end are empty without a read. A line of
    // a long block gives the bounded prefix the document gives.
    const std::u16string& Text(uint64_t line);
    // Length of a line in code units, its line end included.
    uint64_t Length(uint64_t line);
    // The code units [from, from + count) of a line (count clamped to its
    // end); valid until the next call. Reads only that piece of a long line.
    const char16_t* Units(uint64_t line, uint64_t from, size_t count, size_t* got = nullptr);
    // Identity of the decoding and the document's text.
    uint64_t Stamp() const;
    // The longest line, no longer than one block read can hold.
    uint64_t Longest() const;
    // Frees what is kept of the document's text.
    void Drop();
    // This object as a pane's line source; it must outlive the pane's use.
    PaneLines Source();

    // Most code units the kept blocks the screen does not show may bring the
    // kept ones to; past it they go.
    uint64_t budget = uint64_t(32) << 20;
    uint64_t reads = 0;  // blocks read (watched by tests)
    // The last piece of a long line read (watched by tests).
    const std::u16string& LastPiece() const { return piece_; }

private:
    struct Block {
        uint64_t block = UINT64_MAX;
        int64_t start = -1, end = -1;   // its bytes in the file, as the index had them
        Encoding encoding = Encoding::None;
        uint64_t generation = 0;        // document.generation when read
        bool whole = false;             // read complete: a line it lacks is empty
        uint64_t lastUse = 0;
        uint64_t units = 0;             // code units of its lines
        BlockCache lines;
    };
    // Drops the kept blocks the screen does not show (not `reading`) while
    // more than one is kept or all with `adding` units more pass the budget.
    void Trim(uint64_t reading, uint64_t adding);

    TextDocument& document_;
    std::vector<Block> blocks_;
    uint64_t clock_ = 0;
    std::u16string piece_;  // the last piece of a long line
};

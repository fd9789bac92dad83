// The lines of a listing as a pane reads them: row r shows line LineAt(r)
// of the document, read through a DocumentLines of its own, and the gutter
// shows that line's number in the file.
#pragma once
#include <cstdint>
#include <functional>

#include "core/matching_lines.h"
#include "view/document_lines.h"
#include "view/pane_lines.h"

class ListedLines {
public:
    ListedLines(TextDocument& doc, const MatchingLines& list);

    // The rows the screen shows now, first and last: the blocks of their lines stay.
    std::function<void(uint64_t& firstRow, uint64_t& lastRow)> screen;

    // The listing was replaced or cut: rows read before may show other lines.
    void Changed() { ++generation_; }
    // The document line of a row; the line count (no line) past the list.
    uint64_t LineOf(uint64_t row) const { return row < list_.Size() ? list_.LineAt(row) : document_.lineCount; }
    // Frees what is kept of the document's text.
    void Drop() { lines_.Drop(); }
    // This object as a pane's line source; it must outlive the pane's use.
    PaneLines Source();

private:
    TextDocument& document_;
    const MatchingLines& list_;
    DocumentLines lines_;
    uint64_t generation_ = 0;
};

// The text between two positions of a document, assembled from its lines
// with their own terminators.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/text_position.h"

class TextDocument;

// Receives the text in order, in pieces.
using TextSink = std::function<void(const char16_t* units, size_t count)>;

// Passes the text from start to end to sink, at most maxUnits code units.
// Columns past the end of their line are taken as the line's end; long lines
// are read in pieces. Returns false when the selection holds more than
// maxUnits units (sink then got its first maxUnits units).
bool WalkSelectedText(TextDocument& doc, TextPosition start, TextPosition end, size_t maxUnits,
                      const TextSink& sink);

// Units from start to end, counted without reading the text of long lines;
// the count stops as soon as it passes stopAbove. step, when given, is called
// between blocks of lines and while a long line's table is built; false
// abandons the count, which then gives UINT64_MAX.
uint64_t SelectedLength(TextDocument& doc, TextPosition start, TextPosition end, uint64_t stopAbove,
                        const std::function<bool()>& step = nullptr);

// Most units the text from start to end can hold, from the line index
// alone: no encoding gives more units than bytes (UTF-16: one per two).
// UINT64_MAX when the index cannot tell (the file is still being indexed).
uint64_t SelectedUnitsAtMost(const TextDocument& doc, TextPosition start, TextPosition end);

// WalkSelectedText appending to out.
bool AppendSelectedText(TextDocument& doc, TextPosition start, TextPosition end, size_t maxUnits,
                        std::u16string& out);

// The whole text from start to end.
std::u16string SelectedText(TextDocument& doc, const TextPosition& start, const TextPosition& end);

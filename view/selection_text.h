// The text between two positions of a document, assembled from its lines
// with their own terminators.
#pragma once
#include <cstddef>
#include <string>

#include "view/text_position.h"

class TextDocument;

// Appends the text from start to end to out, at most maxUnits code units.
// Columns past the end of their line are taken as the line's end. Returns
// false when the selection holds more than maxUnits units (out then holds
// its first maxUnits units).
bool AppendSelectedText(TextDocument& doc, TextPosition start, TextPosition end, size_t maxUnits,
                        std::u16string& out);

// The whole text from start to end.
std::u16string SelectedText(TextDocument& doc, const TextPosition& start, const TextPosition& end);

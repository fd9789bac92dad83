// Saving the lines of a listing: each listed line's bytes exactly as the
// file holds them, with its own line end, after the file's byte-order mark
// when it has one.
#pragma once
#include <string>

#include "core/matching_lines.h"
#include "core/text_document.h"
#include "output/convert.h"

// Writes the listed lines of doc to target through a temporary file beside
// it that replaces target in one step. progress gets the rows written and
// the rows listed, first 0, then about every block; false cancels, and a
// cancelled or failed save removes its temporary file and leaves target as
// it was. Fails when the file no longer holds the bytes indexed (it shrank),
// and when target is the document's own file.
bool SaveListedLines(TextDocument& doc, const std::u16string& path, const MatchingLines& list,
                     const std::u16string& target, const ConvertProgress& progress = nullptr);

// Printing the whole document on a printer DC.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <functional>
#include <string>

class TextDocument;
class TextView;

// Width cache of one print job, per UTF-16 code unit; 0 means not measured.
struct PrintMeasurer {
    uint16_t widths[65536];
    HDC dc;
    SIZE space;
};

int MeasureChar(PrintMeasurer& m, char16_t unit);
// Sum over the first count units; count -1 runs to the terminating zero.
int MeasureText(PrintMeasurer& m, const char16_t* text, int count);

using RowDone = std::function<void()>;
// Draws one line as rows at the left edge of rect starting at y; rowDone
// runs after each row and moves y.
void DrawWrapped(PrintMeasurer& m, const RECT& rect, const int& y, const std::u16string& text,
                 const RowDone& rowDone);

// The same for a long line of doc, read in pieces: its rows run on across
// them. Stops between pieces once *cancel is set.
void DrawLongLine(PrintMeasurer& m, const RECT& rect, const int& y, TextDocument& doc, uint64_t line,
                  const RowDone& rowDone, const bool* cancel = nullptr);

// Prints every line of the document on the DC in pd.hDC.
void PrintDocument(TextView& app, PRINTDLGW& pd);

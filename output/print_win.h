// Printing a whole document on a printer DC.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <functional>
#include <string>

class TextDocument;

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

// What a print job tells its caller, and how it is stopped.
struct PrintHooks {
    // A page is finished and the next begun (1-based number of the finished one).
    std::function<void(int32_t page)> pageDone;
    // The text printed under each page (1-based).
    std::function<std::u16string(int32_t page)> pageNumber;
    // Set to stop the job: it is checked after every row.
    const bool* cancel = nullptr;
};
enum class PrintResult { NotStarted, Printed, Cancelled };
// Prints every line of doc with font (scaled to the printer) on dc; the
// pages printed in pages.
PrintResult PrintPages(HDC dc, TextDocument& doc, const LOGFONTW& font, const PrintHooks& hooks, int32_t& pages);

// The application object: the text view with its document, drawing surface,
// scroll state, selection, find state and Save As options. One instance.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/text_document.h"
#include "search/find_options.h"
#include "view/draw_surface.h"
#include "core/text_position.h"

class TextView {
public:
    // --- document and opening (core/open_flow_win.cpp) ---
    TextDocument document;
    std::u16string filePath;
    std::u16string titleText;
    bool scanRunning = false;      // an Open is scanning; further opens are refused
    bool quitAfterScan = false;    // WM_CLOSE/WM_QUIT seen by the pump during a job
    // Progress titles and bars are redrawn at most this often (0: every percent).
    uint32_t progressRedrawMs = 40;

    bool ShowOpenDialog();
    bool OpenDocument(std::u16string path, Encoding enc);
    void OnOpenProgress(const std::u16string& path, int32_t percent);
    // After each piece the scan read: the waiting messages, when due (PumpDue).
    void OnScanStep();
    // A long job (scan, print or Save As) is running: commands that would
    // disturb it are refused, and closing waits for its end.
    bool JobRunning() const { return scanRunning || printRunning || saveRunning; }
    // Whether a progress title is to be drawn now: always for the first of a
    // job, then at most every progressRedrawMs and, unless that is 0, no more
    // often than keeps the drawing under a tenth of the job's time.
    bool ProgressDue(bool first);
    // The progress that ProgressDue allowed is drawn: its cost sets the next.
    void ProgressShown();
    // Between drawn progress, whether the job is to handle messages now
    // (every progressRedrawMs).
    bool PumpDue();
    // Esc in the main window or the text pane, or closing the window: asks a
    // running Save As or print job to stop.
    void CancelJob();
    // Indexes the open file again (F5), keeping the position and selection;
    // a view that showed the last line shows the last line after.
    bool ReloadDocument();

    // --- geometry and scrolling (view/text_view_geometry_win.cpp) ---
    HWND hwnd = nullptr;           // the Text2 window
    RECT clientRect{};
    int32_t marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
    RECT textRect{};
    uint64_t topLine = 0;
    int64_t xOffset = 0;           // 64-bit: a line may be wider than 2^31 pixels
    int32_t extraLines = 15;
    bool lineNumbersShown = true;
    int32_t scrollBarsEnabled = 1;
    int32_t wheelLines = 9;
    int32_t wheelPixels = 0;
    int32_t minGutterWidth = 48;
    LOGFONTW font{};
    DrawSurface surface;

    int32_t TextHeight() const { return textRect.bottom - textRect.top; }
    int32_t TextWidthPx() const { return textRect.right - textRect.left; }
    int32_t LinesPerPage() const;
    uint64_t RowsOnScreen() const;
    uint64_t GutterReferenceLine() const { return topLine + RowsOnScreen(); }
    // Pixel width the horizontal range covers: the estimate from the longest
    // line, and at least the widest line measured so far plus some room.
    int64_t TextRangeWidth() const;
    // The horizontal bar's maximum: TextRangeWidth when it fits the bar,
    // else the bar is scaled (ScaledHorizontalBar).
    int32_t MaxTextWidth() const;
    bool ScaledHorizontalBar() const;
    // Largest xOffset scrolling may reach.
    int64_t LastXOffset();
    // Thumb size of the scaled horizontal bar.
    int32_t ScaledHorizontalPage();
    // The widest line measured under the current metrics stamp.
    int64_t widestMeasured = 0;
    uint64_t widestStamp = 0;
    // Takes the width of a measured line into the range; true when it grew.
    bool NoteLineWidth(int64_t width);
    int32_t EffectiveGutter();
    int32_t GutterWidth(uint64_t line);
    void UpdateTextRect();
    void UpdateScrollRanges();
    void UpdateScrollPositions();
    bool ScrollVertical(int32_t delta, bool redraw);
    // 64-bit jump used where a distance may exceed 32 bits.
    bool ScrollVerticalBy(int64_t delta, bool redraw);
    bool ScrollHorizontal(int64_t delta, bool redraw);
    void Layout();
    // Rebuilds the drawing surface when the client area no longer matches it.
    void FitSurface();
    // The drawing surface for the current client area, with background and font.
    void RebuildSurface();
    LRESULT OnScroll(int bar, int request);
    LRESULT OnMouseWheel(WPARAM wParam);
    void Invalidate();
    // Zoom step of Ctrl+wheel; up is away from the user.
    void Zoom(bool up);
    // Last top line that scrolling may reach (lineCount + extraLines - page).
    uint64_t LastScrollableLine() const;
    // The vertical bar maps bar units onto lines when lineCount does not fit it.
    bool ScaledVerticalBar() const;
    int32_t ScaledBarPage() const;
    // The 1-based decimal number of a 0-based line; returns the digit count.
    static int LineNumberDigits(uint64_t line, char16_t* out);

    // --- painting (view/paint_win.cpp) ---
    COLORREF backgroundColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(39, 65, 62);
    COLORREF gutterLineColor = RGB(165, 165, 165);
    COLORREF lineNumberColor = RGB(43, 145, 175);
    void Paint(HDC dc, const RECT& paintRect);
    void DrawGutter(uint64_t first, uint64_t last);
    // Identity of the current font, decoding and document text, for the
    // per-line width cache.
    uint64_t MetricsStamp() const;
    // Length of a line in code units, its line end included.
    uint64_t ViewLineLength(uint64_t line);
    // The code units [from, from + count) of a line (count clamped to its
    // end); valid until the next call. Reads only that piece of a long line.
    const char16_t* ViewLineUnits(uint64_t line, uint64_t from, size_t count, size_t* got = nullptr);
    // Width of the first count code units of a line.
    int64_t PrefixWidth(uint64_t line, uint64_t count);
    // Width of a whole line (its line end included), taken into the range.
    int64_t LineWidth(uint64_t line);
    // A line's text for drawing and hit testing: lines past the end are empty
    // without a read. The view keeps the blocks its screen shows (two when
    // the screen spans a block boundary, more with over 100 rows), so
    // painting does not read them again, and one more within a budget.
    const std::u16string& ViewLineText(uint64_t line);
    struct ViewBlock {
        uint64_t block = UINT64_MAX;
        int64_t start = -1, end = -1;   // its bytes in the file, as the index had them
        Encoding encoding = Encoding::None;
        uint64_t generation = 0;        // document.generation when read
        bool whole = false;             // read complete: a line it lacks is empty
        uint64_t lastUse = 0;
        uint64_t units = 0;             // code units of its lines
        BlockCache lines;
    };
    // Most code units the kept blocks the screen does not show may bring the
    // kept ones to; past it they go.
    uint64_t viewBlockBudget = uint64_t(32) << 20;
    uint64_t viewBlockReads = 0;       // blocks read for the view (watched by tests)
    std::vector<ViewBlock> viewBlocks;
    uint64_t viewBlockClock = 0;
    std::u16string viewPiece;          // the last piece of a long line
    // Drops the kept blocks the screen does not show (not `reading`) while
    // more than one is kept or all with `adding` units more pass the budget.
    void TrimViewBlocks(uint64_t reading, uint64_t adding);
    // Frees what the view keeps of the document's text and its widths.
    void DropViewText();

    // --- input and selection (view/input_win.cpp) ---
    TextPosition anchor;
    TextPosition selStart;
    TextPosition selEnd;
    static LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    bool dragging = false;         // the pane holds the capture from its own button press
    // Carries out a key; false when the key has no use here.
    bool HandleKey(WPARAM vk);
    TextPosition HitTest();
    // Measures a line whole and widens the horizontal range to it if needed.
    void MeasureLine(uint64_t line);
    void EnsureVisible(const TextPosition& p);
    void ExtendTo(const TextPosition& p);
    void MoveToStart();
    void MoveToEnd();
    void SelectAll();
    struct WordSelection {
        TextPosition anchor, selStart, selEnd;
    };
    WordSelection WordAt(const TextPosition& p);

    // --- clipboard (view/clipboard_win.cpp) ---
    // Largest selection Copy puts on the clipboard: 128 Mi code units (256 MiB).
    static constexpr size_t CopyLimitUnits = size_t(128) << 20;
    std::u16string SelectedText();
    void CopySelection();

    // --- find (search/find_win.cpp, search/find_dialogs_win.cpp) ---
    std::u16string searchText;
    FindOptions findOptions;
    HWND findDialog = nullptr;
    bool findRunning = false;      // a search or count is running (it pumps messages)
    bool findCancel = false;       // set to stop the running search or count
    uint32_t findPumpIntervalMs = 40;   // least time between two pumps of a running search
    void FindNext();
    void FindPrevious();
    void CountMatches();
    void OpenFindDialog();
    INT_PTR ShowGoToDialog();
    void SetFindStatus(const std::u16string& text);

    // --- output (output/save_as_win.cpp, output/print_win.cpp) ---
    Encoding saveEncoding = Encoding::None;
    bool writeBom = false;
    bool printRunning = false;     // a print job runs; a second Print and re-indexing are refused
    bool printCancel = false;      // the running print job is to stop
    bool saveRunning = false;      // Save As writes; it pumps messages between pieces
    bool saveCancel = false;       // the running Save As is to stop
    void SaveAs();
    bool SaveCopy(const std::u16string& target);
    bool SaveCopyOrThrow(const std::u16string& target);
    void PrintCommand();

    // --- main window (app/main_window_win.cpp) ---
    HWND mainWindow = nullptr;
    HINSTANCE instance = nullptr;
    bool focusPending = true;
    wchar_t titleBuffer[100] = {};   // string 103
    wchar_t classBuffer[100] = {};   // string 109
    void EnableCommands(bool enable, bool includeOpen);
    void RefreshEncodingMenu();
    void OpenCommand();
    void ReloadCommand();
    // Loads the strings, registers the class and creates the main window.
    HWND CreateMainWindow(HINSTANCE inst);
    void OnMainCreate(HWND w);
    void OnMainSize();
    void OnCommand(HWND w, WPARAM wp, LPARAM lp);
    void ViewAs(Encoding e, UINT item);
    void ConvertTo(Encoding e, UINT item);
    void ToggleStoreWithBom();
    void FontCommand();
    void DropFiles(struct HDROP__* drop);  // an HDROP
    // Opens argument 1 of a command line, if any; true when a file opened.
    bool OpenFromCommandLine(const wchar_t* commandLine);
    // Exit and WM_CLOSE: destroys the main window, or defers while a job runs.
    void CloseMainWindow();
    // Destroys the main window when a close was deferred and no job runs.
    void FinishDeferredClose();
};

LRESULT CALLBACK MainWndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK AboutDlgProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
// Owned by the Go-to dialog's code.
INT_PTR CALLBACK GoToDialogProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
// The message loop with accelerator table accel; returns the quit code.
int RunMessageLoop(TextView& app, HACCEL accel);
// The maker's web site address shown in titles and the About box.
extern const char16_t MakerSite[];

// Runs pending messages for about 2 ms; false when it dispatched WM_CLOSE.
bool PumpMessages();
// A message for a dialog box or its controls goes through the dialog
// manager (Enter, Esc, Tab, Space); true when it took the message.
bool DialogMessage(MSG& msg);
// The accelerators PumpMessages translates, for the given main window.
void SetPumpAccelerators(HWND window, HACCEL accel);

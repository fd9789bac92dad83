// Opening a file: the Open dialog, the view reset, the progress titles shown
// while the file is indexed, and the message pump of long jobs.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "core/win_string.h"
#include "view/scroll_map.h"
#include "view/text_view.h"

const char16_t MakerSite[] = u"https://tomeview.example.org";

namespace {

std::u16string IndexingTitle(const std::u16string& path, int32_t percent) {
    std::u16string t = u"Tomeview超大文本浏览器-Orvane：";
    t += MakerSite;
    t += u"，正在打开文件：";
    t += path;
    t += u" - ";
    std::string digits = std::to_string(percent);
    t.append(digits.begin(), digits.end());
    t += u"%";
    return t;
}

// Progress drawn every 40 ms (progressRedrawMs) is still seen as steady by a
// person; drawing it on every percent costs more than the scan on a fast disk.
// Under Wine a title and two scroll bars take 10-20 ms, so the drawing is also
// kept under a tenth of the job's time. The window answers every 40 ms.
using Clock = std::chrono::steady_clock;
Clock::time_point progressShownAt, progressNext, pumpNext;

std::u16string FinishedTitle(const std::u16string& path) {
    return path + u" - Tomeview超大文本浏览器-Orvane：" + MakerSite;
}

std::u16string FullPath(const std::u16string& path) {
    std::wstring w(W(path));
    if (w.empty() || w.compare(0, 4, L"\\\\?\\") == 0 || w.compare(0, 4, L"\\\\.\\") == 0) return path;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return path;
    return U16(full.c_str(), n);
}

} // namespace

bool TextView::ShowOpenDialog() {
    // A scan or print in progress keeps its document; this counts as a cancel.
    if (JobRunning()) return true;
    wchar_t path[260] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwnd;
    ofn.lpstrFilter = L"文本文件(*.txt,*.csv);\0*.txt;*.csv;\0所有文件\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = 260;
    ofn.lpstrTitle = L"请选择一个文件";
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) return true;
    bool ok = OpenDocument(U16(path), Encoding::None);
    InvalidateRect(hwnd, &clientRect, FALSE);
    return ok;
}

bool TextView::OpenDocument(std::u16string path, Encoding enc) {
    // Never start a second scan from inside the pump of a running one: the
    // running scan owns the document and its progress callback; a print job
    // reads the document until it ends.
    if (JobRunning()) return false;
    // Absolute once, when the path arrives: the Save dialog changes the
    // current folder, and re-opens and copies use this path later.
    path = FullPath(path);
    filePath = path;
    xOffset = 0;
    topLine = 0;
    writeBom = false;
    anchor = TextPosition{};
    selStart = TextPosition{};
    selEnd = TextPosition{};
    document.ClearCache();
    DropViewText();
    document.progress = [this, path](int32_t percent) { OnOpenProgress(path, percent); };
    document.scanStep = [this] { OnScanStep(); };
    scanRunning = true;
    bool ok = document.Open(path, enc);
    scanRunning = false;
    if (!ok) {
        // The document is empty now: bring the scroll bars down to it.
        Layout();
    }
    // Whatever was drawn belongs to the previous document.
    InvalidateRect(hwnd, &clientRect, FALSE);
    return ok;
}

void TextView::OnOpenProgress(const std::u16string& path, int32_t percent) {
    HWND frame = GetParent(hwnd);
    if (percent == 100) {
        titleText = FinishedTitle(path);
        saveEncoding = document.encoding;
        if (document.hasMark) writeBom = true;
        Layout();
        SetWindowTextW(frame, W(titleText));
        return;
    }
    // The first title and the first screen (at 1 percent) always show; later
    // percentages and the growing scroll bars as often as one can see them,
    // and the waiting messages every 40 ms: under Wine every pump is a round
    // trip to its server, which on a busy machine costs more than the scan of
    // a percent.
    if (!ProgressDue(percent <= 1)) {
        if (PumpDue()) PumpMessages();
        return;
    }
    SetWindowTextW(frame, W(IndexingTitle(path, percent)));
    if (percent == 1) {
        Layout();
        InvalidateRect(hwnd, &clientRect, FALSE);
    } else if (scrollBarsEnabled) {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_PAGE;
        si.nMin = 0;
        bool scaled = ScaledVerticalBar();
        if (scaled) {
            // Too many lines for line units: the bar maps onto lines, and
            // its thumb moves as the document grows.
            si.nMax = scroll_map::ScaledRange - 1;
            si.nPage = static_cast<UINT>(ScaledBarPage());
        } else {
            si.nMax = static_cast<int32_t>(static_cast<uint32_t>(document.lineCount)) + extraLines;
            si.nPage = static_cast<UINT>(static_cast<double>(TextHeight()) / surface.lineHeight);
        }
        SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
        if (scaled) UpdateScrollPositions();

        SCROLLINFO hi{};
        hi.cbSize = sizeof(hi);
        hi.fMask = SIF_RANGE | SIF_PAGE;
        GetScrollInfo(hwnd, SB_HORZ, &hi);
        hi.nMax = MaxTextWidth();
        hi.fMask = SIF_RANGE | SIF_PAGE;
        SetScrollInfo(hwnd, SB_HORZ, &hi, TRUE);
    }
    ProgressShown();
    PumpMessages();
}

void TextView::OnScanStep() {
    if (PumpDue()) PumpMessages();
}

bool TextView::ProgressDue(bool first) {
    const Clock::time_point now = Clock::now();
    if (!first && now < progressNext) return false;
    progressShownAt = now;
    progressNext = now + std::chrono::milliseconds(progressRedrawMs);
    pumpNext = progressNext;
    return true;
}

void TextView::ProgressShown() {
    if (progressRedrawMs == 0) return;
    const Clock::time_point now = Clock::now();
    progressNext = std::max(progressNext, now + 9 * (now - progressShownAt));
}

bool TextView::PumpDue() {
    const Clock::time_point now = Clock::now();
    if (now < pumpNext) return false;
    pumpNext = now + std::chrono::milliseconds(progressRedrawMs);
    return true;
}

void TextView::CancelJob() {
    if (saveRunning) saveCancel = true;
    if (printRunning) printCancel = true;
}

namespace {

// A position of the old document in the new one: lines that are gone give
// the end of the last line, columns past a line's end its end.
TextPosition Clamped(TextView& v, TextPosition p) {
    const uint64_t last = v.document.lineCount - 1;
    if (p.line > last) p = TextPosition{last, UINT64_MAX};
    const uint64_t length = v.ViewLineLength(p.line);
    if (p.column > length) p.column = length;
    return p;
}

} // namespace

bool TextView::ReloadDocument() {
    if (JobRunning() || filePath.empty() || !document.file.IsOpen()) return false;
    const std::u16string path = filePath;
    const uint64_t rows = RowsOnScreen();
    const bool showedLast = rows > 0 && topLine + rows >= document.lineCount;
    const uint64_t top = topLine;
    const int64_t x = xOffset;
    const int64_t widest = widestStamp == MetricsStamp() ? widestMeasured : 0;
    const TextPosition a = anchor, s = selStart, e = selEnd;
    // The Save As choices are the user's, not the file's; an encoding
    // detected anew brings its defaults, as an open does.
    const Encoding viewed = document.encoding;
    const Encoding save = saveEncoding;
    const bool bom = writeBom;

    document.progress = [this, path](int32_t percent) { OnOpenProgress(path, percent); };
    document.scanStep = [this] { OnScanStep(); };
    scanRunning = true;
    const bool ok = document.Reload(path);
    scanRunning = false;
    // Widths of the lines the appended bytes did not reach stay measured.
    surface.lineMetrics.DropFrom(document.unchangedLines);
    if (!ok || document.encoding == viewed) {
        saveEncoding = save;
        writeBom = bom;
    }
    if (!ok) {
        // Gone or unreadable: the empty document, as after a failed open.
        topLine = 0;
        xOffset = 0;
        anchor = selStart = selEnd = TextPosition{};
        Layout();
        InvalidateRect(hwnd, &clientRect, FALSE);
        return false;
    }
    anchor = Clamped(*this, a);
    selStart = Clamped(*this, s);
    selEnd = Clamped(*this, e);
    topLine = top;
    const uint64_t page = LinesPerPage() > 0 ? static_cast<uint64_t>(LinesPerPage()) : 1;
    const uint64_t last = document.lineCount - 1;
    if (showedLast && last >= topLine + page) topLine = last + 1 - page;
    if (topLine > LastScrollableLine()) topLine = LastScrollableLine();
    Layout();
    // The place is clamped to the widths of the lines, not to the estimate:
    // those measured before still hold when the file only grew, and the
    // lines on screen are measured now (the paint needs them anyway).
    if (document.reloadAppended) NoteLineWidth(widest);
    const uint64_t bottom = std::min(topLine + RowsOnScreen(), last);
    for (uint64_t n = topLine; n <= bottom; ++n) LineWidth(n);
    xOffset = std::min(x, LastXOffset());
    UpdateScrollRanges();
    UpdateScrollPositions();
    InvalidateRect(hwnd, &clientRect, FALSE);
    return true;
}

namespace {
HWND pumpAccelWindow = nullptr;
HACCEL pumpAccel = nullptr;

// Esc for the text pane, or for the window that holds it, while that view
// runs a Save As or a print job: the job is asked to stop.
bool EscapeCancelsJob(HWND w) {
    HWND pane = w;
    wchar_t cls[8] = {};
    if (!w || !GetClassNameW(w, cls, 8) || wcscmp(cls, L"Text2") != 0) pane = FindWindowExW(w, nullptr, L"Text2", nullptr);
    TextView* v = pane ? reinterpret_cast<TextView*>(GetWindowLongPtrW(pane, GWLP_USERDATA)) : nullptr;
    if (!v || !(v->saveRunning || v->printRunning)) return false;
    v->CancelJob();
    return true;
}

} // namespace

void SetPumpAccelerators(HWND window, HACCEL accel) {
    pumpAccelWindow = window;
    pumpAccel = accel;
}

bool DialogMessage(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    wchar_t cls[8] = {};
    if (!root || !GetClassNameW(root, cls, 8) || wcscmp(cls, L"#32770") != 0) return false;
    return IsDialogMessageW(root, &msg) != FALSE;
}

// Handles the messages waiting now and returns at once when there are none.
bool PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The quit belongs to the outer message loop: put it back and
            // let the running job finish.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return true;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && EscapeCancelsJob(msg.hwnd)) continue;
        if (pumpAccel && IsWindow(pumpAccelWindow) && TranslateAcceleratorW(pumpAccelWindow, pumpAccel, &msg))
            continue;
        if (DialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_CLOSE) return false;
    }
    return true;
}

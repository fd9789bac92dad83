// Opening a file: the Open dialog, the view reset, the progress titles shown
// while the file is indexed, and the message pump of long jobs.
#include <windows.h>
#include <commdlg.h>

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
ULONGLONG lastProgressDrawn = 0;

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
    document.progress = [this, path](int32_t percent) { OnOpenProgress(path, percent); };
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
    // percentages, the growing scroll bars and the waiting messages as often
    // as one can see them: under Wine every pump is a round trip to its
    // server, which on a busy machine costs more than the scan of a percent.
    ULONGLONG now = GetTickCount64();
    if (percent > 1 && now - lastProgressDrawn < progressRedrawMs) return;
    lastProgressDrawn = now;
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
    PumpMessages();
}

namespace {
HWND pumpAccelWindow = nullptr;
HACCEL pumpAccel = nullptr;
} // namespace

void SetPumpAccelerators(HWND window, HACCEL accel) {
    pumpAccelWindow = window;
    pumpAccel = accel;
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
        if (pumpAccel && IsWindow(pumpAccelWindow) && TranslateAcceleratorW(pumpAccelWindow, pumpAccel, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_CLOSE) return false;
    }
    return true;
}

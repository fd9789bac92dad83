// Paint cost of the text view on one file: frames at the top, the middle and
// the end, Ctrl+End, and horizontal scrolling far into the longest line.
// With "screens", on a file of many long lines instead: frames at the top as
// the window opens, with 73 rows, each after an 8-px resize, and of a screen
// across the first two blocks (lines 90 on).
// Usage: paint_bench_win.exe <file> [frames] [screens]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/win_string.h"
#include "app/text_view.h"

namespace {

struct GdiplusInput {
    UINT32 version;
    void* debugCallback;
    BOOL suppressBackgroundThread;
    BOOL suppressExternalCodecs;
};

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

TextView* app = nullptr;

LRESULT CALLBACK FrameProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE && app && app->pane.hwnd) {
        RECT r{};
        GetClientRect(w, &r);
        MoveWindow(app->pane.hwnd, 0, 0, r.right, r.bottom, TRUE);
        app->pane.Layout();
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// One full paint through WM_PAINT.
void Frame() {
    InvalidateRect(app->pane.hwnd, nullptr, FALSE);
    UpdateWindow(app->pane.hwnd);
}

double MsPerFrame(int frames) {
    double t = Now();
    for (int i = 0; i < frames; ++i) Frame();
    return (Now() - t) * 1000.0 / frames;
}

// Sizes the frame so that its text pane has the given client size; the
// pane's paint waits for the next Frame, or pump.
void SizePane(HWND top, int width, int height, bool pump = true) {
    RECT r{0, 0, width, height + GetSystemMetrics(SM_CYHSCROLL)};
    r.right += GetSystemMetrics(SM_CXVSCROLL);
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(top, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    if (pump) Pump();
}

// The screens of a file of many long lines (see the top of the file).
void Screens(HWND top, int frames) {
    TextView& v = *app;
    RECT pane{};
    GetClientRect(v.pane.hwnd, &pane);
    const uint64_t rows = v.pane.RowsOnScreen();
    Frame();  // the first read and measuring
    const double flat = MsPerFrame(frames);

    // Resizing by 8 pixels and back: the paint after each.
    double resize = 0;
    for (int i = 0; i < frames; ++i) {
        SizePane(top, pane.right + (i % 2 ? 0 : 8), pane.bottom, false);
        const double t = Now();
        Frame();
        resize += (Now() - t) * 1000.0 / frames;
        Pump();
    }

    // 73 rows: what a 1080p window or a zoomed-out view shows.
    SizePane(top, pane.right, 73 * v.pane.surface.lineHeight);
    const uint64_t tall = v.pane.RowsOnScreen();
    Frame();
    const double rows73 = MsPerFrame(frames);
    SizePane(top, pane.right, pane.bottom);

    // Lines 90 on: the end of block 0 and the start of block 1.
    v.pane.topLine = 90;
    v.pane.UpdateScrollPositions();
    Frame();
    const double straddle = MsPerFrame(frames);
    std::printf("size=%lld lines=%llu longest=%llu rows=%llu tall_rows=%llu flat_ms=%.3f resize_ms=%.3f "
                "rows73_ms=%.3f straddle_ms=%.3f\n",
                static_cast<long long>(v.document.fileSize), static_cast<unsigned long long>(v.document.lineCount),
                static_cast<unsigned long long>(v.document.maxLineLength), static_cast<unsigned long long>(rows),
                static_cast<unsigned long long>(tall), flat, resize, rows73, straddle);
}

}  // namespace

extern "C" int WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusInput* input, void* output);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: paint_bench_win <file> [frames]\n");
        return 2;
    }
    int frames = argc > 2 ? std::atoi(argv[2]) : 100;
    const bool screens = argc > 3 && std::string(argv[3]) == "screens";
    GdiplusInput input{1, nullptr, FALSE, FALSE};
    ULONG_PTR token = 0;
    GdiplusStartup(&token, &input, nullptr);

    app = new TextView();
    TextView& v = *app;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSW frame{};
    frame.lpfnWndProc = FrameProc;
    frame.hInstance = inst;
    frame.lpszClassName = L"PaintBenchFrame";
    RegisterClassW(&frame);
    v.SetPaneDefaults();
    HWND top = CreateWindowExW(0, L"PaintBenchFrame", L"paint bench", WS_OVERLAPPEDWINDOW, 0, 0, 1016, 739,
                               nullptr, nullptr, inst, nullptr);
    v.mainWindow = top;
    v.pane.Create(top, RECT{0, 0, 1000, 700});
    ShowWindow(top, SW_SHOW);
    Pump();

    std::string path8 = argv[1];
    std::u16string path(path8.begin(), path8.end());
    double t = Now();
    if (!v.document.Open(path, Encoding::None)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    double openSeconds = Now() - t;
    v.pane.Layout();
    Pump();
    if (screens) {
        Screens(top, frames);
        DestroyWindow(top);
        v.pane.surface.Destroy();
        v.document.Close();
        return 0;
    }

    Frame();  // first read of the top block
    double top0 = MsPerFrame(frames);
    v.pane.EnsureVisible(TextPosition{v.document.lineCount / 2, 0});
    Frame();
    double middle = MsPerFrame(frames);
    t = Now();
    v.pane.MoveToEnd();  // what Ctrl+End runs
    Frame();
    double ctrlEnd = (Now() - t) * 1000.0;
    double end = MsPerFrame(frames);

    // Horizontal: jump to the middle of line 0 (the long line of the
    // single-line files), then scroll.
    v.pane.MoveToStart();
    Frame();
    const int64_t lineWidth = v.pane.LineWidth(0);
    const size_t lineUnits = static_cast<size_t>(v.pane.ViewLineLength(0));
    int64_t limit = v.pane.LastXOffset();
    int64_t target = lineWidth / 2 < limit ? lineWidth / 2 : limit;
    double hFirst = 0, hNext = 0;
    if (target > 10 * v.pane.wheelPixels) {
        t = Now();
        v.pane.ScrollHorizontal(target - v.pane.xOffset, false);
        Frame();
        hFirst = (Now() - t) * 1000.0;
        t = Now();
        for (int i = 0; i < frames; ++i) {
            v.pane.ScrollHorizontal(i % 2 ? -v.pane.wheelPixels : v.pane.wheelPixels, false);
            Frame();
        }
        hNext = (Now() - t) * 1000.0 / frames;
    }
    std::printf("size=%lld lines=%llu longest=%llu open_s=%.2f paint_top_ms=%.3f paint_mid_ms=%.3f "
                "paint_end_ms=%.3f ctrl_end_ms=%.3f hscroll_first_ms=%.3f hscroll_ms=%.3f xoffset=%lld line0_units=%zu\n",
                static_cast<long long>(v.document.fileSize), static_cast<unsigned long long>(v.document.lineCount),
                static_cast<unsigned long long>(v.document.maxLineLength), openSeconds, top0, middle, end, ctrlEnd,
                hFirst, hNext, static_cast<long long>(v.pane.xOffset), lineUnits);
    DestroyWindow(top);
    v.pane.surface.Destroy();
    v.document.Close();
    return 0;
}

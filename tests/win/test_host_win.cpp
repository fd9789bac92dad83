#include "tests/win/test_host_win.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/resource.h"
#include "core/win_string.h"

namespace {

struct GdiplusInput {
    UINT32 version;
    void* debugCallback;
    BOOL suppressBackgroundThread;
    BOOL suppressExternalCodecs;
};

const wchar_t FrameClass[] = L"TomeviewTestFrame";

}  // namespace

extern "C" int WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusInput* input, void* output);

void StartGdiplusOnce() {
    static bool started = false;
    if (started) return;
    GdiplusInput input{1, nullptr, FALSE, FALSE};
    ULONG_PTR token = 0;
    GdiplusStartup(&token, &input, nullptr);
    started = true;
}

LRESULT CALLBACK TestHost::FrameProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    TestHost* host = reinterpret_cast<TestHost*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (host && host->view_) {
        TextView& v = *host->view_;
        switch (msg) {
        case WM_SIZE: {
            RECT client{};
            GetClientRect(w, &client);
            if (v.pane.hwnd) {
                MoveWindow(v.pane.hwnd, 0, 0, client.right, client.bottom, TRUE);
                v.pane.Layout();
                if (v.focusPending) {
                    SetFocus(v.pane.hwnd);
                    v.focusPending = false;
                }
            }
            return 0;
        }
        case WM_COMMAND:
            host->commands.push_back(LOWORD(wp));
            if (LOWORD(wp) == IDM_SELECT_ALL) v.pane.SelectAll();  // as the main window does
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            v.pane.HandleKey(wp);
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcW(w, msg, wp, lp);
}

bool TestHost::Create(int clientWidth, int clientHeight) {
    StartGdiplusOnce();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof(frame);
        frame.lpfnWndProc = FrameProc;
        frame.hInstance = instance;
        frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        frame.lpszClassName = FrameClass;
        RegisterClassExW(&frame);
        registered = true;
    }
    view_.reset(new TextView());
    TextView& v = *view_;
    v.instance = instance;

    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    frame_ = CreateWindowExW(0, FrameClass, L"view test", WS_OVERLAPPEDWINDOW, 40, 40, outer.right - outer.left,
                             outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (!frame_) return false;
    SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    v.mainWindow = frame_;
    v.jobs.mainWindow = frame_;

    // Start settings of the pane, as the main window gives them.
    v.SetPaneDefaults();
    RECT client{};
    GetClientRect(frame_, &client);
    if (!v.pane.Create(frame_, client)) return false;

    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
    // The frame's first WM_SIZE may have come before the view was attached.
    SendMessageW(frame_, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    Pump();
    return true;
}

void TestHost::Destroy() {
    if (frame_) {
        DestroyWindow(frame_);
        frame_ = nullptr;
    }
    if (view_) {
        view_->pane.surface.Destroy();
        view_->document.Close();
        view_.reset();
    }
    Pump();
}

bool TestHost::Open(const std::u16string& path) {
    TextView& v = *view_;
    v.pane.Reset();
    v.document.ClearCache();
    bool ok = v.document.Open(path, Encoding::None);
    v.filePath = path;
    v.pane.Layout();
    v.pane.Invalidate();
    Pump();
    return ok;
}

void TestHost::Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void TestHost::Repaint() {
    InvalidateRect(pane(), nullptr, FALSE);
    UpdateWindow(pane());
}

COLORREF TestHost::Pixel(int x, int y) const { return GetPixel(view_->pane.surface.memoryDc, x, y); }

void TestHost::MoveMouse(int x, int y) const {
    POINT pt{x, y};
    ClientToScreen(pane(), &pt);
    SetCursorPos(pt.x, pt.y);
}

void TestHost::Settle() {
    Pump();
    Sleep(30);
    Pump();
}

LRESULT TestHost::Send(UINT msg, WPARAM wp, LPARAM lp) const { return SendMessageW(pane(), msg, wp, lp); }

static void SendKey(WORD vk, bool down) {
    INPUT in{};
    if (vk == VK_LBUTTON) {
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    } else {
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(1, &in, sizeof(in));
}

HeldKey::HeldKey(WORD vk) : vk_(vk) {
    SendKey(vk_, true);
    TestHost::Pump();
}

HeldKey::~HeldKey() {
    SendKey(vk_, false);
    TestHost::Pump();
}

std::u16string WriteTempFile(const std::string& name, const std::string& bytes) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::u16string path = U16(dir) + U16(std::wstring(name.begin(), name.end()).c_str());
    FILE* f = _wfopen(W(path), L"wb");
    if (!f) return std::u16string();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

void RemoveTempFile(const std::u16string& path) { DeleteFileW(W(path)); }

// The test program's own operator new, so that a test can make large
// allocations fail. The other forms of new and delete come down to these.
namespace {
std::atomic<size_t> failFrom{SIZE_MAX};
}  // namespace

void* operator new(size_t n) {
    if (n >= failFrom.load(std::memory_order_relaxed)) throw std::bad_alloc();
    for (;;) {
        if (void* p = std::malloc(n ? n : 1)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

LargeAllocationsFail::LargeAllocationsFail(size_t bytes) { failFrom = bytes; }
LargeAllocationsFail::~LargeAllocationsFail() { failFrom = SIZE_MAX; }

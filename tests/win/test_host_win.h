// A top-level window with a text pane over a TextView, set up the way the
// main window does it, for tests that drive the real pane window.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/text_view.h"

class TestHost {
public:
    TestHost() = default;
    ~TestHost() { Destroy(); }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // Creates the frame with the given client size and the Text2 child.
    bool Create(int clientWidth, int clientHeight);
    void Destroy();
    // Opens a file through the document core, resets the view and lays it out.
    bool Open(const std::u16string& path);
    // Dispatches every waiting message of the thread.
    static void Pump();
    // Forces a WM_PAINT now, through the window's own message path.
    void Repaint();
    // A pixel of the view's memory bitmap.
    COLORREF Pixel(int x, int y) const;
    // Puts the mouse over a client point of the view.
    void MoveMouse(int x, int y) const;
    // Lets the pointer motion arrive. Under Wine the X pointer event that a
    // move produces resets modifier keys held through SendInput, so press
    // modifiers after this.
    static void Settle();
    // Sends a message to the view window.
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;

    TextView& app() { return *view_; }
    TextPane& view() { return view_->pane; }
    HWND frame() const { return frame_; }
    HWND pane() const { return view_ ? view_->pane.hwnd : nullptr; }
    // WM_COMMAND ids the frame received (it stands in for the main window).
    std::vector<int> commands;

private:
    static LRESULT CALLBACK FrameProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    std::unique_ptr<TextView> view_;
    HWND frame_ = nullptr;
};

// Starts GDI+ once for the process.
void StartGdiplusOnce();

// Holds a modifier or mouse button down through real input (SendInput) for
// its lifetime, so GetAsyncKeyState sees it.
class HeldKey {
public:
    explicit HeldKey(WORD vk);
    ~HeldKey();
    HeldKey(const HeldKey&) = delete;
    HeldKey& operator=(const HeldKey&) = delete;

private:
    WORD vk_;
};

// Writes bytes to a new file in the temporary folder; returns its path.
std::u16string WriteTempFile(const std::string& name, const std::string& bytes);
void RemoveTempFile(const std::u16string& path);

// While one exists, every operator new of at least `bytes` bytes throws
// std::bad_alloc (a nothrow new returns null), as when memory runs out.
class LargeAllocationsFail {
public:
    explicit LargeAllocationsFail(size_t bytes);
    ~LargeAllocationsFail();
    LargeAllocationsFail(const LargeAllocationsFail&) = delete;
    LargeAllocationsFail& operator=(const LargeAllocationsFail&) = delete;
};

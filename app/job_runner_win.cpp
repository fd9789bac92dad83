#include "app/job_runner.h"

#include <algorithm>

#include "app/resource.h"

namespace {

constexpr unsigned Bit(Job j) { return 1u << static_cast<unsigned>(j); }
constexpr unsigned AnyJob = Bit(Job::Scan) | Bit(Job::Find) | Bit(Job::Count) | Bit(Job::List) | Bit(Job::Save) |
                            Bit(Job::Print) | Bit(Job::Copy);

// Which commands each job refuses. A command missing here runs during any
// job: it moves the view, opens a dialog, sets an option or only reads the
// indexed lines (a search runs within a Save As or a print). Find next
// or a listing during a find, count or listing is not refused: it stops the
// running search. A listing fills the list as it goes, so it never runs
// within another job; the list it fills is not closed under it.
struct Refusal {
    UINT command;
    unsigned during;
};
const Refusal refusals[] = {
    {IDM_OPEN, AnyJob},
    {IDM_RELOAD, AnyJob},
    {IDM_SAVE_AS, AnyJob},
    {IDM_PRINT, AnyJob},
    {IDM_FONT, AnyJob},
    {IDM_VIEW_ANSI, AnyJob},
    {IDM_VIEW_UTF8, AnyJob},
    {IDM_VIEW_UTF16LE, AnyJob},
    {IDM_VIEW_UTF16BE, AnyJob},
    {IDM_SAVE_LISTED, AnyJob},
    {IDM_FIND_NEXT, Bit(Job::Scan)},
    {IDM_LIST_LINES, Bit(Job::Scan) | Bit(Job::Save) | Bit(Job::Print) | Bit(Job::Copy)},
    {IDM_CLOSE_LIST, Bit(Job::List) | Bit(Job::Save) | Bit(Job::Copy)},
    {IDM_COPY, Bit(Job::Copy)},
};

}  // namespace

bool JobRunner::Refuses(UINT command) const {
    if (!Running()) return false;
    for (const Refusal& r : refusals)
        if (r.command == command) return (r.during & Bit(running)) != 0;
    return false;
}

bool JobRunner::Cancellable(Job job) { return job != Job::Scan && job != Job::None; }

JobRunner::Scope::Scope(JobRunner& runner, Job job)
    : runner_(runner), outer_(runner.running), outerCancel_(runner.cancel) {
    runner.running = job;
    runner.cancel = false;
    ++runner.depth_;
    // The first messages are handled after one interval, as later ones.
    if (outer_ == Job::None) runner.pumpNext_ = GetTickCount64() + runner.progressMs;
}

void JobRunner::Scope::End() {
    if (ended_) return;
    ended_ = true;
    --runner_.depth_;
    runner_.running = outer_;
    // A close asked for meanwhile stops the outer job too.
    runner_.cancel = outerCancel_ || (runner_.closePending && Cancellable(outer_));
}

// Progress drawn every 40 ms (progressMs) is still seen as steady by a
// person; drawing it on every percent costs more than the scan on a fast
// disk. Under Wine a title and two scroll bars take 10-20 ms, so the drawing
// is also kept under a tenth of the job's time. The window answers every 40 ms.
bool JobRunner::ProgressDue(bool first) {
    if (Nested()) return false;
    const uint64_t now = GetTickCount64();
    if (!first && now < progressNext_) return false;
    shownAt_ = now;
    progressNext_ = now + progressMs;
    pumpNext_ = progressNext_;
    return true;
}

void JobRunner::ProgressShown() {
    if (progressMs == 0) return;
    const uint64_t now = GetTickCount64();
    progressNext_ = std::max(progressNext_, now + 9 * (now - shownAt_));
}

bool JobRunner::PumpDue() {
    if (Nested()) return false;
    const uint64_t now = GetTickCount64();
    if (now < pumpNext_) return false;
    pumpNext_ = now + progressMs;
    return true;
}

bool JobRunner::Step() {
    if (cancel) return false;
    if (PumpDue() && !Pump()) return false;
    return !cancel && !(mainWindow && !IsWindow(mainWindow));
}

void JobRunner::Cancel() {
    if (Cancellable(running)) cancel = true;
}

bool JobRunner::IsOwnWindow(HWND w) const {
    if (!w) return false;
    HWND root = GetAncestor(w, GA_ROOT);
    if (!root) return false;
    if (root == mainWindow || (ownedDialog && root == ownedDialog)) return true;
    return mainWindow && GetWindow(root, GW_OWNER) == mainWindow;
}

bool DialogMessage(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    wchar_t cls[8] = {};
    if (!root || !GetClassNameW(root, cls, 8) || wcscmp(cls, L"#32770") != 0) return false;
    return IsDialogMessageW(root, &msg) != FALSE;
}

bool JobRunner::Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The quit belongs to the outer message loop: put it back and
            // let the running job finish.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return true;
        }
        // Esc stops the running job and keeps its own meaning (it hides the
        // Find dialog).
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && IsOwnWindow(msg.hwnd)) Cancel();
        if (accelerators && IsWindow(mainWindow) && TranslateAcceleratorW(mainWindow, accelerators, &msg)) continue;
        if (DialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_CLOSE) return false;
    }
    return true;
}

// The one runner of long jobs: the scan of an open or a reload, find,
// count and listing, Save As, printing and the count before a large copy. It knows which
// job runs, refuses the commands that job does not allow (one table), draws
// progress and handles the waiting messages at one cadence, translates the
// accelerators there, and takes one cancel: Esc in one of the program's
// windows, or closing the main window.
#pragma once
#include <windows.h>

#include <cstdint>

enum class Job { None, Scan, Find, Count, List, Save, Print, Copy };

class JobRunner {
public:
    // Which job runs; None between jobs.
    Job running = Job::None;
    // The running job is asked to stop (it stops at its next step).
    bool cancel = false;
    // The main window was closed during a job: it goes when the job ends.
    bool closePending = false;
    // Progress is drawn and messages handled at most this often (0: at every step).
    uint32_t progressMs = 40;
    // The window accelerators go to, and the table.
    HWND mainWindow = nullptr;
    HACCEL accelerators = nullptr;
    // A window whose Esc the running job takes, besides the main window and
    // its children (the Find dialog).
    HWND ownedDialog = nullptr;

    bool Running() const { return running != Job::None; }
    // A find, count or listing runs: a find command stops it.
    bool Searching() const { return running == Job::Find || running == Job::Count || running == Job::List; }
    // The running job was started from the pump of another.
    bool Nested() const { return depth_ > 1; }
    // Whether command (a menu or accelerator id) is refused while the
    // running job runs; never when none runs.
    bool Refuses(UINT command) const;
    // Whether Esc and closing stop a job of this kind (a scan runs to its end).
    static bool Cancellable(Job job);

    // Marks a job running for its lifetime. A job started from the pump of
    // another (a find during a Save As) runs within it, to its end without
    // pumping again; the outer job and its cancel come back when it ends.
    // Whether a job may start now is the caller's check (Refuses, JobRunning).
    class Scope {
    public:
        Scope(JobRunner& runner, Job job);
        ~Scope() { End(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        // The job is over before the scope ends.
        void End();

    private:
        JobRunner& runner_;
        const Job outer_;
        const bool outerCancel_;
        bool ended_ = false;
    };

    // Whether progress is to be drawn now: always for the first of a job,
    // then at most every progressMs and, unless that is 0, no more often
    // than keeps the drawing under a tenth of the job's time.
    bool ProgressDue(bool first);
    // The progress ProgressDue allowed is drawn: its cost sets the next.
    void ProgressShown();
    // Between drawn progress, whether messages are to be handled now.
    bool PumpDue();
    // Handles the messages waiting now; false when it dispatched WM_CLOSE.
    bool Pump();
    // Between two pieces of a job: handles messages when due; false when
    // the job is to stop (cancelled, or the main window closing).
    bool Step();
    // Esc or closing: a cancellable running job is asked to stop.
    void Cancel();
    // Esc for one of the program's windows.
    bool IsOwnWindow(HWND w) const;

private:
    // Milliseconds of GetTickCount64: it reads a shared page (2 ns under
    // Wine, where a high-resolution clock costs 90 ns), and a search asks at
    // every block of lines.
    uint64_t shownAt_ = 0, progressNext_ = 0, pumpNext_ = 0;
    int depth_ = 0;
};

// A message for a dialog box or its controls goes through the dialog
// manager (Enter, Esc, Tab, Space); true when it took the message.
bool DialogMessage(MSG& msg);

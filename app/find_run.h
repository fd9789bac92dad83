// What find, count and listing share: the job that runs one search, the
// start-or-stop rule of the find commands, and the status of a failure.
#pragma once
#include <windows.h>

#include <string>

#include "app/text_view.h"
#include "search/find_engine.h"

// Runs one search, count or listing as the running job; it stops when
// asked, when the window closes, or when the document changes under it (a
// file opened or viewed in another encoding from within the pump).
class FindRun {
public:
    FindRun(TextView& v, Job job)
        : v_(v), scope_(v.jobs, job), path_(v.filePath), encoding_(v.document.encoding),
          lines_(v.document.lineCount), size_(v.document.fileSize) {}
    FindRun(const FindRun&) = delete;
    FindRun& operator=(const FindRun&) = delete;

    // progress(done, total) shows the share done; false cancels.
    template <class Show>
    bool Step(uint64_t done, uint64_t total, Show show) {
        if (v_.jobs.cancel) return false;
        if (!v_.jobs.PumpDue()) return true;
        show(total ? static_cast<unsigned>(done * 100 / total) : 0u);
        if (!v_.jobs.Pump() || v_.jobs.cancel) return false;
        if (v_.mainWindow && !IsWindow(v_.mainWindow)) return false;  // the program is closing
        return v_.filePath == path_ && v_.document.encoding == encoding_ && v_.document.lineCount == lines_ &&
               v_.document.fileSize == size_;
    }

private:
    TextView& v_;
    JobRunner::Scope scope_;
    std::u16string path_;
    Encoding encoding_;
    uint64_t lines_;
    int64_t size_;
};

// A find command (command: its menu id) while a search, count or listing
// runs stops it; during another job it is refused by the job's table.
// True when it may start.
bool StartOrStop(TextView& v, UINT command);

// The status of a search that failed: a pattern that does not compile, or
// a line the engine gave up on.
std::u16string FailureText(TextView& v, const SearchDetail& d);

// A pattern that does not compile is said before anything is searched.
bool PatternUsable(TextView& v, const std::u16string& pat, const FindOptions& opt);

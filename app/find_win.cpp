// Find next, find previous and count, with their status texts. They run as
// jobs: progress in the Find dialog, cancelled by any find command (the
// dialog's buttons, F3) issued while one runs, or by Esc in the main
// window, the text pane or the Find dialog.
#include <new>
#include <string>

#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/fill_in.h"
#include "core/win_string.h"
#include "search/find_engine.h"

namespace {

// Runs one search or count as the running job; it stops when asked, when
// the window closes, or when the document changes under it (a file opened
// or viewed in another encoding from within the pump).
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

// A find command while a search or count runs stops it; during another job
// it is refused.
bool StartOrStop(TextView& v) {
    if (v.searchText.empty()) return false;
    if (v.jobs.running == Job::Find || v.jobs.running == Job::Count) {
        v.jobs.cancel = true;
        return false;
    }
    return !v.jobs.Refuses(IDM_FIND_NEXT);
}

// The status of a search that failed: a pattern that does not compile, or
// a line the engine gave up on.
std::u16string FailureText(TextView& v, const SearchDetail& d) {
    switch (d.failure) {
    case SearchDetail::Failure::BadPattern:
        return UiText(IDS_REGEX_BAD, {d.message, DecimalText(d.position)});
    case SearchDetail::Failure::MatchTooLong:
        return UiText(IDS_REGEX_TOO_LONG, {DecimalText(v.document.PrefixUnits()), DecimalText(d.line + 1)});
    default:
        return UiText(IDS_REGEX_TOO_COMPLEX, {DecimalText(d.line + 1)});
    }
}

// A pattern that does not compile is said before anything is searched.
bool PatternUsable(TextView& v, const std::u16string& pat, const FindOptions& opt) {
    SearchDetail d;
    if (CheckSearchText(pat, opt, d)) return true;
    v.SetFindStatus(FailureText(v, d));
    return false;
}

void RunSearch(TextView& v, bool forward) {
    if (!StartOrStop(v)) return;
    const std::u16string pat = v.searchText;
    const FindOptions opt = v.findOptions;
    if (!PatternUsable(v, pat, opt)) return;
    const TextPosition from = v.pane.selStart, to = v.pane.selEnd;
    TextPosition hit;
    SearchDetail detail;
    SearchResult r;
    {
        FindRun run(v, Job::Find);
        FindProgress progress = [&](uint64_t done, uint64_t total) {
            return run.Step(done, total, [&](unsigned pct) {
                v.SetFindStatus(UiText(IDS_FIND_PROGRESS, {DecimalText(pct)}));
            });
        };
        try {
            r = forward ? SearchForward(v.document, from, to, pat, opt, hit, progress, &detail)
                        : SearchBackward(v.document, from, pat, opt, hit, progress, &detail);
        } catch (const std::bad_alloc&) {
            v.SetFindStatus(UiText(IDS_FIND_NO_MEMORY));
            return;
        }
    }
    switch (r) {
    case SearchResult::Found:
        v.pane.anchor = v.pane.selStart = hit;
        v.pane.selEnd = TextPosition{hit.line, hit.column + detail.matchLength};
        v.pane.EnsureVisible(v.pane.selStart);
        v.SetFindStatus(UiText(IDS_FIND_FOUND));
        break;
    case SearchResult::NotFound:
        v.SetFindStatus(UiText(IDS_FIND_NOT_FOUND, {pat}));
        break;
    case SearchResult::Cancelled:
        v.SetFindStatus(UiText(IDS_FIND_CANCELLED));
        break;
    case SearchResult::Failed:
        v.SetFindStatus(FailureText(v, detail));
        break;
    }
}

} // namespace

void TextView::FindNext() { RunSearch(*this, true); }

void TextView::FindPrevious() { RunSearch(*this, false); }

void TextView::CountMatches() {
    if (!StartOrStop(*this)) return;
    const std::u16string pat = searchText;
    const FindOptions opt = findOptions;
    if (!PatternUsable(*this, pat, opt)) return;
    uint64_t total = 0;
    SearchDetail detail;
    SearchResult r;
    {
        FindRun run(*this, Job::Count);
        FindProgress progress = [&](uint64_t done, uint64_t lines) {
            return run.Step(done, lines, [&](unsigned pct) {
                SetFindStatus(UiText(IDS_COUNT_PROGRESS, {DecimalText(pct), DecimalText(total)}));
            });
        };
        try {
            r = CountAll(document, pat, opt, total, progress, &detail);
        } catch (const std::bad_alloc&) {
            SetFindStatus(UiText(IDS_COUNT_NO_MEMORY));
            return;
        }
    }
    if (r == SearchResult::Cancelled)
        SetFindStatus(UiText(IDS_COUNT_CANCELLED));
    else if (r == SearchResult::Failed)
        SetFindStatus(FailureText(*this, detail));
    else
        SetFindStatus(UiText(IDS_COUNT_DONE, {DecimalText(total)}));
}

void TextView::SetFindStatus(const std::u16string& text) {
    if (findDialog && IsWindow(findDialog)) SetDlgItemTextW(findDialog, IDC_FIND_STATUS, W(text));
}

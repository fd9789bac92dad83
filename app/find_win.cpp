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
#include "view/selection_text.h"

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
    if (v.jobs.Searching()) {
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

void TextView::ListCommand() {
    if (searchText.empty()) {
        OpenFindDialog();
        return;
    }
    if (!StartOrStop(*this) || !document.file.IsOpen()) return;
    if (!PatternUsable(*this, searchText, findOptions)) return;
    listPattern = searchText;
    listOptions = findOptions;
    listInverted = listInverse;
    ShowList();
    RunListing(0);
}

void TextView::RunListing(uint64_t from) {
    uint64_t added = 0, shown = listed.Size();
    SearchDetail detail;
    SearchResult r;
    listComplete = false;
    // Rows found since the list was drawn show at the next progress; rows
    // below the screen change only the scroll bar.
    auto showRows = [&] {
        if (listed.Size() == shown) return;
        const uint64_t before = shown;
        shown = listed.Size();
        listPane.UpdateScrollRanges();
        listPane.UpdateScrollPositions();
        if (before <= listPane.topLine + listPane.RowsOnScreen()) listPane.Invalidate();
    };
    {
        FindRun run(*this, Job::List);
        FindProgress progress = [&](uint64_t done, uint64_t total) {
            return run.Step(done, total, [&](unsigned pct) {
                showRows();
                SetFindStatus(UiText(IDS_LIST_PROGRESS, {DecimalText(pct), DecimalText(listed.Size())}));
            });
        };
        LineRunSink add = [&](uint64_t first, uint64_t count) {
            listed.AddRun(first, count);
            return true;
        };
        try {
            r = ListLines(document, listPattern, listOptions, listInverted, from, add, added, progress, &detail);
        } catch (const std::bad_alloc&) {
            r = SearchResult::Failed;
            detail.failure = SearchDetail::Failure::None;
        }
    }
    showRows();
    if (r == SearchResult::Cancelled) {
        SetFindStatus(UiText(IDS_LIST_CANCELLED, {DecimalText(listed.Size())}));
    } else if (r == SearchResult::Failed) {
        SetFindStatus(detail.failure == SearchDetail::Failure::None ? UiText(IDS_LIST_NO_MEMORY) : FailureText(*this, detail));
    } else {
        listComplete = true;
        SetFindStatus(UiText(IDS_LIST_DONE, {DecimalText(listed.Size())}));
    }
}

void TextView::JumpToListed(uint64_t row) {
    if (row >= listed.Size()) return;
    const uint64_t line = listed.LineAt(row);
    if (line >= document.lineCount) return;
    TextPosition hit{line, 0};
    SearchDetail detail;
    if (listInverted || FirstMatchInLine(document, line, listPattern, listOptions, hit, &detail) != SearchResult::Found) {
        hit = TextPosition{line, 0};
        detail.matchLength = 0;
    }
    GoToLine(line);
    pane.anchor = pane.selStart = hit;
    pane.selEnd = TextPosition{line, hit.column + detail.matchLength};
    pane.EnsureVisible(pane.selStart);
    SetFocus(pane.hwnd);
}

void TextView::SetFindStatus(const std::u16string& text) {
    if (findDialog && IsWindow(findDialog)) SetDlgItemTextW(findDialog, IDC_FIND_STATUS, W(text));
}

// Find next, find previous and count, with their status texts. They run as
// jobs: progress in the Find dialog, cancelled by any find command (the
// dialog's buttons, F3) issued while one runs, or by Esc in the main
// window, the text pane or the Find dialog.
#include <new>
#include <string>

#include "app/find_run.h"
#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/fill_in.h"
#include "core/win_string.h"
#include "search/find_engine.h"

bool StartOrStop(TextView& v, UINT command) {
    if (v.searchText.empty()) return false;
    if (v.jobs.Searching()) {
        v.jobs.cancel = true;
        return false;
    }
    return !v.jobs.Refuses(command);
}

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

bool PatternUsable(TextView& v, const std::u16string& pat, const FindOptions& opt) {
    SearchDetail d;
    if (CheckSearchText(pat, opt, d)) return true;
    v.SetFindStatus(FailureText(v, d));
    return false;
}

namespace {

void RunSearch(TextView& v, bool forward) {
    if (!StartOrStop(v, IDM_FIND_NEXT)) return;
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
    if (!StartOrStop(*this, IDM_FIND_NEXT)) return;
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

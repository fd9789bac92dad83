// The Print command: the print dialog, the job with its progress in the
// main window's title, and its cancel.
#include "app/print_command.h"

#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/fill_in.h"
#include "output/print_win.h"

void PrintDocument(TextView& app, PRINTDLGW& pd) {
    PrintHooks hooks;
    hooks.cancel = &app.jobs.cancel;
    hooks.pageNumber = [](int32_t page) { return UiText(IDS_PRINT_PAGE_NUMBER, {DecimalText(static_cast<uint64_t>(page))}); };
    hooks.pageDone = [&app](int32_t finished) {
        app.SetMainTitle(UiText(IDS_PRINT_PROGRESS, {app.titleText, DecimalText(static_cast<uint64_t>(finished))}));
        app.jobs.Pump();
    };
    int32_t pages = 0;
    switch (PrintPages(pd.hDC, app.document, app.pane.font, hooks, pages)) {
    case PrintResult::NotStarted: break;
    case PrintResult::Cancelled:
        app.jobs.cancel = false;
        app.SetMainTitle(UiText(IDS_PRINT_CANCELLED, {app.titleText}));
        break;
    case PrintResult::Printed:
        app.SetMainTitle(UiText(IDS_PRINT_DONE, {app.titleText, DecimalText(static_cast<uint64_t>(pages))}));
        break;
    }
}

void TextView::PrintCommand() {
    // One job at a time, and never over a file that is still being indexed
    // or while a Save As writes.
    if (JobRunning()) return;
    JobRunner::Scope job(jobs, Job::Print);
    PRINTDLGW pd{};
    pd.lStructSize = sizeof(pd);
    pd.hwndOwner = pane.hwnd;
    pd.Flags = PD_RETURNDC | PD_USEDEVMODECOPIESANDCOLLATE;
    pd.nFromPage = pd.nToPage = pd.nMinPage = pd.nMaxPage = pd.nCopies = 1;
    if (PrintDlgW(&pd) == TRUE) PrintDocument(*this, pd);
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
    if (pd.hDC) DeleteDC(pd.hDC);
}

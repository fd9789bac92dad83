// Opening a file: the Open dialog, the view reset, the progress titles shown
// while the file is indexed, and reloading.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <string>

#include "core/win_string.h"
#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/fill_in.h"

const char16_t MakerSite[] = u"https://tomeview.example.org";

namespace {

std::u16string IndexingTitle(const std::u16string& path, int32_t percent) {
    return UiText(IDS_OPENING_TITLE, {UiText(IDS_PRODUCT_TITLE, {MakerSite}), path,
                                      DecimalText(static_cast<uint64_t>(percent))});
}

std::u16string FinishedTitle(const std::u16string& path) {
    return UiText(IDS_FILE_TITLE, {path, UiText(IDS_PRODUCT_TITLE, {MakerSite})});
}

std::u16string FullPath(const std::u16string& path) {
    std::wstring w(W(path));
    if (w.empty() || w.compare(0, 4, L"\\\\?\\") == 0 || w.compare(0, 4, L"\\\\.\\") == 0) return path;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return path;
    return U16(full.c_str(), n);
}

} // namespace

TextView::TextView() {
    pane.lines = lines.Source();
    lines.screen = [this](uint64_t& first, uint64_t& last) {
        first = pane.topLine;
        last = pane.topLine + pane.RowsOnScreen();
    };
}

void TextView::DropViewText() {
    lines.Drop();
    pane.DropWidths();
}

bool TextView::ShowOpenDialog() {
    // A scan or print in progress keeps its document; this counts as a cancel.
    if (JobRunning()) return true;
    wchar_t path[260] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = pane.hwnd;
    const std::wstring filter = UiFilter(IDS_OPEN_FILTER);
    const std::u16string caption = UiText(IDS_OPEN_CAPTION);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = 260;
    ofn.lpstrTitle = W(caption);
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) return true;
    bool ok = OpenDocument(U16(path), Encoding::None);
    pane.Invalidate();
    return ok;
}

bool TextView::OpenDocument(std::u16string path, Encoding enc) {
    // Never start a second scan from inside the pump of a running one: the
    // running scan owns the document and its progress callback; a print job
    // reads the document until it ends.
    if (JobRunning()) return false;
    // Absolute once, when the path arrives: the Save dialog changes the
    // current folder, and re-opens and copies use this path later.
    path = FullPath(path);
    filePath = path;
    CloseList();  // its lines were another document's
    pane.Reset();
    writeBom = false;
    document.ClearCache();
    DropViewText();
    document.progress = [this, path](int32_t percent) { OnOpenProgress(path, percent); };
    document.scanStep = [this] { OnScanStep(); };
    bool ok;
    {
        JobRunner::Scope scan(jobs, Job::Scan);
        ok = document.Open(path, enc);
    }
    if (!ok) {
        // The document is empty now: bring the scroll bars down to it.
        pane.Layout();
    }
    // Whatever was drawn belongs to the previous document.
    pane.Invalidate();
    return ok;
}

void TextView::OnOpenProgress(const std::u16string& path, int32_t percent) {
    if (percent == 100) {
        titleText = FinishedTitle(path);
        saveEncoding = document.encoding;
        if (document.hasMark) writeBom = true;
        pane.Layout();
        SetMainTitle(titleText);
        return;
    }
    // The first title and the first screen (at 1 percent) always show; later
    // percentages and the growing scroll bars as often as one can see them,
    // and the waiting messages every 40 ms: under Wine every pump is a round
    // trip to its server, which on a busy machine costs more than the scan of
    // a percent.
    if (!jobs.ProgressDue(percent <= 1)) {
        if (jobs.PumpDue()) jobs.Pump();
        return;
    }
    SetMainTitle(IndexingTitle(path, percent));
    if (percent == 1) {
        pane.Layout();
        pane.Invalidate();
    } else {
        pane.UpdateGrowingScrollBars();
    }
    jobs.ProgressShown();
    jobs.Pump();
}

void TextView::OnScanStep() {
    if (jobs.PumpDue()) jobs.Pump();
}

namespace {

// A position of the old document in the new one: lines that are gone give
// the end of the last line, columns past a line's end its end.
TextPosition Clamped(TextView& v, TextPosition p) {
    const uint64_t last = v.document.lineCount - 1;
    if (p.line > last) p = TextPosition{last, UINT64_MAX};
    const uint64_t length = v.pane.ViewLineLength(p.line);
    if (p.column > length) p.column = length;
    return p;
}

} // namespace

bool TextView::ReloadDocument() {
    if (JobRunning() || filePath.empty() || !document.file.IsOpen()) return false;
    const std::u16string path = filePath;
    TextPane& p = pane;
    const uint64_t rows = p.RowsOnScreen();
    const bool showedLast = rows > 0 && p.topLine + rows >= document.lineCount;
    const uint64_t top = p.topLine;
    const int64_t x = p.xOffset;
    const int64_t widest = p.widestStamp == p.MetricsStamp() ? p.widestMeasured : 0;
    const TextPosition a = p.anchor, s = p.selStart, e = p.selEnd;
    // The Save As choices are the user's, not the file's; an encoding
    // detected anew brings its defaults, as an open does.
    const Encoding viewed = document.encoding;
    const Encoding save = saveEncoding;
    const bool bom = writeBom;

    document.progress = [this, path](int32_t percent) { OnOpenProgress(path, percent); };
    document.scanStep = [this] { OnScanStep(); };
    bool ok;
    {
        JobRunner::Scope scan(jobs, Job::Scan);
        ok = document.Reload(path);
    }
    // Widths of the lines the appended bytes did not reach stay measured.
    p.surface.lineMetrics.DropFrom(document.unchangedLines);
    if (!ok || document.encoding == viewed) {
        saveEncoding = save;
        writeBom = bom;
    }
    if (!ok) {
        // Gone or unreadable: the empty document, as after a failed open.
        p.Reset();
        p.Layout();
        p.Invalidate();
        KeepListAfterReload(false);
        return false;
    }
    p.anchor = Clamped(*this, a);
    p.selStart = Clamped(*this, s);
    p.selEnd = Clamped(*this, e);
    p.topLine = top;
    const uint64_t page = p.LinesPerPage() > 0 ? static_cast<uint64_t>(p.LinesPerPage()) : 1;
    const uint64_t last = document.lineCount - 1;
    // A view of the end shows the new end on its last row (or from the top,
    // when the file no longer fills a page).
    if (showedLast) p.topLine = last + 1 >= page ? last + 1 - page : 0;
    if (p.topLine > p.LastScrollableLine()) p.topLine = p.LastScrollableLine();
    p.Layout();
    // The place is clamped to the widths of the lines, not to the estimate:
    // those measured before still hold when the file only grew, and the
    // lines on screen are measured now (the paint needs them anyway).
    if (document.reloadAppended) p.NoteLineWidth(widest);
    const uint64_t bottom = std::min(p.topLine + p.RowsOnScreen(), last);
    for (uint64_t n = p.topLine; n <= bottom; ++n) p.LineWidth(n);
    p.xOffset = std::min(x, p.LastXOffset());
    p.UpdateScrollBars();
    p.Invalidate();
    KeepListAfterReload(true);
    return true;
}

void TextView::SetMainTitle(const std::u16string& text) {
    if (mainWindow) SetWindowTextW(mainWindow, W(text));
}

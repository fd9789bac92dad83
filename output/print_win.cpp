// Printing a document on a printer DC: pages with wrapped rows and page
// numbers. Progress and cancel come through the caller's hooks.
#include "output/print_win.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "core/text_document.h"
#include "core/win_string.h"
#include "output/print_layout.h"

namespace {

const DOCINFOW kDocInfo = {sizeof(DOCINFOW), L"printer", nullptr, nullptr, 0};

struct PrintJob {
    const PrintHooks* hooks = nullptr;
    HDC dc = nullptr;
    int pageScale = 0;
    RECT rect{};
    int y = 0;
    int page = 1;
    HFONT printerFont = nullptr;
    HGDIOBJ previousFont = nullptr;
    int lineHeight = 0;
    PrintMeasurer* measurer = nullptr;
};

void DrawPageNumber(PrintJob& job) {
    const std::u16string text = job.hooks->pageNumber ? job.hooks->pageNumber(job.page) : std::u16string();
    int width = MeasureText(*job.measurer, text.c_str(), -1);
    int x = (job.rect.right + job.rect.left - width) / 2;
    ExtTextOutW(job.dc, x, job.rect.bottom + 2 * job.lineHeight, 0, nullptr, W(text),
                static_cast<UINT>(text.size()), nullptr);
}

void PrintRowDone(PrintJob& job) {
    if (job.hooks->cancel && *job.hooks->cancel) return;  // the job ends at its next line
    job.y += job.lineHeight;
    if (job.y < job.rect.bottom) return;
    DrawPageNumber(job);
    int finished = job.page;
    job.page += 1;
    job.y = 80 * job.pageScale;
    SelectObject(job.dc, job.previousFont);
    EndPage(job.dc);
    StartPage(job.dc);
    job.previousFont = SelectObject(job.dc, job.printerFont);
    if (job.hooks->pageDone) job.hooks->pageDone(finished);
}

}  // namespace

int MeasureChar(PrintMeasurer& m, char16_t unit) {
    if (unit == 13 || unit == 10) return 0;
    if (m.widths[unit] != 0) return m.widths[unit];
    if (unit == 9) {
        m.widths[unit] = static_cast<uint16_t>(4 * m.space.cx);
        return m.widths[unit];
    }
    SIZE size{};
    wchar_t c = static_cast<wchar_t>(unit);
    GetTextExtentPoint32W(m.dc, &c, 1, &size);
    m.widths[unit] = static_cast<uint16_t>(size.cx);
    return m.widths[unit];
}

int MeasureText(PrintMeasurer& m, const char16_t* text, int count) {
    int sum = 0;
    for (int i = 0; count < 0 ? text[i] != 0 : i < count; ++i) sum += MeasureChar(m, text[i]);
    return sum;
}

namespace {

// One row at the left edge. The line end takes no room and is not drawn:
// fonts show CR and LF as boxes.
void DrawRow(PrintMeasurer& m, const RECT& rect, int y, const char16_t* row, size_t count,
             const int32_t* advances, std::vector<INT>& dx) {
    size_t shown = count;
    while (shown > 0 && (row[shown - 1] == u'\r' || row[shown - 1] == u'\n')) --shown;
    if (shown == 0) return;
    dx.assign(advances, advances + shown);
    ExtTextOutW(m.dc, rect.left, y, 0, nullptr, reinterpret_cast<const wchar_t*>(row), static_cast<UINT>(shown),
                dx.data());
}

}  // namespace

void DrawWrapped(PrintMeasurer& m, const RECT& rect, const int& y, const std::u16string& text,
                 const RowDone& rowDone) {
    const int width = rect.right - rect.left;
    std::vector<INT> dx;
    BreakRows(text.c_str(), text.size(), width,
              [&m](char16_t u) { return MeasureChar(m, u); },
              [&](size_t first, size_t count, const int32_t* advances) {
                  DrawRow(m, rect, y, text.c_str() + first, count, advances, dx);
                  rowDone();
              });
}

void DrawLongLine(PrintMeasurer& m, const RECT& rect, const int& y, TextDocument& doc, uint64_t line,
                  const RowDone& rowDone, const bool* cancel) {
    RowBreaker rows(rect.right - rect.left, [&m](char16_t u) { return MeasureChar(m, u); });
    std::vector<INT> dx;
    const RowBreaker::EmitText draw = [&](const char16_t* row, size_t count, const int32_t* advances) {
        DrawRow(m, rect, y, row, count, advances, dx);
        rowDone();
    };
    const uint64_t length = doc.LineLength(line);
    const size_t piece = std::max<size_t>(doc.PrefixUnits(), 1);
    for (uint64_t c = 0; c < length && !(cancel && *cancel);) {
        const std::u16string part = doc.LinePiece(line, c, piece);
        if (part.empty()) break;  // the file changed under the line
        rows.Feed(part.data(), part.size(), draw);
        c += part.size();
    }
    rows.Finish(draw);
}

PrintResult PrintPages(HDC dc, TextDocument& doc, const LOGFONTW& font, const PrintHooks& hooks, int32_t& pages) {
    pages = 0;
    const int horzSize = GetDeviceCaps(dc, HORZSIZE);
    const int horzRes = GetDeviceCaps(dc, HORZRES);
    const int vertRes = GetDeviceCaps(dc, VERTRES);
    const int s = PageScale(horzRes, horzSize, GetDeviceCaps(dc, LOGPIXELSX));

    if (StartDocW(dc, &kDocInfo) <= 0) return PrintResult::NotStarted;

    PrintJob job;
    job.hooks = &hooks;
    job.dc = dc;
    job.pageScale = s;
    job.page = 1;
    job.y = 80 * s;
    job.rect = {60 * s, 80 * s, horzRes - 60 * s, vertRes - 100 * s};
    LOGFONTW lf = font;
    lf.lfHeight *= s;
    job.printerFont = CreateFontIndirectW(&lf);

    StartPage(dc);
    job.previousFont = SelectObject(dc, job.printerFont);

    auto measurer = std::make_unique<PrintMeasurer>();
    *measurer = {};
    GetTextExtentPoint32W(dc, L" ", 1, &measurer->space);
    // A font that reports no height must still move rows down.
    job.lineHeight = std::max<int>(1, measurer->space.cy + 3 * s);
    measurer->dc = dc;
    job.measurer = measurer.get();

    const bool never = false;
    const bool* cancel = hooks.cancel ? hooks.cancel : &never;
    RowDone rowDone = [&job] { PrintRowDone(job); };
    for (uint64_t line = 0; line < doc.lineCount && !*cancel; ++line) {
        if (doc.IsLongLine(line))
            DrawLongLine(*measurer, job.rect, job.y, doc, line, rowDone, cancel);
        else
            DrawWrapped(*measurer, job.rect, job.y, doc.GetLineText(line), rowDone);
    }
    if (*cancel) {
        // Esc or closing the window: the spooler drops the job.
        SelectObject(dc, job.previousFont);
        DeleteObject(job.printerFont);
        AbortDoc(dc);
        return PrintResult::Cancelled;
    }

    if (job.y > 80 * s) DrawPageNumber(job);
    pages = job.page;
    SelectObject(dc, job.previousFont);
    EndPage(dc);
    DeleteObject(job.printerFont);
    EndDoc(dc);
    return PrintResult::Printed;
}

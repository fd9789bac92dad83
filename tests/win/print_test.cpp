// Printing: measuring and wrapping on a memory DC, and whole jobs on the
// default printer (the e2e script provides a PDF printer).
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/win_string.h"
#include "output/print_layout.h"
#include "output/print_win.h"
#include "app/print_command.h"
#include "tests/core/test_files.h"
#include "app/text_view.h"

namespace fs = std::filesystem;

namespace {

LOGFONTW ViewFont() {
    LOGFONTW lf{};
    lf.lfHeight = 16;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(lf.lfFaceName, L"Courier New");
    return lf;
}

class MemoryDcTest : public ::testing::Test {
protected:
    void SetUp() override {
        dc = CreateCompatibleDC(nullptr);
        LOGFONTW lf = ViewFont();
        font = CreateFontIndirectW(&lf);
        old = SelectObject(dc, font);
        m = std::make_unique<PrintMeasurer>();
        *m = {};
        m->dc = dc;
        GetTextExtentPoint32W(dc, L" ", 1, &m->space);
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteObject(font);
        DeleteDC(dc);
    }
    HDC dc = nullptr;
    HFONT font = nullptr;
    HGDIOBJ old = nullptr;
    std::unique_ptr<PrintMeasurer> m;
};

TEST_F(MemoryDcTest, MeasureCharCachesAndSpecialCases) {
    ASSERT_GT(m->space.cx, 0);
    EXPECT_EQ(MeasureChar(*m, u'\r'), 0);
    EXPECT_EQ(MeasureChar(*m, u'\n'), 0);
    EXPECT_EQ(m->widths[u'\r'], 0);
    EXPECT_EQ(MeasureChar(*m, u'\t'), 4 * m->space.cx);
    SIZE a{};
    GetTextExtentPoint32W(dc, L"\u4E2D", 1, &a);
    EXPECT_EQ(MeasureChar(*m, u'\u4E2D'), a.cx);
    EXPECT_EQ(m->widths[0x4E2D], a.cx);
    // Cached: a different font on the DC no longer matters.
    m->widths[u'x'] = 77;
    EXPECT_EQ(MeasureChar(*m, u'x'), 77);
    EXPECT_EQ(MeasureText(*m, u"x\tx\r\n", -1), 154 + 4 * m->space.cx);
    EXPECT_EQ(MeasureText(*m, u"x\tx\r\n", 1), 77);
}

TEST_F(MemoryDcTest, DrawWrappedRowsFitTheRectangle) {
    const int cw = MeasureChar(*m, u'a');
    ASSERT_GT(cw, 0);
    RECT rect{10, 0, 10 + 10 * cw + cw / 2, 1000};  // room for ten units and a half
    int y = 0, rows = 0;
    std::vector<int> ys;
    RowDone done = [&] { ys.push_back(y); y += 20; ++rows; };
    std::u16string text(35, u'a');
    text += u"\r\n";
    DrawWrapped(*m, rect, y, text, done);
    EXPECT_EQ(rows, 4);  // 10 + 10 + 10 + 5 (with CR LF)
    EXPECT_EQ(ys, (std::vector<int>{0, 20, 40, 60}));

    rows = 0;
    DrawWrapped(*m, rect, y, u"", done);
    EXPECT_EQ(rows, 0);
    DrawWrapped(*m, rect, y, u"\n", done);
    EXPECT_EQ(rows, 1);

    // A long line read in pieces prints the rows of the whole line.
    testfiles::TempFile f(std::string(3505, 'a') + "\r\nnext\n");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    doc.maxBlockBytes = 100;
    ASSERT_TRUE(doc.IsLongLine(0));
    rows = 0;
    DrawLongLine(*m, rect, y, doc, 0, done);
    EXPECT_EQ(rows, 351);
    rows = 0;
    DrawLongLine(*m, rect, y, doc, 1, done);
    EXPECT_EQ(rows, 1);
}

TEST_F(MemoryDcTest, NoJobWhenTheDeviceRefusesIt) {
    auto view = std::make_unique<TextView>();
    HWND main = CreateWindowExW(0, L"STATIC", L"untouched", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    view->mainWindow = main;
    view->titleText = u"t";
    PRINTDLGW pd{};
    pd.hDC = dc;  // a memory DC accepts no print job
    PrintDocument(*view, pd);
    wchar_t title[128];
    GetWindowTextW(main, title, 128);
    EXPECT_STREQ(title, L"untouched");
    DestroyWindow(main);
}

// Records every title the job sets on the main window.
std::vector<std::wstring>* g_titles = nullptr;
WNDPROC g_staticProc = nullptr;
// The job is cancelled (as Esc or closing does) when it shows this title.
TextView* g_cancelView = nullptr;
std::wstring g_cancelAt;
LRESULT CALLBACK RecordTitles(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SETTEXT && g_titles) g_titles->push_back(reinterpret_cast<const wchar_t*>(lp));
    if (msg == WM_SETTEXT && g_cancelView && g_cancelAt == reinterpret_cast<const wchar_t*>(lp)) g_cancelView->CancelJob();
    return CallWindowProcW(g_staticProc, w, msg, wp, lp);
}

class PrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        pd = {};
        pd.lStructSize = sizeof(pd);
        pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
        if (!PrintDlgW(&pd) || !pd.hDC) GTEST_SKIP() << "no printer (tests/e2e/print_pdf.sh starts one)";
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        dir = fs::path(tmp) / ("tv_print_" + std::to_string(GetTickCount()));
        fs::create_directories(dir);
        main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                               nullptr, nullptr, nullptr);
        g_staticProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordTitles)));
        view = std::make_unique<TextView>();
        view->mainWindow = main;
        view->pane.hwnd = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, main, nullptr,
                                     nullptr, nullptr);
        view->pane.font = ViewFont();
        view->titleText = u"doc";
        g_titles = &titles;
    }
    void TearDown() override {
        g_titles = nullptr;
        if (!pd.hDC) return;
        view->document.Close();
        DestroyWindow(main);
        if (pd.hDevMode) GlobalFree(pd.hDevMode);
        if (pd.hDevNames) GlobalFree(pd.hDevNames);
        DeleteDC(pd.hDC);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void OpenText(const std::string& bytes) {
        fs::path p = dir / "p.txt";
        std::ofstream(p, std::ios::binary) << bytes;
        ASSERT_TRUE(view->document.Open(U16(p.wstring().c_str()), Encoding::None));
    }
    // Rows per page as the job lays them out on this device.
    int RowsPerPage() {
        int s = PageScale(GetDeviceCaps(pd.hDC, HORZRES), GetDeviceCaps(pd.hDC, HORZSIZE),
                          GetDeviceCaps(pd.hDC, LOGPIXELSX));
        LOGFONTW lf = view->pane.font;
        lf.lfHeight *= s;
        HFONT f = CreateFontIndirectW(&lf);
        HGDIOBJ o = SelectObject(pd.hDC, f);
        SIZE sp{};
        GetTextExtentPoint32W(pd.hDC, L" ", 1, &sp);
        SelectObject(pd.hDC, o);
        DeleteObject(f);
        int lh = sp.cy + 3 * s;
        int top = 80 * s, bottom = GetDeviceCaps(pd.hDC, VERTRES) - 100 * s;
        return (bottom - top + lh - 1) / lh;
    }

    PRINTDLGW pd{};
    fs::path dir;
    HWND main = nullptr;
    std::unique_ptr<TextView> view;
    std::vector<std::wstring> titles;
};

TEST_F(PrinterTest, EmptyDocumentIsOnePage) {
    PrintDocument(*view, pd);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles.back(), L"doc - 打印文件完成：总共1页");
}

TEST_F(PrinterTest, PagesFollowTheRowsAndReportProgress) {
    const int perPage = RowsPerPage();
    ASSERT_GT(perPage, 5);
    // Exactly two full pages of rows: the row that fills page 2 begins page 3.
    std::string text;
    for (int i = 0; i < 2 * perPage - 1; ++i) text += "row " + std::to_string(i) + "\r\n";
    text += "last";
    OpenText(text);
    PrintDocument(*view, pd);
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles[0], L"doc - 正在打印文件：第1页");
    EXPECT_EQ(titles[1], L"doc - 正在打印文件：第2页");
    EXPECT_EQ(titles[2], L"doc - 打印文件完成：总共3页");

    titles.clear();
    view->document.Close();
    text.clear();
    for (int i = 0; i < perPage - 1; ++i) text += "row\n";
    OpenText(text + "x");
    PrintDocument(*view, pd);
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[1], L"doc - 打印文件完成：总共2页");
}

TEST_F(PrinterTest, ACancelledJobStopsAtItsPage) {
    std::string text;
    for (int i = 0; i < 4 * RowsPerPage(); ++i) text += "row " + std::to_string(i) + "\n";
    OpenText(text);
    view->jobs.running = Job::Print;  // as the Print command has it
    g_cancelView = view.get();
    g_cancelAt = L"doc - 正在打印文件：第2页";
    PrintDocument(*view, pd);
    g_cancelView = nullptr;
    view->jobs.running = Job::None;
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"doc - 正在打印文件：第1页", L"doc - 正在打印文件：第2页",
                                                 L"doc - 打印已取消"}));
    EXPECT_FALSE(view->jobs.cancel);
}

TEST_F(PrinterTest, SecondPrintDuringAJobIsIgnored) {
    view->jobs.running = Job::Print;
    std::atomic<bool> dialog{false};
    std::thread watch([&] {
        for (int t = 0; t < 1500; t += 50) {
            HWND w = GetForegroundWindow();
            wchar_t cls[32] = {};
            if (w) GetClassNameW(w, cls, 32);
            if (w && lstrcmpW(cls, L"#32770") == 0) {
                dialog = true;
                PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            Sleep(50);
        }
    });
    view->PrintCommand();
    watch.join();
    EXPECT_FALSE(dialog);
    EXPECT_EQ(view->jobs.running, Job::Print);
    EXPECT_TRUE(titles.empty());
}

}  // namespace

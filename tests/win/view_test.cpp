// The Text2 pane driven through real window messages and input under Wine:
// scrolling, gutter, painting pixels, hit testing, selection and zoom.
#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/win/test_host_win.h"

extern "C" int WINAPI GdipGetClipBoundsI(void* graphics, RECT* xywh);

namespace {

const COLORREF White = RGB(255, 255, 255);

COLORREF Inverted(COLORREF c) { return ~c & 0x00FFFFFF; }

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Create(640, 400)); }
    void TearDown() override {
        host.Destroy();
        if (!path.empty()) RemoveTempFile(path);
    }
    void Open(const std::string& bytes) {
        // The file open before may only be marked for deletion while the
        // view holds it: the next one has a name of its own.
        if (!path.empty()) RemoveTempFile(path);
        static int serial = 0;
        name = "tomeview_view_test_" + std::to_string(++serial) + ".txt";
        path = WriteTempFile(name, bytes);
        ASSERT_FALSE(path.empty());
        ASSERT_TRUE(host.Open(path));
        host.Repaint();
    }
    TextPane& v() { return host.view(); }
    DrawSurface& s() { return host.view().surface; }
    int X0() { return v().textRect.left + v().GutterWidth(v().GutterReferenceLine()); }
    int RowTop(int row) { return v().textRect.top + row * s().lineHeight; }
    void Wheel(int delta) { host.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta)))); }
    void Key(WPARAM vk) { host.Send(WM_KEYDOWN, vk); }
    // A key pressed in the pane, through the program's accelerator table.
    void Accelerate(WPARAM vk) {
        static const HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_TOMEVIEW));
        MSG m{host.pane(), WM_KEYDOWN, vk, 0, 0, {}};
        TranslateAcceleratorW(host.frame(), table, &m);
    }
    void Scroll(UINT msg, int code) { host.Send(msg, MAKEWPARAM(code, 0)); }
    SCROLLINFO Bar(int bar) {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_ALL;
        GetScrollInfo(host.pane(), bar, &si);
        return si;
    }
    // Pixels of one row of the text column, from x0 to the right edge.
    std::vector<COLORREF> Row(int row, int from) {
        std::vector<COLORREF> out;
        for (int y = RowTop(row); y < RowTop(row + 1); ++y)
            for (int x = from; x < v().textRect.right; ++x) out.push_back(host.Pixel(x, y));
        return out;
    }
    // A click at a client point, with a modifier held through real input.
    TextPosition ClickAt(int x, int y, UINT msg = WM_LBUTTONDOWN, WORD modifier = 0) {
        host.MoveMouse(x, y);
        TestHost::Settle();
        std::unique_ptr<HeldKey> held;
        if (modifier) held.reset(new HeldKey(modifier));
        host.Send(msg, 0, MAKELPARAM(x, y));
        if (msg == WM_LBUTTONDOWN) host.Send(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        held.reset();
        return v().HitTest();
    }
    // Drags the vertical thumb with real mouse input to a bar position
    // (aimed through the bar's pixel length); records the top lines seen
    // while tracking. The moves are fed from a timer because the scroll
    // bar runs its own message loop while the button is down.
    void DragThumb(int position, std::vector<int>* tracked) {
        SCROLLBARINFO sb{};
        sb.cbSize = sizeof(sb);
        GetScrollBarInfo(host.pane(), OBJID_VSCROLL, &sb);
        SCROLLINFO si = Bar(SB_VERT);
        int x = (sb.rcScrollBar.left + sb.rcScrollBar.right) / 2;
        int y = sb.rcScrollBar.top + (sb.xyThumbTop + sb.xyThumbBottom) / 2;
        int track = sb.rcScrollBar.bottom - sb.rcScrollBar.top - 2 * sb.dxyLineButton -
                    (sb.xyThumbBottom - sb.xyThumbTop);
        double span = static_cast<double>(si.nMax) - si.nMin + 1 - si.nPage;
        double moveBy = (position - static_cast<double>(si.nPos)) / span * track;
        int toY = y + static_cast<int>(moveBy);
        if (position == 0) toY = sb.rcScrollBar.top - 5;
        if (position >= si.nMax) toY = sb.rcScrollBar.bottom + 5;
        host.MoveMouse(0, 0);
        SetCursorPos(x, y);
        TestHost::Settle();
        dragX = x;
        dragFrom = y;
        dragTo = toY;
        dragStep = 0;
        spyView = &v();
        spyTrack = tracked;
        WNDPROC old = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(host.pane(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Spy)));
        spyOld = old;
        UINT_PTR timer = SetTimer(nullptr, 0, 40, DragTick);
        Mouse(MOUSEEVENTF_LEFTDOWN, 0, 0);
        for (int i = 0; i < 100 && dragStep < 5; ++i) {
            TestHost::Pump();
            Sleep(10);
        }
        KillTimer(nullptr, timer);
        TestHost::Settle();
        SetWindowLongPtrW(host.pane(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        spyTrack = nullptr;
    }
    static void Mouse(DWORD flags, int x, int y) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flags;
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        in.mi.dx = (x * 65536 + sw / 2) / sw;
        in.mi.dy = (y * 65536 + sh / 2) / sh;
        SendInput(1, &in, sizeof(in));
    }
    static void CALLBACK DragTick(HWND, UINT, UINT_PTR, DWORD) {
        ++dragStep;
        if (dragStep <= 3)
            Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, dragX, dragFrom + (dragTo - dragFrom) * dragStep / 3);
        else if (dragStep == 4)
            Mouse(MOUSEEVENTF_LEFTUP, 0, 0);
    }
    static int dragX, dragFrom, dragTo, dragStep;
    // Records the top line after every live thumb-tracking message.
    static LRESULT CALLBACK Spy(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        LRESULT r = CallWindowProcW(spyOld, w, msg, wp, lp);
        if (msg == WM_VSCROLL && LOWORD(wp) == SB_THUMBTRACK && spyTrack)
            spyTrack->push_back(static_cast<int>(spyView->topLine));
        return r;
    }
    static std::vector<int>* spyTrack;
    static TextPane* spyView;
    static WNDPROC spyOld;

    // UTF-16 LE bytes with their mark.
    static std::string Utf16(const std::u16string& text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        return bytes;
    }
    std::string Lines(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
        return text;
    }

    TestHost host;
    std::u16string path;
    std::string name;  // of the file at path
};

std::vector<int>* ViewTest::spyTrack = nullptr;
int ViewTest::dragX = 0, ViewTest::dragFrom = 0, ViewTest::dragTo = 0, ViewTest::dragStep = 0;
TextPane* ViewTest::spyView = nullptr;
WNDPROC ViewTest::spyOld = nullptr;

TEST_F(ViewTest, SurfaceMeasuresTabsLineEndsAndFontChanges) {
    DrawSurface& surface = s();
    ASSERT_GT(surface.spaceWidth, 0);
    EXPECT_GT(surface.lineHeight, surface.lineSpacing);
    EXPECT_EQ(surface.CharWidth(u'\t'), 4 * surface.spaceWidth);
    EXPECT_EQ(surface.CharWidth(u'\n'), surface.spaceWidth);
    EXPECT_EQ(surface.CharWidth(u'\r'), 0);
    // "Courier New" must come out monospaced.
    EXPECT_EQ(surface.CharWidth(u'i'), surface.spaceWidth);
    EXPECT_EQ(surface.CharWidth(u'W'), surface.spaceWidth);
    const std::u16string text = u"ab\tc\r\n";
    EXPECT_EQ(surface.TextWidth(text.data(), text.size()), 3 * surface.spaceWidth + 4 * surface.spaceWidth +
                                                              surface.spaceWidth);
    EXPECT_EQ(surface.TextWidth(text.data(), 0), 0);

    int32_t oldSpace = surface.spaceWidth;
    int32_t oldHeight = surface.lineHeight;
    LOGFONTW big = v().font;
    big.lfHeight = 40;
    surface.SetFont(big);
    EXPECT_GT(surface.spaceWidth, oldSpace);
    EXPECT_GT(surface.lineHeight, oldHeight);
    EXPECT_EQ(surface.CharWidth(u'\t'), 4 * surface.spaceWidth);
    EXPECT_EQ(surface.CharWidth(u'W'), surface.spaceWidth);
}

TEST_F(ViewTest, ClipStackNestsAndRestoresInGdiAndGdiplus) {
    DrawSurface& surface = s();
    ASSERT_NE(surface.gdiplus, nullptr);
    void* graphics = *reinterpret_cast<void**>(surface.gdiplus);
    ASSERT_NE(graphics, nullptr);
    auto gdiBox = [&] {
        RECT r{};
        GetClipBox(surface.memoryDc, &r);
        return r;
    };
    auto plusBox = [&] {
        RECT r{};  // x, y, width, height
        GdipGetClipBoundsI(graphics, &r);
        return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
    };
    surface.PushClip(RECT{10, 10, 100, 100});
    surface.PushClip(RECT{50, 0, 200, 60});
    RECT back = surface.rectStack.back();
    EXPECT_EQ(back.left, 50);
    EXPECT_EQ(back.top, 10);
    EXPECT_EQ(back.right, 100);
    EXPECT_EQ(back.bottom, 60);
    RECT g = gdiBox(), p = plusBox();
    EXPECT_EQ(g.left, 50);
    EXPECT_EQ(g.right, 101);
    EXPECT_EQ(g.bottom, 61);
    EXPECT_TRUE(EqualRect(&g, &p));

    surface.PopClip();
    g = gdiBox();
    p = plusBox();
    EXPECT_EQ(g.left, 10);
    EXPECT_EQ(g.top, 10);
    EXPECT_EQ(g.right, 101);
    EXPECT_EQ(g.bottom, 101);
    EXPECT_TRUE(EqualRect(&g, &p));

    // Disjoint clips nest to the empty rectangle.
    surface.PushClip(RECT{300, 300, 400, 400});
    EXPECT_TRUE(IsRectEmpty(&surface.rectStack.back()) || surface.rectStack.back().right == 0);
    surface.PopClip();
    surface.PopClip();
    EXPECT_TRUE(surface.regionStack.empty());
    EXPECT_TRUE(surface.rectStack.empty());
    HRGN probe = CreateRectRgn(0, 0, 1, 1);
    EXPECT_EQ(GetClipRgn(surface.memoryDc, probe), 0);  // no clip left
    DeleteObject(probe);
    surface.PopClip();  // nothing pushed: no change
    EXPECT_TRUE(surface.regionStack.empty());
}

TEST_F(ViewTest, ScrollLimitsOfShortAndLongDocuments) {
    Open("one\ntwo\nthree\n");
    Wheel(-120);
    Key(VK_NEXT);
    EXPECT_EQ(v().topLine, 0u);

    Open(Lines(1000));
    const uint64_t lines = host.app().document.lineCount;
    ASSERT_EQ(lines, 1001u);
    const int32_t page = v().LinesPerPage();
    ASSERT_GT(page, 5);
    const uint64_t limit = lines + 15 - page;
    Wheel(-30);  // a small high-resolution step still scrolls nine lines
    EXPECT_EQ(v().topLine, 9u);
    EXPECT_EQ(Bar(SB_VERT).nPos, 9);
    for (int i = 0; i < 200; ++i) Wheel(-120);
    EXPECT_EQ(v().topLine, limit);
    Key(VK_NEXT);
    EXPECT_EQ(v().topLine, limit);
    Key(VK_PRIOR);
    EXPECT_EQ(v().topLine, limit - page);
    for (int i = 0; i < 200; ++i) Wheel(120);
    EXPECT_EQ(v().topLine, 0u);
    Key(VK_NEXT);
    EXPECT_EQ(v().topLine, static_cast<uint64_t>(page));

    // The bar in line units: range lineCount + 15, one page per thumb.
    SCROLLINFO si = Bar(SB_VERT);
    EXPECT_EQ(si.nMax, static_cast<int>(lines) + 15);
    EXPECT_EQ(si.nPage, static_cast<UINT>(page));
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(v().topLine, static_cast<uint64_t>(page) + 1);
    Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(v().topLine, 2u * page + 1);
    Scroll(WM_VSCROLL, SB_THUMBPOSITION);
    EXPECT_EQ(v().topLine, 2u * page + 1);
    Scroll(WM_VSCROLL, SB_BOTTOM);  // the bar stops where the wheel does
    EXPECT_EQ(v().topLine, limit);
    EXPECT_EQ(Bar(SB_VERT).nPos, static_cast<int>(limit));
    Scroll(WM_VSCROLL, SB_TOP);
    EXPECT_EQ(v().topLine, 0u);
    // A thumb left behind by a jump cannot carry the view past the end.
    v().topLine = 900;
    Scroll(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(v().topLine, limit);
    EXPECT_EQ(Bar(SB_VERT).nPos, static_cast<int>(limit));
    Scroll(WM_VSCROLL, SB_TOP);
    // Dragging the thumb scrolls live by exactly the change of the bar position.
    std::vector<int> track;
    DragThumb(Bar(SB_VERT).nMax, &track);
    ASSERT_FALSE(track.empty());
    for (size_t i = 1; i < track.size(); ++i) EXPECT_GE(track[i], track[i - 1]);
    EXPECT_GT(track.size(), 1u);  // the view followed the thumb while it moved
    EXPECT_EQ(v().topLine, static_cast<uint64_t>(Bar(SB_VERT).nPos));
    EXPECT_EQ(v().topLine, limit);
    DragThumb(0, &track);
    EXPECT_EQ(v().topLine, 0u);
}

TEST_F(ViewTest, HorizontalOffsetStaysWithinTheWidestLine) {
    Open("short\nline\n");
    {
        HeldKey shift(VK_SHIFT);
        Wheel(-120);
    }
    EXPECT_EQ(v().xOffset, 0);

    Open(std::string(300, 'x') + "\nab\n");
    const int32_t limit = v().MaxTextWidth() - 1 - (v().TextWidthPx() - v().EffectiveGutter());
    ASSERT_GT(limit, 0);
    EXPECT_EQ(v().MaxTextWidth(), static_cast<int32_t>(301.0 * s().spaceWidth * 1.2));
    {
        HeldKey shift(VK_SHIFT);
        Wheel(-120);
        EXPECT_EQ(v().xOffset, v().wheelPixels);
        EXPECT_EQ(v().wheelPixels, 30 * s().spaceWidth);
        for (int i = 0; i < 100; ++i) Wheel(-120);
        EXPECT_EQ(v().xOffset, limit);
        EXPECT_EQ(Bar(SB_HORZ).nPos, limit);
        for (int i = 0; i < 100; ++i) Wheel(120);
        EXPECT_EQ(v().xOffset, 0);
    }
    Scroll(WM_HSCROLL, SB_LINERIGHT);
    EXPECT_EQ(v().xOffset, s().spaceWidth);
    Scroll(WM_HSCROLL, SB_LINELEFT);
    Scroll(WM_HSCROLL, SB_LINELEFT);
    EXPECT_EQ(v().xOffset, 0);
    EXPECT_FALSE(v().ScrollHorizontal(-50, true));
    EXPECT_EQ(v().xOffset, 0);
}

TEST_F(ViewTest, HorizontalRangeReachesTheEndOfWideLines) {
    // Chinese characters are about two spaces wide: the estimate from the
    // length in code units falls short of the end of the line.
    const std::u16string wide = std::u16string(2400, u'\u4E2D') + u"\u5C3EEND";
    Open(Utf16(u"short\r\n" + wide + u"\r\n"));
    const int32_t page = v().TextWidthPx() - v().EffectiveGutter();
    int64_t lineWidth = 0;
    for (char16_t c : wide) lineWidth += s().CharWidth(c);
    ASSERT_GT(lineWidth, static_cast<int64_t>(1.2 * s().spaceWidth * host.app().document.maxLineLength));
    // The painted line is measured: the far right of the bar shows its end.
    Scroll(WM_HSCROLL, SB_BOTTOM);
    for (int i = 0; i < 40; ++i) Scroll(WM_HSCROLL, SB_LINERIGHT);
    EXPECT_GE(v().xOffset + page, lineWidth);
    EXPECT_LE(v().xOffset, lineWidth);
    host.Repaint();
    host.MoveMouse(v().textRect.right - 2, RowTop(1) + 2);
    EXPECT_EQ(v().HitTest(), (TextPosition{1, wide.size()}));
    // A match on a line not painted yet (as Find selects it) is brought on screen.
    std::u16string text;
    for (int i = 0; i < 300; ++i) text += u"x\r\n";
    Open(Utf16(text + wide + u"\r\n"));
    v().EnsureVisible(TextPosition{300, 2400});
    const int64_t x = v().PrefixWidth(300, 2400);
    EXPECT_GE(x, v().xOffset);
    EXPECT_LE(x + s().spaceWidth, v().xOffset + page);
    EXPECT_LE(v().topLine, 300u);
    EXPECT_GE(v().topLine + v().LinesPerPage(), 300u);
}

TEST_F(ViewTest, LongLinesShowFromPiecesAsIfReadWhole) {
    // Line 1 is far longer than a block read with a small bound: words,
    // Chinese characters and tabs.
    std::string line;
    for (int i = 0; line.size() < 200000; ++i)
        line += "w" + std::to_string(i) + (i % 7 ? " " : "\t") + (i % 5 ? "" : "\xE4\xB8\xAD");
    line += "ZQX tail";
    const std::string bytes = "head\n" + line + "\r\nafter\n";
    struct Seen {
        std::vector<COLORREF> rows;
        TextPosition hit;
        TextPane::WordSelection word;
        int64_t ensured;
    };
    std::vector<int64_t> offsets;
    auto look = [&](int64_t offset) {
        Seen seen;
        v().xOffset = offset;
        v().anchor = v().selStart = TextPosition{1, 100000};
        v().selEnd = TextPosition{1, 150007};
        host.Repaint();
        for (int r = 0; r < 3; ++r) {
            std::vector<COLORREF> row = Row(r, X0());
            seen.rows.insert(seen.rows.end(), row.begin(), row.end());
        }
        host.MoveMouse(X0() + 137, RowTop(1) + 2);
        seen.hit = v().HitTest();
        seen.word = v().WordAt(seen.hit);
        v().EnsureVisible(TextPosition{1, 123456});
        seen.ensured = v().xOffset;
        return seen;
    };
    Open(bytes);
    ASSERT_FALSE(host.app().document.IsLongLine(1));
    const int64_t width = v().LineWidth(1);
    // Both ends of the selection on screen, both ends of the line, and between.
    offsets = {0, 3, v().PrefixWidth(1, 100000) - 100, v().PrefixWidth(1, 150007) - 300, 777777, width - 200};
    std::vector<Seen> whole;
    for (int64_t offset : offsets) whole.push_back(look(offset));

    host.app().document.maxBlockBytes = 4096;
    Open(bytes);
    ASSERT_TRUE(host.app().document.IsLongLine(1));
    EXPECT_EQ(v().LineWidth(1), width);
    for (size_t i = 0; i < whole.size(); ++i) {
        Seen seen = look(offsets[i]);
        EXPECT_TRUE(seen.rows == whole[i].rows) << offsets[i];
        EXPECT_EQ(seen.hit, whole[i].hit) << offsets[i];
        EXPECT_EQ(seen.word.selStart, whole[i].word.selStart) << offsets[i];
        EXPECT_EQ(seen.word.selEnd, whole[i].word.selEnd) << offsets[i];
        EXPECT_EQ(seen.ensured, whole[i].ensured) << offsets[i];
    }
    // The range ends with the line (not at an estimate from its length),
    // and the view holds only pieces of it.
    EXPECT_EQ(v().TextRangeWidth(), width + 4 * s().spaceWidth);
    Scroll(WM_HSCROLL, SB_BOTTOM);
    EXPECT_GE(v().xOffset + v().TextWidthPx() - v().EffectiveGutter(), width);
    EXPECT_LT(host.app().lines.LastPiece().size(), 20000u);
    EXPECT_LE(host.app().document.LineTextRef(1).size(), 4096u);
    // Find selects a match near the line's end and brings it on screen.
    host.app().searchText = u"ZQX";
    v().anchor = v().selStart = v().selEnd = TextPosition{0, 0};
    v().xOffset = 0;
    host.app().FindNext();
    EXPECT_EQ(v().selStart, (TextPosition{1, v().ViewLineLength(1) - 10}));
    const int64_t x = v().PrefixWidth(1, v().selStart.column);
    EXPECT_GE(x, v().xOffset);
    EXPECT_LE(x + s().spaceWidth, v().xOffset + v().TextWidthPx() - v().EffectiveGutter());

    // Wider than 2^31 pixels: the bar is scaled, steps move by pixels.
    v().NoteLineWidth(int64_t(3) << 32);
    v().UpdateScrollRanges();
    SCROLLINFO si = Bar(SB_HORZ);
    EXPECT_EQ(si.nMax, (1 << 30) - 1);
    const int32_t maxPos = si.nMax - static_cast<int32_t>(si.nPage) + 1;
    Scroll(WM_HSCROLL, SB_RIGHT);
    EXPECT_EQ(v().xOffset, v().LastXOffset());
    EXPECT_GT(v().xOffset, (int64_t(3) << 32) - 100000);
    EXPECT_EQ(Bar(SB_HORZ).nPos, maxPos);
    Scroll(WM_HSCROLL, SB_LINELEFT);
    EXPECT_EQ(v().xOffset, v().LastXOffset() - s().spaceWidth);
    host.Repaint();
    Scroll(WM_HSCROLL, SB_LEFT);
    EXPECT_EQ(v().xOffset, 0);
    EXPECT_EQ(Bar(SB_HORZ).nPos, 0);
}

TEST_F(ViewTest, GutterWidensAtPowersOfTen) {
    const int32_t digit = s().CharWidth(u'0');
    const int32_t space = s().spaceWidth;
    uint64_t power = 10;
    for (int digits = 2; digits <= 12; ++digits, power *= 10) {
        int32_t below = v().GutterWidth(power - 2);  // shows power - 1: digits - 1 digits
        int32_t at = v().GutterWidth(power - 1);     // shows power: digits digits
        int32_t need = digits * digit + 3 * space;
        if (need <= 48) {
            EXPECT_EQ(at, 48) << digits;
            EXPECT_EQ(below, 48) << digits;
        } else {
            EXPECT_EQ(at, need) << digits;
            EXPECT_EQ(at - below, (need - digit > 48) ? digit : at - 48) << digits;
        }
    }

    // Through the view: the separator and the horizontal page follow the
    // gutter reference line (top line plus rows on screen).
    Open(std::string(500, 'w') + "\n" + Lines(20000));
    auto separator = [&] {
        for (int x = 0; x < 200; ++x)
            if (host.Pixel(x, RowTop(0) + 1) == v().gutterLineColor) return x;
        return -1;
    };
    const uint64_t rows = v().RowsOnScreen();
    v().ScrollVertical(static_cast<int32_t>(9998 - rows), false);  // reference line 9998 shows 9999
    v().UpdateScrollRanges();
    host.Repaint();
    int narrow = separator();
    UINT narrowPage = Bar(SB_HORZ).nPage;
    v().ScrollVertical(1, false);  // reference line shows 10000
    v().UpdateScrollRanges();
    host.Repaint();
    int wide = separator();
    UINT widePage = Bar(SB_HORZ).nPage;
    int32_t need = 5 * digit + 3 * space;
    int32_t grow = need > 48 ? need - std::max(48, need - digit) : 0;
    EXPECT_EQ(narrow, v().textRect.left + std::max(48, need - digit) - 3);
    EXPECT_EQ(wide - narrow, grow);
    EXPECT_EQ(static_cast<int>(narrowPage) - static_cast<int>(widePage), grow);
}

TEST_F(ViewTest, PaintExpandsTabsAsFixedAdvances) {
    Open("a\tb\na    b\nabc\tb\nabc    b\n\tx\n    x\n");
    const int x0 = X0();
    EXPECT_EQ(Row(0, x0), Row(1, x0));
    EXPECT_EQ(Row(2, x0), Row(3, x0));  // no alignment to tab stops
    EXPECT_EQ(Row(4, x0), Row(5, x0));
    EXPECT_NE(Row(0, x0), Row(2, x0));
}

TEST_F(ViewTest, SelectionInvertsCellsIncludingTheLineFeedCell) {
    Open("abc\nxyz\r\nq\rlast");
    const int x0 = X0();
    const int w = s().spaceWidth;
    std::vector<std::vector<COLORREF>> plain;
    for (int r = 0; r < 5; ++r) plain.push_back(Row(r, x0));
    const int width = v().textRect.right - x0;
    const int rowHeight = s().lineHeight;

    // An empty selection shows nothing.
    v().anchor = v().selStart = v().selEnd = TextPosition{1, 2};
    host.Repaint();
    for (int r = 0; r < 5; ++r) EXPECT_EQ(Row(r, x0), plain[r]) << r;

    Key('A');  // without Ctrl: nothing
    EXPECT_EQ(v().selStart, v().selEnd);
    {
        HeldKey control(VK_CONTROL);
        Accelerate('A');
    }
    EXPECT_EQ(v().selStart, (TextPosition{0, 0}));
    EXPECT_EQ(v().selEnd, (TextPosition{3, 4}));
    host.Repaint();
    // Expected highlighted width per row: text, plus one space for LF / CR LF.
    const int cells[5] = {3 * w + w, 3 * w + w, 1 * w, 4 * w, 0};
    for (int r = 0; r < 5; ++r) {
        std::vector<COLORREF> now = Row(r, x0);
        for (int y = 0; y < rowHeight; ++y) {
            for (int x = 0; x < width; x += 1) {
                COLORREF before = plain[r][y * width + x];
                COLORREF after = now[y * width + x];
                if (x < cells[r]) {
                    ASSERT_EQ(after, Inverted(before)) << "row " << r << " x " << x << " y " << y;
                } else {
                    ASSERT_EQ(after, before) << "row " << r << " x " << x << " y " << y;
                }
            }
        }
    }
    // On the default colours: black band, text in RGB(216, 190, 193).
    EXPECT_EQ(host.Pixel(x0 + 3 * w + w / 2, RowTop(0)), RGB(0, 0, 0));
    bool textSeen = false;
    for (int y = RowTop(0); y < RowTop(1); ++y)
        for (int x = x0; x < x0 + 3 * w; ++x) textSeen |= host.Pixel(x, y) == RGB(216, 190, 193);
    EXPECT_TRUE(textSeen);

    // A span inside one line inverts only its cells.
    v().anchor = v().selStart = TextPosition{1, 1};
    v().selEnd = TextPosition{1, 2};
    host.Repaint();
    std::vector<COLORREF> now = Row(1, x0);
    for (int x = 0; x < width; ++x) {
        bool inside = x >= w && x < 2 * w;
        EXPECT_EQ(now[x], inside ? Inverted(plain[1][x]) : plain[1][x]) << x;
    }
}

TEST_F(ViewTest, RowsPastTheEndShowBackgroundAndNoNumbers) {
    Open("one\ntwo\nthree");
    ASSERT_EQ(host.app().document.lineCount, 3u);
    const int x0 = X0();
    auto hasColor = [&](int row, int from, int to, COLORREF c) {
        for (int y = RowTop(row); y < RowTop(row + 1); ++y)
            for (int x = from; x < to; ++x)
                if (host.Pixel(x, y) == c) return true;
        return false;
    };
    auto anyInk = [&](int row, int from, int to) {
        for (int y = RowTop(row); y < RowTop(row + 1); ++y)
            for (int x = from; x < to; ++x)
                if (host.Pixel(x, y) != White) return true;
        return false;
    };
    const int separator = x0 - 3;
    for (int r = 0; r < 3; ++r) {
        EXPECT_TRUE(anyInk(r, x0, v().textRect.right)) << r;
        EXPECT_TRUE(anyInk(r, 0, separator)) << r;
    }
    EXPECT_TRUE(hasColor(0, 0, separator, v().lineNumberColor));
    for (int r = 3; r < 8; ++r) {
        EXPECT_FALSE(anyInk(r, x0, v().textRect.right)) << r;
        EXPECT_FALSE(anyInk(r, 0, separator)) << r;
        EXPECT_TRUE(hasColor(r, separator, separator + 1, v().gutterLineColor)) << r;
    }
}

TEST_F(ViewTest, ScrolledOffsetCutsACharacter) {
    Open(std::string(400, 'W') + "\n");
    const int x0 = X0();
    std::vector<COLORREF> unshifted = Row(0, x0);
    const int width = v().textRect.right - x0;
    const int cut = 3;
    ASSERT_TRUE(v().ScrollHorizontal(cut, true));
    host.Repaint();
    std::vector<COLORREF> shifted = Row(0, x0);
    int inked = 0;
    for (int y = 0; y < s().lineHeight; ++y)
        for (int x = 0; x + cut < width; ++x) {
            ASSERT_EQ(shifted[y * width + x], unshifted[y * width + x + cut]) << x << "," << y;
            inked += shifted[y * width + x] != White;
        }
    EXPECT_GT(inked, 0);
    // Nothing of the text leaks into the gutter.
    for (int y = RowTop(0); y < RowTop(1); ++y) EXPECT_EQ(host.Pixel(x0 - 1, y), White);
}

TEST_F(ViewTest, EmptyLastLineIsNotReadOnEveryPaint) {
    Open(std::string(5000, 'q') + "\n");
    ASSERT_EQ(host.app().document.lineCount, 2u);
    host.Repaint();
    const char16_t* data = host.app().document.LineTextRef(0).data();
    for (int i = 0; i < 3; ++i) host.Repaint();
    // The block holding line 0 was not read again for the empty line 1.
    EXPECT_EQ(host.app().document.LineTextRef(0).data(), data);
    EXPECT_TRUE(host.app().lines.Text(1).empty());
    EXPECT_TRUE(host.app().lines.Text(5).empty());
    // The same path opened again with other content: the last line is read.
    Open("ab\n");
    Open("a\nb");
    EXPECT_EQ(host.app().lines.Text(1), u"b");
    bool ink = false;
    for (int x = X0(); x < X0() + s().spaceWidth; ++x)
        for (int y = RowTop(1); y < RowTop(2); ++y) ink |= host.Pixel(x, y) != White;
    EXPECT_TRUE(ink);
}

TEST_F(ViewTest, AScreenAcrossTwoBlocksIsNotReadAgainOnEveryPaint) {
    Open(Lines(300));
    v().topLine = 90;  // lines 90 to 99 of block 0 and the first of block 1
    host.Repaint();
    {
        // Block reads fail from here on: a paint that read a block again
        // would show its lines empty.
        LargeAllocationsFail oom(512);
        host.Repaint();
        host.Repaint();
        EXPECT_EQ(host.app().lines.Text(99), u"line 99\n");
        EXPECT_EQ(host.app().lines.Text(100), u"line 100\n");
    }
    v().topLine = 250;  // a third block takes the place of the older one
    host.Repaint();
    EXPECT_EQ(host.app().lines.Text(250), u"line 250\n");
    EXPECT_EQ(host.app().lines.Text(199), u"line 199\n");
}

// What a screen needs stays cached: painting again measures and reads nothing,
// with more rows than 64, after a resize, across two blocks of more than half
// the budget each, and after F5 on a file that only grew.
TEST_F(ViewTest, ScreensPaintAgainFromTheirCaches) {
    host.Destroy();
    ASSERT_TRUE(host.Create(640, 760));
    v().font.lfHeight = 8;
    s().lineSpacing = 0;
    v().Layout();
    std::string text;
    for (int i = 0; i < 200; ++i) text += std::string(5000, char('a' + i % 26)) + "\n";
    Open(text);
    ASSERT_GT(v().RowsOnScreen(), 64u);
    host.app().lines.budget = 600000;  // a block holds 500,000 units
    auto again = [&](const char* what) {
        const uint64_t measured = s().lineMetrics.unitsMeasured, reads = host.app().lines.reads;
        host.Repaint();
        EXPECT_EQ(s().lineMetrics.unitsMeasured - measured, 0u) << what;
        EXPECT_EQ(host.app().lines.reads - reads, 0u) << what;
    };
    again("a second paint");
    RECT frame{};
    GetWindowRect(host.frame(), &frame);
    SetWindowPos(host.frame(), nullptr, 0, 0, frame.right - frame.left + 8, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    again("after a resize");
    v().topLine = 90;
    host.Repaint();
    again("a screen across two blocks");
    ASSERT_EQ(WriteTempFile(name, text + "tail\n"), path);
    ASSERT_TRUE(host.app().ReloadDocument());
    ASSERT_TRUE(host.app().document.reloadAppended);
    again("after F5");
}

TEST_F(ViewTest, ZeroWidthUnitsAreMeasuredOnceAndDrawnOnlyAsFarAsARowShows) {
    char16_t zero = 0;
    for (char16_t c : {u'\u200B', u'\u0301', u'\u200D', u'\u200C', u'\u034F', u'\u0300'})
        if (s().CharWidth(c) == 0) {
            zero = c;
            break;
        }
    if (!zero) GTEST_SKIP() << "the font has no zero-width unit";
    Open(Utf16(u"a" + std::u16string(300000, zero) + u"b\r\n"));
    const uint64_t before = s().gdiUnits;
    host.Repaint();
    EXPECT_LT(s().gdiUnits - before, 10000u);
    v().anchor = v().selStart = TextPosition{0, 0};
    v().selEnd = TextPosition{0, 200000};
    host.Repaint();
    EXPECT_EQ(host.Pixel(X0() + 1, RowTop(0)), RGB(0, 0, 0));  // the selection still shows
}

TEST_F(ViewTest, PaintCopiesOnlyTheInvalidRectangle) {
    Open("copy test\n");
    HDC screen = GetDC(host.pane());
    HDC target = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 700, 500);
    HGDIOBJ old = SelectObject(target, bitmap);
    const COLORREF gray = RGB(10, 20, 30);
    RECT all{0, 0, 700, 500};
    HBRUSH brush = CreateSolidBrush(gray);
    FillRect(target, &all, brush);

    v().Paint(target, RECT{40, 10, 40, 200});  // zero width
    v().Paint(target, RECT{10, 50, 300, 50});  // zero height
    for (int x = 0; x < 400; x += 7)
        for (int y = 0; y < 300; y += 7) ASSERT_EQ(GetPixel(target, x, y), gray);

    v().Paint(target, RECT{5, 0, 200, 20});
    int copied = 0;
    for (int x = 0; x < 300; ++x)
        for (int y = 0; y < 40; ++y) {
            COLORREF c = GetPixel(target, x, y);
            bool inside = x >= 5 && x <= 200 && y <= 20;  // right and bottom edges included
            if (inside) {
                ASSERT_EQ(c, host.Pixel(x, y)) << x << "," << y;
                ++copied;
            } else {
                ASSERT_EQ(c, gray) << x << "," << y;
            }
        }
    EXPECT_EQ(copied, 196 * 21);
    SelectObject(target, old);
    DeleteObject(bitmap);
    DeleteObject(brush);
    DeleteDC(target);
    ReleaseDC(host.pane(), screen);
}

TEST_F(ViewTest, HitTestOnCharacterHalves) {
    Open("abcdef\r\nxy\n" + Lines(200));
    const int x0 = X0();
    const int w = s().spaceWidth;
    const int y = RowTop(0) + 3;
    EXPECT_EQ(ClickAt(x0 + 2 * w + w / 2, y), (TextPosition{0, 2}));      // midpoint: before
    EXPECT_EQ(ClickAt(x0 + 2 * w + w / 2 + 1, y), (TextPosition{0, 3}));  // right half: after
    EXPECT_EQ(ClickAt(x0 + 2 * w + 1, y), (TextPosition{0, 2}));
    EXPECT_EQ(ClickAt(x0 + 1, y), (TextPosition{0, 0}));
    EXPECT_EQ(ClickAt(x0 - 20, y), (TextPosition{0, 0}));           // over the gutter
    EXPECT_EQ(ClickAt(x0 + 40 * w, y), (TextPosition{0, 6}));       // before the CR LF
    EXPECT_EQ(ClickAt(x0 + 40 * w, RowTop(1) + 1), (TextPosition{1, 2}));
    EXPECT_EQ(v().selStart, (TextPosition{1, 2}));
    EXPECT_EQ(v().selEnd, (TextPosition{1, 2}));
    EXPECT_EQ(v().anchor, (TextPosition{1, 2}));

    // Scrolled text: the offset counts into the position.
    v().xOffset = w;
    EXPECT_EQ(ClickAt(x0 + w / 2 + 1, y), (TextPosition{0, 2}));
    v().xOffset = 0;

    // Above the text area, within one row height, the top line is hit.
    v().topLine = 50;
    host.MoveMouse(x0 + 1, -1);
    EXPECT_EQ(v().HitTest().line, 50u);
    host.MoveMouse(x0 + 1, -s().lineHeight - 1);
    EXPECT_EQ(v().HitTest().line, 49u);
    // Below the last line the last line is hit.
    v().topLine = host.app().document.lineCount - 3;
    host.MoveMouse(x0 + 1, RowTop(10));
    EXPECT_EQ(v().HitTest().line, host.app().document.lineCount - 1);
}

// On a monitor of another scaling: rows, gutter and characters grow with
// the dpi (the font keeps its point size), a click on a character selects
// that character at every dpi, and the first line and the selection stay.
TEST_F(ViewTest, RowsGutterAndHitsFollowTheDpi) {
    Open("abcdef\r\nxy\n" + Lines(200));
    const int32_t dpi0 = v().dpi;
    const int row0 = s().lineHeight, space0 = s().spaceWidth;
    const int32_t gutter0 = v().GutterWidth(v().GutterReferenceLine());
    for (int32_t dpi : {dpi0 * 3 / 2, dpi0 * 2, dpi0 * 5 / 4, dpi0}) {
        v().SetDpi(dpi);
        host.Repaint();
        EXPECT_NEAR(s().lineHeight, row0 * dpi / double(dpi0), 1.0) << dpi;
        EXPECT_NEAR(s().spaceWidth, space0 * dpi / double(dpi0), 1.0) << dpi;
        EXPECT_GE(v().GutterWidth(v().GutterReferenceLine()), gutter0 * dpi / dpi0) << dpi;
        const int w = s().spaceWidth, y = RowTop(1) + s().lineHeight / 2;
        EXPECT_EQ(ClickAt(X0() + w / 2 - 1, y), (TextPosition{1, 0})) << dpi;
        EXPECT_EQ(ClickAt(X0() + 2 * w + w / 2 - 1, RowTop(0) + s().lineHeight / 2), (TextPosition{0, 2})) << dpi;
        v().topLine = 40;
        v().anchor = v().selStart = TextPosition{41, 1};
        v().selEnd = TextPosition{41, 3};
        v().SetDpi(dpi + 1);
        EXPECT_EQ(v().topLine, 40u);
        EXPECT_EQ(v().selEnd, (TextPosition{41, 3}));
        v().SetDpi(dpi);
        v().topLine = 0;
    }
}

TEST_F(ViewTest, ClickShiftClickAndDragSelect) {
    Open(Lines(300));
    const int x0 = X0();
    const int w = s().spaceWidth;
    ClickAt(x0 + w + 1, RowTop(2) + 2);  // line 2, after the first unit... column 1
    EXPECT_EQ(v().anchor, (TextPosition{2, 1}));
    ClickAt(x0 + 3 * w + 1, RowTop(4) + 2, WM_LBUTTONDOWN, VK_SHIFT);
    EXPECT_EQ(v().selStart, (TextPosition{2, 1}));
    EXPECT_EQ(v().selEnd, (TextPosition{4, 3}));
    ClickAt(x0 + 1, RowTop(0) + 2, WM_LBUTTONDOWN, VK_SHIFT);  // before the anchor: the ends swap
    EXPECT_EQ(v().selStart, (TextPosition{0, 0}));
    EXPECT_EQ(v().selEnd, (TextPosition{2, 1}));
    EXPECT_EQ(v().anchor, (TextPosition{2, 1}));
    {
        HeldKey control(VK_CONTROL);
        Key(VK_END);
    }
    const uint64_t end = host.app().document.lineCount;
    EXPECT_EQ(v().selStart, (TextPosition{end, 0}));
    TextPosition p = ClickAt(x0 + 2 * w + 1, RowTop(1) + 2, WM_LBUTTONDOWN, VK_SHIFT);
    EXPECT_EQ(v().selStart, p);
    EXPECT_EQ(v().selEnd, (TextPosition{end, 0}));
    // A real drag: the button is down while the mouse moves; above the
    // window the view scrolls up one line per row height of distance.
    v().topLine = 100;
    host.MoveMouse(x0 + 1, RowTop(3) + 2);
    {
        HeldKey button(VK_LBUTTON);  // the press arrives as WM_LBUTTONDOWN
        EXPECT_EQ(v().anchor, (TextPosition{103, 0}));
        host.MoveMouse(x0 + 2 * w + 1, RowTop(5) + 2);
        host.Send(WM_MOUSEMOVE);
        EXPECT_EQ(v().selStart, (TextPosition{103, 0}));
        EXPECT_EQ(v().selEnd, (TextPosition{105, 2}));
        host.MoveMouse(x0 + 1, -3 * s().lineHeight - 1);
        host.Send(WM_MOUSEMOVE);
        EXPECT_EQ(v().selStart, (TextPosition{97, 0}));
        EXPECT_EQ(v().topLine, 97u);
    }
    EXPECT_EQ(GetCapture(), nullptr);
    const TextPosition released = v().selStart;  // pointer moves queued before the release still count
    host.Send(WM_MOUSEMOVE);  // button up: moving selects nothing
    EXPECT_EQ(v().selStart, released);
    // A button still held from a press that went elsewhere (the double-click
    // that closed the Open dialog) does not drag a selection.
    v().anchor = v().selStart = v().selEnd = TextPosition{100, 0};
    Mouse(MOUSEEVENTF_LEFTDOWN, 0, 0);
    Sleep(30);
    MSG press;
    while (PeekMessageW(&press, nullptr, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE)) {
    }
    ASSERT_TRUE(GetAsyncKeyState(VK_LBUTTON) & 0x8000);
    host.MoveMouse(x0 + 2 * w + 1, RowTop(2) + 2);
    host.Send(WM_MOUSEMOVE);
    EXPECT_EQ(v().selStart, (TextPosition{100, 0}));
    EXPECT_EQ(v().selEnd, (TextPosition{100, 0}));
    Mouse(MOUSEEVENTF_LEFTUP, 0, 0);
    TestHost::Settle();
}

TEST_F(ViewTest, DoubleClickSelectsWordsByClass) {
    Open("foo bar_1  ++\xE4\xB8\xAD\xE6\x96\x87x\n\n\r\n");
    const int x0 = X0();
    const int w = s().spaceWidth;
    auto dbl = [&](int column, int row) {
        ClickAt(x0 + column * w + 1, RowTop(row) + 2);
        ClickAt(x0 + column * w + 1, RowTop(row) + 2, WM_LBUTTONDBLCLK);
        return std::make_pair(v().selStart, v().selEnd);
    };
    auto sel = [](uint64_t line, uint64_t a, uint64_t b) { return std::make_pair(TextPosition{line, a}, TextPosition{line, b}); };
    EXPECT_EQ(dbl(5, 0), sel(0, 4, 9));    // bar_1
    EXPECT_EQ(v().anchor, (TextPosition{0, 4}));
    EXPECT_EQ(dbl(3, 0), sel(0, 0, 3));    // blank after foo: foo
    EXPECT_EQ(dbl(10, 0), sel(0, 9, 11));  // second blank: the blanks
    EXPECT_EQ(dbl(11, 0), sel(0, 11, 13)); // ++
    // The two CJK characters are two cells wide each in this font or one; find by column.
    TextPosition cjk{0, 13};
    v().anchor = v().selStart = v().selEnd = cjk;
    TextPane::WordSelection word = v().WordAt(cjk);
    EXPECT_EQ(word.selStart, (TextPosition{0, 13}));
    EXPECT_EQ(word.selEnd, (TextPosition{0, 15}));
    EXPECT_EQ(dbl(60, 0), sel(0, 15, 16));  // past the end: the last run
    EXPECT_EQ(dbl(2, 1), sel(1, 0, 0));     // empty line
    EXPECT_EQ(dbl(2, 2), sel(2, 0, 0));     // terminator only
    // Shift+double-click extends and selects no word.
    ClickAt(x0 + 1, RowTop(0) + 2);
    ClickAt(x0 + 5 * w + 1, RowTop(0) + 2, WM_LBUTTONDBLCLK, VK_SHIFT);
    EXPECT_EQ(std::make_pair(v().selStart, v().selEnd), sel(0, 0, 5));
    EXPECT_EQ(v().anchor, (TextPosition{0, 0}));
}

TEST_F(ViewTest, KeysMoveAndShortcutsGoToTheMainWindow) {
    Open(Lines(500));
    const int32_t page = v().LinesPerPage();
    v().anchor = v().selStart = v().selEnd = TextPosition{3, 2};
    for (WPARAM k : {WPARAM(VK_LEFT), WPARAM(VK_RIGHT), WPARAM(VK_UP), WPARAM(VK_DOWN), WPARAM(VK_DELETE),
                     WPARAM(VK_BACK), WPARAM('X')}) {
        Key(k);
        host.Send(WM_CHAR, k);
    }
    EXPECT_EQ(v().topLine, 0u);
    EXPECT_EQ(v().selStart, (TextPosition{3, 2}));
    EXPECT_EQ(v().selEnd, (TextPosition{3, 2}));

    Key(VK_END);
    EXPECT_EQ(v().selStart, (TextPosition{501, 0}));
    EXPECT_EQ(v().topLine, 501u - page);  // the last line ends on the last complete row
    EXPECT_EQ(Bar(SB_VERT).nPos, static_cast<int>(501 - page));
    Key(VK_HOME);
    EXPECT_EQ(v().topLine, 0u);
    EXPECT_EQ(v().selEnd, (TextPosition{0, 0}));
    host.Send(WM_SYSKEYDOWN, VK_END);  // Alt+End acts as End
    EXPECT_EQ(v().topLine, 501u - page);
    {
        HeldKey control(VK_CONTROL);
        Key(VK_HOME);
        EXPECT_EQ(v().topLine, 0u);
        // The pane passes no command on: the program's accelerator table
        // turns every shortcut into its menu command.
        for (char c : std::string("OSPFGCAZ")) Key(static_cast<WPARAM>(c));
        EXPECT_TRUE(host.commands.empty());
        EXPECT_EQ(v().selEnd, (TextPosition{0, 0}));
        for (char c : std::string("OSPFGCAZ")) Accelerate(c);
    }
    Key(VK_F5);
    EXPECT_EQ(host.commands.size(), 7u);
    Accelerate(VK_F5);
    EXPECT_EQ(host.commands, (std::vector<int>{IDM_OPEN, IDM_SAVE_AS, IDM_PRINT, IDM_FIND, IDM_GOTO, IDM_COPY,
                                               IDM_SELECT_ALL, IDM_RELOAD}));
    // Keys reaching the main window act the same.
    SendMessageW(host.frame(), WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(v().topLine, static_cast<uint64_t>(page));
}

TEST_F(ViewTest, CtrlWheelZoomBounds) {
    Open("zoom\n");
    v().font.lfHeight = 9;
    s().SetFont(v().font);
    HeldKey control(VK_CONTROL);
    int32_t space9 = s().spaceWidth;
    Wheel(-120);
    EXPECT_EQ(v().font.lfHeight, 8);
    EXPECT_EQ(v().wheelPixels, 30 * space9);  // the previous font's space width
    Wheel(-120);
    EXPECT_EQ(v().font.lfHeight, 8);
    for (int i = 0; i < 30; ++i) Wheel(120);
    EXPECT_EQ(v().font.lfHeight, 68);
    EXPECT_GT(s().spaceWidth, space9);
    EXPECT_EQ(v().topLine, 0u);
    // The new height survives a layout.
    v().Layout();
    EXPECT_EQ(v().font.lfHeight, 68);
    // A character height (negative) zooms by its magnitude and keeps 8 at least.
    v().font.lfHeight = -12;
    Wheel(120);
    EXPECT_EQ(v().font.lfHeight, -14);
    for (int i = 0; i < 10; ++i) Wheel(-120);
    EXPECT_EQ(v().font.lfHeight, -8);
}

TEST_F(ViewTest, ZoomThatHidesABarRedrawsItsStrip) {
    Open(Lines(12));
    v().font.lfHeight = 48;
    v().Layout();
    ASSERT_TRUE(GetWindowLongW(host.pane(), GWL_STYLE) & WS_VSCROLL);
    RECT before{};
    GetClientRect(host.pane(), &before);
    {
        HeldKey control(VK_CONTROL);
        for (int i = 0; i < 20; ++i) Wheel(-120);
    }
    RECT after{};
    GetClientRect(host.pane(), &after);
    ASSERT_GT(after.right, before.right) << "the vertical bar was hidden";
    EXPECT_TRUE(EqualRect(&s().rect, &after));
    EXPECT_EQ(v().clientRect.right, after.right);
    host.Repaint();
    EXPECT_EQ(host.Pixel(after.right - 2, after.bottom / 2), White);  // where the bar was
}

TEST_F(ViewTest, HugeDocumentsMapTheBarAndJumpTheWholeDistance) {
    TextPane& view = v();
    host.app().document.lineCount = 6000000000ull;  // no file behind it: lines read as empty
    view.Layout();
    const int32_t page = view.LinesPerPage();
    const uint64_t last = view.LastScrollableLine();
    EXPECT_EQ(last, 6000000015ull - page);
    SCROLLINFO si = Bar(SB_VERT);
    EXPECT_EQ(si.nMax, (1 << 30) - 1);
    EXPECT_GE(si.nPage, 1u);
    const int32_t maxPos = si.nMax - static_cast<int32_t>(si.nPage) + 1;

    {
        HeldKey control(VK_CONTROL);
        Key(VK_END);
    }
    EXPECT_EQ(view.topLine, 6000000000ull - page);  // not a truncated 32-bit jump
    EXPECT_LE(Bar(SB_VERT).nPos, maxPos);  // the thumb sits at the bottom
    EXPECT_GE(Bar(SB_VERT).nPos, maxPos - 3);
    Key(VK_HOME);
    EXPECT_EQ(view.topLine, 0u);
    view.EnsureVisible(TextPosition{5000000123ull, 0});
    EXPECT_EQ(view.topLine, 5000000123ull - page);
    view.EnsureVisible(TextPosition{7, 0});
    EXPECT_EQ(view.topLine, 7u);

    // Bar steps move by lines; the thumb reaches both ends exactly.
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(view.topLine, 8u);
    Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(view.topLine, 8u + page);
    Scroll(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(view.topLine, last);
    EXPECT_EQ(Bar(SB_VERT).nPos, maxPos);
    Scroll(WM_VSCROLL, SB_TOP);
    EXPECT_EQ(view.topLine, 0u);
    // Dragging the thumb reaches every part: the middle and both ends.
    DragThumb(maxPos / 2, nullptr);
    int32_t mid = Bar(SB_VERT).nPos;
    EXPECT_NEAR(mid, maxPos / 2, maxPos / 50);
    EXPECT_NEAR(static_cast<double>(view.topLine), static_cast<double>(last) * mid / maxPos,
                static_cast<double>(last) / maxPos + 1);
    DragThumb(si.nMax, nullptr);
    EXPECT_EQ(view.topLine, last);
    EXPECT_EQ(Bar(SB_VERT).nPos, maxPos);
    DragThumb(0, nullptr);
    EXPECT_EQ(view.topLine, 0u);
    host.Repaint();  // painting far down reads nothing and draws the gutter
}

}  // namespace

namespace {

// GDI objects of this process. Under Wine GetGuiResources answers 0: the
// process's GDI handle table, which the PEB (gs:0x60) points to as on
// Windows, is counted instead (x64 layout).
size_t GdiObjectCount() {
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    struct Entry {
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type, flags;
        UINT64 user;
    };
    const char* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    const Entry* table = *reinterpret_cast<const Entry* const*>(peb + 0xF8);
    size_t n = 0;
    for (size_t i = 0; table && i < 0x10000; ++i) n += table[i].type != 0;
    return n;
}

TEST_F(ViewTest, SurfaceObjectsAreFreedOverRebuildsAndWithTheSurface) {
    Open(Lines(300));
    const RECT base = s().rect;
    auto cycle = [&](int i) {
        RECT r = base;
        r.right -= i % 2;
        s().Create(r);
        LOGFONTW lf = v().font;
        lf.lfHeight = 15 + i % 3;
        s().SetFont(lf);
        const COLORREF back = RGB(255, 255, 250 + i % 5), line = RGB(165, 165, 160 + i % 5);
        s().SetColours(back, line);
        const HBRUSH brush = s().backgroundBrush;
        s().SetColours(back, line);  // the same colours make nothing new
        EXPECT_EQ(s().backgroundBrush.Get(), brush);
        host.Repaint();
        // Dropped with clips still pushed and without Destroy.
        auto other = std::make_unique<DrawSurface>();
        other->window = host.pane();
        other->Create(RECT{0, 0, 99, 49});
        other->SetFont(lf);
        other->FillBackground(other->rect);
        other->DrawGutterLine(10, 0, 49);
        other->PushClip(RECT{0, 0, 40, 40});
        other->PushClip(RECT{5, 5, 60, 20});
        other->DrawRun(0, 0, u"abc", 3);
    };
    cycle(0);  // GDI's own first-use objects
    const size_t before = GdiObjectCount();
    ASSERT_GT(before, 0u);
    for (int i = 1; i <= 150; ++i) cycle(i);
    EXPECT_EQ(GdiObjectCount(), before);
}

}  // namespace

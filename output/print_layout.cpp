// Page scale, row breaking and the texts of a print job.
#include "output/print_layout.h"

int32_t PageScale(int32_t horzRes, int32_t horzSize, int32_t logPixelsX) {
    if (horzSize > 0) return static_cast<int32_t>(horzRes * 1.1 / horzSize * 0.25);
    if (logPixelsX > 0) return static_cast<int32_t>(logPixelsX / 25.4 * 1.1 * 0.25);
    return 0;
}

void BreakRows(const char16_t* text, size_t n, int32_t width, const MeasureUnit& measure,
               const EmitRow& emit) {
    std::vector<int32_t> advances;
    size_t first = 0;
    int64_t w = 0;
    for (size_t i = 0; i < n && text[i] != 0; ++i) {
        int32_t a = measure(text[i]);
        if (w + a > width && w > 0) {
            emit(first, advances.size(), advances.data());
            advances.clear();
            first = i;
            w = 0;
        }
        advances.push_back(a);
        w += a;
    }
    if (!advances.empty()) emit(first, advances.size(), advances.data());
}

namespace {
std::u16string Digits(int32_t n) {
    std::u16string s;
    for (char c : std::to_string(n)) s.push_back(static_cast<char16_t>(c));
    return s;
}
}  // namespace

std::u16string PageNumberText(int32_t page) { return u"第" + Digits(page) + u"页"; }

std::u16string PrintingTitle(const std::u16string& titleText, int32_t page) {
    return titleText + u" - 正在打印文件：" + PageNumberText(page);
}

std::u16string PrintedTitle(const std::u16string& titleText, int32_t pages) {
    return titleText + u" - 打印文件完成：总共" + Digits(pages) + u"页";
}

// Portable parts of printing: the page scale and breaking a line into rows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Printer pixels per layout unit. A device that reports no printable width
// in millimetres (horzSize 0) is scaled from its dots per inch instead.
int32_t PageScale(int32_t horzRes, int32_t horzSize, int32_t logPixelsX);

using MeasureUnit = std::function<int32_t(char16_t unit)>;
using EmitRow = std::function<void(size_t first, size_t count, const int32_t* advances)>;

// Breaks text (up to its first NUL) into rows no wider than width. A row
// breaks before the unit that would make it wider, and always holds at least
// one unit. Emits nothing for text without units.
void BreakRows(const char16_t* text, size_t n, int32_t width, const MeasureUnit& measure,
               const EmitRow& emit);

// The same rows for text that comes in pieces (a long line): a row runs on
// from one piece into the next. A row of more than maxRowUnits units (units
// of no width) is emitted as it is.
class RowBreaker {
public:
    using EmitText = std::function<void(const char16_t* row, size_t count, const int32_t* advances)>;
    RowBreaker(int32_t width, MeasureUnit measure, size_t maxRowUnits = size_t(1) << 16);
    void Feed(const char16_t* text, size_t n, const EmitText& emit);
    void Finish(const EmitText& emit);

private:
    int32_t width_;
    MeasureUnit measure_;
    size_t maxRow_;
    std::u16string row_;
    std::vector<int32_t> advances_;
    int64_t w_ = 0;
    bool stopped_ = false;  // a NUL ended the text
};

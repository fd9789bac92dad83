// Page scale and row breaking of a print job.
#include "output/print_layout.h"

#include <cstdint>
#include <utility>

int32_t PageScale(int32_t horzRes, int32_t horzSize, int32_t logPixelsX) {
    if (horzSize > 0) return static_cast<int32_t>(horzRes * 1.1 / horzSize * 0.25);
    if (logPixelsX > 0) return static_cast<int32_t>(logPixelsX / 25.4 * 1.1 * 0.25);
    return 0;
}

void BreakRows(const char16_t* text, size_t n, int32_t width, const MeasureUnit& measure,
               const EmitRow& emit) {
    RowBreaker rows(width, measure, SIZE_MAX);
    size_t first = 0;
    const RowBreaker::EmitText put = [&](const char16_t*, size_t count, const int32_t* advances) {
        emit(first, count, advances);
        first += count;
    };
    rows.Feed(text, n, put);
    rows.Finish(put);
}

RowBreaker::RowBreaker(int32_t width, MeasureUnit measure, size_t maxRowUnits)
    : width_(width), measure_(std::move(measure)), maxRow_(maxRowUnits ? maxRowUnits : 1) {}

void RowBreaker::Feed(const char16_t* text, size_t n, const EmitText& emit) {
    for (size_t i = 0; i < n && !stopped_; ++i) {
        if (text[i] == 0) {
            stopped_ = true;
            break;
        }
        int32_t a = measure_(text[i]);
        if ((w_ + a > width_ && w_ > 0) || advances_.size() >= maxRow_) Finish(emit);
        row_ += text[i];
        advances_.push_back(a);
        w_ += a;
    }
}

void RowBreaker::Finish(const EmitText& emit) {
    if (!advances_.empty()) emit(row_.data(), advances_.size(), advances_.data());
    row_.clear();
    advances_.clear();
    w_ = 0;
}

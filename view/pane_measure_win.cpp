// What a pane measures of its lines: their text through the line source,
// widths of prefixes and whole lines under the current font, the widest
// line seen, and the digits of a line number.
#include "view/text_pane.h"

uint64_t TextPane::MetricsStamp() const {
    uint64_t stamp = surface.fontGeneration;
    if (lines.stamp) stamp ^= lines.stamp();
    return stamp;
}

uint64_t TextPane::ViewLineLength(uint64_t line) { return lines.length ? lines.length(line) : 0; }

void TextPane::DropWidths() { surface.lineMetrics.Clear(); }

const char16_t* TextPane::ViewLineUnits(uint64_t line, uint64_t from, size_t count, size_t* got) {
    static const char16_t none[1] = {0};
    if (!lines.units) {
        if (got) *got = 0;
        return none;
    }
    size_t given = 0;
    const char16_t* p = lines.units(line, from, count, &given);
    if (got) *got = given;
    return p;
}

int64_t TextPane::PrefixWidth(uint64_t line, uint64_t count) {
    const uint64_t n = ViewLineLength(line);
    return surface.lineMetrics.PrefixWidth(
        line, n, MetricsStamp(), count,
        [this, line](uint64_t from, size_t k) { return ViewLineUnits(line, from, k); },
        [this](char16_t c) { return surface.CharWidth(c); });
}

int64_t TextPane::LineWidth(uint64_t line) {
    const uint64_t n = ViewLineLength(line);
    int64_t width = surface.lineMetrics.Total(
        line, n, MetricsStamp(), [this, line](uint64_t from, size_t k) { return ViewLineUnits(line, from, k); },
        [this](char16_t c) { return surface.CharWidth(c); });
    NoteLineWidth(width);
    return width;
}

bool TextPane::NoteLineWidth(int64_t width) {
    uint64_t stamp = MetricsStamp();
    if (widestStamp != stamp) {
        widestStamp = stamp;
        widestMeasured = 0;
    }
    if (width <= widestMeasured) return false;
    widestMeasured = width;
    return true;
}

int TextPane::LineNumberDigits(uint64_t line, char16_t* out) {
    char16_t reversed[24];
    int count = 0;
    uint64_t v = line + 1;
    do {
        reversed[count++] = static_cast<char16_t>(u'0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

#include "view/selection_text.h"

#include <algorithm>

#include "core/text_document.h"

namespace {

// Passes [from, to) of line i (clamped to the line) within the budget; false
// when it did not fit.
bool WalkPart(TextDocument& doc, uint64_t i, uint64_t from, uint64_t to, size_t& budget, const TextSink& sink) {
    if (doc.IsLongLine(i)) {
        to = std::min(to, doc.LineLength(i));
        const size_t piece = std::max<size_t>(doc.PrefixUnits(), 1);
        for (uint64_t c = from; c < to;) {
            const size_t want = size_t(std::min<uint64_t>({to - c, piece, budget}));
            if (want == 0) return false;
            const std::u16string part = doc.LinePiece(i, c, want);
            if (part.empty()) return true;  // the file changed under the line
            sink(part.data(), part.size());
            budget -= part.size();
            c += part.size();
        }
        return true;
    }
    const std::u16string& L = doc.LineTextRef(i);
    to = std::min<uint64_t>(to, L.size());
    if (from >= to) return true;
    const size_t n = size_t(to - from);
    if (n > budget) {
        sink(L.data() + from, budget);
        budget = 0;
        return false;
    }
    sink(L.data() + from, n);
    budget -= n;
    return true;
}

} // namespace

bool WalkSelectedText(TextDocument& doc, TextPosition start, TextPosition end, size_t maxUnits,
                      const TextSink& sink) {
    if (end < start) std::swap(start, end);
    if (start == end) return true;
    size_t budget = maxUnits;
    if (start.line == end.line) return WalkPart(doc, start.line, start.column, end.column, budget, sink);
    if (!WalkPart(doc, start.line, start.column, UINT64_MAX, budget, sink)) return false;
    for (uint64_t i = start.line + 1; i < end.line; ++i) {
        if (i >= doc.lineCount) return true;  // the rest reads as empty
        if (!WalkPart(doc, i, 0, UINT64_MAX, budget, sink)) return false;
    }
    return WalkPart(doc, end.line, 0, end.column, budget, sink);
}

uint64_t SelectedLength(TextDocument& doc, TextPosition start, TextPosition end, uint64_t stopAbove,
                        const std::function<bool()>& step) {
    if (end < start) std::swap(start, end);
    if (start == end) return 0;
    bool stopped = false;
    TableProgress building;
    if (step)
        building = [&](int64_t, int64_t) {
            stopped = !step();
            return !stopped;
        };
    auto part = [&](uint64_t i, uint64_t from, uint64_t to) {
        to = std::min(to, doc.LineLength(i, building));
        return from < to ? to - from : 0;
    };
    uint64_t total = part(start.line, start.column, start.line == end.line ? end.column : UINT64_MAX);
    if (start.line == end.line) return stopped ? UINT64_MAX : total;
    for (uint64_t i = start.line + 1; i < end.line && i < doc.lineCount && total <= stopAbove && !stopped; ++i) {
        if (step && i == doc.FirstLineOfBlock(doc.BlockOfLine(i)) && !step()) return UINT64_MAX;
        total += doc.LineLength(i, building);
    }
    if (total <= stopAbove && !stopped) total += part(end.line, 0, end.column);
    return stopped ? UINT64_MAX : total;
}

uint64_t SelectedUnitsAtMost(const TextDocument& doc, TextPosition start, TextPosition end) {
    if (end < start) std::swap(start, end);
    if (start.line >= doc.lineCount) return 0;
    const uint64_t last = std::min(end.line, doc.lineCount - 1);
    int64_t from, to, a, b;
    if (doc.indexing || !doc.BlockBytes(doc.BlockOfLine(start.line), from, a) || !doc.BlockBytes(doc.BlockOfLine(last), b, to) ||
        to < from)
        return UINT64_MAX;
    const uint64_t bytes = uint64_t(to - from);
    return doc.encoding == Encoding::Utf16Le || doc.encoding == Encoding::Utf16Be ? (bytes + 1) / 2 : bytes;
}

bool AppendSelectedText(TextDocument& doc, TextPosition start, TextPosition end, size_t maxUnits,
                        std::u16string& out) {
    return WalkSelectedText(doc, start, end, maxUnits,
                            [&out](const char16_t* units, size_t count) { out.append(units, count); });
}

std::u16string SelectedText(TextDocument& doc, const TextPosition& start, const TextPosition& end) {
    std::u16string out;
    AppendSelectedText(doc, start, end, static_cast<size_t>(-1), out);
    return out;
}

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

uint64_t SelectedLength(TextDocument& doc, TextPosition start, TextPosition end, uint64_t stopAbove) {
    if (end < start) std::swap(start, end);
    if (start == end) return 0;
    auto part = [&](uint64_t i, uint64_t from, uint64_t to) {
        to = std::min(to, doc.LineLength(i));
        return from < to ? to - from : 0;
    };
    if (start.line == end.line) return part(start.line, start.column, end.column);
    uint64_t total = part(start.line, start.column, UINT64_MAX);
    for (uint64_t i = start.line + 1; i < end.line && i < doc.lineCount && total <= stopAbove; ++i)
        total += doc.LineLength(i);
    if (total <= stopAbove) total += part(end.line, 0, end.column);
    return total;
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

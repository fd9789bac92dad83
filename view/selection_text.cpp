#include "view/selection_text.h"

#include <algorithm>

#include "core/text_document.h"

namespace {

// Appends [from, to) of L within the budget; false when it did not fit.
bool AppendPart(std::u16string& out, const std::u16string& L, size_t from, size_t to, size_t& budget) {
    if (from >= to) return true;
    size_t n = to - from;
    if (n > budget) {
        out.append(L, from, budget);
        budget = 0;
        return false;
    }
    out.append(L, from, n);
    budget -= n;
    return true;
}

} // namespace

bool AppendSelectedText(TextDocument& doc, TextPosition start, TextPosition end, size_t maxUnits,
                        std::u16string& out) {
    if (end < start) std::swap(start, end);
    if (start == end) return true;
    size_t budget = maxUnits;
    {
        const std::u16string& first = doc.LineTextRef(start.line);
        const size_t a = size_t(std::min<uint64_t>(start.column, first.size()));
        if (start.line == end.line) {
            const size_t b = size_t(std::min<uint64_t>(end.column, first.size()));
            return AppendPart(out, first, a, b, budget);
        }
        if (!AppendPart(out, first, a, first.size(), budget)) return false;
    }
    for (uint64_t i = start.line + 1; i < end.line; ++i) {
        if (i >= doc.lineCount) return true;  // the rest reads as empty
        const std::u16string& L = doc.LineTextRef(i);
        if (!AppendPart(out, L, 0, L.size(), budget)) return false;
    }
    const std::u16string& last = doc.LineTextRef(end.line);
    const size_t b = size_t(std::min<uint64_t>(end.column, last.size()));
    return AppendPart(out, last, 0, b, budget);
}

std::u16string SelectedText(TextDocument& doc, const TextPosition& start, const TextPosition& end) {
    std::u16string out;
    AppendSelectedText(doc, start, end, static_cast<size_t>(-1), out);
    return out;
}

// A plain model of regular-expression search: PCRE2's interpreter (no JIT)
// driven on each whole decoded line with the rules restated (terminator and
// what follows a NUL left out, empty matches and whole-word failures skipped
// one character on, matches taken without overlap), and the document
// operations over GetLineText of a document read whole.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "core/text_document.h"
#include "search/find_engine.h"

namespace model {

class RefRegex {
public:
    RefRegex(const std::u16string& pat, const FindOptions& o) : whole_(o.wholeWord) {
        int err;
        PCRE2_SIZE off;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pat.data()), pat.size(),
                              PCRE2_UTF | PCRE2_UCP | PCRE2_NEVER_BACKSLASH_C | PCRE2_MATCH_INVALID_UTF |
                                  (o.matchCase ? 0u : PCRE2_CASELESS),
                              &err, &off, nullptr);
        data_ = code_ ? pcre2_match_data_create_from_pattern(code_, nullptr) : nullptr;
    }
    ~RefRegex() {
        pcre2_match_data_free(data_);
        pcre2_code_free(code_);
    }
    bool ok() const { return code_ != nullptr; }

    // The matches taken in L from column from, the line cut at limit;
    // gaveUp when the engine stopped on it.
    std::vector<std::pair<size_t, size_t>> Taken(std::u16string L, size_t from, size_t limit, bool& gaveUp) {
        std::vector<std::pair<size_t, size_t>> out;
        gaveUp = false;
        L = L.substr(0, L.find(char16_t(0)));
        if (!L.empty() && L.back() == u'\n') L.pop_back();
        if (!L.empty() && L.back() == u'\r') L.pop_back();
        if (limit < L.size()) L.resize(limit > 0 && IsHigh(L[limit - 1]) && IsLow(L[limit]) ? limit - 1 : limit);
        if (from > 0 && from < L.size() && IsLow(L[from]) && IsHigh(L[from - 1])) ++from;
        for (size_t p = from; p < L.size();) {
            const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(L.data()), L.size(), p, 0, data_, nullptr);
            if (rc == PCRE2_ERROR_NOMATCH) break;
            if (rc < 0) return gaveUp = true, out;
            const size_t s = pcre2_get_ovector_pointer(data_)[0], e = pcre2_get_ovector_pointer(data_)[1];
            bool take = e > s;
            if (take && whole_) take = !(s > 0 && IsLetter(L[s - 1])) && !(e < L.size() && IsLetter(L[e]));
            if (take) {
                out.push_back({s, e});
                p = e;
            } else {
                p = s + (s + 1 < L.size() && IsHigh(L[s]) && IsLow(L[s + 1]) ? 2 : 1);
            }
        }
        return out;
    }

    // Line i's text as the pattern sees it: line 0 of a file with a
    // byte-order mark without its U+FEFF (skip says how many units went).
    static std::u16string Text(TextDocument& d, uint64_t i, size_t& skip) {
        std::u16string L = d.GetLineText(i);
        skip = i == 0 && d.hasMark && !L.empty() && L[0] == 0xFEFF ? 1 : 0;
        return L.substr(skip);
    }
    static size_t Less(uint64_t column, size_t skip) { return column > skip ? size_t(column - skip) : 0; }

    SearchResult Forward(TextDocument& d, TextPosition a, TextPosition b, bool wrap, TextPosition& hit,
                         uint64_t& length) {
        for (int pass = 0; pass < (wrap ? 2 : 1); ++pass) {
            const uint64_t first = pass ? 0 : b.line, end = pass ? std::min(d.lineCount, a.line + 1) : d.lineCount;
            for (uint64_t i = first; i < end; ++i) {
                bool gaveUp;
                size_t skip;
                const std::u16string L = Text(d, i, skip);
                auto m = Taken(L, !pass && i == b.line ? Less(b.column, skip) : 0, SIZE_MAX, gaveUp);
                if (gaveUp) return SearchResult::Failed;
                if (!m.empty()) return hit = TextPosition{i, m[0].first + skip}, length = m[0].second - m[0].first,
                                       SearchResult::Found;
            }
        }
        return SearchResult::NotFound;
    }

    SearchResult Backward(TextDocument& d, TextPosition a, bool wrap, TextPosition& hit, uint64_t& length) {
        for (int pass = 0; pass < (wrap ? 2 : 1); ++pass) {
            const uint64_t top = pass ? d.lineCount : std::min(a.line, d.lineCount - 1) + 1;
            const uint64_t low = pass ? a.line : 0;
            for (uint64_t i = top; i-- > low;) {
                bool gaveUp;
                size_t skip;
                const std::u16string L = Text(d, i, skip);
                auto m = Taken(L, 0, !pass && i == a.line ? Less(a.column, skip) : SIZE_MAX, gaveUp);
                if (gaveUp) return SearchResult::Failed;
                if (!m.empty()) return hit = TextPosition{i, m.back().first + skip},
                                       length = m.back().second - m.back().first, SearchResult::Found;
            }
            if (pass == 0 && a.line >= d.lineCount) break;
        }
        return SearchResult::NotFound;
    }

    uint64_t Count(TextDocument& d) {
        uint64_t n = 0;
        for (uint64_t i = 0; i < d.lineCount; ++i) {
            bool gaveUp;
            size_t skip;
            n += Taken(Text(d, i, skip), 0, SIZE_MAX, gaveUp).size();
        }
        return n;
    }

private:
    static bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
    static bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
    pcre2_code* code_ = nullptr;
    pcre2_match_data* data_ = nullptr;
    bool whole_;
};

} // namespace model

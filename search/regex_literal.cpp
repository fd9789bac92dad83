#include "search/regex_literal.h"

#include <cstddef>
#include <cstdint>

namespace {

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Whether the character may go into the literal the prefilter looks for.
bool Usable(char32_t c, bool caseless) {
    // Forms the decoder makes of malformed or unmappable bytes, and line ends.
    if (c == 0 || c == u'?' || c == 0xFFFD || c == u'\r' || c == u'\n') return false;
    if (!caseless) return true;
    if (c < 0x80) {
        const char32_t lower = c | 0x20;
        // K and S also match U+212A and U+017F; no other ASCII letter has a
        // case form beyond ASCII.
        if (lower >= U'a' && lower <= U'z') return lower != U'k' && lower != U's';
        return true;
    }
    // CJK punctuation, kana and ideographs have no case.
    return c >= 0x3000 && c <= 0x9FFF;
}

// End of the character class starting at p[i] == '[', or npos.
size_t ClassEnd(const std::u16string& p, size_t i) {
    size_t j = i + 1;
    if (j < p.size() && p[j] == u'^') ++j;
    if (j < p.size() && p[j] == u']') ++j;
    while (j < p.size()) {
        if (p[j] == u'\\') {
            j += 2;
        } else if (p[j] == u'[' && j + 1 < p.size() && p[j + 1] == u':') {
            const size_t close = p.find(u":]", j + 2);
            if (close == std::u16string::npos) return std::u16string::npos;
            j = close + 2;
        } else if (p[j] == u']') {
            return j + 1;
        } else {
            ++j;
        }
    }
    return std::u16string::npos;
}

// End of the group starting at p[i] == '(', or npos; npos too for groups
// that set options or verbs, which could change how the rest matches.
size_t GroupEnd(const std::u16string& p, size_t i) {
    if (i + 1 < p.size() && p[i + 1] == u'*') return std::u16string::npos;
    if (i + 1 < p.size() && p[i + 1] == u'?') {
        const std::u16string head = p.substr(i + 2, 2);
        const bool plain = !head.empty() && (head[0] == u':' || head[0] == u'=' || head[0] == u'!' ||
                                             head[0] == u'>' || head == u"<=" || head == u"<!");
        if (!plain) return std::u16string::npos;
    }
    int depth = 0;
    for (size_t j = i; j < p.size();) {
        const char16_t c = p[j];
        if (c == u'\\') {
            if (j + 1 < p.size() && p[j + 1] == u'Q') return std::u16string::npos;
            j += 2;
        } else if (c == u'[') {
            j = ClassEnd(p, j);
            if (j == std::u16string::npos) return j;
        } else if (c == u'(') {
            if (j + 1 < p.size() && p[j + 1] == u'?' && j + 2 < p.size() && IsAsciiAlnum(p[j + 2]))
                return std::u16string::npos;  // inline options inside
            ++depth;
            ++j;
        } else if (c == u')') {
            ++j;
            if (--depth == 0) return j;
        } else {
            ++j;
        }
    }
    return std::u16string::npos;
}

// Reads a quantifier at p[q]: its least count, and where it ends. False
// when there is none; bad set when a brace is not a plain {n}, {n,} or {n,m}.
bool Quantifier(const std::u16string& p, size_t q, uint64_t& least, size_t& end, bool& bad) {
    bad = false;
    if (q >= p.size()) return false;
    if (p[q] == u'*' || p[q] == u'?') {
        least = 0;
        end = q + 1;
    } else if (p[q] == u'+') {
        least = 1;
        end = q + 1;
    } else if (p[q] == u'{') {
        size_t j = q + 1;
        uint64_t n = 0;
        const size_t digits = j;
        while (j < p.size() && p[j] >= u'0' && p[j] <= u'9' && n < 100000) n = n * 10 + (p[j++] - u'0');
        if (j == digits || j >= p.size()) return bad = true, false;
        if (p[j] == u',') {
            ++j;
            while (j < p.size() && p[j] >= u'0' && p[j] <= u'9') ++j;
        }
        if (j >= p.size() || p[j] != u'}') return bad = true, false;
        least = n;
        end = j + 1;
    } else {
        return false;
    }
    if (end < p.size() && (p[end] == u'?' || p[end] == u'+')) ++end;  // lazy or possessive
    return true;
}

} // namespace

std::u16string RequiredLiteral(const std::u16string& p, bool caseless) {
    std::u16string best;
    for (const std::u16string& run : RequiredRuns(p, caseless))
        if (run.size() > best.size()) best = run;
    return best;
}

std::vector<std::u16string> RequiredRuns(const std::u16string& p, bool caseless) {
    std::vector<std::u16string> runs;
    std::u16string run;
    auto flush = [&] {
        if (!run.empty()) runs.push_back(run);
        run.clear();
    };
    for (size_t i = 0; i < p.size();) {
        const char16_t c = p[i];
        bool literal = false;
        char32_t ch = 0;
        size_t units = 1, next = i + 1;
        if (c == u'\\') {
            if (i + 1 >= p.size()) return {};
            const char16_t e = p[i + 1];
            next = i + 2;
            if (e < 0x80 && !IsAsciiAlnum(e)) {
                literal = true;
                ch = e;
            } else if (std::u16string(u"dDwWsShHvVNRXbBAzZGK").find(e) == std::u16string::npos) {
                return {};  // numbered, hex, property and other escapes
            }
        } else if (c == u'[') {
            next = ClassEnd(p, i);
            if (next == std::u16string::npos) return {};
        } else if (c == u'(') {
            next = GroupEnd(p, i);
            if (next == std::u16string::npos) return {};
        } else if (c == u'|' || c == u')' || c == u'*' || c == u'+' || c == u'?' || c == u'{') {
            return {};
        } else if (c == u'.' || c == u'^' || c == u'$') {
        } else {
            literal = true;
            ch = c;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < p.size() && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
                ch = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (p[i + 1] - 0xDC00);
                units = 2;
                next = i + 2;
            }
        }
        literal = literal && Usable(ch, caseless);
        uint64_t least = 1;
        size_t end = next;
        bool bad = false;
        const bool quantified = Quantifier(p, next, least, end, bad);
        if (bad) return {};
        if (literal && least >= 1) run.append(p, i + (c == u'\\' ? 1 : 0), units);
        if (!literal || quantified) flush();
        i = end;
    }
    flush();
    return runs;
}

bool PlainLiteral(const std::u16string& p, bool caseless) {
    if (p.empty()) return false;
    for (char16_t c : p) {
        if (std::u16string(u"\\^$.|?*+()[]{}").find(c) != std::u16string::npos) return false;
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        if (!Usable(c, caseless)) return false;
    }
    return true;
}

std::vector<std::u16string> RequiredLiterals(const std::u16string& p, bool caseless) {
    // The top-level alternatives, split where a '|' stands outside escapes,
    // classes and groups.
    std::vector<std::u16string> parts;
    size_t from = 0;
    int depth = 0;
    for (size_t i = 0; i <= p.size(); ++i) {
        if (i == p.size() || (p[i] == u'|' && depth == 0)) {
            parts.push_back(p.substr(from, i - from));
            from = i + 1;
        } else if (p[i] == u'\\') {
            ++i;
        } else if (p[i] == u'[') {
            const size_t end = ClassEnd(p, i);
            if (end == std::u16string::npos) return {};
            i = end - 1;
        } else if (p[i] == u'(') {
            ++depth;
        } else if (p[i] == u')') {
            --depth;
        }
    }
    std::vector<std::u16string> out;
    for (const std::u16string& part : parts) {
        std::u16string literal = RequiredLiteral(part, caseless);
        if (literal.empty()) return {};
        out.push_back(literal);
    }
    return out;
}

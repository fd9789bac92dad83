#include "search/regex_search.h"

#include <algorithm>
#include <cstring>
#include <new>

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include "search/block_scan.h"
#include "search/match_count.h"
#include "search/prefilter.h"
#include "search/regex_literal.h"
#include "search/simd.h"

namespace {

enum Mode { First = 0, LastOne = 1, All = 2 };

// Heap the interpreter may take for one match (KiB); the JIT's stack.
constexpr uint32_t HeapLimitKib = 64 << 10;
constexpr size_t JitStackStart = 32 << 10, JitStackMost = 4 << 20;

bool High(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool Low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Where the character after the one starting at s begins.
size_t NextChar(const char16_t* t, size_t len, size_t s) {
    return s + 1 < len && High(t[s]) && Low(t[s + 1]) ? s + 2 : s + 1;
}
size_t NextChar(const unsigned char* t, size_t len, size_t s) {
    ++s;
    while (s < len && (t[s] & 0xC0) == 0x80) ++s;
    return s;
}

// The line without its terminator (CR LF, CR or LF) and without what
// follows its first NUL.
template <class U>
size_t TextLength(const U* t, size_t len) {
    len = len ? simd::FindNul(t, 0, len) : 0;
    if (len > 0 && t[len - 1] == U('\n')) --len;
    if (len > 0 && t[len - 1] == U('\r')) --len;
    return len;
}

// The finders of a block's literals: each scans the text once, from where
// it last stopped. next holds each one's last place.
template <class U>
void StartFinders(std::vector<BasicMatcher<U>>& finders, std::vector<size_t>& next, const U* t, size_t len) {
    next.resize(finders.size());
    for (size_t j = 0; j < finders.size(); ++j) {
        finders[j].Begin(t, len, true);
        next[j] = finders[j].Next(0, len);
    }
}

// The first place at or after p where one of the literals occurs; NoMatch
// when none does.
template <class U>
size_t NextOfAny(std::vector<BasicMatcher<U>>& finders, std::vector<size_t>& next, size_t p, size_t len) {
    size_t at = NoMatch;
    for (size_t j = 0; j < finders.size(); ++j) {
        if (next[j] != NoMatch && next[j] < p) next[j] = finders[j].Next(p, len);
        at = std::min(at, next[j]);
    }
    return at;
}

} // namespace

struct LineRegex::Parts {
    pcre2_code_16* code16 = nullptr;
    pcre2_match_data_16* data16 = nullptr;
    pcre2_match_context_16* context16 = nullptr;
    pcre2_jit_stack_16* stack16 = nullptr;
    pcre2_code_8* code8 = nullptr;
    pcre2_match_data_8* data8 = nullptr;
    pcre2_match_context_8* context8 = nullptr;
    pcre2_jit_stack_8* stack8 = nullptr;
    // The pattern again, with ^ and $ at every CR, LF or CR LF, for whole
    // blocks (CountBlock); null when it cannot be used so.
    pcre2_code_16* scout16 = nullptr;
    pcre2_code_8* scout8 = nullptr;

    ~Parts() {
        pcre2_code_free_16(scout16);
        pcre2_code_free_8(scout8);
        pcre2_match_data_free_16(data16);
        pcre2_match_context_free_16(context16);
        pcre2_jit_stack_free_16(stack16);
        pcre2_code_free_16(code16);
        pcre2_match_data_free_8(data8);
        pcre2_match_context_free_8(context8);
        pcre2_jit_stack_free_8(stack8);
        pcre2_code_free_8(code8);
    }

    // One match of the subject t[0, len) from `from`: PCRE2's return code,
    // with the match (or the partial match) in ov.
    int Match(const char16_t* t, size_t len, size_t from, uint32_t options, const size_t*& ov) {
        const int rc = pcre2_match_16(code16, reinterpret_cast<PCRE2_SPTR16>(t), len, from, options, data16,
                                      context16);
        ov = pcre2_get_ovector_pointer_16(data16);
        return rc;
    }
    int MatchBlock(const char16_t* t, size_t len, size_t from, const size_t*& ov) {
        const int rc = pcre2_match_16(scout16, reinterpret_cast<PCRE2_SPTR16>(t), len, from, 0, data16, context16);
        ov = pcre2_get_ovector_pointer_16(data16);
        return rc;
    }
    int MatchBlock(const unsigned char* t, size_t len, size_t from, const size_t*& ov) {
        const int rc = pcre2_match_8(scout8, t, len, from, PCRE2_NO_UTF_CHECK, data8, context8);
        ov = pcre2_get_ovector_pointer_8(data8);
        return rc;
    }
    bool HasScout(const char16_t*) const { return scout16 != nullptr; }
    bool HasScout(const unsigned char*) const { return scout8 != nullptr; }
    int Match(const unsigned char* t, size_t len, size_t from, uint32_t options, const size_t*& ov) {
        const int rc = pcre2_match_8(code8, t, len, from, options | PCRE2_NO_UTF_CHECK, data8, context8);
        ov = pcre2_get_ovector_pointer_8(data8);
        return rc;
    }
};

LineRegex::LineRegex() : parts_(new Parts) {}
LineRegex::~LineRegex() { delete parts_; }

bool LineRegex::HasBytes() const { return parts_->code8 != nullptr; }

namespace {

// Whether the pattern matches in a whole block as in each of its lines:
// nothing in it may look past the line it matches in (lookaround, \A, \z,
// \Z, \G, \K) or change how lines end or ^ and $ match ((*...) verbs,
// (?...) settings). Then, with ^ and $ at every line end, a match of a line
// is a match at the same place in the block taken the same way, so the
// leftmost match in the block from any place is never right of the first
// match of a line from there; one that stays within its line's text is that
// line's.
bool Scoutable(const std::u16string& p) {
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == u'\\') {
            if (i + 1 < p.size() && std::u16string(u"AzZGK").find(p[i + 1]) != std::u16string::npos) return false;
            ++i;
        } else if (p[i] == u'(' && i + 1 < p.size() && (p[i + 1] == u'*' || (p[i + 1] == u'?' && (i + 2 >= p.size() || p[i + 2] != u':')))) {
            return false;
        }
    }
    return true;
}

} // namespace

bool LineRegex::Compile(const std::u16string& pattern, const FindOptions& opt, bool bytes, SearchDetail& detail) {
    Parts& p = *parts_;
    wholeWord_ = opt.wholeWord;
    const uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_NEVER_BACKSLASH_C | PCRE2_MATCH_INVALID_UTF |
                             (opt.matchCase ? 0u : PCRE2_CASELESS);
    int error = 0;
    PCRE2_SIZE offset = 0;
    p.code16 = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.data()), pattern.size(), options, &error,
                                &offset, nullptr);
    if (!p.code16) {
        PCRE2_UCHAR16 message[256];
        const int n = pcre2_get_error_message_16(error, message, 256);
        detail.failure = SearchDetail::Failure::BadPattern;
        detail.message.assign(reinterpret_cast<const char16_t*>(message), n > 0 ? size_t(n) : 0);
        // The character the engine names, counted from 1 (a pair is one).
        uint64_t chars = 1;
        for (size_t i = 0; i < offset && i < pattern.size(); ++i)
            if (!(Low(pattern[i]) && i > 0 && High(pattern[i - 1]))) ++chars;
        detail.position = chars;
        return false;
    }
    pcre2_jit_compile_16(p.code16, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);  // else interpreted
    p.data16 = pcre2_match_data_create_from_pattern_16(p.code16, nullptr);
    p.context16 = pcre2_match_context_create_16(nullptr);
    p.stack16 = pcre2_jit_stack_create_16(JitStackStart, JitStackMost, nullptr);
    if (!p.data16 || !p.context16) throw std::bad_alloc();
    pcre2_set_heap_limit_16(p.context16, HeapLimitKib);
    if (p.stack16) pcre2_jit_stack_assign_16(p.context16, nullptr, p.stack16);
    uint32_t behind = 0;
    pcre2_pattern_info_16(p.code16, PCRE2_INFO_MAXLOOKBEHIND, &behind);
    behind_ = 2 * size_t(behind) + 2;

    std::basic_string<unsigned char> utf8;
    if (bytes) {
        // A lone surrogate has no UTF-8 form: such a pattern only meets units.
        if (AppendUtf8(utf8, pattern))
            p.code8 = pcre2_compile_8(utf8.data(), utf8.size(), options, &error, &offset, nullptr);
        if (p.code8) {
            pcre2_jit_compile_8(p.code8, PCRE2_JIT_COMPLETE);
            p.data8 = pcre2_match_data_create_from_pattern_8(p.code8, nullptr);
            p.context8 = pcre2_match_context_create_8(nullptr);
            p.stack8 = pcre2_jit_stack_create_8(JitStackStart, JitStackMost, nullptr);
            if (!p.data8 || !p.context8) throw std::bad_alloc();
            pcre2_set_heap_limit_8(p.context8, HeapLimitKib);
            if (p.stack8) pcre2_jit_stack_assign_8(p.context8, nullptr, p.stack8);
        }
    }
    if (Scoutable(pattern)) {
        pcre2_compile_context_16* cc16 = pcre2_compile_context_create_16(nullptr);
        pcre2_compile_context_8* cc8 = pcre2_compile_context_create_8(nullptr);
        if (cc16 && cc8) {
            pcre2_set_newline_16(cc16, PCRE2_NEWLINE_ANYCRLF);
            pcre2_set_newline_8(cc8, PCRE2_NEWLINE_ANYCRLF);
            p.scout16 = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.data()), pattern.size(),
                                         options | PCRE2_MULTILINE, &error, &offset, cc16);
            if (p.scout16) pcre2_jit_compile_16(p.scout16, PCRE2_JIT_COMPLETE);
            if (p.code8) {
                p.scout8 = pcre2_compile_8(utf8.data(), utf8.size(), options | PCRE2_MULTILINE, &error, &offset, cc8);
                if (p.scout8) pcre2_jit_compile_8(p.scout8, PCRE2_JIT_COMPLETE);
            }
        }
        pcre2_compile_context_free_16(cc16);
        pcre2_compile_context_free_8(cc8);
    }
    literal_ = RequiredLiteral(pattern, !opt.matchCase);
    std::vector<std::u16string> literals = RequiredLiterals(pattern, !opt.matchCase);
    if (literals.size() == 1) {
        // Every run, and each with up to three characters off either end
        // (common punctuation at the ends makes a finder check often): the
        // first block counted picks one.
        std::vector<std::u16string> runs;
        for (const std::u16string& run : RequiredRuns(pattern, !opt.matchCase)) {
            for (size_t a = 0; a <= 3 && a < run.size(); ++a)
                for (size_t b = run.size(); b + 3 >= run.size() && b > a; --b) {
                    if ((b - a < 2 && run.size() >= 2) || Low(run[a]) || (b < run.size() && Low(run[b]))) continue;
                    runs.push_back(run.substr(a, b - a));
                }
        }
        literals = runs;
        chooseRun_ = literals.size() > 1;
    }
    for (const std::u16string& literal : literals) {
        unitFinders_.emplace_back(literal, opt.matchCase);
        // (the byte finders serve only a pattern that has a UTF-8 form, and
        // its literals then have one too)
        std::basic_string<unsigned char> bytesOf;
        AppendUtf8(bytesOf, literal);
        byteFinders_.emplace_back(bytesOf, opt.matchCase);
        if (chooseRun_) {
            unitTexts_.push_back(literal);
            byteTexts_.push_back(bytesOf);
        }
    }
    matchCase_ = opt.matchCase;
    return true;
}

template <class U>
LineRegex::Outcome LineRegex::Walk(const U* t, size_t len, size_t limit, size_t from, int mode, size_t& s,
                                   size_t& e, uint64_t& count) {
    const size_t end = std::min(limit, TextLength(t, len));
    bool found = false;
    for (size_t p = from; p < end;) {
        const size_t* ov;
        const int rc = parts_->Match(t, end, p, 0, ov);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) return Outcome::GaveUp;
        const size_t ms = ov[0], me = ov[1];
        if (me <= ms || (wholeWord_ && !WholeWordAt(t, end, ms, me - ms))) {
            p = NextChar(t, end, ms);
            continue;
        }
        found = true;
        s = ms;
        e = me;
        if (mode == First) return Outcome::Found;
        if (mode == All) ++count;
        p = me;
    }
    return found ? Outcome::Found : Outcome::None;
}

LineRegex::Outcome LineRegex::Next(const char16_t* t, size_t len, size_t from, size_t& s, size_t& e) {
    uint64_t n = 0;
    return Walk(t, len, WholeLine, from, First, s, e, n);
}
LineRegex::Outcome LineRegex::Next(const unsigned char* t, size_t len, size_t from, size_t& s, size_t& e) {
    uint64_t n = 0;
    return Walk(t, len, WholeLine, from, First, s, e, n);
}
LineRegex::Outcome LineRegex::Last(const char16_t* t, size_t len, size_t limit, size_t& s, size_t& e) {
    uint64_t n = 0;
    return Walk(t, len, limit, 0, LastOne, s, e, n);
}
LineRegex::Outcome LineRegex::Last(const unsigned char* t, size_t len, size_t limit, size_t& s, size_t& e) {
    uint64_t n = 0;
    return Walk(t, len, limit, 0, LastOne, s, e, n);
}
LineRegex::Outcome LineRegex::Count(const char16_t* t, size_t len, uint64_t& count) {
    size_t s, e;
    const Outcome r = Walk(t, len, WholeLine, 0, All, s, e, count);
    return r == Outcome::Found ? Outcome::None : r;
}
LineRegex::Outcome LineRegex::Count(const unsigned char* t, size_t len, uint64_t& count) {
    size_t s, e;
    const Outcome r = Walk(t, len, WholeLine, 0, All, s, e, count);
    return r == Outcome::Found ? Outcome::None : r;
}

// lines: list the lines with a match instead of counting (one match a line
// is enough).
template <class U>
bool LineRegex::Scout(const U* t, size_t len, const std::vector<size_t>& starts, uint64_t& count,
                      LineSpans* lines) {
    if (!parts_->HasScout(t) || starts.size() < 2) return false;
    uint64_t found = 0;
    size_t k = 0;  // the line holding p
    const size_t total = starts.size() - 1;
    for (size_t p = 0; p < len && k < total;) {
        const size_t* ov;
        const int rc = parts_->MatchBlock(t, len, p, ov);
        if (rc == PCRE2_ERROR_NOMATCH) break;
        if (rc < 0) return false;
        const size_t ms = ov[0], me = ov[1];
        while (k + 1 < total && starts[k + 1] <= ms) ++k;
        const size_t ls = starts[k], le = ls + TextLength(t + ls, starts[k + 1] - ls);
        if (p < ls) p = ls;
        if (ms >= ls && me <= le && me > ms) {
            if (!wholeWord_ || WholeWordAt(t + ls, le - ls, ms - ls, me - ms)) {
                ++found;
                p = me;
                if (lines) {
                    AddLine(*lines, k);
                    p = starts[k + 1];
                    ++k;
                }
            } else {
                p = NextChar(t, le, ms);
            }
        } else if (ms >= ls && me == ms && ms < le) {
            p = NextChar(t, le, ms);
        } else {
            // Past the line's text: the rest of the line one match at a time.
            size_t s, e;
            const Outcome r = Walk(t + ls, starts[k + 1] - ls, WholeLine, p - ls, lines ? First : All, s, e, found);
            if (r == Outcome::GaveUp) return false;
            if (lines && r == Outcome::Found) AddLine(*lines, k);
            p = starts[k + 1];
            ++k;
        }
    }
    count += found;
    return true;
}

// Only lines holding one of the literals can match: each is found with the
// literal finders (each scans the block once) and matched alone.
template <class U>
bool LineRegex::ByLiterals(std::vector<BasicMatcher<U>>& finders, const U* t, size_t len,
                           const std::vector<size_t>& starts, uint64_t& count, LineSpans* list) {
    if (starts.size() < 2) return false;
    const size_t lines = starts.size() - 1;
    StartFinders(finders, next_, t, len);
    uint64_t found = 0;
    size_t k = 0;
    for (size_t p = 0; p < len && k < lines;) {
        const size_t at = NextOfAny(finders, next_, p, len);
        if (at == NoMatch) break;
        while (k + 1 < lines && starts[k + 1] <= at) ++k;
        const size_t ls = starts[k];
        size_t s, e;
        const Outcome r = Walk(t + ls, starts[k + 1] - ls, WholeLine, p > ls ? p - ls : 0, list ? First : All, s, e, found);
        if (r == Outcome::GaveUp) return false;
        if (list && r == Outcome::Found) AddLine(*list, k);
        p = starts[k + 1];
        ++k;
    }
    count += found;
    return true;
}

// The finder to keep: the one whose occurrences (each a line to match) and
// candidates (places its first and last units agree, each a comparison) in
// the block cost least.
template <class U, class Text>
size_t LineRegex::ChooseRun(std::vector<BasicMatcher<U>>& finders, const std::vector<Text>& texts, const U* t,
                            size_t len) {
    auto fold = [&](U u) { return !matchCase_ && u >= U('A') && u <= U('Z') ? U(u | 0x20) : u; };
    size_t best = 0;
    uint64_t cheapest = UINT64_MAX;
    for (size_t j = 0; j < finders.size(); ++j) {
        const Text& x = texts[j];
        if (x.empty()) continue;
        const U first = fold(x.front()), last = fold(x.back());
        uint64_t cost = 0;
        for (size_t i = 0; i + x.size() <= len; ++i)
            if (fold(t[i]) == first && fold(t[i + x.size() - 1]) == last) ++cost;
        finders[j].Begin(t, len, true);
        for (size_t at = finders[j].Next(0, len); at != NoMatch && cost < cheapest; at = finders[j].Next(at + 1, len))
            cost += 64;
        if (cost < cheapest || (cost == cheapest && x.size() > texts[best].size())) cheapest = cost, best = j;
    }
    BasicMatcher<U> kept = finders[best];
    finders.assign(1, kept);
    return best;
}

template <class U>
bool LineRegex::InBlock(const U* t, size_t len, const std::vector<size_t>& starts, uint64_t& count,
                        LineSpans* lines) {
    if constexpr (sizeof(U) == 2) {
        if (chooseRun_ && !unitChosen_ && !unitFinders_.empty()) {
            ChooseRun(unitFinders_, unitTexts_, t, len);
            unitChosen_ = true;
        }
        if (!unitFinders_.empty()) return ByLiterals(unitFinders_, t, len, starts, count, lines);
    } else {
        if (chooseRun_ && !byteChosen_ && !byteFinders_.empty()) {
            ChooseRun(byteFinders_, byteTexts_, t, len);
            byteChosen_ = true;
        }
        if (!byteFinders_.empty()) return ByLiterals(byteFinders_, t, len, starts, count, lines);
    }
    return Scout(t, len, starts, count, lines);
}

bool LineRegex::CountRawUtf8(const unsigned char* t, size_t len, uint64_t& count) {
    if (byteFinders_.empty() || (chooseRun_ && !byteChosen_)) return false;
    StartFinders(byteFinders_, next_, t, len);
    uint64_t found = 0;
    size_t checked = 0;
    for (size_t p = 0; p < len;) {
        const size_t at = NextOfAny(byteFinders_, next_, p, len);
        if (at == NoMatch) break;
        // The line holding it: from after the line end before it to the next.
        size_t ls = at;
        while (ls > p && t[ls - 1] != '\n' && t[ls - 1] != '\r') --ls;
        size_t le = at;
        while (le < len && t[le] != '\n' && t[le] != '\r') ++le;
        // A NUL ends the block's split into lines: the lines after it are
        // empty. The bytes before a line matched are checked for one.
        if (simd::FindNul(t, checked, le) < le) return false;
        checked = le;
        if (!CleanUtf8(t + ls, le - ls)) return false;
        size_t s, e;
        if (Walk(t + ls, le - ls, WholeLine, 0, All, s, e, found) == Outcome::GaveUp) return false;
        p = le < len && t[le] == '\r' && le + 1 < len && t[le + 1] == '\n' ? le + 2 : le + 1;
    }
    count += found;
    return true;
}

bool LineRegex::CountBlock(const char16_t* t, size_t len, const std::vector<size_t>& starts, uint64_t& count) {
    return InBlock(t, len, starts, count, nullptr);
}
bool LineRegex::CountBlock(const unsigned char* t, size_t len, const std::vector<size_t>& starts, uint64_t& count) {
    return InBlock(t, len, starts, count, nullptr);
}
bool LineRegex::ListBlock(const char16_t* t, size_t len, const std::vector<size_t>& starts,
                          LineSpans& lines) {
    uint64_t n = 0;
    return InBlock(t, len, starts, n, &lines);
}
bool LineRegex::ListBlock(const unsigned char* t, size_t len, const std::vector<size_t>& starts,
                          LineSpans& lines) {
    uint64_t n = 0;
    return InBlock(t, len, starts, n, &lines);
}

// A long line is matched in windows of the line's units [a, b): the window
// keeps behind_ units before the place it starts from (for lookbehind and
// the letter rule), and one unit after b for the letter rule. Before the
// line's end the engine matches with PCRE2_PARTIAL_HARD, which reports any
// match that could need units past b (and $, \b, \z there) as partial; the
// next window then starts where that partial match starts, so every match
// taken is the one the whole line gives. A partial match at the start of a
// full window would be longer than the window: TooLong.
LineRegex::Outcome LineRegex::WalkPieces(PieceLine& line, uint64_t from, uint64_t limit, uint64_t origin, int mode,
                                         uint64_t& s, uint64_t& e, uint64_t& count) {
    uint64_t end = line.length;
    if (end > 0) {
        const std::u16string tail = line.read(end >= 2 ? end - 2 : 0, end >= 2 ? 2 : 1);
        const size_t cut = tail.size() - TextLength(tail.data(), tail.size());
        end -= cut;
    }
    if (limit != NoColumn) end = std::min(end, limit);
    const uint64_t window = std::max<uint64_t>(line.window, 64);
    std::u16string buf;
    bool found = false;
    for (uint64_t pos = from; pos < end;) {
        if (line.tick && !line.tick(pos)) {
            line.cancelled = true;
            return Outcome::Cancelled;
        }
        const uint64_t a = pos - std::min<uint64_t>(pos - origin, behind_);
        uint64_t b = std::min(end, pos + window);
        const size_t want = static_cast<size_t>(b - a + (b < end ? 1 : 0));
        buf = line.read(a, want);
        if (buf.size() != want) return found ? Outcome::Found : Outcome::None;  // the file changed
        if (b < end && High(buf[size_t(b - a) - 1])) --b;  // windows end between characters
        const size_t n = static_cast<size_t>(b - a);
        const uint32_t options = (a > origin ? PCRE2_NOTBOL : 0u) | (b < end ? PCRE2_PARTIAL_HARD : 0u);
        const uint64_t start = pos;
        size_t q = static_cast<size_t>(pos - a);
        for (;;) {
            const size_t* ov;
            const int rc = q < n ? parts_->Match(buf.data(), n, q, options, ov) : PCRE2_ERROR_NOMATCH;
            if (rc == PCRE2_ERROR_NOMATCH) {
                pos = b;
                break;
            }
            if (rc == PCRE2_ERROR_PARTIAL) {
                if (a + ov[0] <= start) return Outcome::TooLong;
                pos = a + ov[0];
                break;
            }
            if (rc < 0) return Outcome::GaveUp;
            const size_t ms = ov[0], me = ov[1];
            // Neighbours: buf[ms - 1] lies in the window's context, buf[me]
            // in the unit read past b (units past the line's end are none).
            const size_t right = b < end ? n + 1 : n;
            // (at the line's origin there is no left neighbour)
            if (me <= ms || (wholeWord_ && !(a + ms > origin ? WholeWordAt(buf.data(), right, ms, me - ms)
                                                              : WholeWordAt(buf.data() + ms, right - ms, 0, me - ms)))) {
                q = NextChar(buf.data(), n, ms);
                continue;
            }
            found = true;
            s = a + ms;
            e = a + me;
            if (mode == First) return Outcome::Found;
            if (mode == All) ++count;
            q = me;
        }
    }
    return found ? Outcome::Found : Outcome::None;
}

LineRegex::Outcome LineRegex::NextInPieces(PieceLine& line, uint64_t from, uint64_t origin, uint64_t& s,
                                           uint64_t& e) {
    uint64_t n = 0;
    return WalkPieces(line, std::max(from, origin), NoColumn, origin, First, s, e, n);
}
LineRegex::Outcome LineRegex::LastInPieces(PieceLine& line, uint64_t limit, uint64_t origin, uint64_t& s,
                                           uint64_t& e) {
    uint64_t n = 0;
    return WalkPieces(line, origin, limit, origin, LastOne, s, e, n);
}
LineRegex::Outcome LineRegex::CountInPieces(PieceLine& line, uint64_t origin, uint64_t& count) {
    uint64_t s, e;
    const Outcome r = WalkPieces(line, origin, NoColumn, origin, All, s, e, count);
    return r == Outcome::Found ? Outcome::None : r;
}

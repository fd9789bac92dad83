#include "view/word_select.h"

int CharClass(char16_t c) {
    if (c <= 0x20 || c == 0x7F || c == 0x80) return 0;
    if (c >= 0x81) return 3;
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_') return 1;
    return 2;
}

static WordRange Expand(const char16_t* s, uint64_t n, uint64_t column) {
    WordRange r;
    if (n == 0) return r;
    r.found = true;
    int cls;
    uint64_t lo, hi;
    if (column >= n) {
        cls = CharClass(s[n - 1]);
        lo = hi = n;
    } else if (CharClass(s[column]) != 0 || column == 0) {
        cls = CharClass(s[column]);
        lo = column;
        hi = column + 1;
    } else {
        lo = column - 1;
        cls = CharClass(s[lo]);
        hi = column;
    }
    while (lo > 0 && CharClass(s[lo - 1]) == cls) --lo;
    while (hi < n && CharClass(s[hi]) == cls) ++hi;
    r.lo = lo;
    r.hi = hi;
    return r;
}

WordRange WordAt(const std::u16string& lineText, uint64_t column) {
    // Line texts carry CR and LF only as their terminator; strip those in
    // place and copy only when a break sits inside the text.
    size_t n = lineText.size();
    while (n > 0 && (lineText[n - 1] == u'\r' || lineText[n - 1] == u'\n')) --n;
    if (lineText.find_first_of(u"\r\n", 0, 2) < n) {
        std::u16string s;
        s.reserve(n);
        for (char16_t c : lineText)
            if (c != u'\r' && c != u'\n') s.push_back(c);
        return Expand(s.data(), s.size(), column);
    }
    return Expand(lineText.data(), n, column);
}

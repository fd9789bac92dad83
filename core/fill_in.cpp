#include "core/fill_in.h"

std::u16string FillIn(const std::u16string& pattern, std::initializer_list<std::u16string> args) {
    std::u16string out;
    out.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char16_t c = pattern[i];
        if (c != u'%' || i + 1 == pattern.size()) {
            out.push_back(c);
            continue;
        }
        const char16_t next = pattern[i + 1];
        if (next == u'%') {
            out.push_back(u'%');
            ++i;
        } else if (next >= u'1' && next <= u'9' && static_cast<size_t>(next - u'1') < args.size()) {
            out += *(args.begin() + (next - u'1'));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::u16string DecimalText(uint64_t n) {
    char16_t reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char16_t>(u'0' + n % 10);
        n /= 10;
    } while (n != 0);
    std::u16string out;
    while (count > 0) out.push_back(reversed[--count]);
    return out;
}

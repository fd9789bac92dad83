#include "app/ui_text.h"

#include "core/fill_in.h"
#include "core/win_string.h"

std::u16string UiText(UINT id) {
    // With a zero length LoadString hands out a pointer to the resource itself.
    const wchar_t* text = nullptr;
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? U16(text, static_cast<size_t>(n)) : std::u16string();
}

std::u16string UiText(UINT id, std::initializer_list<std::u16string> args) { return FillIn(UiText(id), args); }

std::wstring UiFilter(UINT id) {
    std::wstring filter(W(UiText(id)));
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    return filter;
}

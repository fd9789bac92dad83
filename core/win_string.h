// Views UTF-16 program text as the platform's 16-bit wchar_t (Windows only).
#pragma once
#include <string>
#include <cwchar>

static_assert(sizeof(wchar_t) == 2, "Windows wchar_t is 16 bits");

inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline std::u16string U16(const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); }
inline std::u16string U16(const wchar_t* s, size_t n) { return std::u16string(reinterpret_cast<const char16_t*>(s), n); }

// The form of a path that Windows file calls take at any length: for an
// absolute path of MAX_PATH units or more its "\\?\" form, else the path itself.
std::wstring LongPath(const std::u16string& path);

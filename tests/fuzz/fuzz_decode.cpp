// Fuzz target for DecodeText: decoding in pieces cut by CharBoundaryPrefix
// must give the text of one conversion; big-endian text is the byte-swapped
// little-endian text; the conversions survive any input. The ANSI code page
// is 936 or UTF-8 (the stand-in's).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/encoding.h"
#include "core/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Encoding encodings[] = {Encoding::None, Encoding::Utf8Bom, Encoding::Utf16Le, Encoding::Utf16Be,
                                  Encoding::Ansi, Encoding::Utf8, static_cast<Encoding>(7)};
    Encoding e = encodings[data[0] % 7];
    size_t piece = 8 + data[1] % 64;
    platform::standinAnsiUtf8 = data[1] & 0x80;
    const char* bytes = reinterpret_cast<const char*>(data + 2);
    size_t n = size - 2;

    std::u16string whole = DecodeText(e, bytes, n);
    if (e == Encoding::Utf16Le || e == Encoding::Utf16Be) {
        if (whole.size() != n / 2) std::abort();
        std::u16string other = DecodeText(e == Encoding::Utf16Le ? Encoding::Utf16Be : Encoding::Utf16Le, bytes, n);
        SwapBytes16Large(other.empty() ? nullptr : &other[0], other.size());
        if (other != whole) std::abort();
    } else if (e == Encoding::None || static_cast<int>(e) == 7) {
        if (!whole.empty()) std::abort();
    } else if (whole.size() > n) {
        std::abort();
    }

    for (size_t cut = 1; cut <= n && cut <= 80; cut++) {
        size_t p = CharBoundaryPrefix(e, bytes, cut);
        if (p == 0 || p > cut) std::abort();
    }

    if (DecodeTextInPieces(e, bytes, n, piece) != whole) std::abort();

    // Encoding back never fails and stays within the 32-bit lengths.
    if (!whole.empty()) {
        int32_t len = static_cast<int32_t>(whole.size());
        std::string utf8 = WideToUtf8(whole.data(), len);
        std::string ansi = WideToAnsi(whole.data(), len);
        if (utf8.size() > whole.size() * 3 || ansi.size() > whole.size() * (platform::AnsiIsUtf8() ? 3 : 2)) std::abort();
        if (Utf8ToWide(utf8.data(), static_cast<int32_t>(utf8.size())).empty()) std::abort();
    }
    return 0;
}

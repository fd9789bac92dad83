// Converting any bytes between any two encodings must not crash, the fast
// paths must give the bytes of the plain platform conversion, and reading a
// block in bounded pieces must give exactly the bytes of converting it whole;
// with the ANSI code page 936 or UTF-8 (the stand-in's).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "core/simd_level.h"
#include "output/convert.h"

namespace {
const Encoding kAll[] = {Encoding::Ansi, Encoding::Utf8, Encoding::Utf8Bom, Encoding::Utf16Le,
                         Encoding::Utf16Be, Encoding::None};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Encoding src = kAll[data[0] % 6];
    const Encoding target = kAll[(data[0] / 6) % 6];
    const bool skipMark = data[0] & 0x80;
    const size_t limit = 8 + data[1];
    simd_level::Cap(data[1] & 1 ? simd_level::Scalar : simd_level::Avx2);
    platform::standinAnsiUtf8 = data[1] & 2;
    std::string input(reinterpret_cast<const char*>(data + 2), size - 2);

    std::string whole;
    {
        std::string copy = input;
        size_t mark = skipMark ? SourceMarkLength(src, copy.data(), copy.size()) : 0;
        ByteSink sink = [&](const char* b, size_t n) { whole.append(b, n); return true; };
        if (!ConvertBytes(src, target, &copy[0] + mark, copy.size() - mark, sink)) std::abort();
        std::string plain, again = input;
        ByteSink plainSink = [&](const char* b, size_t n) { plain.append(b, n); return true; };
        if (!ConvertBytesPlain(src, target, &again[0] + mark, again.size() - mark, plainSink)) std::abort();
        if (plain != whole) std::abort();
    }

    std::string pieces;
    size_t pos = 0;
    ByteSource source = [&](char* b, size_t n) {
        n = std::min(n, input.size() - pos);
        std::memcpy(b, input.data() + pos, n);
        pos += n;
        return n;
    };
    ByteSink sink = [&](const char* b, size_t n) { pieces.append(b, n); return true; };
    BlockConverter conv(src, target, limit);
    if (!conv.Convert(source, static_cast<int64_t>(input.size()), skipMark, sink)) std::abort();
    if (conv.BufferSize() > limit) std::abort();
    if (pieces != whole) std::abort();
    return 0;
}

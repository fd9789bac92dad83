// Fuzz target for the split of a block: SplitBlock against the plain model,
// on text decoded from the input in a chosen encoding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/encoding.h"
#include "core/text_document.h"
#include "tests/core/reference_models.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const Encoding encodings[] = {Encoding::Utf8, Encoding::Ansi, Encoding::Utf16Le, Encoding::Utf16Be};
    Encoding e = encodings[data[0] & 3];
    uint64_t first = (data[0] >> 2) * 100ull;
    std::u16string text = DecodeText(e, reinterpret_cast<const char*>(data + 1), size - 1);
    BlockCache got;
    SplitBlock(text, first, got);
    if (got != model::Split(text, first)) std::abort();
    // Lines hold their line end, at most one, at their end.
    for (const auto& line : got) {
        const std::u16string& s = line.second;
        for (size_t i = 0; i + 1 < s.size(); i++)
            if (s[i] == u'\n' || (s[i] == u'\r' && !(i + 2 == s.size() && s[i + 1] == u'\n'))) std::abort();
    }
    return 0;
}

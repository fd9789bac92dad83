// Fuzz target for reading lines: SplitBlock against the plain model, on text
// decoded from the input in a chosen encoding; and the input as a file read
// with a random small bound (lines in pieces) against the same file read
// whole. The ANSI code page is 936 or UTF-8 (the stand-in's).
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/encoding.h"
#include "core/platform.h"
#include "core/text_document.h"
#include "tests/core/reference_models.h"
#include "tests/core/temp_text_file.h"

namespace {

// Every line of the file, its length and its text walked in pieces of
// varying size, as the bounded document gives them, equal the whole read;
// its blocks within the bound are read in small pieces.
void CompareWithUnbounded(const uint8_t* data, size_t size, Encoding e, int64_t bound, uint32_t seed) {
    {
        FileStream out;
        if (!out.Open(ScratchFilePath("fuzz_read_block"), "wb") || out.Write(data, size) != size) return;
    }
    TextDocument whole, cut;
    if (!whole.Open(ScratchFilePath("fuzz_read_block"), e) || !cut.Open(ScratchFilePath("fuzz_read_block"), e)) return;
    cut.maxBlockBytes = bound;
    cut.readPieceBytes = 1 + seed % 61;
    if (whole.lineCount != cut.lineCount) std::abort();
    for (uint64_t line = 0; line < whole.lineCount; line++) {
        const std::u16string want = whole.GetLineText(line);
        if (cut.LineLength(line) != want.size()) std::abort();
        std::u16string walked;
        for (;;) {
            seed = seed * 1103515245u + 12345u;
            std::u16string piece = cut.LinePiece(line, walked.size(), 1 + (seed >> 16) % 97);
            if (piece.empty()) break;
            walked += piece;
        }
        if (walked != want) std::abort();
        if (cut.GetLineText(line) != want.substr(0, cut.PrefixUnits())) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const Encoding encodings[] = {Encoding::Utf8, Encoding::Ansi, Encoding::Utf16Le, Encoding::Utf16Be};
    Encoding e = encodings[data[0] & 3];
    uint64_t first = (data[0] >> 2) * 100ull;
    const int64_t bound = 16 + data[1] % 64 * 7;
    platform::standinAnsiUtf8 = data[1] & 0x80;
    data += 2;
    size -= 2;
    std::u16string text = DecodeText(e, reinterpret_cast<const char*>(data), size);
    BlockCache got;
    SplitBlock(text, first, got);
    if (got != model::Split(text, first)) std::abort();
    // Lines hold their line end, at most one, at their end.
    for (const auto& line : got) {
        const std::u16string& s = line.second;
        for (size_t i = 0; i + 1 < s.size(); i++)
            if (s[i] == u'\n' || (s[i] == u'\r' && !(i + 2 == s.size() && s[i + 1] == u'\n'))) std::abort();
    }
    if (size <= (1 << 16)) CompareWithUnbounded(data, size, e, bound, static_cast<uint32_t>(size));
    return 0;
}

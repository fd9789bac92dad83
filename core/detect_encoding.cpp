#include <memory>
#include <new>

#include "core/encoding.h"
#include "core/platform.h"

namespace {

// Continuation bytes a lead byte of 0x80 or more announces; -1: not a lead.
int ContinuationCount(unsigned char b) {
    if (b < 0xC0) return -1;
    if (b < 0xE0) return 1;
    if (b < 0xF0) return 2;
    if (b < 0xF8) return 3;
    if (b < 0xFC) return 4;
    if (b < 0xFE) return 5;
    return 4;
}

// evidence: a mark, or a byte of 0x80 or more in the sample.
Encoding Detect(const std::u16string& path, bool& evidence) {
    FileStream in;
    if (!in.Open(path, "rb")) return Encoding::None;

    unsigned char mark[3] = {0, 0, 0};
    in.Read(mark, 3);
    evidence = true;
    if (mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) return Encoding::Utf8Bom;
    if (mark[0] == 0xFF && mark[1] == 0xFE) return Encoding::Utf16Le;
    if (mark[0] == 0xFE && mark[1] == 0xFF) return Encoding::Utf16Be;
    evidence = false;

    if (!in.Seek(0)) return Encoding::Ansi;
    std::unique_ptr<unsigned char[]> sample(new (std::nothrow) unsigned char[DetectSampleSize]);
    if (!sample) return Encoding::Ansi;
    size_t got = in.Read(sample.get(), DetectSampleSize);

    int expected = 0;
    for (size_t i = 0; i < got; i++) {
        unsigned char b = sample[i];
        if (b >= 0x80) evidence = true;
        if (expected > 0) {
            if ((b & 0xC0) != 0x80) return Encoding::Ansi;
            expected--;
        } else if (b >= 0x80) {
            expected = ContinuationCount(b);
            if (expected < 0) return Encoding::Ansi;
        }
    }
    return evidence ? Encoding::Utf8 : Encoding::Ansi;
}

} // namespace

Encoding DetectEncoding(const std::u16string& path, bool* undecided) {
    bool evidence = false;
    const Encoding e = Detect(path, evidence);
    if (undecided) *undecided = !evidence;
    return e;
}

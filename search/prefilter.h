// Skips whole blocks of lines whose raw bytes cannot hold the search text.
// The search text is written in the file's own encoding; a block may match
// when its bytes hold that byte string (ASCII letters folded when ignoring
// case). Every decoded occurrence has its bytes there, so a block without
// them has no match; blocks that may match go to the exact engine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TextDocument;

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::basic_string<unsigned char>& out, uint32_t c);
// Appends the UTF-8 bytes of UTF-16 text; false when it holds a lone
// surrogate (then out holds the bytes before it).
bool AppendUtf8(std::basic_string<unsigned char>& out, const std::u16string& text);

class BlockPrefilter {
public:
    BlockPrefilter(TextDocument& doc, const std::u16string& pat, bool matchCase, bool forward);

    // False when the search text has no byte form that every occurrence must
    // have (then every block may match).
    bool usable() const { return usable_; }
    // Whether the bytes of block b (lines b*stride .. b*stride+stride-1) may
    // hold an occurrence. Forward callers ask blocks in ascending order,
    // backward ones in descending order; any order is answered correctly.
    // One call reads one step of the file (StepBytes and the search text's
    // length) and calls tick before each further step the block needs; it
    // checks candidates for a bounded work per byte, and where they cost more
    // it answers true and leaves the block to the exact engine.
    bool BlockMayMatch(uint64_t block);
    // Called between two steps of one call with the share of the block's
    // bytes done, in 1024ths; false stops the call (it answers true).
    std::function<bool(uint64_t share)> tick;
    // A tick returned false.
    bool cancelled() const { return cancelled_; }

    static constexpr int64_t StepBytes = 512 << 10;

    // Test hooks: false makes every block a candidate; the bytes all
    // prefilters read from files, and compared with the search text, so far;
    // the step and the work allowed per step (a fixed part and one per byte),
    // zeros for the program's own.
    static void Enable(bool on);
    static uint64_t BytesRead();
    static uint64_t BytesCompared();
    static void Limits(int64_t stepBytes, uint64_t allowance, uint64_t perByte);

private:
    void StepForward();   // scans on from fwdStop_
    void StepBackward();  // scans on down from bwdStop_
    bool Load(int64_t start, int64_t end);

    TextDocument& doc_;
    bool forward_;
    bool usable_ = false;
    bool fold_ = false;
    bool cancelled_ = false;
    std::basic_string<unsigned char> needle_;  // folded when fold_
    size_t mid_ = 0;  // the needle's least common inner byte
    std::vector<unsigned char> buf_;
    int64_t bufStart_ = 0, bufEnd_ = 0;
    // Forward: no candidate starts in [fwdFrom_, fwdStop_); when fwdHit_ one
    // may start at fwdStop_ (a candidate, or where checking cost too much).
    int64_t fwdFrom_ = -1, fwdStop_ = -1;
    bool fwdHit_ = false;
    // Backward: no candidate ends in (bwdStop_, bwdTo_]; when bwdHit_ one may
    // end at bwdStop_.
    int64_t bwdTo_ = -1, bwdStop_ = -1;
    bool bwdHit_ = false;
};

// Skips whole blocks of lines whose raw bytes cannot hold the search text.
// The search text is written in the file's own encoding; a block may match
// when its bytes hold that byte string (ASCII letters folded when ignoring
// case). Every decoded occurrence has its bytes there, so a block without
// them has no match; blocks that may match go to the exact engine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TextDocument;

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::basic_string<unsigned char>& out, uint32_t c);

class BlockPrefilter {
public:
    BlockPrefilter(TextDocument& doc, const std::u16string& pat, bool matchCase, bool forward);

    // False when the search text has no byte form that every occurrence must
    // have (then every block may match).
    bool usable() const { return usable_; }
    // Whether the bytes of block b (lines b*stride .. b*stride+stride-1) may
    // hold an occurrence. Forward callers ask blocks in ascending order,
    // backward ones in descending order; any order is answered correctly.
    bool BlockMayMatch(uint64_t block);

    // Test hooks: false makes every block a candidate; the bytes all
    // prefilters read from files, and compared with the search text, so far.
    static void Enable(bool on);
    static uint64_t BytesRead();
    static uint64_t BytesCompared();

private:
    bool BlockBytes(uint64_t block, int64_t& start, int64_t& end) const;
    int64_t FirstFrom(int64_t from);  // first candidate at or after from, or -1
    int64_t LastBefore(int64_t end);  // last candidate ending at or before end, or -1
    bool Load(int64_t start, int64_t end);
    bool MatchesAt(const unsigned char* p) const;

    TextDocument& doc_;
    bool forward_;
    bool usable_ = false;
    bool fold_ = false;
    std::basic_string<unsigned char> needle_;  // folded when fold_
    uint64_t stride_ = 100;
    std::vector<unsigned char> buf_;
    int64_t bufStart_ = 0, bufEnd_ = 0;
    // forward memory: no candidate in [fwdFrom_, fwdHit_), fwdHit_ is one (or -1: none to the end)
    int64_t fwdFrom_ = -1, fwdHit_ = -1;
    // backward memory: no candidate ends in (bwdHit_ + n, bwdTo_], bwdHit_ is one (or -1)
    int64_t bwdTo_ = -1, bwdHit_ = -1;
};

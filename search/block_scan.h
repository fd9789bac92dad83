// Counting over whole blocks of lines at once. A block starts at a line start
// and ends after a line end (or at the end of the file), so when the search
// text holds no CR and no LF no occurrence crosses a line, and the matches,
// neighbours and non-overlapping counts of the block taken as one text are
// those of its lines taken one by one. The text is the block's bytes when
// they are well-formed UTF-8 without a NUL, its UTF-16 units when none is
// U+0000, or, for ANSI, the units the document decodes; a block whose bytes
// cannot hold the search text counts 0 without being checked or decoded.
// Anything else is left to the line-by-line engine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/read_ahead.h"
#include "search/find_options.h"
#include "search/matcher.h"

class TextDocument;

// Whether n bytes are well-formed UTF-8 holding no NUL byte.
bool CleanUtf8(const unsigned char* p, size_t n);
// Whether any of the n units at t is U+0000.
bool HasNul(const char16_t* t, size_t n);

class BlockScan {
public:
    BlockScan(TextDocument& doc, const std::u16string& pat, const FindOptions& opt);

    bool usable() const { return usable_; }
    // Accepted non-overlapping matches in block b (asked in ascending order);
    // false when the block has to be counted line by line.
    bool Count(uint64_t block, uint64_t& count);

    // The lines k (from 0, ascending, as spans) of block b that hold an
    // accepted match, for a UTF-8 or UTF-16 document; false when the block
    // has to be listed line by line.
    bool List(uint64_t block, LineSpans& lines);

    // Test hook: false makes every block go line by line.
    static void Enable(bool on);
    // Test hook: the most bytes one file read takes (0: as shipped).
    static void ChunkLimit(int64_t bytes);

private:
    bool BlockRange(uint64_t block, int64_t& start, int64_t& end) const;
    bool Fill(uint64_t block);
    // The end of the chunk from cs whose first block ends at ce; hi, the
    // block after it, moves past the blocks it takes.
    int64_t ChunkEnd(int64_t cs, int64_t ce, uint64_t& hi) const;
    // The block's text in the chunk buffer: bytes, or units (UTF-16).
    bool Text(uint64_t block, const unsigned char*& raw, size_t& n);
    // Whether the UTF-8 block raw[0, n), whose occurrences were found in its
    // bytes, holds them as its decoded text does; nul, when given, tells
    // whether the block holds a NUL.
    bool Utf8AsIs(const unsigned char* raw, size_t n, const bool* nul = nullptr) const;
    // Whether the occurrence at byte s of the ANSI block raw[0, n), next to
    // a byte above 127, is one in the decoded text and passes the rules
    // there: 1 or 0; -1 when the block has to be decoded whole.
    int Decided(const unsigned char* raw, size_t n, size_t s);
    // The same, from the bytes from q (where a character starts) decoded.
    int DecodedNear(const unsigned char* raw, size_t n, size_t s, size_t q);

    TextDocument& doc_;
    bool usable_ = false;
    bool wholeWord_ = false;
    bool utf8_ = false, utf16_ = false, ansi_ = false;
    bool alwaysCheck_ = false;  // the search text has a form malformed bytes decode to
    bool asciiOnly_ = false;    // UTF-8: the search text is ASCII
    bool rawFilter_ = false;    // ANSI: a block without the bytes has no match
    Matcher units_;
    ByteMatcher bytes_;
    // bytes of blocks [chunkFirst_, chunkEnd_) from file offset chunkStart_
    std::vector<char16_t> buf_;  // char16_t for alignment; holds bytes
    // The chunk after the one in buf_, read meanwhile: blocks are asked in
    // ascending order, most of them one after another.
    ReadAhead ahead_;
    uint64_t aheadBlock_ = 0;  // the block the next read asked ahead starts at
    int64_t aheadStart_ = 0;   // and its file offset
    std::vector<char16_t> decoded_;
    std::vector<size_t> unsure_;   // ANSI: occurrences next to bytes above 127
    std::vector<char16_t> near_;   // ANSI: one of them decoded
    bool lead_[256] = {};          // ANSI: the lead bytes of the code page
    bool ansiUtf8_ = false;        // ANSI: the code page is 65001
    uint64_t chunkFirst_ = 0, chunkEnd_ = 0;
    int64_t chunkStart_ = 0;
};

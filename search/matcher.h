// Substring matcher over UTF-16 code units for one search text.
// A vector filter on the first and last unit finds candidates quickly; when
// verifying candidates costs too much for the ground covered (repetitive
// text against a repetitive search text), the scan of that text switches to
// a Knuth-Morris-Pratt automaton, so every scan stays linear.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Matcher {
public:
    // matchCase false: ASCII letters fold, other units compare exactly.
    Matcher(const std::u16string& pat, bool matchCase);

    size_t size() const { return n_; }
    // Whether the occurrence that Last reported equals the search text
    // exactly (valid when matching case).
    bool LastWasExact() const { return lastExact_; }

    // Starts scanning a new text of len units.
    void Begin(const char16_t* text, size_t len);
    // First occurrence starting at or after from and ending at or before end.
    // Successive calls for one text must not move back before the previous
    // result + 1, nor change end.
    size_t Next(size_t from, size_t end);
    // Last case-folded occurrence ending at or before end. Successive calls
    // for one text must pass end no larger than the previous result + n - 1.
    size_t Last(size_t end);

private:
    size_t NextKmp(size_t from, size_t end);
    size_t LastKmp(size_t end);
    void BuildForwardTable();
    void BuildBackwardTable();
    bool VerifyKey(const char16_t* at);
    bool VerifyFolded(const char16_t* at);

    std::u16string pattern_;  // search text as given, up to its first NUL
    std::u16string key_;      // search text, folded unless matching case
    std::u16string folded_;   // search text, folded
    size_t n_ = 0;
    bool matchCase_ = false;
    char16_t firstA_ = 0, firstB_ = 0, lastA_ = 0, lastB_ = 0;        // forward filter
    char16_t fFirstA_ = 0, fFirstB_ = 0, fLastA_ = 0, fLastB_ = 0;    // folded filter

    std::vector<uint32_t> fwdFail_, bwdFail_, bwdExactFail_;

    const char16_t* text_ = nullptr;
    size_t len_ = 0;
    // forward scan state
    bool fwdKmp_ = false;
    size_t fwdPos_ = 0, fwdQ_ = 0;
    uint64_t fwdWork_ = 0, fwdGround_ = 0;
    size_t fwdReach_ = 0;
    // backward scan state
    bool bwdKmp_ = false;
    size_t bwdPos_ = 0, bwdQ_ = 0, bwdExactQ_ = 0;
    bool lastExact_ = false;
    uint64_t bwdWork_ = 0, bwdGround_ = 0;
    size_t bwdReach_ = 0;
};

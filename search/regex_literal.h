// A literal text every match of a regular expression must contain, for the
// block prefilter: the longest run of plain characters in the pattern's
// top-level sequence, each required exactly once in the match. Conservative:
// any construct it does not fully understand (alternation at the top level,
// option settings, \Q..\E, unknown escapes, odd braces) gives no literal
// rather than a wrong one.
#pragma once
#include <string>
#include <vector>

// caseless: the pattern matches ignoring case (Unicode); then the literal
// keeps only characters whose every case form is the ASCII fold the
// prefilter makes (no K or S, which U+212A and U+017F match, no letter
// beyond ASCII). Empty when there is none.
std::u16string RequiredLiteral(const std::u16string& pattern, bool caseless);
// Every such run of the pattern, in order (RequiredLiteral is the longest).
std::vector<std::u16string> RequiredRuns(const std::u16string& pattern, bool caseless);

// Whether the pattern is plain text, every character of it matching only
// itself (and, caseless, only its ASCII case pair): it then finds and counts
// what the literal search finds and counts.
bool PlainLiteral(const std::u16string& pattern, bool caseless);

// Literals one of which every match contains: one per top-level alternative
// (its RequiredLiteral), or none when an alternative has none.
std::vector<std::u16string> RequiredLiterals(const std::u16string& pattern, bool caseless);

// Text encodings of files on disk and conversions to and from UTF-16.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

enum class Encoding : int32_t {
    None = 0,     // no file / ask for detection
    Utf8Bom = 1,  // EF BB BF
    Utf16Le = 2,  // FF FE
    Utf16Be = 3,  // FE FF
    Ansi = 4,     // active ANSI code page (936 on the target systems)
    Utf8 = 5,     // UTF-8 without a mark; only produced by detection
};

constexpr size_t DetectSampleSize = 0x80000;

inline bool IsUtf16(Encoding e) { return e == Encoding::Utf16Le || e == Encoding::Utf16Be; }
inline bool HasByteOrderMark(Encoding e) {
    int v = static_cast<int>(e);
    return v >= 1 && v <= 3;
}

// The mark written for an encoding (empty for Ansi and None).
std::string ByteOrderMark(Encoding e);

// undecided, when given, tells whether the bytes gave no evidence: no mark
// and no byte of 0x80 or more in the sample (an empty file, ASCII only).
Encoding DetectEncoding(const std::u16string& path, bool* undecided = nullptr);

// length 0: input ends with a NUL that is converted too. Otherwise exactly length units.
std::u16string AnsiToWide(const char* bytes, int32_t length);
std::u16string Utf8ToWide(const char* bytes, int32_t length);
std::string WideToUtf8(const char16_t* units, int32_t length);
std::string WideToAnsi(const char16_t* units, int32_t length);

// WideToAnsi (target Ansi) or WideToUtf8 (any other target) for a count of
// any size, converted in pieces of at most pieceUnits units (2^28 at most, so
// that no output length passes 2^31) that never split a surrogate pair. The
// result is the same for any piece size.
std::string EncodeWideInPieces(Encoding target, const char16_t* units, size_t count, size_t pieceUnits = 1u << 28);

int32_t SwapBytes16(char16_t* units, int32_t count);
// Same for buffers of any size.
void SwapBytes16Large(char16_t* units, size_t count);

// Decodes n file bytes; inputs of 2^31 bytes or more are converted in pieces
// split at character boundaries. more: the bytes are a prefix cut by
// CharBoundaryPrefix of a text that goes on for four bytes or more; the
// units are those that decoding the whole text gives for them.
std::u16string DecodeText(Encoding encoding, const char* bytes, size_t n, bool more = false);
// DecodeText with byte input converted in pieces of at most pieceSize bytes
// (split by CharBoundaryPrefix); the result is the same for any piece size.
std::u16string DecodeTextInPieces(Encoding encoding, const char* bytes, size_t n, size_t pieceSize,
                                  bool more = false);

// Largest prefix of [bytes, bytes+n) that ends on a character boundary of
// encoding e, given that bytes starts on one (at least 1 byte when n > 0):
// UTF-8 (and ANSI when its code page is UTF-8) leaves out a trailing
// sequence it does not hold whole, ANSI a lead byte without its trail byte,
// UTF-16 an odd byte and a trailing high surrogate. Converting the prefix
// (as text that goes on: DecodeText's more) and the rest apart gives the
// same text as converting them together, when the rest is four bytes or more.
size_t CharBoundaryPrefix(Encoding e, const char* bytes, size_t n);

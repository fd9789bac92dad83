// Encoding conversion for Save As: the per-chunk conversion table, the
// bounded streaming of blocks, and the temporary-file protocol.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "core/text_document.h"

constexpr size_t BlockBufferSize = 0x1400000;  // 20 MiB, the first block buffer
// Largest piece handed to one code-page conversion call.
constexpr size_t ConvertPieceBytes = size_t(1) << 24;

using ByteSink = std::function<bool(const char* bytes, size_t n)>;
using ByteSource = std::function<size_t(char* buffer, size_t n)>;

// Output buffers of the conversion, reused from piece to piece: they grow
// and are never cleared.
class ConvertBuffers {
public:
    char16_t* Units(size_t n);
    char* Bytes(size_t n);

private:
    std::unique_ptr<char16_t[]> units;
    std::unique_ptr<char[]> bytes;
    size_t unitCount = 0, byteCount = 0;
};

// Converts n bytes in encoding src to target and hands the result to sink.
// Byte sources may be modified in place (UTF-16 swaps). Utf8 counts as
// Utf8Bom on either side. Unknown encodings write nothing and succeed.
// ASCII runs and well-formed UTF-8 and UTF-16 take a fast path; the bytes
// are the same as ConvertBytesPlain's for every input.
bool ConvertBytes(Encoding src, Encoding target, char* bytes, size_t n, const ByteSink& sink,
                  ConvertBuffers* buffers = nullptr);
// The same through the platform calls alone, piece by piece.
bool ConvertBytesPlain(Encoding src, Encoding target, char* bytes, size_t n, const ByteSink& sink);

// Bytes at the start of a file that encode U+FEFF in src (0 if none).
size_t SourceMarkLength(Encoding src, const char* bytes, size_t n);

// The mark written for a target encoding (EF BB BF for both UTF-8 values).
std::string TargetMark(Encoding target);

// Where to cut a piece of text in src so that both parts convert exactly as
// the whole does (the first as text that goes on, with four bytes or more
// after the cut): a character boundary (CharBoundaryPrefix); UTF-16 keeps
// whole units and never splits a surrogate pair.
size_t ConvertBoundary(Encoding src, const char* bytes, size_t n);

// Streams blocks through one growing buffer. Blocks up to `limit` bytes are
// read whole; longer ones are read in pieces of `limit` bytes split at
// character boundaries, carrying the incomplete tail to the next piece.
class BlockConverter {
public:
    BlockConverter(Encoding src, Encoding target, size_t limit);
    // Converts the next `length` bytes of source. skipMark drops a leading
    // U+FEFF of the source. False when the sink failed.
    bool Convert(const ByteSource& source, int64_t length, bool skipMark, const ByteSink& sink);
    size_t BufferSize() const { return buffer.size(); }

private:
    Encoding src;
    Encoding target;
    size_t limit;
    std::vector<char> buffer;
    ConvertBuffers outBuffers;
};

// target + decimal tick count + ".tmp"
std::u16string TemporaryName(const std::u16string& target, uint32_t ticks);

// Writes target through a temporary file beside it: write fills the file,
// which then replaces target in one step. When write fails (or a flush or
// the replacement does), the temporary file goes and target stays as it was.
bool WriteThroughTemporary(const std::u16string& target, const std::function<bool(FileStream& out)>& write);

// Told the source bytes read so far and the bytes to read: first 0, then
// after about every ProgressStepBytes, and at the end. It may run other code
// that reads the document. False cancels the conversion.
using ConvertProgress = std::function<bool(int64_t done, int64_t total)>;
constexpr size_t ProgressStepBytes = size_t(4) << 20;

// ConvertToFile with its knobs. replacesSource: the target is the
// document's own file; all it holds is converted, lines appended since the
// open included, and the conversion fails, leaving it as it is, when it is
// no longer the file indexed (replaced, shrunk, rewritten) or grew during
// the conversion. Its read stream is closed just before the target is
// replaced (the caller re-opens the document). blockLimit bounds the bytes
// of a block converted at once; the file is read in pieces of up to 1 MiB
// or that bound, and the output written in pieces of 1 MiB. A cancelled
// conversion removes its temporary file and leaves the target as it was.
bool ConvertDocument(TextDocument& doc, const std::u16string& target, bool withMark,
                     Encoding targetEncoding, bool replacesSource, size_t blockLimit = MaxBlockBytes,
                     const ConvertProgress& progress = nullptr);

// True when both paths name one existing file (same device and file id).
bool SameFile(const std::u16string& a, const std::u16string& b);
// The path of an existing file with its symbolic links resolved (the name a
// hard link was reached by stays); empty when it cannot be told.
std::u16string FinalPath(const std::u16string& path);

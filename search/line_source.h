// Lines of a document for a scan that visits them in order, with the same
// text the document's line retrieval gives (terminators included), but read
// many blocks per file read and decoded into reused buffers without a map
// or a string per line. Blocks it cannot reproduce exactly (very large
// blocks, short reads, conversions that fail) are taken from the
// document's own cache instead.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TextDocument;

struct LineView {
    const char16_t* text;
    size_t length;
};

// A line either as UTF-16 units or, for well-formed UTF-8, as its bytes.
struct AnyLine {
    const char16_t* units;       // null when the line comes as bytes
    const unsigned char* bytes;  // null when the line comes as units
    size_t length;               // in units or bytes
    bool padded;                 // LineSource::Padding readable elements follow, and no NUL is inside
};

class LineSource {
public:
    // forward: lines are mostly asked in ascending order (else descending).
    // bytes: GetAny may hand out lines of well-formed UTF-8 blocks as their
    // bytes, undecoded (the file's encoding must be UTF-8).
    LineSource(TextDocument& doc, bool forward, bool bytes = false);

    // Text of line i; valid until the next call.
    LineView Get(uint64_t line);
    AnyLine GetAny(uint64_t line);
    // The whole text of the block holding `line` as one piece from the
    // buffers (padded), its lines in order with their terminators; line k of
    // the block starts at LineStarts()[k] and the last entry is its end.
    // padded false (and nothing to read) when the block is not held so.
    AnyLine GetBlockOf(uint64_t line);
    const std::vector<size_t>& LineStarts() const { return starts_; }
    // The file's bytes of a block, undecoded and unsplit (the next
    // LineSource::Padding bytes readable), from the chunk buffer; false when
    // the block is not read so (too large, a short read, not UTF-8).
    bool RawUtf8Block(uint64_t block, const unsigned char*& bytes, size_t& n);

    // Blocks larger than this are read through the document's cache.
    static constexpr int64_t FastBlockBytes = 4 << 20;
    // Bytes one file read takes at most (unless a single block is larger).
    static constexpr int64_t ChunkBytes = 1 << 20;
    // Readable elements after every line handed out from the buffers.
    static constexpr size_t Padding = 32;

private:
    bool BlockRange(uint64_t block, int64_t& start, int64_t& end) const;
    bool FillChunk(uint64_t block);
    // The bytes [start, end) of block in the chunk buffer, the chunk holding
    // it read first when needed; false for a block too large or a short read.
    bool InChunk(uint64_t block, int64_t start, int64_t end, const char*& at);
    bool LoadBlock(uint64_t block);
    bool Decode(const char* bytes, size_t n);
    bool DecodeHeldBytes();

    TextDocument& doc_;
    bool forward_;
    bool wantBytes_;

    // bytes of blocks [chunkFirst_, chunkEnd_) starting at file offset chunkStart_
    std::vector<char> bytes_;
    uint64_t chunkFirst_ = 0, chunkEnd_ = 0;
    int64_t chunkStart_ = 0;

    // decoded text of the current block and its line starts
    bool haveBlock_ = false;
    bool fallback_ = false;
    uint64_t blockFirst_ = 0, blockEnd_ = 0;
    std::vector<char16_t> units_;
    size_t unitCount_ = 0;
    std::vector<size_t> starts_;  // line k of the block spans [starts_[k], starts_[k+1])
    // when the block is held as bytes: its bytes (inside the chunk) and count
    bool heldAsBytes_ = false;
    const unsigned char* blockBytes_ = nullptr;
    size_t blockByteCount_ = 0;
};

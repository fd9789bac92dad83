// The line numbers of a listing (the lines that match, or those that do not),
// ascending, kept as runs of consecutive lines. A run costs 8 bytes however
// long it is, plus a share of its chunk's header: a chunk holds up to
// ChunkRuns runs as 32-bit offsets of their first line and first row from
// the chunk's own 64-bit line and row; a run whose offsets do not fit starts
// a new chunk. Row to line and line to row cost a binary search over the
// chunks and one within a chunk, at 10 rows or 10^12.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class MatchingLines {
public:
    static constexpr size_t ChunkRuns = 4096;
    // chunkRuns: runs a chunk holds at most (tests make it small).
    explicit MatchingLines(size_t chunkRuns = ChunkRuns) : chunkRuns_(chunkRuns ? chunkRuns : 1) {}

    void Clear();
    // Lines arrive strictly ascending; one right after the last extends its run.
    void Add(uint64_t line) { AddRun(line, 1); }
    // count consecutive lines from first (after the last one added); 0 adds none.
    // Inline where the run extends the last one or fits the last chunk's room.
    void AddRun(uint64_t first, uint64_t count) {
        if (size_ > 0 && first == end_) {
            size_ += count;
            end_ += count;
            return;
        }
        if (count && !chunks_.empty()) {
            Chunk& last = chunks_.back();
            const uint64_t dl = first - last.line, dr = size_ - last.row;
            if (last.runs.size() < last.runs.capacity() && ((dl | dr) >> 32) == 0) {
                last.runs.push_back(Run::Of(dl, dr));
                end_ = first + count;
                size_ += count;
                return;
            }
        }
        AddRunElsewhere(first, count);
    }

    uint64_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // The line listed in row (row < Size()).
    uint64_t LineAt(uint64_t row) const;
    // The row of the first listed line at or after line; Size() when none.
    uint64_t RowAtOrAfter(uint64_t line) const;
    bool Contains(uint64_t line) const;
    // The last line listed (Size() > 0).
    uint64_t LastLine() const { return end_ - 1; }
    // Removes every listed line at or after line.
    void DropFrom(uint64_t line);
    // Bytes its storage holds.
    size_t MemoryBytes() const;
    // Calls fn(first line, count) for every run in order while it returns
    // true; false when it stopped.
    template <class Fn>
    bool ForEachRun(Fn fn) const {
        for (size_t c = 0; c < chunks_.size(); ++c)
            for (size_t j = 0; j < chunks_[c].runs.size(); ++j)
                if (!fn(RunStartLine(c, j), RunEndRow(c, j) - RunStartRow(c, j))) return false;
        return true;
    }

private:
    // First line - the chunk's line, and first row - the chunk's row, as
    // the halves of one word: a pair of 32-bit fields was built on the
    // stack and read back whole, which stalls at every run added.
    struct Run {
        uint64_t bits;
        static Run Of(uint64_t line, uint64_t row) { return Run{line | row << 32}; }
        uint32_t line() const { return uint32_t(bits); }
        uint32_t row() const { return uint32_t(bits >> 32); }
    };
    struct Chunk {
        uint64_t line = 0, row = 0;  // of its first run
        std::vector<Run> runs;
    };
    // Rows of run j of chunk c: [start, end).
    uint64_t RunStartRow(size_t c, size_t j) const { return chunks_[c].row + chunks_[c].runs[j].row(); }
    uint64_t RunStartLine(size_t c, size_t j) const { return chunks_[c].line + chunks_[c].runs[j].line(); }
    uint64_t RunEndRow(size_t c, size_t j) const;
    // AddRun where the last chunk has no room or there is none.
    void AddRunElsewhere(uint64_t first, uint64_t count);
    // The chunk and run holding row (row < Size()).
    void Locate(uint64_t row, size_t& c, size_t& j) const;

    std::vector<Chunk> chunks_;
    uint64_t size_ = 0;
    uint64_t end_ = 0;  // the line after the last one listed
    // The last line listed, from the runs (Size() > 0).
    uint64_t LastLineOfRuns() const;
    size_t chunkRuns_;
};

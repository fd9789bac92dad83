// Growable array of 64-bit line-start offsets; entry j is the start of line 100*j.
// The entries lie in chunks that double in size (the first holds 2^firstBits
// entries), so growing adds a chunk and never moves or copies the entries
// already there.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/bit_scan.h"

class LineIndex {
public:
    explicit LineIndex(unsigned firstBits = 10) : firstBits_(firstBits < 20 ? firstBits : 20) {}
    ~LineIndex() { release(); }
    LineIndex(const LineIndex&) = delete;
    LineIndex& operator=(const LineIndex&) = delete;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    int64_t operator[](size_t i) const {
        const unsigned k = ChunkOf(i);
        return chunks_[k][i - First(k)];
    }
    int64_t back() const { return (*this)[size_ - 1]; }
    void clear() { truncate(0); }  // keeps the storage
    // Drops the entries from n on.
    void truncate(size_t n) {
        if (n >= size_) return;
        size_ = n;
        const unsigned k = ChunkOf(n);
        at_ = chunks_[k] + (n - First(k));
        end_ = chunks_[k] + (First(k + 1) - First(k));
    }
    void release() {
        for (unsigned k = 0; k < count_; ++k) std::free(chunks_[k]);
        count_ = 0;
        size_ = 0;
        at_ = end_ = nullptr;
    }
    // Adds a chunk when full; false when memory ran out.
    bool push_back(int64_t v) {
        if (at_ == end_ && !Next()) return false;
        *at_++ = v;
        ++size_;
        return true;
    }

private:
    static constexpr unsigned MaxChunks = 40;
    // Chunk k holds the entries from F * (2^k - 1) on, F the first chunk's size.
    unsigned ChunkOf(size_t i) const { return bits::High64((uint64_t(i) >> firstBits_) + 1); }
    size_t First(unsigned k) const { return (size_t(1) << firstBits_ << k) - (size_t(1) << firstBits_); }
    // Moves on to the next chunk, allocated when it is not yet.
    bool Next() {
        const unsigned k = ChunkOf(size_);
        if (k >= MaxChunks) return false;
        if (k == count_) {
            void* p = std::malloc((First(k + 1) - First(k)) * sizeof(int64_t));
            if (!p) return false;
            chunks_[count_++] = static_cast<int64_t*>(p);
        }
        at_ = chunks_[k];
        end_ = chunks_[k] + (First(k + 1) - First(k));
        return true;
    }

    int64_t* chunks_[MaxChunks] = {};
    unsigned firstBits_;
    unsigned count_ = 0;  // chunks allocated
    size_t size_ = 0;
    int64_t* at_ = nullptr;   // where the next entry goes
    int64_t* end_ = nullptr;  // the end of its chunk
};

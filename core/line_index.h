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
        // Chunk k holds the entries from F * (2^k - 1) on, F the first chunk's size.
        const unsigned k = bits::High64((uint64_t(i) >> firstBits_) + 1);
        return chunks_[k][i - ((size_t(1) << firstBits_ << k) - (size_t(1) << firstBits_))];
    }
    int64_t back() const { return (*this)[size_ - 1]; }
    void clear() { size_ = 0; }  // keeps the storage
    void truncate(size_t n) { if (n < size_) size_ = n; }  // drops the entries from n on
    void release() {
        for (unsigned k = 0; k < count_; ++k) std::free(chunks_[k]);
        count_ = 0;
        size_ = capacity_ = 0;
    }
    // Adds a chunk when full; false when memory ran out.
    bool push_back(int64_t v) {
        if (size_ == capacity_) {
            if (count_ == MaxChunks) return false;
            const size_t entries = size_t(1) << firstBits_ << count_;
            void* p = std::malloc(entries * sizeof(int64_t));
            if (!p) return false;
            chunks_[count_++] = static_cast<int64_t*>(p);
            capacity_ += entries;
        }
        const unsigned k = bits::High64((uint64_t(size_) >> firstBits_) + 1);
        chunks_[k][size_ - ((size_t(1) << firstBits_ << k) - (size_t(1) << firstBits_))] = v;
        ++size_;
        return true;
    }

private:
    static constexpr unsigned MaxChunks = 40;
    int64_t* chunks_[MaxChunks] = {};
    unsigned firstBits_;
    unsigned count_ = 0;  // chunks allocated
    size_t size_ = 0;
    size_t capacity_ = 0;  // entries of the chunks allocated
};

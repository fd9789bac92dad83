// Growable array of 64-bit line-start offsets; entry j is the start of line 100*j.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

class LineIndex {
public:
    LineIndex() = default;
    ~LineIndex() { std::free(data_); }
    LineIndex(const LineIndex&) = delete;
    LineIndex& operator=(const LineIndex&) = delete;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    int64_t operator[](size_t i) const { return data_[i]; }
    int64_t back() const { return data_[size_ - 1]; }
    void clear() { size_ = 0; }  // keeps the storage
    void truncate(size_t n) { if (n < size_) size_ = n; }  // drops the entries from n on
    void release() { std::free(data_); data_ = nullptr; size_ = capacity_ = 0; }
    // Grows by half its capacity when full; false when memory ran out.
    bool push_back(int64_t v) {
        if (size_ == capacity_) {
            size_t cap = capacity_ < 16 ? 16 : capacity_ + capacity_ / 2;
            void* p = std::realloc(data_, cap * sizeof(int64_t));
            if (!p) return false;
            data_ = static_cast<int64_t*>(p);
            capacity_ = cap;
        }
        data_[size_++] = v;
        return true;
    }

private:
    int64_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

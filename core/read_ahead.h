// Reads the next pieces of a file on a thread of its own while the caller
// works on the current one. On a file in the system's cache, copying its
// bytes is much of a search's time; read ahead, the copy goes on beside the
// search instead of before it. It reads through a handle of its own, so the
// caller's handle stays free for others (the window reads lines meanwhile).
// Up to Depth reads are asked ahead and done in order; a read that is not
// the one taken next drops every read asked.
// Reading ahead pays only while waiting for a read ahead costs less than
// reading at once: the first pieces are read by the caller, timed, and the
// reads ahead stop for good when their waits come to half as much again
// (two threads on processors far apart in a shared machine copy several
// times slower).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/file_identity.h"
#include "core/platform.h"

class ReadAhead {
public:
    static constexpr size_t Depth = 2;
    static constexpr int OwnReads = 4;  // pieces the caller reads itself first, timed

    ReadAhead() = default;
    ~ReadAhead() { Stop(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Makes ready to read path ahead once the caller has made its first
    // OwnReads reads itself (through Get): then a handle is opened on path
    // and the reader starts, when path still names the file `same` reads (a
    // file replaced or renamed meanwhile is not read ahead). A job of a few
    // pieces opens nothing and starts no thread. False when same's file is
    // not known.
    bool Open(const std::u16string& path, const FileStream& same);
    // The reader runs.
    bool IsOpen() const { return worker_.joinable(); }
    // Whether another read may be asked.
    bool Room() const { return IsOpen() && asked_ - taken_ < Depth; }
    // Asks for n bytes at offset, into a buffer of at least units 16-bit
    // units (aligned for UTF-16 text); nothing when there is no room.
    void Start(int64_t offset, size_t n, size_t units);
    // When the next read asked is of n bytes at offset: waits for it and,
    // when it got them all, swaps its buffer with buffer, true. Any other
    // read drops the reads asked (buffer untouched), false.
    bool Take(int64_t offset, size_t n, std::vector<char16_t>& buffer);
    // Drops the reads asked.
    void Drop();
    // Reads asked and not taken yet.
    size_t Pending() const { return asked_ - taken_; }
    // n bytes at offset into buffer (units 16-bit units at least): the read
    // asked ahead when it is the one, else read from own; the bytes got.
    size_t Get(FileStream& own, int64_t offset, size_t n, size_t units, std::vector<char16_t>& buffer);

private:
    struct Slot {
        int64_t offset = 0;
        size_t n = 0, units = 0;
        bool ok = false;
        std::vector<char16_t> buffer;
    };
    static constexpr size_t SettleTakes = 8;  // takes not timed while the reads get ahead
    static constexpr size_t Judged = 16;      // takes between two looks at the waits
    // Opens the reader's handle and starts it.
    void Launch();
    void Run();
    void Stop();
    // Waits until done_ passes count (the caller's side).
    void WaitDone(size_t count);

    std::u16string path_;
    FileIdentity want_;  // of the caller's file
    bool armed_ = false;  // to launch after the caller's own reads
    FileStream file_;
    std::thread worker_;
    // Slot i % Depth holds read i: the caller's until asked_ passes i, then
    // the reader's until done_ passes it.
    Slot slots_[Depth];
    size_t asked_ = 0, taken_ = 0;  // the caller's
    // The caller's: its own reads (the quickest, per byte) and the waits
    // for reads ahead, timed.
    int own_ = 0;
    size_t takes_ = 0;
    double ownPerByte_ = 0, waitSeconds_ = 0;
    uint64_t waitBytes_ = 0;
    std::atomic<size_t> posted_{0}, done_{0};
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::condition_variable cv_;
    bool callerWaits_ = false, readerWaits_ = false;  // guarded by m_
};

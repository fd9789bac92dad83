#include "core/read_ahead.h"

#include <chrono>

#include "core/file_identity.h"

namespace {

// Spins before sleeping: a read of a chunk from the system's cache takes
// about as long as a sleep and a wake-up, which under Wine also go through
// its server.
constexpr int SpinRounds = 4000;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

}  // namespace

bool ReadAhead::Open(const std::u16string& path, const FileStream& same) {
    Stop();
    asked_ = taken_ = 0;
    own_ = takes_ = 0;
    ownPerByte_ = waitSeconds_ = 0;
    waitBytes_ = 0;
    posted_ = done_ = 0;
    stop_ = false;
    path_ = path;
    armed_ = !path.empty() && same.Identity(want_);
    return armed_;
}

void ReadAhead::Launch() {
    FileIdentity got;
    armed_ = file_.Open(path_, "rb") && file_.Identity(got) && got == want_;
    if (armed_) {
        try {
            worker_ = std::thread([this] { Run(); });
        } catch (...) {
            armed_ = false;
        }
    }
    if (!armed_) file_.Close();
}

void ReadAhead::Stop() {
    if (worker_.joinable()) {
        stop_ = true;
        {
            std::lock_guard<std::mutex> lock(m_);
            if (readerWaits_) cv_.notify_all();
        }
        worker_.join();
    }
    file_.Close();
    armed_ = false;
}

void ReadAhead::Start(int64_t offset, size_t n, size_t units) {
    if (!Room()) return;
    Slot& s = slots_[asked_ % Depth];
    s.offset = offset;
    s.n = n;
    s.units = units > n / 2 + 1 ? units : n / 2 + 1;
    s.ok = false;
    posted_.store(++asked_, std::memory_order_release);
    std::lock_guard<std::mutex> lock(m_);
    if (readerWaits_) cv_.notify_all();
}

void ReadAhead::WaitDone(size_t count) {
    for (int i = 0; i < SpinRounds; ++i) {
        if (done_.load(std::memory_order_acquire) >= count) return;
        std::this_thread::yield();
    }
    std::unique_lock<std::mutex> lock(m_);
    callerWaits_ = true;
    cv_.wait(lock, [&] { return done_.load(std::memory_order_acquire) >= count; });
    callerWaits_ = false;
}

void ReadAhead::Drop() {
    if (taken_ == asked_) return;
    WaitDone(asked_);
    taken_ = asked_;
}

bool ReadAhead::Take(int64_t offset, size_t n, std::vector<char16_t>& buffer) {
    if (taken_ == asked_) return false;
    Slot& s = slots_[taken_ % Depth];
    if (s.offset != offset || s.n != n) {
        Drop();
        return false;
    }
    WaitDone(taken_ + 1);
    ++taken_;
    if (!s.ok) {
        Drop();
        return false;
    }
    buffer.swap(s.buffer);
    return true;
}

size_t ReadAhead::Get(FileStream& own, int64_t offset, size_t n, size_t units, std::vector<char16_t>& buffer) {
    const double t0 = IsOpen() ? Now() : 0;
    if (Take(offset, n, buffer)) {
        // The first takes also wait for the reads to get ahead.
        if (++takes_ <= SettleTakes) return n;
        waitSeconds_ += Now() - t0;
        waitBytes_ += n;
        if (takes_ % Judged == 0 && ownPerByte_ > 0 &&
            waitSeconds_ > 1.5 * ownPerByte_ * static_cast<double>(waitBytes_)) {
            Drop();  // waiting for them costs more than reading here
            Stop();
        }
        return n;
    }
    if (buffer.size() < units) buffer.resize(units);
    const bool timed = armed_ && own_ < OwnReads;
    const double t1 = timed ? Now() : 0;
    const size_t got = own.Seek(offset, SEEK_SET) ? own.Read(buffer.data(), n) : 0;
    if (timed && got == n && n > 0) {
        const double perByte = (Now() - t1) / static_cast<double>(n);
        if (ownPerByte_ <= 0 || perByte < ownPerByte_) ownPerByte_ = perByte;
        if (++own_ == OwnReads) Launch();
    }
    return got;
}

void ReadAhead::Run() {
    size_t next = 0;
    for (;;) {
        for (int i = 0; i < SpinRounds && posted_.load(std::memory_order_acquire) == next && !stop_; ++i)
            std::this_thread::yield();
        if (posted_.load(std::memory_order_acquire) == next && !stop_) {
            std::unique_lock<std::mutex> lock(m_);
            readerWaits_ = true;
            cv_.wait(lock, [&] { return stop_ || posted_.load(std::memory_order_acquire) != next; });
            readerWaits_ = false;
        }
        if (stop_) return;
        Slot& s = slots_[next % Depth];
        bool ok = false;
        try {
            if (s.buffer.size() < s.units) s.buffer.resize(s.units);
            ok = file_.Seek(s.offset, SEEK_SET) && file_.Read(s.buffer.data(), s.n) == s.n;
        } catch (...) {
            ok = false;
        }
        s.ok = ok;
        done_.store(++next, std::memory_order_release);
        std::lock_guard<std::mutex> lock(m_);
        if (callerWaits_) cv_.notify_all();
    }
}

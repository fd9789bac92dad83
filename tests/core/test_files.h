// Temporary files for tests: made under one folder per test process (with a
// non-ASCII name), written through FileStream with UTF-16 paths, and deleted
// when the object goes away.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "core/platform.h"

namespace testfiles {

// The folder for this process, removed with everything in it at exit.
inline const std::u16string& TempDir() {
    struct Dir {
        std::filesystem::path path;
        Dir() {
            std::error_code ec;
            std::filesystem::path base = std::filesystem::temp_directory_path(ec);
            if (ec) base = std::filesystem::current_path();
            std::random_device rd;
            uint64_t tag = (static_cast<uint64_t>(rd()) << 32) ^ rd() ^
                           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            path = base / (u"tomeview测试-" + std::filesystem::path(std::to_string(tag)).u16string());
            std::filesystem::create_directories(path, ec);
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static Dir dir;
    static const std::u16string text = dir.path.u16string();
    return text;
}

// A path in TempDir that no other call returns (the file is not created).
inline std::u16string UniquePath(const std::u16string& name = u"样本.txt") {
    static std::atomic<unsigned> counter{0};
    std::string n = std::to_string(++counter);
    return TempDir() + u"/" + std::u16string(n.begin(), n.end()) + u"_" + name;
}

inline bool WriteBytes(const std::u16string& path, const std::string& bytes, const char* mode = "wb") {
    FileStream out;
    if (!out.Open(path, mode)) return false;
    bool ok = out.Write(bytes.data(), bytes.size()) == bytes.size();
    return out.Flush() && ok;
}

inline std::string ReadBytes(const std::u16string& path) {
    FileStream in;
    std::string all;
    if (!in.Open(path, "rb")) return all;
    char buf[65536];
    for (size_t got; (got = in.Read(buf, sizeof buf)) > 0;) all.append(buf, got);
    return all;
}

inline bool Exists(const std::u16string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec);
}

// A file with the given bytes that is deleted with the object.
class TempFile {
public:
    explicit TempFile(const std::string& bytes, const std::u16string& name = u"样本.txt")
        : path_(UniquePath(name)), ok_(WriteBytes(path_, bytes)) {}
    ~TempFile() { Remove(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::u16string& path() const { return path_; }
    bool ok() const { return ok_; }
    bool Write(const std::string& bytes) { return WriteBytes(path_, bytes); }
    bool Append(const std::string& bytes) { return WriteBytes(path_, bytes, "ab"); }
    void Remove() {
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(path_), ec);
    }

private:
    std::u16string path_;
    bool ok_;
};

// Natively, the stand-in takes the ANSI code page as UTF-8 (65001) or as
// 936 while this lives; under Windows the process keeps its own, and ok
// tells whether it is the one asked for.
class AnsiCodePageUtf8 {
public:
    explicit AnsiCodePageUtf8(bool utf8) {
#ifndef _WIN32
        platform::standinAnsiUtf8 = utf8;
#endif
        ok_ = platform::AnsiIsUtf8() == utf8;
    }
    ~AnsiCodePageUtf8() {
#ifndef _WIN32
        platform::standinAnsiUtf8 = false;
#endif
    }
    AnsiCodePageUtf8(const AnsiCodePageUtf8&) = delete;
    AnsiCodePageUtf8& operator=(const AnsiCodePageUtf8&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

} // namespace testfiles

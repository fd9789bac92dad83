// Temporary files written by tests, and a document opened over one.
#pragma once
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/text_document.h"

class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::temp_directory_path() /
                ("tv_find_" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xffffff) + "_" +
                 std::to_string(serial++) + ".txt");
        FileStream out;
        if (out.Open(path_.u16string(), "wb")) ok_ = out.Write(bytes.data(), bytes.size()) == bytes.size();
    }
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::u16string path() const { return path_.u16string(); }
    bool written() const { return ok_; }

private:
    std::filesystem::path path_;
    bool ok_ = false;
};

class TempTextFile {
public:
    explicit TempTextFile(const std::string& bytes, Encoding enc = Encoding::Utf8) : file_(bytes) {
        opened = file_.written() && doc.Open(file_.path(), enc);
    }
    ~TempTextFile() { doc.Close(); }
    std::u16string path() const { return file_.path(); }
    TextDocument doc;
    bool opened = false;

private:
    TempFile file_;
};

// One scratch file per process, rewritten for each input of a fuzz target and
// removed at exit; `tag` names it (the first call's tag holds).
inline const std::u16string& ScratchFilePath(const char* tag) {
    static struct File {
        std::filesystem::path path;
        ~File() {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
    } file{std::filesystem::temp_directory_path() /
           ("tv_" + std::string(tag) + "_" + std::to_string(platform::TickCount()))};
    static const std::u16string path = file.path.u16string();
    return path;
}

// A document opened over a temporary file written by a test.
#pragma once
#include <atomic>
#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/text_document.h"

class TempTextFile {
public:
    explicit TempTextFile(const std::string& bytes, Encoding enc = Encoding::Utf8) {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::temp_directory_path() /
                ("tv_find_" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xffffff) + "_" +
                 std::to_string(serial++) + ".txt");
        {
            FileStream out;
            if (out.Open(path_.u16string(), "wb")) out.Write(bytes.data(), bytes.size());
        }
        opened = doc.Open(path_.u16string(), enc);
    }
    ~TempTextFile() {
        doc.Close();
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TextDocument doc;
    bool opened = false;

private:
    std::filesystem::path path_;
};

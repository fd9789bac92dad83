// Thin seam over the platform: code pages, C runtime streams with 64-bit
// offsets, file operations, clock. Windows and POSIX implementations.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/file_identity.h"

// <windows.h> maps these names to their W functions; code here calls the
// platform functions by their full names.
#ifdef DeleteFile
#undef DeleteFile
#endif
#ifdef MoveFile
#undef MoveFile
#endif

namespace platform {

constexpr unsigned CodePageAnsi = 0;     // CP_ACP
constexpr unsigned CodePageUtf8 = 65001; // CP_UTF8

// MultiByteToWideChar / WideCharToMultiByte with flags 0 (no default char).
// dst null or dstLen 0 asks for the output length.
int MultiByteToWide(unsigned codePage, const char* src, int srcLen, char16_t* dst, int dstLen);
int WideToMultiByte(unsigned codePage, const char16_t* src, int srcLen, char* dst, int dstLen);
// True when b is a lead byte of the ANSI code page.
bool IsAnsiLeadByte(unsigned char b);
// True when the ANSI code page is UTF-8 (65001: Windows' "use Unicode UTF-8
// for worldwide language support", or a manifest's activeCodePage). It has
// no lead bytes then, and its text is cut as UTF-8 text is.
bool AnsiIsUtf8();
#ifndef _WIN32
// Test hook of the native build: while set, the stand-in takes the ANSI code
// page as 65001 instead of 936.
extern bool standinAnsiUtf8;
#endif

uint32_t TickCount();
void SleepMs(unsigned ms);

bool DeleteFile(const std::u16string& path);          // missing file is failure
bool MoveFile(const std::u16string& from, const std::u16string& to);  // fails when `to` exists
// Gives `from` the name `to` in one step, replacing a file of that name.
bool MoveReplacing(const std::u16string& from, const std::u16string& to);
// Test hook: when set and true for (from, to), a move fails without being tried.
extern bool (*moveFault)(const std::u16string& from, const std::u16string& to);
bool CopyFileReplace(const std::u16string& from, const std::u16string& to);

} // namespace platform

// A C runtime stream opened in binary mode; closes itself.
class FileStream {
public:
    FileStream() = default;
    ~FileStream() { Close(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    FileStream(FileStream&& o) noexcept : fp(o.fp) { o.fp = nullptr; }
    FileStream& operator=(FileStream&& o) noexcept {
        if (this != &o) { Close(); fp = o.fp; o.fp = nullptr; }
        return *this;
    }

    // mode: "rb" or "wb"
    bool Open(const std::u16string& path, const char* mode);
    void Close();
    bool IsOpen() const { return fp != nullptr; }
    size_t Read(void* buf, size_t n);
    size_t Write(const void* buf, size_t n);
    bool Seek(int64_t offset, int origin = SEEK_SET);
    // Which file the open stream reads, whatever its name is now.
    bool Identity(FileIdentity& id) const;
    int64_t Tell();
    bool Flush();

private:
    FILE* fp = nullptr;
};

// UTF-16 <-> UTF-8 for paths and tests (exact, no code page involved).
std::string PathToUtf8(const std::u16string& s);
std::u16string PathFromUtf8(const std::string& s);

// Windows side of the platform seam.
#include <windows.h>

#include "core/platform.h"

#include <cstring>
#include "core/win_string.h"

namespace platform {

int MultiByteToWide(unsigned codePage, const char* src, int srcLen, char16_t* dst, int dstLen) {
    return MultiByteToWideChar(codePage, 0, src, srcLen, reinterpret_cast<wchar_t*>(dst), dst ? dstLen : 0);
}

int WideToMultiByte(unsigned codePage, const char16_t* src, int srcLen, char* dst, int dstLen) {
    return WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(src), srcLen, dst, dst ? dstLen : 0,
                               nullptr, nullptr);
}

bool IsAnsiLeadByte(unsigned char b) { return IsDBCSLeadByte(b) != FALSE; }

uint32_t TickCount() { return GetTickCount(); }
void SleepMs(unsigned ms) { Sleep(ms); }

bool DeleteFile(const std::u16string& path) { return DeleteFileW(W(path)) != FALSE; }
bool MoveFile(const std::u16string& from, const std::u16string& to) { return MoveFileW(W(from), W(to)) != FALSE; }
bool CopyFileReplace(const std::u16string& from, const std::u16string& to) {
    return CopyFileW(W(from), W(to), FALSE) != FALSE;
}

} // namespace platform

bool FileStream::Open(const std::u16string& path, const char* mode) {
    Close();
    wchar_t wmode[8] = {};
    for (int i = 0; i < 7 && mode[i]; i++) wmode[i] = static_cast<wchar_t>(static_cast<unsigned char>(mode[i]));
    FILE* f = nullptr;
    if (_wfopen_s(&f, W(path), wmode) != 0) return false;
    // Reads are large and seek first; no buffer may hold bytes the file no longer has.
    if (mode[0] == 'r' && !std::strchr(mode, '+')) setvbuf(f, nullptr, _IONBF, 0);
    fp = f;
    return fp != nullptr;
}

void FileStream::Close() {
    if (fp) fclose(fp);
    fp = nullptr;
}

// Large requests go in pieces of 1 GiB, which every C runtime handles.
size_t FileStream::Read(void* buf, size_t n) {
    if (!fp) return 0;
    char* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        size_t want = n - done < (size_t(1) << 30) ? n - done : (size_t(1) << 30);
        size_t got = fread(p + done, 1, want, fp);
        done += got;
        if (got < want) break;
    }
    return done;
}
size_t FileStream::Write(const void* buf, size_t n) {
    if (!fp) return 0;
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        size_t want = n - done < (size_t(1) << 30) ? n - done : (size_t(1) << 30);
        size_t put = fwrite(p + done, 1, want, fp);
        done += put;
        if (put < want) break;
    }
    return done;
}
bool FileStream::Seek(int64_t offset, int origin) { return fp && _fseeki64(fp, offset, origin) == 0; }
int64_t FileStream::Tell() { return fp ? _ftelli64(fp) : -1; }
bool FileStream::Flush() { return fp && fflush(fp) == 0; }

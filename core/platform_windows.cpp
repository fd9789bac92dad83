// Windows side of the platform seam.
#include <windows.h>

#include "core/platform.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <string>
#include "core/win_string.h"

// Windows takes a path of MAX_PATH units or more only in its \\?\ form,
// which it takes literally, so the path is made absolute first. Shorter
// paths, and paths already in a device form, are passed on unchanged.
std::wstring LongPath(const std::u16string& path) {
    std::wstring w(W(path));
    if (w.size() < MAX_PATH || w.compare(0, 4, L"\\\\?\\") == 0 || w.compare(0, 4, L"\\\\.\\") == 0) return w;
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return w;
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    return w;
}

namespace platform {

int MultiByteToWide(unsigned codePage, const char* src, int srcLen, char16_t* dst, int dstLen) {
    return MultiByteToWideChar(codePage, 0, src, srcLen, reinterpret_cast<wchar_t*>(dst), dst ? dstLen : 0);
}

int WideToMultiByte(unsigned codePage, const char16_t* src, int srcLen, char* dst, int dstLen) {
    return WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(src), srcLen, dst, dst ? dstLen : 0,
                               nullptr, nullptr);
}

bool IsAnsiLeadByte(unsigned char b) { return IsDBCSLeadByte(b) != FALSE; }
bool AnsiIsUtf8() { return GetACP() == CP_UTF8; }

uint32_t TickCount() { return GetTickCount(); }
void SleepMs(unsigned ms) { Sleep(ms); }

bool DeleteFile(const std::u16string& path) { return DeleteFileW(LongPath(path).c_str()) != FALSE; }
bool (*moveFault)(const std::u16string& from, const std::u16string& to) = nullptr;

bool MoveFile(const std::u16string& from, const std::u16string& to) {
    if (moveFault && moveFault(from, to)) return false;
    return MoveFileW(LongPath(from).c_str(), LongPath(to).c_str()) != FALSE;
}
bool MoveReplacing(const std::u16string& from, const std::u16string& to) {
    if (moveFault && moveFault(from, to)) return false;
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
bool CopyFileReplace(const std::u16string& from, const std::u16string& to) {
    return CopyFileW(LongPath(from).c_str(), LongPath(to).c_str(), FALSE) != FALSE;
}

} // namespace platform

bool FileStream::Open(const std::u16string& path, const char* mode) {
    Close();
    wchar_t wmode[8] = {};
    for (int i = 0; i < 7 && mode[i]; i++) wmode[i] = static_cast<wchar_t>(static_cast<unsigned char>(mode[i]));
    FILE* f = nullptr;
    if (mode[0] == 'r' && !std::strchr(mode, '+')) {
        // A reader shares everything: a log's writer may go on appending,
        // truncate, rename, replace or delete the file while it is open (the
        // C runtime's own open shares reading only). A folder does not open.
        HANDLE h = CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
        if (fd == -1) {
            CloseHandle(h);
            return false;
        }
        f = _fdopen(fd, "rb");
        if (!f) {
            _close(fd);  // closes the handle too
            return false;
        }
        // Reads are large and seek first; no buffer may hold bytes the file no longer has.
        setvbuf(f, nullptr, _IONBF, 0);
    } else if (_wfopen_s(&f, LongPath(path).c_str(), wmode) != 0) {
        return false;
    }
    fp = f;
    return fp != nullptr;
}

bool FileStream::Seek(int64_t offset, int origin) { return fp && _fseeki64(fp, offset, origin) == 0; }
int64_t FileStream::Tell() { return fp ? _ftelli64(fp) : -1; }

// File identity by volume serial number and file index; the final path of a file.
#include <windows.h>

#include "core/win_string.h"
#include "output/convert.h"

namespace {

bool Identify(const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok != FALSE;
}

}  // namespace

bool SameFile(const std::u16string& a, const std::u16string& b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!Identify(a, ia) || !Identify(b, ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

std::u16string FinalPath(const std::u16string& path) {
    HANDLE h = CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::u16string();
    std::wstring final(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, &final[0], DWORD(final.size()), VOLUME_NAME_DOS);
    if (n >= final.size()) {
        final.resize(n);
        n = GetFinalPathNameByHandleW(h, &final[0], DWORD(final.size()), VOLUME_NAME_DOS);
    }
    CloseHandle(h);
    if (n == 0 || n >= final.size()) return std::u16string();
    return U16(final.data(), n);  // with its \\?\ prefix, which LongPath keeps
}

// File identity by volume serial number and file index.
#include <windows.h>

#include "core/file_identity.h"
#include "core/win_string.h"

bool ReadFileIdentity(const std::u16string& path, FileIdentity& id) {
    HANDLE h = CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return false;
    id.device = info.dwVolumeSerialNumber;
    id.file = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return true;
}

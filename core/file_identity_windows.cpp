// File identity by volume serial number and file index.
#include <windows.h>
#include <io.h>

#include <cstdio>

#include "core/file_identity.h"
#include "core/platform.h"
#include "core/win_string.h"

namespace {

void Take(const BY_HANDLE_FILE_INFORMATION& info, FileIdentity& id) {
    id.device = info.dwVolumeSerialNumber;
    id.file = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
}

// The path opened for asking only, sharing everything (a writer may hold it).
HANDLE OpenToAsk(const std::u16string& path) {
    return CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What the system tells of the file or folder a path names.
bool PathInformation(const std::u16string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = OpenToAsk(path);
    if (h == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok != FALSE;
}

}  // namespace

bool ReadFileIdentity(const std::u16string& path, FileIdentity& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!PathInformation(path, info)) return false;
    Take(info, id);
    return true;
}

bool ProbeFile(const std::u16string& path, FileProbe& probe) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!PathInformation(path, info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    Take(info, probe.identity);
    probe.size = static_cast<int64_t>(static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
    probe.writeTime = static_cast<int64_t>(static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                                           info.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool FileStream::Identity(FileIdentity& id) const {
    if (!fp) return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(fp)));
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return false;
    Take(info, id);
    return true;
}

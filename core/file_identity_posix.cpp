// File identity by device and inode.
#include <sys/stat.h>

#include <cstdio>

#include "core/file_identity.h"
#include "core/platform.h"

bool ReadFileIdentity(const std::u16string& path, FileIdentity& id) {
    struct stat st;
    if (stat(PathToUtf8(path).c_str(), &st) != 0) return false;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.file = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool ProbeFile(const std::u16string& path, FileProbe& probe) {
    struct stat st;
    if (stat(PathToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    probe.identity.device = static_cast<uint64_t>(st.st_dev);
    probe.identity.file = static_cast<uint64_t>(st.st_ino);
    probe.size = static_cast<int64_t>(st.st_size);
    probe.writeTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool FileStream::Identity(FileIdentity& id) const {
    struct stat st;
    if (!fp || fstat(fileno(fp), &st) != 0) return false;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.file = static_cast<uint64_t>(st.st_ino);
    return true;
}

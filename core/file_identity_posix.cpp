// File identity by device and inode.
#include <sys/stat.h>

#include "core/file_identity.h"
#include "core/platform.h"

bool ReadFileIdentity(const std::u16string& path, FileIdentity& id) {
    struct stat st;
    if (stat(PathToUtf8(path).c_str(), &st) != 0) return false;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.file = static_cast<uint64_t>(st.st_ino);
    return true;
}

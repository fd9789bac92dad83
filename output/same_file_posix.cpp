// File identity by device and inode.
#include <sys/stat.h>

#include "core/platform.h"
#include "output/convert.h"

bool SameFile(const std::u16string& a, const std::u16string& b) {
    struct stat sa, sb;
    if (stat(PathToUtf8(a).c_str(), &sa) != 0 || stat(PathToUtf8(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// File identity by device and inode; the final path of a file.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "core/platform.h"
#include "output/convert.h"

bool SameFile(const std::u16string& a, const std::u16string& b) {
    struct stat sa, sb;
    if (stat(PathToUtf8(a).c_str(), &sa) != 0 || stat(PathToUtf8(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::u16string FinalPath(const std::u16string& path) {
    char resolved[PATH_MAX];
    return realpath(PathToUtf8(path).c_str(), resolved) ? PathFromUtf8(resolved) : std::u16string();
}

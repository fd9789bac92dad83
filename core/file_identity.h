// Which file a path names: the device and the file's number on it. Two paths
// with one identity name one file; a file replaced under its name gets
// another identity.
#pragma once
#include <cstdint>
#include <string>

struct FileIdentity {
    uint64_t device = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity& o) const { return device == o.device && file == o.file; }
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

// False when the path names nothing that can be asked.
bool ReadFileIdentity(const std::u16string& path, FileIdentity& id);

// What one look at a path tells: which file it names, its size and the time
// of its last write (in the platform's units; only compared).
struct FileProbe {
    FileIdentity identity;
    int64_t size = -1;
    int64_t writeTime = 0;
    bool operator==(const FileProbe& o) const {
        return identity == o.identity && size == o.size && writeTime == o.writeTime;
    }
};

// False when the path names no file that can be asked (gone, or being deleted).
bool ProbeFile(const std::u16string& path, FileProbe& probe);

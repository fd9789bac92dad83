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

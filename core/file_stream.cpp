// The parts of FileStream that are the same on every platform: the C
// runtime's stream calls, in pieces that every runtime handles.
#include <cstdio>

#include "core/platform.h"

namespace {

constexpr size_t MaxPiece = size_t(1) << 30;

}  // namespace

void FileStream::Close() {
    if (fp) std::fclose(fp);
    fp = nullptr;
}

size_t FileStream::Read(void* buf, size_t n) {
    if (!fp) return 0;
    char* p = static_cast<char*>(buf);
    size_t done = 0;
    while (done < n) {
        size_t want = n - done < MaxPiece ? n - done : MaxPiece;
        size_t got = std::fread(p + done, 1, want, fp);
        done += got;
        if (got < want) break;
    }
    return done;
}

size_t FileStream::Write(const void* buf, size_t n) {
    if (!fp) return 0;
    const char* p = static_cast<const char*>(buf);
    size_t done = 0;
    while (done < n) {
        size_t want = n - done < MaxPiece ? n - done : MaxPiece;
        size_t put = std::fwrite(p + done, 1, want, fp);
        done += put;
        if (put < want) break;
    }
    return done;
}

bool FileStream::Flush() { return fp && std::fflush(fp) == 0; }

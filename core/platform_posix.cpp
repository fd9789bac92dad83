// POSIX side of the platform seam; the code-page calls use the stand-in
// (code page 936 for the active ANSI code page, 65001 under the test hook).
#include "core/platform.h"

#include <cstring>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "core/codepage_standin.h"
#include "core/gbk_table.h"

namespace platform {

bool standinAnsiUtf8 = false;

bool AnsiIsUtf8() { return standinAnsiUtf8; }

int MultiByteToWide(unsigned codePage, const char* src, int srcLen, char16_t* dst, int dstLen) {
    if (codePage == CodePageUtf8 || (codePage == CodePageAnsi && standinAnsiUtf8))
        return standin::Utf8ToUtf16(src, srcLen, dst, dstLen);
    if (codePage == CodePageAnsi) return standin::GbkToUtf16(src, srcLen, dst, dstLen);
    return 0;
}

int WideToMultiByte(unsigned codePage, const char16_t* src, int srcLen, char* dst, int dstLen) {
    if (codePage == CodePageUtf8 || (codePage == CodePageAnsi && standinAnsiUtf8))
        return standin::Utf16ToUtf8(src, srcLen, dst, dstLen);
    if (codePage == CodePageAnsi) return standin::Utf16ToGbk(src, srcLen, dst, dstLen);
    return 0;
}

bool IsAnsiLeadByte(unsigned char b) { return !standinAnsiUtf8 && IsGbkLeadByte(b); }

uint32_t TickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void SleepMs(unsigned ms) {
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

bool DeleteFile(const std::u16string& path) {
    std::string p = PathToUtf8(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return unlink(p.c_str()) == 0;
}

namespace {

// Copies the contents and permission bits; removes a partial target on failure.
bool CopyContents(const std::string& from, const std::string& to, bool replace) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (replace ? 0 : O_EXCL);
    int out = open(to.c_str(), flags, st.st_mode & 07777);
    if (out < 0) {
        close(in);
        return false;
    }
    static const size_t kChunk = 1 << 20;
    char* buf = new char[kChunk];
    bool ok = true;
    for (;;) {
        ssize_t got = read(in, buf, kChunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) { ok = false; break; }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            ssize_t w = write(out, buf + done, static_cast<size_t>(got - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) { ok = false; break; }
            done += w;
        }
        if (!ok) break;
    }
    delete[] buf;
    close(in);
    if (close(out) != 0) ok = false;
    if (!ok) unlink(to.c_str());
    return ok;
}

} // namespace

bool (*moveFault)(const std::u16string& from, const std::u16string& to) = nullptr;

// Like MoveFileW: fails when the target exists; moves files across devices.
bool MoveFile(const std::u16string& from, const std::u16string& to) {
    if (moveFault && moveFault(from, to)) return false;
    std::string f = PathToUtf8(from), t = PathToUtf8(to);
    struct stat st;
    if (lstat(f.c_str(), &st) != 0) return false;
    if (lstat(t.c_str(), &st) == 0) return false;
    if (rename(f.c_str(), t.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    if (!CopyContents(f, t, false)) return false;
    if (unlink(f.c_str()) != 0) {
        unlink(t.c_str());
        return false;
    }
    return true;
}

// Like MoveFileExW with MOVEFILE_REPLACE_EXISTING on one device: a file
// (not a folder) of the target's name is replaced atomically.
bool MoveReplacing(const std::u16string& from, const std::u16string& to) {
    if (moveFault && moveFault(from, to)) return false;
    std::string f = PathToUtf8(from), t = PathToUtf8(to);
    struct stat st;
    if (lstat(f.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (lstat(t.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    return rename(f.c_str(), t.c_str()) == 0;
}

bool CopyFileReplace(const std::u16string& from, const std::u16string& to) {
    std::string f = PathToUtf8(from), t = PathToUtf8(to);
    struct stat a, b;
    if (stat(f.c_str(), &a) == 0 && stat(t.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return false;  // copying a file onto itself would empty it
    return CopyContents(f, t, true);
}

} // namespace platform

bool FileStream::Open(const std::u16string& path, const char* mode) {
    Close();
    FILE* f = std::fopen(PathToUtf8(path).c_str(), mode);
    if (!f) return false;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {  // as on Windows, a folder is no file
        std::fclose(f);
        return false;
    }
    // Reads are large and seek first; no buffer may hold bytes the file no longer has.
    if (mode[0] == 'r' && !std::strchr(mode, '+')) setvbuf(f, nullptr, _IONBF, 0);
    fp = f;
    return true;
}

bool FileStream::Seek(int64_t offset, int origin) { return fp && fseeko(fp, static_cast<off_t>(offset), origin) == 0; }
int64_t FileStream::Tell() { return fp ? static_cast<int64_t>(ftello(fp)) : -1; }

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/platform.h"
#include "core/read_ahead.h"
#include "tests/core/test_files.h"

using testfiles::ReadBytes;
using testfiles::TempFile;

TEST(Platform, StreamsUseUtf16PathsAnd64BitOffsets) {
    std::u16string path = testfiles::UniquePath(u"流\xD83D\xDE00.bin");
    FileStream out;
    ASSERT_TRUE(out.Open(path, "wb"));
    const int64_t far = (int64_t(1) << 32) + 5;  // beyond 32-bit offsets; sparse where possible
    ASSERT_TRUE(out.Seek(far));
    ASSERT_EQ(out.Write("xyz", 3), 3u);
    EXPECT_EQ(out.Tell(), far + 3);
    out.Close();
    FileStream in;
    ASSERT_TRUE(in.Open(path, "rb"));
    ASSERT_TRUE(in.Seek(0, SEEK_END));
    EXPECT_EQ(in.Tell(), far + 3);
    ASSERT_TRUE(in.Seek(far + 1));
    char buf[4] = {};
    EXPECT_EQ(in.Read(buf, 4), 2u);
    EXPECT_EQ(std::string(buf, 2), "yz");
    in.Close();
    EXPECT_TRUE(platform::DeleteFile(path));
    EXPECT_FALSE(in.Open(path, "rb"));
}

TEST(Platform, FileOperations) {
    TempFile a("alpha", u"甲.txt"), b("beta", u"乙.txt");
    std::u16string c = testfiles::UniquePath(u"丙.txt");
    EXPECT_FALSE(platform::MoveFile(a.path(), b.path()));  // an existing target is kept
    EXPECT_EQ(ReadBytes(b.path()), "beta");
    EXPECT_TRUE(platform::MoveFile(a.path(), c));
    EXPECT_FALSE(testfiles::Exists(a.path()));
    EXPECT_EQ(ReadBytes(c), "alpha");
    EXPECT_TRUE(platform::CopyFileReplace(c, b.path()));
    EXPECT_EQ(ReadBytes(b.path()), "alpha");
    EXPECT_EQ(ReadBytes(c), "alpha");
    EXPECT_FALSE(platform::CopyFileReplace(testfiles::UniquePath(u"无.txt"), b.path()));
    EXPECT_EQ(ReadBytes(b.path()), "alpha");
    EXPECT_TRUE(platform::DeleteFile(c));
    EXPECT_FALSE(platform::DeleteFile(c));
    EXPECT_FALSE(platform::DeleteFile(testfiles::TempDir()));
}

// A file open for reading stays open to other programs: a log's writer may
// rename it away, start a new one under its name and delete the old one
// (a rotation) while the reader keeps reading the bytes it had.
TEST(Platform, ReadersNeverBlockAWriterOrARotation) {
    TempFile log("line 1\nline 2\n", u"日志.log");
    const std::u16string old = log.path() + u".1";
    FileStream in;
    ASSERT_TRUE(in.Open(log.path(), "rb"));
    FileStream writer;  // another program replacing the file's bytes
    EXPECT_TRUE(writer.Open(log.path(), "wb"));
    writer.Close();
    EXPECT_TRUE(platform::MoveFile(log.path(), old));
    FileStream fresh;
    EXPECT_TRUE(fresh.Open(log.path(), "wb"));
    EXPECT_EQ(fresh.Write("new\n", 4), 4u);
    fresh.Close();
    EXPECT_TRUE(platform::DeleteFile(old));
    char buf[8] = {};
    ASSERT_TRUE(in.Seek(0));
    EXPECT_EQ(in.Read(buf, 8), 0u);  // it was emptied before the rename
    in.Close();
    EXPECT_EQ(ReadBytes(log.path()), "new\n");
}

// Reads asked ahead give the bytes a read at the time would, and a read
// that is not the one taken next, or cut short, hands out nothing.
TEST(Platform, ReadAheadTakesOnlyWhatItReadWhole) {
    std::string bytes(5000, '\0');
    std::mt19937 rng(3);
    for (char& c : bytes) c = char(rng());
    TempFile file(bytes);
    FileStream same;
    ASSERT_TRUE(same.Open(file.path(), "rb"));
    ReadAhead ahead;
    std::vector<char16_t> buf;
    // Its caller's first reads come first, then the reader starts.
    auto ownReads = [&] {
        for (int i = 0; i < ReadAhead::OwnReads; ++i)
            ASSERT_EQ(ahead.Get(same, 100 * i, 100, 50, buf), 100u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), 100), bytes.substr(300, 100));
    };
    ASSERT_TRUE(ahead.Open(file.path(), same));
    ownReads();
    ASSERT_TRUE(ahead.IsOpen());
    int taken = 0;
    for (int i = 0; i < 3000; ++i) {
        const int64_t at = rng() % 4000;
        const size_t n = rng() % 1000;
        if (ahead.Room()) ahead.Start(at, n, n / 2 + 4);
        const bool asKept = rng() % 4 != 0;  // else another read is asked for
        const int64_t take = asKept ? at : at + 1;
        const bool got = ahead.Take(take, n, buf);
        if (got) ASSERT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), n), bytes.substr(size_t(take), n));
        taken += got;
        if (asKept && got) continue;
        EXPECT_FALSE(ahead.Take(at, n, buf));  // dropped with the rest
    }
    EXPECT_GT(taken, 1000);
    ahead.Start(4000, 1000, 504);
    ASSERT_TRUE(file.Write(bytes.substr(0, 4500)));  // cut under the reader, maybe before it reads
    ahead.Start(4000, 1000, 504);
    if (ahead.Take(4000, 1000, buf)) EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), 1000), bytes.substr(4000));
    EXPECT_FALSE(ahead.Take(4000, 1000, buf));
    // A file no longer under its name is not read ahead.
    same.Close();
    ASSERT_TRUE(same.Open(file.path(), "rb"));
    const std::u16string other = file.path() + u".1";
    ASSERT_TRUE(platform::MoveFile(file.path(), other));
    ASSERT_TRUE(file.Write("new"));
    ASSERT_TRUE(ahead.Open(file.path(), same));
    ownReads();
    EXPECT_FALSE(ahead.IsOpen());
    same.Close();
    EXPECT_TRUE(platform::DeleteFile(other));
}

TEST(Platform, ClockAndLeadBytes) {
    uint32_t t0 = platform::TickCount();
    platform::SleepMs(100);
    uint32_t dt = platform::TickCount() - t0;
    EXPECT_GE(dt, 70u);  // the tick may advance in steps of about 16 ms
    EXPECT_LT(dt, 60000u);
    EXPECT_FALSE(platform::IsAnsiLeadByte(0x80));
    EXPECT_TRUE(platform::IsAnsiLeadByte(0x81));
    EXPECT_TRUE(platform::IsAnsiLeadByte(0xFE));
    EXPECT_FALSE(platform::IsAnsiLeadByte(0xFF));
    EXPECT_FALSE(platform::IsAnsiLeadByte('a'));
}

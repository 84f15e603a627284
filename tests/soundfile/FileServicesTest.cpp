// The POSIX file services under the formats: creation, positions (beyond 4 GiB too), and
// small writes gathered before they reach the file. Reads past the end are met by the formats'
// truncated-file tests.
#include "soundfile/FileServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class PosixFiles : public ::testing::Test {
  protected:
    std::int16_t OpenFile(const Bytes& content,
                          FilePermission permission = FilePermission::ReadWrite) {
        EXPECT_TRUE(WriteFileBytes(dir.File("data"), content));
        std::int16_t ref = 0;
        EXPECT_EQ(files.Open(dir.Spec("data"), permission, &ref), kNoErr);
        return ref;
    }
    Status Write(std::int16_t ref, const Bytes& bytes) {
        auto count = std::int32_t(bytes.size());
        return files.Write(ref, &count, bytes.data());
    }
    std::int64_t Position(std::int16_t ref, bool endOfFile = false) {
        std::int64_t at = -1;
        EXPECT_EQ(endOfFile ? files.GetEndOfFile(ref, &at) : files.GetPosition(ref, &at), kNoErr);
        return at;
    }
    TempDir dir;
    PosixFileServices files;
};

} // namespace

// What the jobs ask before they write: a link is itself unless followed, nothing there is no
// failure, and a listing names what a folder holds.
TEST_F(PosixFiles, KindsAndListings) {
    ASSERT_EQ(files.Create(dir.Spec("a.aif"), 0, 0), kNoErr);
    ASSERT_EQ(files.CreateDirectory(dir.File("set")), kNoErr);
    ASSERT_EQ(symlink("set", dir.File("link").c_str()), 0);
    const std::tuple<const char*, bool, EntryKind> cases[] = {
        {"a.aif", false, EntryKind::file},   {"set", false, EntryKind::folder},
        {"link", false, EntryKind::other},   {"link", true, EntryKind::folder},
        {"missing", false, EntryKind::none}, {"a.aif/below", false, EntryKind::none}};
    for (const auto& [name, follow, expected] : cases) {
        EntryKind kind = EntryKind::other;
        EXPECT_EQ(files.Kind(dir.File(name), follow, &kind), kNoErr) << name;
        EXPECT_EQ(kind, expected) << name << (follow ? " followed" : "");
    }
    std::vector<std::string> names;
    ASSERT_EQ(files.List(dir.Path(), &names), kNoErr);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.aif", "link", "set"}));
    EXPECT_EQ(files.List(dir.File("missing"), &names), kErrFileNotFound);
}

// A file is created once: an existing one is never replaced.
TEST_F(PosixFiles, CreateOnce) {
    ASSERT_EQ(files.Create(dir.Spec("new.aif"), 0, 0), kNoErr);
    EXPECT_EQ(files.Create(dir.Spec("new.aif"), 0, 0), kErrDuplicateFile);
}

TEST_F(PosixFiles, PositionsAndLengthBeyond4GiB) {
    const std::int16_t ref = OpenFile({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    constexpr std::int64_t kBeyond = (std::int64_t{1} << 32) + 5; // the file stays sparse
    ASSERT_EQ(files.SetEndOfFile(ref, kBeyond), kNoErr);
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromEnd, -1), kNoErr);
    EXPECT_EQ(Position(ref), kBeyond - 1);
    ASSERT_EQ(Write(ref, {7, 7}), kNoErr);
    EXPECT_EQ(Position(ref, true), kBeyond + 1);
    ASSERT_EQ(files.SetEndOfFile(ref, 4), kNoErr);
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, 2), kNoErr);
    ASSERT_EQ(Write(ref, {1, 2, 3}), kNoErr);
    ASSERT_EQ(files.Close(ref), kNoErr);
    EXPECT_EQ(ReadFileBytes(dir.File("data")), (Bytes{0, 1, 1, 2, 3}));
    EXPECT_NE(Write(OpenFile({1}, FilePermission::ReadOnly), {1}), kNoErr);
}

// Small writes are gathered before they reach the file; every other call must see them there.
TEST_F(PosixFiles, SmallWritesReachTheFileInOrder) {
    const std::int16_t ref = OpenFile({});
    Bytes expected;
    for (std::uint32_t k = 0; expected.size() < 150000; ++k) {
        // Pieces of 1 to 40000 bytes, each preceded by a move to where it goes.
        const Bytes piece(k % 5 == 4 ? 40000 : 1 + k * 7 % 23, std::uint8_t(k));
        ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, expected.size()), kNoErr);
        ASSERT_EQ(Write(ref, piece), kNoErr);
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(Position(ref), std::int64_t(expected.size()));
    // Back over what was written while a small piece waits, then read what follows it.
    ASSERT_EQ(Write(ref, {0xAA}), kNoErr);
    expected.push_back(0xAA);
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, 65535), kNoErr);
    ASSERT_EQ(Write(ref, {0xAA, 0xBB}), kNoErr);
    expected[65535] = 0xAA;
    expected[65536] = 0xBB;
    Bytes next(3);
    std::int32_t count = 3;
    ASSERT_EQ(files.Read(ref, &count, next.data()), kNoErr);
    EXPECT_EQ(next, Bytes(expected.begin() + 65537, expected.begin() + 65540));
    EXPECT_EQ(Position(ref, true), std::int64_t(expected.size()));
    ASSERT_EQ(files.Close(ref), kNoErr);
    EXPECT_EQ(ReadFileBytes(dir.File("data")), expected);
}

// A write the file system refuses after Write accepted the bytes is reported by Close.
TEST_F(PosixFiles, AFailureOfGatheredBytesShowsOnClosing) {
    const std::int16_t ref = OpenFile({});
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Status written = Write(ref, Bytes(300, 7));
    const Status closed = files.Close(ref);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(written, kNoErr);
    EXPECT_EQ(closed, kErrDiskFull);
    EXPECT_EQ(ReadFileBytes(dir.File("data")).size(), 100u);
}

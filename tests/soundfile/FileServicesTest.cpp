#include "soundfile/FileServices.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include "soundfile/ByteOrder.h"
#include "support/TempDir.h"

namespace {

class PosixFiles : public ::testing::Test {
protected:
    std::int16_t OpenFile(const std::string& name, std::vector<std::uint8_t> content,
                          FilePermission permission = FilePermission::ReadWrite) {
        EXPECT_TRUE(WriteFileBytes(dir.File(name), content));
        std::int16_t ref = 0;
        EXPECT_EQ(files.Open(dir.Spec(name), permission, &ref), kNoErr);
        return ref;
    }
    TempDir dir;
    PosixFileServices files;
};

} // namespace

TEST_F(PosixFiles, CreateOnceAndOpenOnlyFiles) {
    const FSSpec fileRef = dir.Spec("new.aif");
    ASSERT_EQ(files.Create(fileRef, byteorder::FourCC("AIFF"), byteorder::FourCC("QUIL")), kNoErr);
    EXPECT_TRUE(ReadFileBytes(dir.File("new.aif")).empty());
    EXPECT_EQ(files.Create(fileRef, byteorder::FourCC("AIFF"), byteorder::FourCC("QUIL")), kErrDuplicateFile);
    FSSpec inMissingFolder;
    MakeFSSpec(dir.File("nowhere"), "x", &inMissingFolder);
    EXPECT_EQ(files.Create(inMissingFolder, 0, 0), kErrFileNotFound);
    std::int16_t ref = 0;
    EXPECT_EQ(files.Open(dir.Spec("missing"), FilePermission::ReadOnly, &ref), kErrFileNotFound);
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
    EXPECT_EQ(files.Open(dir.Spec("folder"), FilePermission::ReadOnly, &ref), kErrIO);
}

TEST_F(PosixFiles, ReadingPastTheEndGivesThePartialCount) {
    const std::int16_t ref = OpenFile("data", {1, 2, 3, 4, 5});
    std::uint8_t buffer[8] = {0};
    std::int32_t count = 3;
    ASSERT_EQ(files.Read(ref, &count, buffer), kNoErr);
    count = 8;
    EXPECT_EQ(files.Read(ref, &count, buffer), kErrEndOfFile);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(buffer[0], 4);
    count = 1;
    EXPECT_EQ(files.Read(ref, &count, buffer), kErrEndOfFile);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(files.Close(ref), kNoErr);
}

TEST_F(PosixFiles, PositionsAndLength) {
    const std::int16_t ref = OpenFile("data", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    std::int64_t length = -1;
    const auto position = [&] {
        std::int64_t at = -1;
        EXPECT_EQ(files.GetPosition(ref, &at), kNoErr);
        return at;
    };
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, 4), kNoErr);
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromCurrent, 2), kNoErr);
    EXPECT_EQ(position(), 6);
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromEnd, -1), kNoErr);
    std::uint8_t byte = 0;
    std::int32_t count = 1;
    ASSERT_EQ(files.Read(ref, &count, &byte), kNoErr);
    EXPECT_EQ(byte, 9);

    // Past the end: -39 and the position at the end; before the start: unchanged.
    EXPECT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, 15), kErrEndOfFile);
    EXPECT_EQ(position(), 10);
    files.SetPosition(ref, FilePositionMode::FromStart, 3);
    EXPECT_EQ(files.SetPosition(ref, FilePositionMode::FromCurrent, -4), kErrPositionBeforeStart);
    EXPECT_EQ(position(), 3);

    ASSERT_EQ(files.SetEndOfFile(ref, 16), kNoErr); // extended with zeros
    ASSERT_EQ(files.GetEndOfFile(ref, &length), kNoErr);
    EXPECT_EQ(length, 16);
    // Offsets beyond 4 GiB (the file stays sparse).
    constexpr std::int64_t kBeyond = (std::int64_t{1} << 32) + 5;
    ASSERT_EQ(files.SetEndOfFile(ref, kBeyond), kNoErr);
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromEnd, -1), kNoErr);
    EXPECT_EQ(position(), kBeyond - 1);
    count = 1;
    ASSERT_EQ(files.Write(ref, &count, &byte), kNoErr);
    ASSERT_EQ(files.GetEndOfFile(ref, &length), kNoErr);
    EXPECT_EQ(length, kBeyond);
    ASSERT_EQ(files.SetEndOfFile(ref, 4), kNoErr);
    EXPECT_EQ(files.SetEndOfFile(ref, -1), kErrParameter);
    files.Close(ref);
    EXPECT_EQ(ReadFileBytes(dir.File("data")), (std::vector<std::uint8_t>{0, 1, 2, 3}));
}

TEST_F(PosixFiles, WritesGoToThePositionOfAWritableFile) {
    const std::int16_t ref = OpenFile("data", {9, 9, 9, 9});
    files.SetPosition(ref, FilePositionMode::FromStart, 2);
    const std::uint8_t bytes[] = {1, 2, 3};
    std::int32_t count = 3;
    ASSERT_EQ(files.Write(ref, &count, bytes), kNoErr);
    files.Close(ref);
    EXPECT_EQ(ReadFileBytes(dir.File("data")), (std::vector<std::uint8_t>{9, 9, 1, 2, 3}));

    const std::int16_t readOnly = OpenFile("other", {1}, FilePermission::ReadOnly);
    EXPECT_NE(files.Write(readOnly, &count, bytes), kNoErr);
    EXPECT_EQ(count, 0);
}

// Small writes are gathered before they reach the file; every other call must see them there.
TEST_F(PosixFiles, SmallWritesReachTheFileInOrder) {
    const std::int16_t ref = OpenFile("data", {});
    std::vector<std::uint8_t> expected;
    const std::uint8_t patch[] = {0xAA, 0xBB};
    std::int64_t at = 0;
    for (std::uint32_t k = 0; expected.size() < 150000; ++k) {
        // Pieces of 1 to 40000 bytes, each preceded by a move to where it goes.
        std::vector<std::uint8_t> piece(k % 5 == 4 ? 40000 : 1 + k * 7 % 23, std::uint8_t(k));
        ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, at), kNoErr);
        auto count = std::int32_t(piece.size());
        ASSERT_EQ(files.Write(ref, &count, piece.data()), kNoErr);
        ASSERT_EQ(count, std::int32_t(piece.size()));
        expected.insert(expected.end(), piece.begin(), piece.end());
        at += count;
    }
    std::int64_t value = 0;
    EXPECT_EQ(files.GetPosition(ref, &value), kNoErr);
    EXPECT_EQ(value, at);
    // Back over what was written while a small piece waits, then read what follows it.
    std::int32_t count = 1;
    ASSERT_EQ(files.Write(ref, &count, patch), kNoErr);
    expected.push_back(patch[0]);
    count = 2;
    ASSERT_EQ(files.SetPosition(ref, FilePositionMode::FromStart, 65535), kNoErr);
    ASSERT_EQ(files.Write(ref, &count, patch), kNoErr);
    expected[65535] = patch[0];
    expected[65536] = patch[1];
    std::uint8_t next[3] = {};
    count = 3;
    ASSERT_EQ(files.Read(ref, &count, next), kNoErr);
    EXPECT_EQ(std::vector<std::uint8_t>(next, next + 3),
              std::vector<std::uint8_t>(expected.begin() + 65537, expected.begin() + 65540));
    EXPECT_EQ(files.GetEndOfFile(ref, &value), kNoErr);
    EXPECT_EQ(value, at + 1);
    ASSERT_EQ(files.Close(ref), kNoErr);
    EXPECT_EQ(ReadFileBytes(dir.File("data")), expected);
}

// A write the file system refuses after Write accepted the bytes is reported by Close.
TEST_F(PosixFiles, AFailureOfGatheredBytesShowsOnClosing) {
    const std::int16_t ref = OpenFile("data", {});
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::vector<std::uint8_t> bytes(300, 7);
    std::int32_t count = 300;
    const Status written = files.Write(ref, &count, bytes.data());
    const Status closed = files.Close(ref);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(written, kNoErr);
    EXPECT_EQ(closed, kErrDiskFull);
    EXPECT_EQ(ReadFileBytes(dir.File("data")).size(), 100u);
}

TEST_F(PosixFiles, UnknownReferencesAreNotOpen) {
    const std::int16_t ref = OpenFile("data", {1});
    ASSERT_EQ(files.Close(ref), kNoErr);
    std::uint8_t byte = 0;
    std::int32_t count = 1;
    std::int64_t value = 0;
    for (std::int16_t bad : {ref, std::int16_t(0), std::int16_t(-3), std::int16_t(999)}) {
        EXPECT_EQ(files.Read(bad, &count, &byte), kErrFileNotOpen);
        EXPECT_EQ(files.Write(bad, &count, &byte), kErrFileNotOpen);
        EXPECT_EQ(files.GetPosition(bad, &value), kErrFileNotOpen);
        EXPECT_EQ(files.Close(bad), kErrFileNotOpen);
    }
}

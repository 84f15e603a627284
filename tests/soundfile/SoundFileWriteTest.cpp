#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/FaultyFileServices.h"
#include "support/MemorySoundFile.h"
#include "support/TempDir.h"

namespace {

class SoundFileWrite : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(file.ISoundFile(nullptr), kNoErr); }
    void Make(std::int16_t channels, std::int16_t bits) {
        ASSERT_EQ(file.Create(channels, bits, 48000.0f, nullptr, 0, nullptr), kNoErr);
    }
    Status WriteAll(std::vector<double> samples, std::int32_t start = 0) {
        std::int32_t count = std::int32_t(samples.size()) / file.GetNumChannels();
        double* block = samples.data();
        return file.Write(start, &count, &block);
    }
    Status WriteChannel(std::int16_t channel, std::vector<double> samples, std::int32_t* count) {
        *count = std::int32_t(samples.size());
        double* block = samples.data();
        return file.Write(channel, 0, count, &block);
    }
    MemorySoundFile file;
};

TEST_F(SoundFileWrite, LongWritesGoInChunksOfTheBufferSize) {
    Make(1, 16);
    std::vector<double> samples(30000);
    for (std::size_t k = 0; k < samples.size(); ++k) samples[k] = double(k % 1000) / 1000.0;
    ASSERT_EQ(WriteAll(samples, 5), kNoErr);
    ASSERT_EQ(file.Flushes().size(), 3u);
    EXPECT_TRUE(file.Refills().empty()); // whole frames replaced: nothing is read first
    const std::int32_t starts[] = {5, 12005, 24005}, counts[] = {12000, 12000, 6000};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(file.Flushes()[k].start, starts[k]);
        EXPECT_EQ(file.Flushes()[k].count, counts[k]);
    }
    EXPECT_EQ(file.GetNumSFrames(), 30005);
    EXPECT_EQ(file.Sample(5 + 12000 + 999, 0), 32735); // 0.999 * 32768, truncated
    EXPECT_EQ(file.Sample(4, 0), 0);
}

TEST_F(SoundFileWrite, OneChannelWriteKeepsTheOtherChannel) {
    Make(2, 16);
    std::int32_t count = 0;
    ASSERT_EQ(WriteChannel(0, std::vector<double>(20000, 0.5), &count), kNoErr);
    ASSERT_EQ(WriteChannel(1, std::vector<double>(15000, -0.25), &count), kNoErr);
    EXPECT_EQ(count, 15000);
    EXPECT_EQ(file.GetNumSFrames(), 20000);
    for (std::int32_t frame : {0, 11999, 12000, 14999}) {
        EXPECT_EQ(file.Sample(frame, 0), 16384) << frame;
        EXPECT_EQ(file.Sample(frame, 1), -8192) << frame;
    }
    EXPECT_EQ(file.Sample(15000, 1), 0);
}

TEST_F(SoundFileWrite, BadChannelsAndStartsAreRefused) {
    Make(2, 16);
    std::int32_t count = 0;
    for (std::int16_t channel : {std::int16_t(2), std::int16_t(-1), std::int16_t(300)}) {
        EXPECT_EQ(WriteChannel(channel, {0.5, 0.5}, &count), kErrSampleNotAvailable);
        EXPECT_EQ(count, 2); // left as it was
    }
    EXPECT_EQ(WriteAll({0.5, 0.5}, -1), kErrParameter);
    EXPECT_TRUE(file.Data().empty());
    EXPECT_TRUE(file.Flushes().empty());
}

// A failing refill (a write into one channel of two reads the other first) ends the write
// before its chunk; a failing flush counts its chunk.
TEST_F(SoundFileWrite, FailuresReportTheFramesDone) {
    Make(2, 16);
    file.FailRefillAt(2, kErrIO);
    std::vector<double> samples(30000, 0.1);
    std::int32_t count = 30000;
    double* block = samples.data();
    EXPECT_EQ(file.Write(std::int16_t(1), 0, &count, &block), kErrIO);
    EXPECT_EQ(count, 12000);

    MemorySoundFile other;
    other.ISoundFile(nullptr);
    other.Create(1, 16, 44100.0f, nullptr, 0, nullptr);
    other.FailFlushAt(2, kErrDiskFull);
    count = 30000;
    EXPECT_EQ(other.Write(0, &count, &block), kErrDiskFull);
    EXPECT_EQ(count, 24000);
}

// The one block changes hands between reading and writing, zeroed when it becomes the output.
TEST_F(SoundFileWrite, TheBufferIsHandedOverBetweenDirections) {
    Make(1, 16);
    ASSERT_EQ(WriteAll({0.5, 0.5}), kNoErr);
    const std::uint8_t* block = file.BufferBytes();
    ASSERT_EQ(file.InitInputBuffer(), kNoErr);
    EXPECT_FALSE(file.HasOutputBuffer());
    EXPECT_EQ(file.BufferBytes(), block);
    EXPECT_EQ(file.InputRefills().size(), 1u); // loaded from frame 0
    EXPECT_EQ(LoadBufferSample(file.BufferBytes(), 2), 16384);

    ASSERT_EQ(file.InitOutputBuffer(), kNoErr);
    EXPECT_FALSE(file.HasInputBuffer());
    EXPECT_EQ(file.BufferBytes(), block);
    EXPECT_EQ(LoadBufferSample(file.BufferBytes(), 2), 0);

    file.SetFType(byteorder::FourCC("trak")); // such a file skips the initial load
    ASSERT_EQ(file.InitInputBuffer(), kNoErr);
    EXPECT_EQ(file.InputRefills().size(), 1u);
}

TEST_F(SoundFileWrite, AddMixesIntoOneChannel) {
    file.OpenWith(2, 16, 44100.0f, {0x00, 0x20, 100, 0, 0xFF, 0x7F, 0, 0, 0x00, 0x80, 5, 0});
    std::vector<double> mix = {0.25, 1.0 / 32768, -1.0 / 32768};
    double* b = mix.data();
    std::int32_t count = 3;
    ASSERT_EQ(file.Add(0, 0, &count, &b), kNoErr);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(file.Sample(0, 0), 16384);
    EXPECT_EQ(file.Sample(1, 0), -32768); // wraps around
    EXPECT_EQ(file.Sample(2, 0), 32767);
    EXPECT_EQ(file.Sample(0, 1), 100); // the other channel is kept
    EXPECT_EQ(file.Add(2, 0, &count, &b), kErrSampleNotAvailable);
}

TEST_F(SoundFileWrite, AddAtTwentyFourBitsSumsInPlace) {
    file.OpenWith(1, 24, 48000.0f, {0x00, 0x00, 0x20}); // 0.25
    std::vector<double> mix = {0.25};
    double* b = mix.data();
    std::int32_t count = 1;
    ASSERT_EQ(file.Add(0, 0, &count, &b), kNoErr);
    EXPECT_DOUBLE_EQ(mix[0], 0.5); // the caller's array receives the sum
    EXPECT_EQ(file.Sample(0, 0), 0x400000);
}

struct ExtendCase {
    std::size_t nameLength;
    std::string extension;
    Status status;
    std::string suffix; // what the name ends in afterwards
};

class ExtendFileName : public ::testing::TestWithParam<ExtendCase> {};

TEST_P(ExtendFileName, AddsTheExtensionWhenItFits) {
    TempDir dir;
    const std::string name(GetParam().nameLength, 'n');
    FSSpec fileRef = dir.Spec(name);
    MemorySoundFile file;
    file.ISoundFile(&fileRef);
    unsigned char extension[16];
    extension[0] = static_cast<unsigned char>(GetParam().extension.size());
    std::memcpy(extension + 1, GetParam().extension.data(), GetParam().extension.size());
    EXPECT_EQ(file.ExtendFileName(extension), GetParam().status);
    const FSSpec after = file.GetFSSpec();
    const std::string result(reinterpret_cast<const char*>(after.name + 1), after.name[0]);
    EXPECT_EQ(result, name + GetParam().suffix);
}

INSTANTIATE_TEST_SUITE_P(Names, ExtendFileName,
                         ::testing::Values(ExtendCase{27, "wav", kNoErr, ".wav"},
                                           ExtendCase{27, ".wav", kNoErr, ".wav"},
                                           ExtendCase{28, "wav", kErrNameTooLong, ""},

                                           ExtendCase{10, "", kNoErr, ""}));

// With extendName set, the base Create checks the extended name against the file system.
TEST(SoundFileBase, CreateWithExtensionChecksForAnExistingFile) {
    TempDir dir;
    unsigned char wav[5] = {4, '.', 'w', 'a', 'v'};
    auto create = [&](MemorySoundFile& file, const std::string& name, std::int16_t extend) {
        FSSpec fileRef = dir.Spec(name);
        file.ISoundFile(&fileRef);
        return file.CSoundFile::Create(1, 16, 44100.0f, nullptr, extend, wav);
    };
    MemorySoundFile fresh, taken, unknown, unchecked;
    EXPECT_EQ(create(fresh, "fresh", 1), kNoErr);
    EXPECT_EQ(fresh.GetFSSpec().name[0], 9);
    ASSERT_TRUE(WriteFileBytes(dir.File("taken.wav"), {1, 2, 3}));
    EXPECT_EQ(create(taken, "taken", 1), kErrDuplicateFile);
    {
        FaultyFileServices faulty;
        FileServicesScope scope(faulty);
        faulty.FailAlways(FileOperation::GetInformation, kErrIO);
        EXPECT_EQ(create(unknown, "other", 1), kErrDuplicateFile);
        EXPECT_EQ(create(unchecked, "other", 0), kNoErr);
        EXPECT_EQ(faulty.Calls(FileOperation::GetInformation), 1);
    }
    // The extension failure is kept for Dispose.
    auto* file = new MemorySoundFile;
    EXPECT_EQ(create(*file, std::string(29, 'y'), 1), kNoErr);
    EXPECT_EQ(file->PendingError(), kErrNameTooLong);
    EXPECT_EQ(file->Dispose(1), kErrNameTooLong);
}

} // namespace

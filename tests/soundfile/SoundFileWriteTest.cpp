#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/MemorySoundFile.h"

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

} // namespace

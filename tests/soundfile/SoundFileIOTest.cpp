// Buffered reads and writes of the sound file engine: channels, chunks of the buffer size,
// refills and their failures, and the frame-by-frame reader.
#include <gtest/gtest.h>

#include <vector>

#include "support/MemorySoundFile.h"

namespace {

class SoundFileIO : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(file.ISoundFile(nullptr), kNoErr); }
    // All channels (channel -1) or one, from frame 0; `count` gets the frames written.
    Status Write(std::int16_t channel, std::vector<double> samples, std::int32_t* count) {
        *count = std::int32_t(samples.size()) / (channel < 0 ? file.GetNumChannels() : 1);
        double* block = samples.data();
        return channel < 0 ? file.Write(0, count, &block) : file.Write(channel, 0, count, &block);
    }
    // A 16-bit stereo file whose frame f holds f on channel 0 and -f on channel 1.
    void WriteRamp(std::int32_t frames) {
        file.Create(2, 16, 44100.0f, nullptr, 0, nullptr);
        std::vector<double> ramp;
        for (std::int32_t f = 0; f < frames; ++f)
            ramp.insert(ramp.end(), {f / 32768.0, -f / 32768.0});
        std::int32_t count = 0;
        ASSERT_EQ(Write(-1, ramp, &count), kNoErr);
    }
    MemorySoundFile file;
};

} // namespace

// Frame by frame across every buffer boundary, each frame is the one written there; a far
// frame centres the buffer on itself; frames outside the file read as silence, and so does a
// frame whose refill fails.
TEST_F(SoundFileIO, GetSampleFrameByFrameAcrossRefills) {
    WriteRamp(30000);
    double value = 0;
    for (std::int32_t f = 0; f < 30000; ++f) {
        ASSERT_EQ(file.GetSample(std::int16_t(f % 2), f, &value), kNoErr);
        ASSERT_EQ(value, (f % 2 ? -f : f) / 32768.0) << "frame " << f;
    }
    ASSERT_EQ(file.GetSample(0, 10000, &value), kNoErr);
    EXPECT_EQ(file.BufferStart(), 10000 - kSFTBufferSize / 2);
    for (std::int32_t frame : {30000, -1}) {
        ASSERT_EQ(file.GetSample(0, frame, &value), kNoErr);
        EXPECT_EQ(value, 0.0) << frame;
    }
    EXPECT_EQ(file.GetSample(2, 0, &value), kErrSampleNotAvailable);
    file.FailInputRefillAt(int(file.InputRefills().size()) + 1, kErrIO);
    EXPECT_EQ(file.GetSample(0, 29999, &value), kErrIO);
    EXPECT_EQ(value, 0.0);
}

// Interleaved or one channel, in chunks of the buffer size; a read past the end gives the
// frames there only; a failing refill ends the read; channels outside the file are refused.
TEST_F(SoundFileIO, ReadsDeliverTheirChannelsUpToTheEnd) {
    WriteRamp(30000);
    std::vector<double> block(2 * 25000, 9.0);
    double* b = block.data();
    std::int32_t count = 25000;
    ASSERT_EQ(file.Read(100, &count, &b), kNoErr);
    EXPECT_EQ(block[1], -100 / 32768.0);
    EXPECT_EQ(block[2 * 24999], 25099 / 32768.0);
    ASSERT_EQ(file.Read(std::int16_t(1), 0, &count, &b), kNoErr);
    EXPECT_EQ(block[12345], -12345 / 32768.0);
    block.assign(block.size(), 9.0);
    ASSERT_EQ(file.Read(29900, &count, &b), kNoErr);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(block[200], 9.0);
    file.FailInputRefillAt(int(file.InputRefills().size()) + 2, kErrIO); // the second chunk
    count = 25000;
    EXPECT_EQ(file.Read(0, &count, &b), kErrIO);
    EXPECT_EQ(count, 12000);
    for (std::int16_t channel : {2, -1})
        EXPECT_EQ(file.Read(channel, 0, &count, &b), kErrSampleNotAvailable);
}

// Long writes go in chunks of the buffer size, replacing whole frames without reading first;
// a failing flush counts its chunk.
TEST_F(SoundFileIO, LongWritesGoInChunks) {
    file.Create(1, 16, 48000.0f, nullptr, 0, nullptr);
    std::vector<double> samples(30000);
    for (std::size_t k = 0; k < samples.size(); ++k)
        samples[k] = double(k % 1000) / 1000.0;
    double* block = samples.data();
    std::int32_t count = 30000;
    ASSERT_EQ(file.Write(5, &count, &block), kNoErr);
    ASSERT_EQ(file.Flushes().size(), 3u);
    EXPECT_TRUE(file.Refills().empty());
    EXPECT_EQ(file.Flushes()[1].start, 12005);
    EXPECT_EQ(file.Flushes()[2].count, 6000);
    EXPECT_EQ(file.GetNumSFrames(), 30005);
    EXPECT_EQ(file.Sample(5 + 12000 + 999, 0), 32735); // 0.999 * 32768, truncated
    EXPECT_EQ(file.Sample(4, 0), 0);
    file.FailFlushAt(5, kErrDiskFull);
    EXPECT_EQ(Write(-1, samples, &count), kErrDiskFull);
    EXPECT_EQ(count, 24000);
}

// Writing one channel keeps the other; a failing refill (which reads the other channel first)
// ends the write before its chunk; bad channels write nothing.
TEST_F(SoundFileIO, OneChannelWrites) {
    file.Create(2, 16, 48000.0f, nullptr, 0, nullptr);
    std::int32_t count = 0;
    for (std::int16_t channel : {2, 300})
        EXPECT_EQ(Write(channel, {0.5, 0.5}, &count), kErrSampleNotAvailable);
    EXPECT_TRUE(file.Data().empty());
    ASSERT_EQ(Write(0, std::vector<double>(20000, 0.5), &count), kNoErr);
    ASSERT_EQ(Write(1, std::vector<double>(15000, -0.25), &count), kNoErr);
    EXPECT_EQ(file.GetNumSFrames(), 20000);
    for (std::int32_t frame : {0, 11999, 12000, 14999}) {
        EXPECT_EQ(file.Sample(frame, 0), 16384) << frame;
        EXPECT_EQ(file.Sample(frame, 1), -8192) << frame;
    }
    EXPECT_EQ(file.Sample(15000, 1), 0);
    file.FailRefillAt(int(file.Refills().size()) + 2, kErrIO);
    EXPECT_EQ(Write(1, std::vector<double>(30000, 0.1), &count), kErrIO);
    EXPECT_EQ(count, 12000);
}

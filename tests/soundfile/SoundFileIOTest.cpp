// Buffered reads and writes of the sound file engine: chunks of the buffer size, refills and
// their failures, and the frame-by-frame reader. Writes of one channel of two are met by the
// stereo cases of the generator's signal comparison.
#include <gtest/gtest.h>

#include <vector>

#include "support/MemorySoundFile.h"

namespace {

class SoundFileIO : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(file.ISoundFile(nullptr), kNoErr); }
    // Frame f holds f on channel 0 and -f on channel 1 (if any), written from `start` in one
    // call into a 16-bit file of `channels`.
    Status WriteRamp(std::int16_t channels, std::int32_t frames, std::int32_t start = 0) {
        if (file.GetNumChannels() == 0) file.Create(channels, 16, 44100.0f, nullptr, 0, nullptr);
        std::vector<double> ramp;
        for (std::int32_t f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c)
                ramp.push_back((c ? -f : f) / 32768.0);
        double* block = ramp.data();
        count = frames;
        return file.Write(start, &count, &block);
    }
    MemorySoundFile file;
    std::int32_t count = 0;
};

} // namespace

// Frame by frame across every buffer boundary, each frame is the one written there; frames
// outside the file read as silence, and so does a frame whose refill fails.
TEST_F(SoundFileIO, GetSampleFrameByFrameAcrossRefills) {
    ASSERT_EQ(WriteRamp(2, 30000), kNoErr);
    double value = 0;
    for (std::int32_t f = 0; f < 30000; ++f) {
        ASSERT_EQ(file.GetSample(std::int16_t(f % 2), f, &value), kNoErr);
        ASSERT_EQ(value, (f % 2 ? -f : f) / 32768.0) << "frame " << f;
    }
    for (std::int32_t frame : {30000, -1}) {
        ASSERT_EQ(file.GetSample(0, frame, &value), kNoErr);
        EXPECT_EQ(value, 0.0) << frame;
    }
    EXPECT_EQ(file.GetSample(2, 0, &value), kErrSampleNotAvailable);
    file.FailInputRefillAt(int(file.InputRefills().size()) + 1, kErrIO);
    EXPECT_EQ(file.GetSample(0, 100, &value), kErrIO);
    EXPECT_EQ(value, 0.0);
}

// Interleaved or one channel, in chunks of the buffer size; a read past the end gives the
// frames there only; a failing refill ends the read; channels outside the file are refused.
TEST_F(SoundFileIO, ReadsDeliverTheirChannelsUpToTheEnd) {
    ASSERT_EQ(WriteRamp(2, 30000), kNoErr);
    std::vector<double> block(2 * 25000, 9.0);
    double* b = block.data();
    count = 25000;
    ASSERT_EQ(file.Read(100, &count, &b), kNoErr);
    EXPECT_EQ(block[2 * 24999 + 1], -25099 / 32768.0);
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
    EXPECT_EQ(file.Read(std::int16_t(2), 0, &count, &b), kErrSampleNotAvailable);
}

// Long writes go in chunks of the buffer size, replacing whole frames without reading first;
// a failing flush counts its chunk.
TEST_F(SoundFileIO, LongWritesGoInChunks) {
    ASSERT_EQ(WriteRamp(1, 30000, 5), kNoErr);
    EXPECT_EQ(file.GetNumSFrames(), 30005);
    ASSERT_EQ(file.Flushes().size(), 3u);
    EXPECT_EQ(std::pair(file.Flushes()[2].start, file.Flushes()[2].count), std::pair(24005, 6000));
    EXPECT_TRUE(file.Refills().empty());
    EXPECT_EQ(file.Sample(12005, 0), 12000);
    file.FailFlushAt(5, kErrDiskFull);
    EXPECT_EQ(WriteRamp(1, 30000), kErrDiskFull);
    EXPECT_EQ(count, 24000);
}

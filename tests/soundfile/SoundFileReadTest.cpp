#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "support/MemorySoundFile.h"

namespace {

std::vector<std::uint8_t> Pcm16(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    for (std::size_t k = 0; k < samples.size(); ++k) StoreBufferSample(&bytes[2 * k], 2, samples[k]);
    return bytes;
}

// A two-channel 16-bit file whose frame f holds f on channel 0 and -f on channel 1.
std::vector<std::uint8_t> Ramp(std::int32_t frames) {
    std::vector<std::int16_t> samples;
    for (std::int32_t f = 0; f < frames; ++f) {
        samples.push_back(std::int16_t(f));
        samples.push_back(std::int16_t(-f));
    }
    return Pcm16(samples);
}

class SoundFileRead : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(file.ISoundFile(nullptr), kNoErr); }
    MemorySoundFile file;
};

} // namespace

TEST_F(SoundFileRead, TheFourReadsDeliverTheirChannels) {
    file.OpenWith(2, 16, 44100.0f, Ramp(30000));
    std::vector<double> block(2 * 25000), left(25000), right(25000), one(25000);
    std::vector<float> leftF(25000), rightF(25000);
    double *b = block.data(), *l = left.data(), *r = right.data(), *o = one.data();

    std::int32_t count = 25000;
    ASSERT_EQ(file.Read(100, &count, &b), kNoErr);
    EXPECT_EQ(count, 25000);
    EXPECT_DOUBLE_EQ(block[1], -100 / 32768.0);
    EXPECT_DOUBLE_EQ(block[2 * 24999], 25099 / 32768.0);

    count = 25000;
    ASSERT_EQ(file.Read(std::int16_t(1), 0, &count, &o), kNoErr);
    EXPECT_DOUBLE_EQ(one[12345], -12345 / 32768.0);

    count = 25000;
    ASSERT_EQ(file.Read(0, &count, &l, &r), kNoErr);
    EXPECT_DOUBLE_EQ(left[20000], 20000 / 32768.0);
    EXPECT_DOUBLE_EQ(right[20000], -20000 / 32768.0);

    count = 25000;
    ASSERT_EQ(file.Read(0, &count, leftF.data(), rightF.data()), kNoErr);
    EXPECT_FLOAT_EQ(leftF[24000], 24000 / 32768.0f);
    EXPECT_FLOAT_EQ(rightF[24000], -24000 / 32768.0f);
}

TEST_F(SoundFileRead, AReadStopsAtTheEndOfTheFile) {
    file.OpenWith(2, 16, 44100.0f, Ramp(1000));
    std::vector<double> block(2 * 2000, 9.0);
    double* b = block.data();
    std::int32_t count = 2000;
    ASSERT_EQ(file.Read(900, &count, &b), kNoErr);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(block[200], 9.0); // nothing written past the frames read
    count = 10;
    ASSERT_EQ(file.Read(1000, &count, &b), kNoErr);
    EXPECT_EQ(count, 0);
}

// The refill of a short last chunk is asked for the frames needed only; a failing refill ends
// the read. Either way the buffer size is back to normal afterwards.
TEST_F(SoundFileRead, ShortAndFailingRefills) {
    file.OpenWith(1, 16, 44100.0f, Pcm16(std::vector<std::int16_t>(30000, 5)));
    std::vector<double> block(30000);
    double* b = block.data();
    std::int32_t count = 20000;
    ASSERT_EQ(file.Read(0, &count, &b), kNoErr);
    ASSERT_EQ(file.InputRefills().size(), 3u); // InitInputBuffer's load, then two chunks
    EXPECT_EQ(file.InputRefills()[2].start, 12000);
    EXPECT_EQ(file.InputRefills()[2].count, 8000);
    EXPECT_EQ(kSFTBufferSize, kSFTBufSizePPC);

    file.FailInputRefillAt(5, kErrIO); // the second chunk of the next read
    count = 30000;
    EXPECT_EQ(file.Read(0, &count, &b), kErrIO);
    EXPECT_EQ(count, 12000);
    EXPECT_EQ(kSFTBufferSize, kSFTBufSizePPC);
}

TEST_F(SoundFileRead, ReadsRefuseChannelsOutsideTheFile) {
    file.OpenWith(2, 16, 44100.0f, Ramp(10));
    std::vector<double> block(10);
    double* b = block.data();
    std::int32_t count = 10;
    for (std::int16_t channel : {2, -1})
        EXPECT_EQ(file.Read(channel, 0, &count, &b), kErrSampleNotAvailable);
    EXPECT_EQ(count, 10);
}

// A one-channel file read as two channels gives its samples on both sides.
TEST_F(SoundFileRead, TwoChannelReadOfAMonoFile) {
    file.OpenWith(1, 16, 44100.0f, Pcm16({100, 200, 300}));
    std::vector<double> left(3), right(3);
    double *l = left.data(), *r = right.data();
    std::int32_t count = 3;
    ASSERT_EQ(file.Read(0, &count, &l, &r), kNoErr);
    EXPECT_EQ(left, right);
    EXPECT_DOUBLE_EQ(right[2], 300 / 32768.0);
}

// Words of a 24-in-32 file carry their sample in the low three bytes.
TEST_F(SoundFileRead, TwentyFourInThirtyTwoWordsUseTheirLowBytes) {
    file.OpenWith(1, 32, 44100.0f, {0x00, 0x00, 0x40, 0x7F, 0x00, 0x00, 0xC0, 0x00},
                  kDataType24In32);
    double values[2] = {};
    double* b = values;
    std::int32_t count = 2;
    ASSERT_EQ(file.Read(0, &count, &b), kNoErr);
    EXPECT_EQ(values[0], 0.5);
    EXPECT_EQ(values[1], -0.5);
}

// Frame by frame across every buffer boundary, each frame is the one written there; a far
// frame centres the buffer on itself; frames outside the file read as silence.
TEST_F(SoundFileRead, GetSampleFrameByFrameAcrossRefills) {
    ASSERT_EQ(file.Create(2, 16, 44100.0f, nullptr, 0, nullptr), kNoErr);
    std::vector<double> ramp;
    for (std::int32_t f = 0; f < 30000; ++f) ramp.insert(ramp.end(), {f / 32768.0, -f / 32768.0});
    double* block = ramp.data();
    std::int32_t count = 30000;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
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
}

// When the refill for a far frame fails, the buffer does not hold that frame.
TEST_F(SoundFileRead, GetSampleAfterAFailedRefillReadsNothingOutside) {
    file.OpenWith(1, 16, 44100.0f, Pcm16(std::vector<std::int16_t>(40000, 7)));
    file.FailInputRefillAt(2, kErrIO);
    double value = 9.0;
    EXPECT_EQ(file.GetSample(0, 39999, &value), kErrIO);
    EXPECT_EQ(value, 0.0);
}

TEST_F(SoundFileRead, GetSampleWithoutABufferThatCannotBeMade) {
    file.OpenWith(1, 16, 44100.0f, Pcm16({1, 2}));
    SetAllocationHook([](std::size_t) { return true; });
    double value = 0;
    const Status status = file.GetSample(0, 0, &value);
    SetAllocationHook({});
    SetMemError(kNoErr);
    EXPECT_EQ(status, kErrSampleNotAvailable);
}

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

struct ReadConversionCase {
    std::int16_t bits;
    std::int16_t dataType;
    std::vector<std::uint8_t> bytes;
    double value;
};

class ReadConversion : public SoundFileRead,
                       public ::testing::WithParamInterface<ReadConversionCase> {};

TEST_P(ReadConversion, ScalesToFullScale) {
    file.OpenWith(1, GetParam().bits, 44100.0f, GetParam().bytes, GetParam().dataType);
    double value = 9.0;
    ASSERT_EQ(file.GetSample(0, 0, &value), kNoErr);
    EXPECT_DOUBLE_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Words, ReadConversion,
    ::testing::Values(ReadConversionCase{8, 0, {0xC0}, -0.5},
                      ReadConversionCase{16, 0, {0x00, 0x40}, 0.5},
                      ReadConversionCase{24, 0, {0xFF, 0xFF, 0xFF}, -1.0 / 8388608},
                      ReadConversionCase{32, 0, {0x00, 0x00, 0x00, 0xC0}, -0.5},
                      // 24-bit samples in the low three bytes of a 4-byte word.
                      ReadConversionCase{32, kDataType24In32, {0x00, 0x00, 0x40, 0x7F}, 0.5},
                      ReadConversionCase{32, kDataType24In32, {0x00, 0x00, 0xC0, 0x00}, -0.5}));

TEST_F(SoundFileRead, GetSampleRecentresTheBuffer) {
    file.OpenWith(2, 16, 44100.0f, Ramp(30000));
    double value = 0;
    ASSERT_EQ(file.GetSample(1, 5, &value), kNoErr);
    EXPECT_DOUBLE_EQ(value, -5 / 32768.0);
    ASSERT_EQ(file.GetSample(0, 25000, &value), kNoErr);
    EXPECT_EQ(file.BufferStart(), 25000 - kSFTBufferSize / 2);
    EXPECT_DOUBLE_EQ(value, 25000 / 32768.0);
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

TEST_F(SoundFileRead, AddMixesIntoOneChannel) {
    file.OpenWith(2, 16, 44100.0f, Pcm16({8192, 100, 32767, 0, -32768, 5}));
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

TEST_F(SoundFileRead, AddAtTwentyFourBitsSumsInPlace) {
    file.OpenWith(1, 24, 48000.0f, {0x00, 0x00, 0x20}); // 0.25
    std::vector<double> mix = {0.25};
    double* b = mix.data();
    std::int32_t count = 1;
    ASSERT_EQ(file.Add(0, 0, &count, &b), kNoErr);
    EXPECT_DOUBLE_EQ(mix[0], 0.5); // the caller's array receives the sum
    EXPECT_EQ(file.Sample(0, 0), 0x400000);
}

TEST_F(SoundFileRead, Gaps) {
    std::int32_t a = -1, b = -1;
    EXPECT_EQ(file.GetGap(0, &a, &b), kErrNoSuchGap);
    ASSERT_EQ(file.AddGap(100, 200), kNoErr);
    ASSERT_EQ(file.AddGap(300, 0), kNoErr);
    ASSERT_EQ(file.GetGap(0, &a, &b), kNoErr);
    EXPECT_EQ(a + b, 300);
    ASSERT_EQ(file.GetGap(1, &a, &b), kNoErr);
    EXPECT_EQ(a, 300);
    for (std::int32_t index : {2, -1, std::numeric_limits<std::int32_t>::max()})
        EXPECT_EQ(file.GetGap(index, &a, &b), kErrNoSuchGap) << index;
}

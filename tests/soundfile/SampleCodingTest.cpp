// The conversion between float samples and the integer words of the files, per word size and
// per byte coding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "support/MemorySoundFile.h"

namespace {

struct ConversionCase {
    std::int16_t bits;
    double sample;
    std::int32_t stored;
};

class WriteConversion : public ::testing::TestWithParam<ConversionCase> {};

// Samples are truncated toward zero; at and beyond full scale they saturate; NaN is silence.
TEST_P(WriteConversion, StoresTheTruncatedCode) {
    MemorySoundFile file;
    ASSERT_EQ(file.ISoundFile(nullptr), kNoErr);
    ASSERT_EQ(file.Create(1, GetParam().bits, 48000.0f, nullptr, 0, nullptr), kNoErr);
    double sample = GetParam().sample, *block = &sample;
    std::int32_t count = 1;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    EXPECT_EQ(file.Sample(0, 0), GetParam().stored);
}

// Per word size: scale, saturation, NaN, and fractions of a step of a half or more (where
// truncation and rounding differ). 24 bits keep the top three bytes of the 32-bit truncation.
// clang-format off
const ConversionCase kConversions[] = {
    {8, -1.0, -128}, {8, 1.0, 127}, {8, 1.75 / 128, 1},
    {16, 0.5, 16384}, {16, 1.0, 32767}, {16, -1.5, -32768}, {16, INFINITY, 32767}, {16, NAN, 0},
    {16, 1.75 / 32768, 1}, {16, -1.75 / 32768, -1},
    {24, 0.5, 4194304}, {24, 1.0, 8388607}, {24, -2.0, -8388608}, {24, 1.0 / 16777216, 0},
    {24, 255.75 / 2147483648.0, 0}, {24, -1.0 / 16777216, -1},
    {32, 0.5, 1073741824}, {32, 1.0, INT32_MAX}, {32, -INFINITY, INT32_MIN}, {32, 1.75 / 2147483648.0, 1}};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Table, WriteConversion, ::testing::ValuesIn(kConversions));

struct CodingCase {
    SampleCoding coding;
    double sample; // a positive sample whose word has distinct bytes
    std::vector<std::uint8_t> bytes;
};

class Coding : public ::testing::TestWithParam<CodingCase> {};

// Each coding stores its bytes in its order, reads them back as the same sample (also
// negated: the sign is extended from the word's width), and the write by codes matches.
TEST_P(Coding, StoresAndLoadsItsBytes) {
    const CodingCase& c = GetParam();
    const std::size_t width = c.bytes.size();
    for (const double sample : {c.sample, -c.sample}) {
        std::vector<std::uint8_t> stored(width), byCodes(width);
        EncodeSamples(c.coding, &sample, 1, stored.data(), width);
        EXPECT_EQ(stored, sample > 0 ? c.bytes : stored);
        double loaded = 0;
        DecodeSamples(c.coding, stored.data(), width, 1, &loaded);
        EXPECT_EQ(loaded, sample);
        std::int32_t code = 0;
        SampleCodes(&sample, 1, &code);
        EncodeCodes(c.coding, &code, 1, false, byCodes.data());
        EXPECT_EQ(byCodes, stored);
    }
}

constexpr double k16 = 0x1234 / 32768.0, k24 = 0x123456 / 8388608.0;
constexpr double k32 = 0x12345678 / 2147483648.0;
const CodingCase kCodings[] = {
    {SampleCoding::Signed8, 0x12 / 128.0, {0x12}},
    {SampleCoding::Unsigned8, 0x12 / 128.0, {0x92}},
    {SampleCoding::Little16, k16, {0x34, 0x12}},
    {SampleCoding::Big16, k16, {0x12, 0x34}},
    {SampleCoding::Little24, k24, {0x56, 0x34, 0x12}},
    {SampleCoding::Big24, k24, {0x12, 0x34, 0x56}},
    {SampleCoding::Little32, k32, {0x78, 0x56, 0x34, 0x12}},
    {SampleCoding::Big32, k32, {0x12, 0x34, 0x56, 0x78}},
    {SampleCoding::Little24In32, k24, {0x56, 0x34, 0x12, 0x00}},
    {SampleCoding::LittleFloat32, 0.75, {0x00, 0x00, 0x40, 0x3F}}, // an IEEE single
};
INSTANTIATE_TEST_SUITE_P(Codings, Coding, ::testing::ValuesIn(kCodings));

// A float file of another writer may hold NaN: it reads, and mixes, as silence; values beyond
// full scale stay as they are.
TEST(FloatCoding, ReadsNaNAsSilence) {
    const std::uint8_t stored[] = {0x00, 0x00, 0xC0, 0x7F, 0x00, 0x00, 0x20, 0x41}; // NaN, 10
    double values[2] = {};
    DecodeSamples(SampleCoding::LittleFloat32, stored, 4, 2, values);
    EXPECT_EQ(values[0], 0.0);
    EXPECT_EQ(values[1], 10.0);
    std::uint8_t mixed[8];
    std::copy(std::begin(stored), std::end(stored), mixed);
    double added[2] = {0.5, 0.5};
    MixSamples(SampleCoding::LittleFloat32, added, 2, mixed, 4);
    EXPECT_EQ(added[0], 0.5);
    EXPECT_EQ(added[1], 10.5);
}

} // namespace

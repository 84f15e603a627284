// The conversion between float samples and the integer words of the files, per word size and
// per byte coding.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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
    file.ISoundFile(nullptr);
    file.Create(1, GetParam().bits, 48000.0f, nullptr, 0, nullptr);
    double sample = GetParam().sample, *block = &sample;
    std::int32_t count = 1;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    EXPECT_EQ(file.Sample(0, 0), GetParam().stored);
}

constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Table, WriteConversion,
    ::testing::Values(
        ConversionCase{16, 0.5, 16384}, ConversionCase{16, -1.0, -32768},
        // Fractions of a step of a half or more: truncation and rounding differ.
        ConversionCase{16, 1.75 / 32768, 1}, ConversionCase{16, -1.75 / 32768, -1},
        ConversionCase{8, 1.75 / 128, 1}, ConversionCase{32, 1.75 / 2147483648.0, 1},
        ConversionCase{24, 255.75 / 2147483648.0, 0},
        ConversionCase{16, 1.0, 32767}, ConversionCase{16, -1.5, -32768},
        ConversionCase{16, kInf, 32767},
        ConversionCase{16, std::numeric_limits<double>::quiet_NaN(), 0},
        ConversionCase{8, -1.0, -128}, ConversionCase{8, 1.0, 127},
        ConversionCase{24, 0.5, 4194304}, ConversionCase{24, 1.0, 8388607},
        ConversionCase{24, -2.0, -8388608},
        // 24 bits keep the top three bytes of the 32-bit truncation: tiny negatives give -1.
        ConversionCase{24, -1.0 / 16777216, -1}, ConversionCase{24, 1.0 / 16777216, 0},
        ConversionCase{32, 0.5, 1073741824}, ConversionCase{32, 1.0, kMax32},
        ConversionCase{32, -kInf, kMin32}));

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
        if (sample > 0) {
            EXPECT_EQ(stored, c.bytes);
        }
        double loaded = 0;
        DecodeSamples(c.coding, stored.data(), width, 1, &loaded);
        EXPECT_EQ(loaded, sample);
        std::int32_t code = 0;
        SampleCodes(&sample, 1, &code);
        EncodeCodes(c.coding, &code, 1, false, byCodes.data());
        EXPECT_EQ(byCodes, stored);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codings, Coding,
    ::testing::Values(CodingCase{SampleCoding::Signed8, 0x12 / 128.0, {0x12}},
                      CodingCase{SampleCoding::Unsigned8, 0x12 / 128.0, {0x92}},
                      CodingCase{SampleCoding::Little16, 0x1234 / 32768.0, {0x34, 0x12}},
                      CodingCase{SampleCoding::Big16, 0x1234 / 32768.0, {0x12, 0x34}},
                      CodingCase{SampleCoding::Little24, 0x123456 / 8388608.0, {0x56, 0x34, 0x12}},
                      CodingCase{SampleCoding::Big24, 0x123456 / 8388608.0, {0x12, 0x34, 0x56}},
                      CodingCase{SampleCoding::Little32, 0x12345678 / 2147483648.0,
                                 {0x78, 0x56, 0x34, 0x12}},
                      CodingCase{SampleCoding::Big32, 0x12345678 / 2147483648.0,
                                 {0x12, 0x34, 0x56, 0x78}},
                      CodingCase{SampleCoding::Little24In32, 0x123456 / 8388608.0,
                                 {0x56, 0x34, 0x12, 0x00}}));

} // namespace

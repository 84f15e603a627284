#include "formats/Ext80.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

using Bytes = std::array<std::uint8_t, 10>;

Bytes FileForm(double x) {
    const Float80 be = DblToExt80_be(DblToExt80(x));
    Bytes bytes;
    std::memcpy(bytes.data(), &be, bytes.size());
    return bytes;
}

struct Encoding {
    double value;
    Bytes bytes;
};

class Ext80Encoding : public ::testing::TestWithParam<Encoding> {};

TEST_P(Ext80Encoding, EncodesToTheFileBytesAndBack) {
    const auto& [value, bytes] = GetParam();
    EXPECT_EQ(FileForm(value), bytes);
    EXPECT_EQ(Ext80ToDbl(Ext80FromBytes(bytes.data())), value);
}

INSTANTIATE_TEST_SUITE_P(
    SampleRates, Ext80Encoding,
    ::testing::Values(Encoding{44100.0, {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}},
                      Encoding{48000.0, {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
                      Encoding{8000.0, {0x40, 0x0B, 0xFA, 0x00, 0, 0, 0, 0, 0, 0}},
                      Encoding{1.0, {0x3F, 0xFF, 0x80, 0x00, 0, 0, 0, 0, 0, 0}},
                      Encoding{44100.5, {0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0}},
                      Encoding{4294967295.0, {0x40, 0x1E, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
                      Encoding{-48000.0, {0xC0, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}},
                      Encoding{0.5, {0x3F, 0xFE, 0x80, 0x00, 0, 0, 0, 0, 0, 0}},
                      Encoding{0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));

TEST(Ext80, EveryIntegerRateRoundTripsNormalised) {
    for (std::uint32_t rate = 1; rate <= 200000; ++rate) {
        const Float80 v = DblToExt80(rate);
        ASSERT_EQ(v.signExponent, 16383 + int(std::floor(std::log2(rate)))) << rate;
        ASSERT_TRUE(v.mantissaHigh & 0x80000000u) << rate;
        ASSERT_EQ(Ext80ToDbl(v), double(rate)) << rate;
    }
}

TEST(Ext80, EveryFiniteDoubleRoundTrips) {
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 100000; ++i) {
        double x;
        const std::uint64_t bits = random();
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x)) continue;
        ASSERT_EQ(Ext80ToDbl(DblToExt80(x)), x) << x;
    }
    for (double x : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                     std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::max(),
                     1e-310}) {
        EXPECT_EQ(Ext80ToDbl(DblToExt80(x)), x) << x;
    }
}

TEST(Ext80, NonFiniteValuesGetTheReservedExponent) {
    EXPECT_EQ(FileForm(-std::numeric_limits<double>::infinity()),
              (Bytes{0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(DblToExt80(std::nan("")).signExponent & 0x7FFF, 0x7FFF);
}

struct Decoding {
    Bytes bytes;
    double value;
};

class Ext80Decoding : public ::testing::TestWithParam<Decoding> {};

// Values a file may hold that no encoder here produces: they decode by arithmetic value.
TEST_P(Ext80Decoding, DecodesByArithmeticValue) {
    const auto& [bytes, value] = GetParam();
    EXPECT_EQ(Ext80ToDbl(Ext80FromBytes(bytes.data())), value);
}

INSTANTIATE_TEST_SUITE_P(
    FileValues, Ext80Decoding,
    ::testing::Values(
        // integer bit clear: 0x0000AC44'00000000 x 2^(16414+16-16414-31) = 44100
        Decoding{{0x40, 0x1E, 0x00, 0x00, 0xAC, 0x44, 0, 0, 0, 0}, 44100.0},
        Decoding{{0x00, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0.0},
        Decoding{{0x7F, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                 std::numeric_limits<double>::infinity()},
        Decoding{{0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0},
                 -std::numeric_limits<double>::infinity()}));

} // namespace

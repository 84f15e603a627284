// The 80-bit extended float of the AIFF sample rate: exact both ways for every double.
#include "formats/Ext80.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

using Ext = std::array<std::uint8_t, 10>;
constexpr double kInf = std::numeric_limits<double>::infinity();

Ext FileForm(double x) {
    const Float80 be = DblToExt80_be(DblToExt80(x));
    Ext bytes;
    std::memcpy(bytes.data(), &be, bytes.size());
    return bytes;
}

struct Encoding {
    double value;
    Ext bytes;
    bool written; // false: a form only other writers produce, read by its arithmetic value
};

class Ext80Encoding : public ::testing::TestWithParam<Encoding> {};

TEST_P(Ext80Encoding, FileBytesAndValue) {
    const auto& [value, bytes, written] = GetParam();
    EXPECT_TRUE(!written || FileForm(value) == bytes);
    EXPECT_EQ(Ext80ToDbl(Ext80FromBytes(bytes.data())), value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Ext80Encoding,
    ::testing::Values(Encoding{44100.0, {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, true},
                      Encoding{44100.5, {0x40, 0x0E, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0}, true},
                      Encoding{-48000.0, {0xC0, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}, true},
                      Encoding{0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
                      Encoding{-kInf, {0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, true},
                      // integer bit clear: 0xAC44 x 2^(0x401E - 16383 - 63) = 44100
                      Encoding{44100.0, {0x40, 0x1E, 0, 0, 0xAC, 0x44, 0, 0, 0, 0}, false}));

TEST(Ext80, EveryFiniteDoubleRoundTrips) {
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 100000; ++i) {
        double x;
        const std::uint64_t bits = random();
        std::memcpy(&x, &bits, sizeof x);
        if (std::isfinite(x)) {
            ASSERT_EQ(Ext80ToDbl(DblToExt80(x)), x) << x;
        }
    }
    for (double x : {std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()})
        EXPECT_EQ(Ext80ToDbl(DblToExt80(x)), x) << x;
    EXPECT_EQ(DblToExt80(std::nan("")).signExponent & 0x7FFF, 0x7FFF);
}

} // namespace

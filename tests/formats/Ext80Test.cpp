// The 80-bit extended float of the AIFF sample rate: exact both ways for every double (the
// bytes of a rate as stored: InteropTest, through libsndfile).
#include "formats/Ext80.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

TEST(Ext80, EveryFiniteDoubleRoundTrips) {
    std::mt19937_64 random(20261206);
    for (int i = 0; i < 100000; ++i) {
        double x;
        const std::uint64_t bits = random();
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x)) continue;
        ASSERT_EQ(Ext80ToDbl(DblToExt80(x)), x) << x;
    }
    for (double x : {std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                     0.0, -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(Ext80ToDbl(DblToExt80(x)), x) << x;
    // Other writers may leave the integer bit clear: 0xAC44 x 2^(0x401E - 16383 - 63) = 44100.
    const std::uint8_t unnormal[10] = {0x40, 0x1E, 0, 0, 0xAC, 0x44, 0, 0, 0, 0};
    EXPECT_EQ(Ext80ToDbl(Ext80FromBytes(unnormal)), 44100.0);
}

} // namespace

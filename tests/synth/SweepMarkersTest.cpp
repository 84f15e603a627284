// The markers of a sweep or tone: start and end with the full label, then one per value of
// the E-series that fits the sweep's decades, or one per whole-dB step of a level ramp.
#include "synth/SweepMarkers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "support/SynthTestFile.h"

namespace {

struct MarkerCase {
    const char* name;
    double freqFrom, freqTo, levelFrom, levelTo, seconds;
    std::int32_t startFrame;
    std::size_t count;
    // Markers in the order of addition (0 = the first): index, position, name.
    std::vector<std::tuple<std::size_t, std::int32_t, const char*>> expected;
};

class MarkerTest : public testing::TestWithParam<MarkerCase> {};

// A signal of `seconds` at 48000 Hz behind `startFrame` frames of announcement.
TEST_P(MarkerTest, PositionsAndNames) {
    const auto& [test, f0, f1, level0, level1, seconds, startFrame, count, expected] = GetParam();
    SynthTestFile file(48000);
    file.SetNumFrames(startFrame + static_cast<std::int32_t>(seconds * 48000));
    ASSERT_EQ(markerFnepper(f0, f1, level0, level1, &file, 2, startFrame), 0);
    const auto markers = file.Markers();
    ASSERT_EQ(markers.size(), count);
    for (std::size_t i = 0; i < markers.size(); ++i)
        EXPECT_EQ(markers[i].id, std::int32_t(i + 1));
    for (const auto& [index, position, name] : expected) {
        EXPECT_EQ(markers[index].position, position) << name;
        EXPECT_EQ(markers[index].name, name);
    }
}

constexpr const char* kTone = "1.000 kHz/-20.000 dB";

const MarkerCase kCases[] = {
    {"Tone", 1000, 1000, -20, -20, 10, 0, 2, {{0, 0, kTone}, {1, 480000, kTone}}},
    {"Announced", 1000, 1000, -20, -20, 10, 52000, 3, {{0, 0, "Announcement"}, {1, 52000, kTone}}},
    // 20 markers wanted over three decades: E12, 22 Hz ... 18 kHz.
    {"E12", 20, 20000, -20, -20, 10, 0, 38, {{1, 6622, "22 Hz"}, {21, 271835, "1.0 kHz"}}},
    // Falling: the same frequencies, still added from low to high.
    {"E12Falling", 20000, 20, -20, -20, 10, 0, 38, {{1, 473377, "22 Hz"}, {36, 7321, "18 kHz"}}},
    {"E6FullSweep", 5, 24000, 0, 0, 10, 0, 24, {{1, 17412, "6.8 Hz"}, {22, 475072, "22 kHz"}}},
    {"E3", 20, 20000, -20, -20, 3, 0, 11, {{2, 17811, "47 Hz"}, {9, 129550, "10 kHz"}}},
    // Exactly three markers per decade (9 over 10 Hz to 10 kHz) still take E3.
    {"E3AtItsThreshold", 10, 10000, -20, -20, 4.5, 0, 12, {{2, 24654, "22 Hz"}}},
    {"Decades", 20, 20000, -20, -20, 1, 0, 5, {{1, 11183, "100 Hz"}, {3, 43183, "10 kHz"}}},
    // E24 from end to end: 20 Hz and 20 kHz share their frames with start and end.
    {"E24", 20, 20000, -20, -20, 30, 0, 75, {{1, 0, "20 Hz"}, {73, 1440000, "20 kHz"}}},
    // 40 dB in 10 s: a marker every 2 dB.
    {"LevelRamp", 1000, 1000, -40, 0, 10, 0, 21, {{1, 24000, "-38.00dB"}, {19, 456000, "-2.00dB"}}},
    {"LevelFalling", 440, 440, -0.5, -6.5, 2, 0, 8, {{1, 8000, "-1.00dB"}, {6, 88000, "-6.00dB"}}},
    {"RatioOnePointOne", 1000, 1100, -20, -20, 10, 0, 2, {}},
    // The plain products: 2.2 x 100 lies just above 220, 8.2 x 100 just below 820.
    {"EndAt220", 100, 220, -20, -20, 10, 0, 10, {{8, 421976, "200 Hz"}}},
    {"EndAt820", 100, 820, -20, -20, 10, 0, 25, {{23, 480000, "820 Hz"}}},
};
INSTANTIATE_TEST_SUITE_P(SweepMarkers, MarkerTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Bad ranges add nothing; a failing addition ends the call; levels too large for a whole-dB
// step to change them, and hundreds of decades, end with a bounded number of markers.
TEST(SweepMarkers, FailuresAndDegenerateInputsEnd) {
    SynthTestFile file(48000);
    file.SetNumFrames(480000);
    EXPECT_EQ(markerFnepper(0, 20000, -20, -20, &file, 2, 0), kErrBadSignalParameter);
    EXPECT_EQ(markerFnepper(20, 20000, -HUGE_VAL, -20, &file, 2, 0), kErrBadSignalParameter);
    EXPECT_EQ(file.markerCalls, 0);
    file.failingMarker = 5;
    EXPECT_EQ(markerFnepper(20, 20000, -20, -20, &file, 2, 0), kErrMemoryFull);
    EXPECT_EQ(file.Markers().size(), 4u);
    EXPECT_EQ(markerFnepper(1000, 1000, 1e20, 1e20 + 16384, &file, 2, 0), 0);
    EXPECT_EQ(file.markerCalls, 1005);
    EXPECT_EQ(markerFnepper(1e-300, 1e300, -20, -20, &file, 2, 0), 0);
    EXPECT_LE(file.markerCalls, 3005);
}

} // namespace

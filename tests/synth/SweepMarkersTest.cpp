#include "synth/SweepMarkers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/SynthTestFile.h"

namespace {

struct Expected {
    std::size_t index; // in the order of addition, 0 = the first marker
    std::int32_t position;
    const char* name;
};

struct MarkerCase {
    const char* name;
    double freqFrom, freqTo, levelFrom, levelTo, seconds;
    std::int32_t startFrame;
    std::size_t count;
    std::vector<Expected> expected;
};

class MarkerTest : public testing::TestWithParam<MarkerCase> {};

// A signal of `seconds` at 48000 Hz behind `startFrame` frames of announcement.
TEST_P(MarkerTest, PositionsAndNames) {
    const MarkerCase& c = GetParam();
    SynthTestFile file(48000);
    file.SetNumFrames(c.startFrame + static_cast<std::int32_t>(c.seconds * 48000));
    ASSERT_EQ(markerFnepper(c.freqFrom, c.freqTo, c.levelFrom, c.levelTo, &file, 2, c.startFrame), 0);
    const auto markers = file.Markers();
    ASSERT_EQ(markers.size(), c.count);
    for (std::size_t i = 0; i < markers.size(); ++i) EXPECT_EQ(markers[i].id, std::int32_t(i + 1));
    for (const Expected& e : c.expected) {
        EXPECT_EQ(markers[e.index].position, e.position) << e.name;
        EXPECT_EQ(markers[e.index].name, e.name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SweepMarkers, MarkerTest,
    testing::Values(
        MarkerCase{"Tone", 1000, 1000, -20, -20, 10, 0, 2,
                   {{0, 0, "1.000 kHz/-20.000 dB"}, {1, 480000, "1.000 kHz/-20.000 dB"}}},
        MarkerCase{"ToneAfterAnnouncement", 1000, 1000, -20, -20, 10, 52000, 3,
                   {{0, 0, "Announcement"}, {1, 52000, "1.000 kHz/-20.000 dB"}, {2, 532000, "1.000 kHz/-20.000 dB"}}},
        // 20 markers wanted over three decades: E12, 22 Hz ... 18 kHz.
        MarkerCase{"E12", 20, 20000, -20, -20, 10, 0, 38,
                   {{0, 0, "20.000 Hz/-20.000 dB"}, {1, 6622, "22 Hz"}, {9, 111835, "100 Hz"},
                    {20, 258045, "820 Hz"}, {21, 271835, "1.0 kHz"}, {36, 472678, "18 kHz"},
                    {37, 480000, "20.000 kHz/-20.000 dB"}}},
        // Falling: the same frequencies, still added from low to high.
        MarkerCase{"E12Falling", 20000, 20, -20, -20, 10, 0, 38,
                   {{0, 0, "20.000 kHz/-20.000 dB"}, {1, 473377, "22 Hz"}, {36, 7321, "18 kHz"},
                    {37, 480000, "20.000 Hz/-20.000 dB"}}},
        MarkerCase{"E6FullSweep", 5, 24000, 0, 0, 10, 0, 24,
                   {{1, 17412, "6.8 Hz"}, {22, 475072, "22 kHz"}}},
        MarkerCase{"E3", 20, 20000, -20, -20, 3, 0, 11,
                   {{1, 1986, "22 Hz"}, {2, 17811, "47 Hz"}, {3, 33550, "100 Hz"}, {4, 49986, "220 Hz"},
                    {5, 65811, "470 Hz"}, {6, 81550, "1.0 kHz"}, {7, 97986, "2.2 kHz"},
                    {8, 113811, "4.7 kHz"}, {9, 129550, "10 kHz"}}},
        // Exactly three markers per decade (9 over 10 Hz to 10 kHz) still take E3.
        MarkerCase{"E3AtItsThreshold", 10, 10000, -20, -20, 4.5, 0, 12,
                   {{1, 0, "10 Hz"}, {2, 24654, "22 Hz"}, {10, 216000, "10 kHz"}}},
        MarkerCase{"Decades", 20, 20000, -20, -20, 1, 0, 5,
                   {{1, 11183, "100 Hz"}, {2, 27183, "1.0 kHz"}, {3, 43183, "10 kHz"}}},
        // E24 from end to end: 20 Hz and 20 kHz share their frames with start and end.
        MarkerCase{"E24", 20, 20000, -20, -20, 30, 0, 75,
                   {{1, 0, "20 Hz"}, {73, 1440000, "20 kHz"}}},
        // 40 dB in 10 s: a marker every 2 dB.
        MarkerCase{"LevelRamp", 1000, 1000, -40, 0, 10, 0, 21,
                   {{1, 24000, "-38.00dB"}, {10, 240000, "-20.00dB"}, {19, 456000, "-2.00dB"},
                    {20, 480000, "1.000 kHz/0.000 dB"}}},
        MarkerCase{"FallingLevelRamp", 440, 440, -0.5, -6.5, 2, 0, 8,
                   {{1, 8000, "-1.00dB"}, {6, 88000, "-6.00dB"}}},
        MarkerCase{"RatioOnePointOne", 1000, 1100, -20, -20, 10, 0, 2, {}},
        // The plain products: 2.2 x 100 lies just above 220, 8.2 x 100 just below 820.
        MarkerCase{"EndAt220", 100, 220, -20, -20, 10, 0, 10, {{8, 421976, "200 Hz"}}},
        MarkerCase{"EndAt820", 100, 820, -20, -20, 10, 0, 25, {{23, 480000, "820 Hz"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SweepMarkers, FailingAdditionEndsTheCall) {
    SynthTestFile file(48000);
    file.SetNumFrames(480000);
    file.failingMarker = 5;
    EXPECT_EQ(markerFnepper(20, 20000, -20, -20, &file, 2, 0), kErrMemoryFull);
    EXPECT_EQ(file.Markers().size(), 4u);
    EXPECT_EQ(file.markerCalls, 5);
}

TEST(SweepMarkers, DegenerateInputsEnd) {
    SynthTestFile file(48000);
    file.SetNumFrames(480000);
    EXPECT_EQ(markerFnepper(0, 20000, -20, -20, &file, 2, 0), kErrBadSignalParameter);
    EXPECT_EQ(markerFnepper(20, 20000, -HUGE_VAL, -20, &file, 2, 0), kErrBadSignalParameter);
    EXPECT_TRUE(file.Markers().empty());
    // Levels so large that a whole-dB step no longer changes them, and a sweep over hundreds
    // of decades: both end, with a bounded number of markers.
    EXPECT_EQ(markerFnepper(1000, 1000, 1e20, 1e20 + 16384, &file, 2, 0), 0);
    EXPECT_EQ(file.markerCalls, 1000);
    EXPECT_EQ(markerFnepper(1e-300, 1e300, -20, -20, &file, 2, 0), 0);
    EXPECT_LE(file.markerCalls, 2000);
    // No frames and no rate: start and end only, both at frame 0.
    SynthTestFile empty(0.0f);
    EXPECT_EQ(markerFnepper(1000, 1000, -40, 0, &empty, 2, 0), 0);
    EXPECT_EQ(markerFnepper(20, 20000, -20, -20, &empty, 2, 0), 0);
    for (const auto& marker : empty.Markers()) EXPECT_EQ(marker.position, 0);
}

} // namespace

#include "synth/SweepMarkers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "RecordingSoundFile.h"

namespace {

// Markers of a signal that fills `file` from startFrame to `frames`.
std::vector<RecordedMarker> Label(double freqFrom, double freqTo, double levelFrom, double levelTo,
                                  double seconds, std::int32_t startFrame = 0, float rate = 48000) {
    RecordingSoundFile file(rate);
    file.SetFrames(startFrame + static_cast<std::int32_t>(seconds * rate));
    EXPECT_EQ(markerFnepper(freqFrom, freqTo, levelFrom, levelTo, &file, 2, startFrame), 0);
    for (std::size_t i = 0; i < file.markers.size(); ++i) {
        EXPECT_EQ(file.markers[i].id, std::int32_t(i + 1));
        EXPECT_EQ(file.markers[i].type, kMarkerTypeOrdinary);
        EXPECT_EQ(file.markers[i].number, 0);
    }
    return file.markers;
}

std::vector<std::string> Names(const std::vector<RecordedMarker>& markers, std::size_t from,
                               std::size_t to) {
    std::vector<std::string> names;
    for (std::size_t i = from; i < to; ++i) names.push_back(markers[i].name);
    return names;
}

TEST(SweepMarkers, ToneGetsStartAndEnd) {
    const auto markers = Label(1000, 1000, -20, -20, 10);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].position, 0);
    EXPECT_EQ(markers[0].name, "1.000 kHz/-20.000 dB");
    EXPECT_EQ(markers[1].position, 480000);
    EXPECT_EQ(markers[1].name, "1.000 kHz/-20.000 dB");
}

TEST(SweepMarkers, AnnouncementComesFirst) {
    const auto markers = Label(1000, 1000, -20, -20, 10, 52000);
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[0].name, "Announcement");
    EXPECT_EQ(markers[0].position, 0);
    EXPECT_EQ(markers[1].position, 52000);
    EXPECT_EQ(markers[2].position, 532000);
}

// 20 Hz to 20 kHz in 10 s: 20 markers wanted over three decades, E12.
const std::vector<std::string> kE12From22To18k = {
    "22 Hz",   "27 Hz",   "33 Hz",   "39 Hz",   "47 Hz",   "56 Hz",   "68 Hz",   "82 Hz",
    "100 Hz",  "120 Hz",  "150 Hz",  "180 Hz",  "220 Hz",  "270 Hz",  "330 Hz",  "390 Hz",
    "470 Hz",  "560 Hz",  "680 Hz",  "820 Hz",  "1.0 kHz", "1.2 kHz", "1.5 kHz", "1.8 kHz",
    "2.2 kHz", "2.7 kHz", "3.3 kHz", "3.9 kHz", "4.7 kHz", "5.6 kHz", "6.8 kHz", "8.2 kHz",
    "10 kHz",  "12 kHz",  "15 kHz",  "18 kHz"};

TEST(SweepMarkers, RisingSweepUsesE12) {
    const auto markers = Label(20, 20000, -20, -20, 10);
    ASSERT_EQ(markers.size(), 38u);
    EXPECT_EQ(markers[0].name, "20.000 Hz/-20.000 dB");
    EXPECT_EQ(Names(markers, 1, 37), kE12From22To18k);
    EXPECT_EQ(markers[1].position, 6622);
    EXPECT_EQ(markers[36].position, 472678);
    for (std::size_t i = 2; i < 37; ++i) EXPECT_GT(markers[i].position, markers[i - 1].position);
    EXPECT_EQ(markers[37].id, 38);
    EXPECT_EQ(markers[37].position, 480000);
    EXPECT_EQ(markers[37].name, "20.000 kHz/-20.000 dB");
}

TEST(SweepMarkers, FallingSweepKeepsIdsRisingWithFrequency) {
    const auto markers = Label(20000, 20, -20, -20, 10);
    ASSERT_EQ(markers.size(), 38u);
    EXPECT_EQ(markers[0].name, "20.000 kHz/-20.000 dB");
    EXPECT_EQ(Names(markers, 1, 37), kE12From22To18k);
    EXPECT_EQ(markers[1].position, 473377);
    for (std::size_t i = 2; i < 37; ++i) EXPECT_LT(markers[i].position, markers[i - 1].position);
    EXPECT_EQ(markers[37].position, 480000);
}

TEST(SweepMarkers, FullSweepUsesE6) {
    const auto markers = Label(5, 24000, 0, 0, 10);
    ASSERT_EQ(markers.size(), 24u);
    EXPECT_EQ(markers[1].name, "6.8 Hz");
    EXPECT_EQ(markers[1].position, 17412);
    EXPECT_EQ(markers[22].name, "22 kHz");
    EXPECT_EQ(markers[22].position, 475072);
}

TEST(SweepMarkers, ShortSweepsUseCoarserSeries) {
    const auto e3 = Label(20, 20000, -20, -20, 3);
    ASSERT_EQ(e3.size(), 11u);
    EXPECT_EQ(Names(e3, 1, 10), (std::vector<std::string>{"22 Hz", "47 Hz", "100 Hz", "220 Hz",
                                                          "470 Hz", "1.0 kHz", "2.2 kHz",
                                                          "4.7 kHz", "10 kHz"}));
    EXPECT_EQ(e3[1].position, 1986);
    EXPECT_EQ(e3[9].position, 129550);

    const auto decades = Label(20, 20000, -20, -20, 1);
    ASSERT_EQ(decades.size(), 5u);
    EXPECT_EQ(Names(decades, 1, 4), (std::vector<std::string>{"100 Hz", "1.0 kHz", "10 kHz"}));
}

TEST(SweepMarkers, LongSweepUsesE24FromEndToEnd) {
    const auto markers = Label(20, 20000, -20, -20, 30);
    ASSERT_EQ(markers.size(), 2u + 3 * 24 + 1);
    EXPECT_EQ(markers[1].name, "20 Hz");
    EXPECT_EQ(markers[1].position, 0);
    EXPECT_EQ(markers[markers.size() - 2].name, "20 kHz");
    EXPECT_EQ(markers[markers.size() - 2].position, 1440000);
}

TEST(SweepMarkers, LevelRampGetsWholeDecibelMarkers) {
    const auto markers = Label(1000, 1000, -40, 0, 10);
    ASSERT_EQ(markers.size(), 21u);
    for (int i = 1; i <= 19; ++i) {
        const int lev = -40 + 2 * i;
        EXPECT_EQ(markers[i].name, std::to_string(lev) + ".00dB");
        EXPECT_EQ(markers[i].position, static_cast<std::int32_t>((lev + 40) * 480000.0 / 40));
    }
    EXPECT_EQ(markers[20].name, "1.000 kHz/0.000 dB");
}

TEST(SweepMarkers, FallingLevelRamp) {
    const auto markers = Label(440, 440, -0.5, -6.5, 2);
    // Four markers wanted over 6 dB: step -1 dB, from -1 dB down to -6 dB.
    ASSERT_EQ(markers.size(), 8u);
    EXPECT_EQ(markers[1].name, "-1.00dB");
    EXPECT_EQ(markers[1].position, static_cast<std::int32_t>((1 - 5.5 / 6) * 96000));
    EXPECT_EQ(markers[6].name, "-6.00dB");
}

struct EndCase {
    double freqFrom, freqTo;
    std::size_t markers;
    const char* lastIntermediate;
};

class SweepEndTest : public testing::TestWithParam<EndCase> {};

// The loop compares the plain product of table value and decade with the end frequency.
TEST_P(SweepEndTest, LastMarker) {
    const auto markers = Label(GetParam().freqFrom, GetParam().freqTo, -20, -20, 10);
    ASSERT_EQ(markers.size(), GetParam().markers);
    if (markers.size() > 2) {
        EXPECT_EQ(markers[markers.size() - 2].name, GetParam().lastIntermediate);
    }
}

INSTANTIATE_TEST_SUITE_P(SweepMarkers, SweepEndTest,
                         testing::Values(EndCase{1000, 1100, 2, ""}, // ratio exactly 1.1
                                         // 2.2 x 100 lies just above 220, 8.2 x 100 just below 820.
                                         EndCase{100, 220, 2 + 8, "200 Hz"},
                                         EndCase{100, 820, 2 + 23, "820 Hz"}));

TEST(SweepMarkers, FailingAdditionEndsTheCall) {
    RecordingSoundFile file(48000);
    file.SetFrames(480000);
    file.failingMarker = 5;
    EXPECT_EQ(markerFnepper(20, 20000, -20, -20, &file, 2, 0), kErrMemoryFull);
    EXPECT_EQ(file.markers.size(), 4u);
    EXPECT_EQ(file.markerCalls, 5);
}

TEST(SweepMarkers, DegenerateInputsEnd) {
    RecordingSoundFile file(48000);
    file.SetFrames(480000);
    EXPECT_EQ(markerFnepper(0, 20000, -20, -20, &file, 2, 0), kErrBadSignalParameter);
    EXPECT_EQ(markerFnepper(20, 20000, -HUGE_VAL, -20, &file, 2, 0), kErrBadSignalParameter);
    EXPECT_TRUE(file.markers.empty());

    // Levels so large that a whole-dB step no longer changes them: the markers stop at what a
    // file can count.
    EXPECT_EQ(markerFnepper(1000, 1000, 1e20, 1e20 + 16384, &file, 2, 0), 0);
    EXPECT_LE(file.markers.size(), 32767u);

    // No frames, no rate: start and end only, at the right places.
    RecordingSoundFile empty(0.0f);
    EXPECT_EQ(markerFnepper(1000, 1000, -40, 0, &empty, 2, 0), 0);
    EXPECT_EQ(markerFnepper(20, 20000, -20, -20, &empty, 2, 0), 0);
    for (const RecordedMarker& marker : empty.markers) EXPECT_EQ(marker.position, 0);
}

} // namespace

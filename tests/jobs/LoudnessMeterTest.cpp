// The true peak against libebur128's and the analytic peak, the channel weighting, and a long
// file measured in two stretches against one libebur128 meter over all of it.
#include <gtest/gtest.h>

#include <ebur128.h>

#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "formats/CAIFFFile.h"
#include "jobs/LoudnessMeter.h"
#include "jobs/SoundFileReport.h"
#include "support/TempDir.h"

namespace {

constexpr double kRate = 48000.0;

double Decibels(double linear) {
    return 20.0 * std::log10(linear);
}

struct PeakCase {
    const char* name;
    double truePeak; // dB, analytic; NaN when unknown
    std::function<double(int)> sample;
};

class TruePeak : public testing::TestWithParam<PeakCase> {};

// Within 0.2 dB of the peak between the samples and of libebur128's four times oversampling.
TEST_P(TruePeak, AgreesWithTheAnalyticPeakAndLibebur128) {
    constexpr int kFrames = 48000;
    std::vector<double> samples(kFrames);
    for (int i = 0; i < kFrames; ++i)
        samples[std::size_t(i)] = GetParam().sample(i);
    TruePeakMeter ours(1);
    // In uneven blocks: the filter's history must carry across them.
    for (std::size_t at = 0; at < samples.size();) {
        const std::size_t n = std::min<std::size_t>(samples.size() - at, 1 + at % 997);
        ours.Add(samples.data() + at, n);
        at += n;
    }
    ebur128_state* reference = ebur128_init(1, unsigned(kRate), EBUR128_MODE_TRUE_PEAK);
    ASSERT_NE(reference, nullptr);
    ebur128_add_frames_double(reference, samples.data(), samples.size());
    double theirs = 0.0;
    ebur128_true_peak(reference, 0, &theirs);
    ebur128_destroy(&reference);
    EXPECT_NEAR(Decibels(ours.Peak(0)), Decibels(theirs), 0.2);
    if (!std::isnan(GetParam().truePeak)) {
        EXPECT_NEAR(Decibels(ours.Peak(0)), GetParam().truePeak, 0.2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, TruePeak,
    testing::Values(
        // A quarter of the rate, 45 degrees off the samples: the peaks fall midway between
        // them, 3.01 dB above the samples.
        PeakCase{"QuarterRateBetweenSamples", -6.0,
                 [](int i) { return 0.5 * std::sin(M_PI / 2.0 * i + M_PI / 4.0); }},
        PeakCase{"Tone997Hz", -1.0,
                 [](int i) {
                     return std::pow(10.0, -1.0 / 20.0) * std::sin(2 * M_PI * 997 * i / kRate);
                 }},
        PeakCase{"Tone19kHz", -3.0,
                 [](int i) {
                     return std::pow(10.0, -3.0 / 20.0) *
                            std::sin(2 * M_PI * 19000 * i / kRate + 0.3);
                 }},
        PeakCase{"WhiteNoise", NAN,
                 [](int i) {
                     static std::mt19937 random(7);
                     static std::uniform_real_distribution<double> uniform(-0.5, 0.5);
                     (void)i;
                     return uniform(random);
                 }}),
    [](const testing::TestParamInfo<PeakCase>& info) { return std::string(info.param.name); });

struct MapCase {
    const char* name;
    int channels;
    std::optional<std::uint32_t> mask;
    std::vector<int> expected;
};

class ChannelMap : public testing::TestWithParam<MapCase> {};

TEST_P(ChannelMap, WeighsEveryChannelByItsPosition) {
    EXPECT_EQ(LoudnessChannelMap(GetParam().channels, GetParam().mask), GetParam().expected);
}

constexpr int L = EBUR128_LEFT, R = EBUR128_RIGHT, C = EBUR128_CENTER, Off = EBUR128_UNUSED,
              Ls = EBUR128_LEFT_SURROUND, Rs = EBUR128_RIGHT_SURROUND;

INSTANTIATE_TEST_SUITE_P(
    Layouts, ChannelMap,
    testing::Values(MapCase{"Mono", 1, std::nullopt, {C}},
                    MapCase{"UnpositionedSixAre51", 6, std::nullopt, {L, R, C, Off, Ls, Rs}},
                    // Without positions nothing is dropped: libebur128 alone would drop the
                    // fourth channel and every one past the sixth.
                    MapCase{"UnpositionedFive", 5, std::nullopt, {C, C, C, C, C}},
                    MapCase{"MaskZero", 4, 0u, {C, C, C, C}},
                    MapCase{"Mask51", 6, 0x3Fu, {L, R, C, Off, Ls, Rs}},
                    MapCase{"Mask51Sides", 6, 0x60Fu, {L, R, C, Off, Ls, Rs}},
                    MapCase{"Mask71", 8, 0x63Fu, {L, R, C, Off, Ls, Rs, Ls, Rs}},
                    MapCase{"Mask514",
                            10,
                            0x2D60Fu,
                            {L, R, C, Off, Ls, Rs, EBUR128_Up030, EBUR128_Um030, EBUR128_Up110,
                             EBUR128_Um110}},
                    MapCase{"MoreChannelsThanPositions", 3, 0x3u, {L, R, C}}),
    [](const testing::TestParamInfo<MapCase>& info) { return std::string(info.param.name); });

// `samples` (interleaved stereo) as a 24-bit AIFF file.
void WriteStereoAIFF(const FSSpec& fileRef, double rate, std::vector<double> samples) {
    CAIFFFile file;
    std::uint8_t specifics[256] = {0};
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(2, 24, float(rate), specifics, 0, nullptr), kNoErr);
    double* block = samples.data();
    auto count = std::int32_t(samples.size() / 2);
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
}

// A file read in blocks and measured on another thread gives what one libebur128 meter gives
// over all of its samples at once: a stereo programme whose loudness changes every few seconds
// (so that the gates and the range have something to do), written as 24-bit AIFF.
TEST(LongFile, MeasuresAsOneMeterOverAllSamples) {
    constexpr double kFileRate = 8000.0;
    constexpr int kFrames = 8000 * 40;
    std::vector<double> samples(2 * std::size_t(kFrames));
    std::mt19937 random(3);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (int f = 0; f < kFrames; ++f) {
        const int section = f / 24000; // 3 s
        const double gain = std::pow(10.0, -(10.0 + 7.0 * (section % 5)) / 20.0) * 0.25;
        samples[2 * std::size_t(f)] = gain * normal(random);
        samples[2 * std::size_t(f) + 1] = 0.5 * gain * std::sin(2 * M_PI * 440 * f / kFileRate);
    }
    TempDir dir;
    WriteStereoAIFF(dir.Spec("long.aif"), kFileRate, samples);

    // The reference reads the samples as stored: rounded to 24 bits.
    for (double& x : samples)
        x = std::round(x * 8388608.0) / 8388608.0;
    ebur128_state* reference =
        ebur128_init(2, unsigned(kFileRate), EBUR128_MODE_I | EBUR128_MODE_LRA);
    ASSERT_NE(reference, nullptr);
    ebur128_add_frames_double(reference, samples.data(), std::size_t(kFrames));
    double integrated = 0.0, range = 0.0;
    ebur128_loudness_global(reference, &integrated);
    ebur128_loudness_range(reference, &range);
    ebur128_destroy(&reference);

    std::string why;
    const auto report = ReadSoundFileReport(dir.File("long.aif"), true, &why);
    ASSERT_TRUE(report) << why;
    EXPECT_NEAR((*report)["loudness"]["integrated"].get<double>(), integrated, 0.011);
    EXPECT_NEAR((*report)["loudness"]["range"].get<double>(), range, 0.011);
}

// A rate libebur128 does not take (below 16 Hz) leaves the loudness unmeasured, not the levels.
TEST(LongFile, RateWithoutLoudnessStillHasLevels) {
    std::vector<double> samples(2 * 400, 0.25);
    TempDir dir;
    WriteStereoAIFF(dir.Spec("slow.aif"), 8.0, samples);
    std::string why;
    const auto report = ReadSoundFileReport(dir.File("slow.aif"), true, &why);
    ASSERT_TRUE(report) << why;
    EXPECT_TRUE((*report)["loudness"]["integrated"].is_null());
    EXPECT_NEAR((*report)["levels"][1]["peak"].get<double>(), -12.04, 0.011);
}

} // namespace

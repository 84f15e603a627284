// The calibration noise generator: level, peaks, markers, determinism and refusals, on an
// in-memory file. Its spectrum is measured end to end in tests/cli.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/SharedFlags.h"
#include "synth/NoiseGenerator.h"
#include "support/SynthTestFile.h"

namespace {

std::vector<std::int32_t> Samples(SynthTestFile& file, std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> samples;
    for (std::int32_t frame = from; frame < to; ++frame)
        samples.push_back(file.Sample(frame, 0));
    return samples;
}

NoiseParameters Noise(NoiseColor color, double low, double high, double level,
                      std::uint64_t seed = kDefaultNoiseSeed) {
    return {color, low, high, level, seed};
}

struct LevelCase {
    NoiseParameters noise;
    double rate, length;
    std::int16_t bits;
    std::int32_t startFrame;
    std::string label;
};

class NoiseLevel : public testing::TestWithParam<LevelCase> {};

// The RMS value of what the file holds is the level asked for, no sample reaches full scale,
// and the markers name the noise at its start, its peak and its end.
TEST_P(NoiseLevel, RmsAsAskedPeaksBelowFullScaleAndMarked) {
    const LevelCase& c = GetParam();
    SynthTestFile file(float(c.rate), 1, c.bits);
    NoiseSummary summary;
    ASSERT_EQ(GenerateNoise(&file, c.startFrame, c.length, c.rate, c.noise, &summary), kNoErr);
    const auto frames = std::int32_t(c.length * c.rate);
    ASSERT_EQ(file.GetNumSFrames(), c.startFrame + frames);

    const double fullScale = std::ldexp(1.0, c.bits - 1);
    double sum = 0.0, peak = 0.0;
    for (std::int32_t v : Samples(file, c.startFrame, c.startFrame + frames)) {
        sum += double(v) * v;
        peak = std::max(peak, std::fabs(double(v)));
    }
    EXPECT_NEAR(10.0 * std::log10(sum / frames / (fullScale * fullScale)), c.noise.level, 0.1);
    EXPECT_LT(peak, fullScale - 1.0);
    EXPECT_NEAR(peak, std::pow(10.0, summary.peakLevel / 20.0) * fullScale, 1.0);
    EXPECT_LE(summary.crestFactor, 20.0 * std::log10(kNoiseCrestFactor) + 0.5);

    const auto markers = file.Markers();
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[0].position, c.startFrame);
    EXPECT_EQ(markers[0].name, c.label);
    EXPECT_EQ(markers[1].position, summary.peakFrame);
    EXPECT_NEAR(std::fabs(double(file.Sample(summary.peakFrame, 0))), peak, 1.0);
    EXPECT_EQ(markers[2].position, c.startFrame + frames);
    EXPECT_EQ(markers[2].name, "End " + c.label);
}

INSTANTIATE_TEST_SUITE_P(
    Noises, NoiseLevel,
    testing::Values(
        LevelCase{Noise(NoiseColor::pink, 0, 0, -20.0), 48000.0, 10.0, 16, 0, "Pink -20.0dB RMS"},
        LevelCase{Noise(NoiseColor::pink, 500, 2000, -30.0), 96000.0, 2.0, 24, 7,
                  "Pink -30.0dB RMS 500-2000Hz"},
        LevelCase{Noise(NoiseColor::white, 20, 3000, -40.0), 8000.0, 5.0, 16, 1000,
                  "White -40.0dB RMS 20-3000Hz"}));

TEST(NoiseSeed, SameSeedSameSamplesOtherSeedOthers) {
    auto run = [](std::uint64_t seed) {
        SynthTestFile file(48000.0f);
        EXPECT_EQ(GenerateNoise(&file, 0, 1.0, 48000.0, Noise(NoiseColor::pink, 0, 0, -20.0, seed)),
                  kNoErr);
        return Samples(file, 0, 48000);
    };
    const auto first = run(7);
    EXPECT_EQ(first, run(7));
    EXPECT_NE(first, run(8));
}

// A level whose peaks would clip is refused before anything is written, naming a level that
// is then taken.
TEST(NoiseRefusal, TooLoudNamesTheHighestLevelThatFits) {
    const NoiseParameters loud = Noise(NoiseColor::pink, 0, 0, -6.0);
    SynthTestFile refused(48000.0f);
    NoiseSummary summary;
    EXPECT_EQ(GenerateNoise(&refused, 0, 2.0, 48000.0, loud, &summary), kErrNoiseWouldClip);
    EXPECT_EQ(refused.writes, 0);
    EXPECT_LT(summary.highestLevel, -11.0);
    EXPECT_GT(summary.highestLevel, -13.0);

    SynthTestFile taken(48000.0f);
    EXPECT_EQ(
        GenerateNoise(&taken, 0, 2.0, 48000.0, Noise(NoiseColor::pink, 0, 0, summary.highestLevel)),
        kNoErr);
}

TEST(NoiseRefusal, ParametersThatGiveNoSignal) {
    const std::vector<std::pair<NoiseParameters, double>> cases = {
        {Noise(NoiseColor::pink, 5, 2000, -20), 1.0},     // below the lowest edge
        {Noise(NoiseColor::pink, 2000, 500, -20), 1.0},   // edges reversed
        {Noise(NoiseColor::white, 500, 24000, -20), 1.0}, // at half the rate
        {Noise(NoiseColor::white, 0, 0, NAN), 1.0},       // no level
        {Noise(NoiseColor::white, 0, 0, -20), 0.00001},   // no whole frame
    };
    for (const auto& [noise, length] : cases) {
        SynthTestFile file(48000.0f);
        EXPECT_EQ(GenerateNoise(&file, 0, length, 48000.0, noise), kErrBadSignalParameter)
            << noise.bandLow << "-" << noise.bandHigh << " " << noise.level << " " << length;
        EXPECT_EQ(file.writes, 0);
    }
}

TEST(NoiseCancel, StopsBeforeWriting) {
    shouldStop = 1;
    SynthTestFile file(48000.0f);
    EXPECT_EQ(GenerateNoise(&file, 0, 1.0, 48000.0, NoiseParameters{}), kNoErr);
    shouldStop = 0;
    EXPECT_EQ(file.writes, 0);
}

} // namespace

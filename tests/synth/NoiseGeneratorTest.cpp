// The calibration noise generator: level, peaks, markers and refusals, on an in-memory file.
// Its spectrum is measured end to end in tests/cli.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "support/SynthTestFile.h"
#include "synth/NoiseGenerator.h"

namespace {

using Color = NoiseColor;

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
    const auto end = c.startFrame + std::int32_t(c.length * c.rate);
    ASSERT_EQ(file.GetNumSFrames(), end);
    const double step = std::ldexp(1.0, 1 - c.bits); // of full scale
    double sum = 0.0, peak = 0.0;
    for (std::int32_t f = c.startFrame; f < end; ++f) {
        sum += std::pow(file.Sample(f, 0) * step, 2);
        peak = std::max(peak, std::fabs(file.Sample(f, 0) * step));
    }
    EXPECT_NEAR(10.0 * std::log10(sum / (end - c.startFrame)), c.noise.level, 0.1);
    EXPECT_LT(peak, 1.0 - step);
    EXPECT_NEAR(peak, std::pow(10.0, summary.peakLevel / 20.0), step);
    EXPECT_NEAR(std::fabs(file.Sample(summary.peakFrame, 0) * step), peak, step);
    const auto markers = file.Markers();
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(markers[0].name + " | " + markers[2].name, c.label + " | End " + c.label);
    EXPECT_EQ(markers[0].position, c.startFrame);
    EXPECT_EQ(markers[1].position, summary.peakFrame);
    EXPECT_EQ(markers[2].position, end);
}

const LevelCase kNoises[] = {
    {{Color::pink, 0, 0, -20.0}, 48000, 10, 16, 0, "Pink -20.0dB RMS"},
    {{Color::pink, 500, 2000, -30.0}, 96000, 2, 24, 7, "Pink -30.0dB RMS 500-2000Hz"},
    {{Color::white, 20, 3000, -40.0}, 8000, 5, 16, 1000, "White -40.0dB RMS 20-3000Hz"},
};
INSTANTIATE_TEST_SUITE_P(Noises, NoiseLevel, testing::ValuesIn(kNoises));

// Parameters that give no signal, and a level whose peaks would clip, are refused before
// anything is written; the refusal of the level names the highest level that fits.
TEST(Noise, RefusalsWriteNothing) {
    constexpr Status kBad = kErrBadSignalParameter;
    const std::tuple<NoiseParameters, double, Status> cases[] = {
        {{Color::pink, 5, 2000, -20}, 1.0, kBad},     // below the lowest edge
        {{Color::pink, 2000, 500, -20}, 1.0, kBad},   // edges reversed
        {{Color::white, 500, 24000, -20}, 1.0, kBad}, // at half the rate
        {{Color::white, 0, 0, NAN}, 1.0, kBad},       // no level
        {{Color::white, 0, 0, -20}, 0.00001, kBad},   // no whole frame
        {{Color::pink, 0, 0, -6.0}, 2.0, kErrNoiseWouldClip},
    };
    for (const auto& [noise, length, status] : cases) {
        SynthTestFile file(48000.0f);
        NoiseSummary summary;
        EXPECT_EQ(GenerateNoise(&file, 0, length, 48000.0, noise, &summary), status) << length;
        EXPECT_TRUE(file.Flushes().empty());
        if (status == kErrNoiseWouldClip) {
            EXPECT_NEAR(summary.highestLevel, -12.0, 1.0);
        }
    }
}

} // namespace

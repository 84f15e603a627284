#include "jobs/NoiseLoudness.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "jobs/JobLimits.h"
#include "jobs/LoudnessMeter.h"

namespace {

// The level the noise is measured at: far from clipping, far above the loudness gate.
constexpr double kMeasuringLevel = -30.0;

} // namespace

NoiseLoudnessLevel NoiseLevelForLoudness(const NoiseParameters& noise, double length,
                                         double sampleRate, double loudness, std::string* why) {
    NoiseLoudnessLevel result;
    why->clear();
    NoiseParameters measured = noise;
    measured.level = kMeasuringLevel;
    LoudnessMeter meter(1, sampleRate, LoudnessChannelMap(1, std::nullopt),
                        std::size_t(kNoiseBlockFrames), false);
    if (!meter.Ready()) {
        *why = "the loudness of this noise cannot be measured at this sample rate";
        return result;
    }
    auto measure = [&meter](std::int32_t, std::int32_t count, double* block) {
        std::copy(block, block + count, meter.Buffer());
        meter.Submit(std::size_t(count));
        return kNoErr;
    };
    NoiseSummary summary;
    if (GenerateNoise(measure, 0, length, sampleRate, measured, &summary) != kNoErr) {
        *why = "this noise cannot be generated";
        return result;
    }
    const std::optional<double> integrated = meter.Finish().integrated;
    if (!integrated) {
        *why = "the noise is too short to have a loudness (it takes at least 0.4 seconds)";
        return result;
    }
    // Gain moves the loudness by as many decibels: the gates are relative to the signal, and
    // the absolute gate lies far below any level a noise is written at.
    const double offset = *integrated - kMeasuringLevel;
    result.level = loudness - offset;
    const double highestLevel = std::min(summary.highestLevel, NoiseLevelRange().highest);
    result.highestLoudness = std::floor((highestLevel + offset) * 100.0) / 100.0;
    result.reachable = result.level <= highestLevel;
    return result;
}

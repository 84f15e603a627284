#include "synth/SweepGenerator.h"

#include <any>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "shell/NotificationCenter.h"
#include "shell/SharedFlags.h"
#include "synth/SweepMarkers.h"
#include "synth/VectorMath.h"

namespace {

constexpr double PI = 3.141592653589793;

bool PositiveFinite(double value) {
    return std::isfinite(value) && value > 0.0;
}

// The whole frames of `planned`, when there is at least one and the signal ends at a position
// that a 32-bit frame count can hold; otherwise -1.
std::int32_t FrameCount(double planned, std::int32_t startFrame) {
    if (!(planned >= 1.0 && planned < 2147483648.0)) return -1;
    const auto frames = static_cast<std::int32_t>(planned);
    if (frames > std::numeric_limits<std::int32_t>::max() - startFrame) return -1;
    return frames;
}

} // namespace

int GenerateSweep(CSoundFile* file, std::int32_t startFrame, double length, double sampleRate,
                  double level_from, double level_to, double freq_from, double freq_to, bool mono) {
    if (file == nullptr || startFrame < 0) return kErrBadSignalParameter;
    if (!PositiveFinite(length) || !PositiveFinite(sampleRate) || !PositiveFinite(freq_from) ||
        !PositiveFinite(freq_to) || !std::isfinite(level_from) || !std::isfinite(level_to))
        return kErrBadSignalParameter;

    // The block, and the phases and amplitudes of its samples.
    std::unique_ptr<double[]> buffer(new (std::nothrow) double[3 * kSweepBlockFrames]);
    if (!buffer) return kErrMemoryFull;

    // `planned` is kept unrounded: it is the denominator of the progress fraction.
    const double planned = (length * 1000.0 / 1000.0) * sampleRate;
    const std::int32_t N = FrameCount(planned, startFrame);
    if (N < 0) return kErrBadSignalParameter;

    const double A0 = std::pow(10.0, level_from / 20.0);
    const double A1 = std::pow(10.0, level_to / 20.0);
    const double perFrame = 1.0 / static_cast<double>(N);
    const double amplitudeRatio = std::pow(A1 / A0, perFrame);
    double increment = (freq_from + freq_from) * PI / sampleRate;
    const double frequencyRatio = std::pow(freq_to / freq_from, perFrame);
    // Levels or frequencies too far apart for a double (an amplitude of 0 or infinity).
    if (!PositiveFinite(A0) || !PositiveFinite(A1) || !PositiveFinite(amplitudeRatio) ||
        !PositiveFinite(frequencyRatio) || !PositiveFinite(increment))
        return kErrBadSignalParameter;

    double phase = 0.0;
    double amplitude = A0;
    std::int32_t position = startFrame;
    std::int32_t written = 0;
    Status error = kNoErr;
    double* block = buffer.get();
    double* phases = block + kSweepBlockFrames;
    double* amplitudes = phases + kSweepBlockFrames;

    while (written < N && error == kNoErr && shouldStop.load() == 0) {
        // The whole block is computed even when fewer frames remain, so that phase,
        // increment and amplitude carry on exactly from one block to the next. They are carried
        // sample by sample; the sines of the block are then taken together.
        for (std::int32_t i = 0; i < kSweepBlockFrames; ++i) {
            phases[i] = phase;
            amplitudes[i] = amplitude;
            phase += increment;
            increment *= frequencyRatio;
            amplitude *= amplitudeRatio;
        }
        ScaledSines(phases, amplitudes, block, kSweepBlockFrames);
        const std::int32_t wanted =
            N - written < kSweepBlockFrames ? N - written : kSweepBlockFrames;
        std::int32_t count = wanted;
        error = file->Write(std::int16_t(0), position, &count, &block);
        if (error == kNoErr && !mono)
            error = file->Write(std::int16_t(1), position, &count, &block);
        // A file that reports no progress (or more than it was given) would keep this loop
        // from ever finishing.
        if (error == kNoErr && (count <= 0 || count > wanted)) error = kErrIO;
        if (count < 0 || count > wanted) count = 0;
        written += count;
        position += count;
        NotificationCenter::Default().Post(kSweepGeneratorProgressNotification,
                                           std::any(static_cast<double>(written) / planned));
    }
    buffer.reset();

    if (error == kNoErr) error = file->UpdateSize();
    if (error == kNoErr)
        error = static_cast<Status>(markerFnepper(freq_from, freq_to, level_from, level_to, file,
                                                  kSweepMarkersPerSecond, startFrame));
    return error;
}

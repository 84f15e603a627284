#include "synth/SweepGenerator.h"

#include <algorithm>
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

// The phase, increment and amplitude of the next `count` samples into phases[] and amplitudes[],
// each carried by one addition or multiplication per sample. Working on copies keeps the three
// in registers: the chains of dependent additions and multiplications are what limits the pace.
struct Recurrence {
    double phase, increment, amplitude;
    const double frequencyRatio, amplitudeRatio;

    void Carry(double* phases, double* amplitudes, std::int32_t count) {
        double p = phase, step = increment, a = amplitude;
        if (amplitudeRatio == 1.0) {
            // A steady level: the amplitude would be multiplied by exactly 1.0 every sample.
            for (std::int32_t i = 0; i < count; ++i) {
                phases[i] = p;
                p += step;
                step *= frequencyRatio;
            }
            phase = p;
            increment = step;
            return;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            phases[i] = p;
            amplitudes[i] = a;
            p += step;
            step *= frequencyRatio;
            a *= amplitudeRatio;
        }
        phase = p;
        increment = step;
        amplitude = a;
    }
};

// The scaled sines of carried samples; at a steady level, of the one amplitude.
void Sines(const Recurrence& recurrence, const double* phases, const double* amplitudes,
           double* out, std::size_t count) {
    if (recurrence.amplitudeRatio == 1.0)
        ScaledSines(phases, recurrence.amplitude, out, count);
    else
        ScaledSines(phases, amplitudes, out, count);
}

// Samples carried per step before the sines of the step before are taken: short enough that
// the processor works on those sines while it waits on the chains of the next step.
constexpr std::int32_t kSineStep = 16;

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
    const double increment = (freq_from + freq_from) * PI / sampleRate;
    const double frequencyRatio = std::pow(freq_to / freq_from, perFrame);
    // Levels or frequencies too far apart for a double (an amplitude of 0 or infinity).
    if (!PositiveFinite(A0) || !PositiveFinite(A1) || !PositiveFinite(amplitudeRatio) ||
        !PositiveFinite(frequencyRatio) || !PositiveFinite(increment))
        return kErrBadSignalParameter;

    Recurrence recurrence{0.0, increment, A0, frequencyRatio, amplitudeRatio};
    std::int32_t position = startFrame;
    std::int32_t written = 0;
    Status error = kNoErr;
    double* block = buffer.get();
    double* phases = block + kSweepBlockFrames;
    double* amplitudes = phases + kSweepBlockFrames;

    while (written < N && error == kNoErr && shouldStop.load() == 0) {
        // The whole block is computed even when fewer frames remain, so that phase,
        // increment and amplitude carry on exactly from one block to the next. The sines of
        // each step are taken, several at a time, after the next step has been carried.
        std::int32_t carried = 0; // samples whose sines are still to be taken start here
        for (std::int32_t i = 0; i < kSweepBlockFrames; i += kSineStep) {
            const std::int32_t n = std::min(kSineStep, kSweepBlockFrames - i);
            recurrence.Carry(phases + i, amplitudes + i, n);
            Sines(recurrence, phases + carried, amplitudes + carried, block + carried,
                  std::size_t(i - carried));
            carried = i;
        }
        Sines(recurrence, phases + carried, amplitudes + carried, block + carried,
              std::size_t(kSweepBlockFrames - carried));
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

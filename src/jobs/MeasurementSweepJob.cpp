#include "jobs/MeasurementSweepJob.h"

#include <algorithm>
#include <cmath>

#include "shell/QuillException.h"
#include "shell/SharedFlags.h"
#include "synth/MeasurementSweep.h"
#include "synth/SweepGenerator.h"
#include "synth/SweepMarkers.h"

namespace {

constexpr std::size_t kBlockFrames = 1 << 15;

double Amplitude(const Settings& s) {
    return std::pow(10.0, s.level_from() / 20.0);
}

} // namespace

std::vector<double> MeasuredSweep(const Settings& s) {
    if (!s.measurement().synchronized) {
        // Faded over half an octave at either end (the same time at both ends of an
        // exponential sweep), so that the band between stays flat through the inverse.
        const double octaves = std::abs(std::log2(s.freq_to() / s.freq_from()));
        const double fade = octaves > 0.0 ? s.length() / octaves / 2.0 : 0.0;
        return ExponentialSweep(s.freq_from(), s.freq_to(), s.length(), s.sampleRate(),
                                Amplitude(s), std::min(fade, s.length() / 4.0));
    }
    const auto plan = PlanSynchronizedSweep(s.freq_from(), s.freq_to(), s.length());
    if (!plan) return {};
    return SynchronizedSweep(s.freq_from(), *plan, s.sampleRate(), Amplitude(s));
}

int WriteMeasurementSweep(TxSoundFile& file, std::int32_t startFrame, const Settings& s,
                          JobProgress& progress) {
    std::vector<double> sweep = MeasuredSweep(s);
    if (sweep.empty()) return kErrBadSignalParameter;
    for (std::size_t from = 0; from < sweep.size() && shouldStop == 0; from += kBlockFrames) {
        const std::size_t count = std::min(kBlockFrames, sweep.size() - from);
        file.write(static_cast<std::uint32_t>(count), sweep.data() + from);
        progress.percentage = double(from + count) / double(sweep.size());
    }
    if (Status status = file.soundFile()->UpdateSize(); status != kNoErr) return status;
    return markerFnepper(s.freq_from(), s.freq_to(), s.level_from(), s.level_to(), file.soundFile(),
                         kSweepMarkersPerSecond, startFrame);
}

std::string InverseFilterPath(const std::string& sweepPath) {
    const std::size_t slash = sweepPath.find_last_of('/');
    const std::size_t dot = sweepPath.find_last_of('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (extension ? sweepPath.substr(0, dot) : sweepPath) + ".inverse.wav";
}

std::string ImpulseMarkerName(std::int32_t sweepStartFrame) {
    return "Impulse; sweep at " + std::to_string(sweepStartFrame);
}

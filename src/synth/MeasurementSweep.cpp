#include "synth/MeasurementSweep.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "synth/VectorMath.h"

namespace {

constexpr double PI = 3.141592653589793;

bool PositiveFinite(double value) {
    return std::isfinite(value) && value > 0.0;
}

// The whole frames of `planned`, when there is at least one and fewer than a 32-bit frame
// count can hold (the generator's limit, which also keeps absurd lengths from allocating);
// otherwise 0.
std::size_t FrameCount(double planned) {
    if (!(planned >= 1.0 && planned < 2147483648.0)) return 0;
    return static_cast<std::size_t>(planned);
}

// Raised-cosine fades over the first `in` and the last `out` samples (each at most half).
void Fade(std::vector<double>& x, std::size_t in, std::size_t out) {
    const auto gain = [](std::size_t i, std::size_t frames) {
        return 0.5 * (1.0 - std::cos(PI * (double(i) + 0.5) / double(frames)));
    };
    in = std::min(in, x.size() / 2);
    out = std::min(out, x.size() / 2);
    for (std::size_t i = 0; i < in; ++i)
        x[i] *= gain(i, in);
    for (std::size_t i = 0; i < out; ++i)
        x[x.size() - 1 - i] *= gain(i, out);
}

std::size_t Frames(double seconds, double rate) {
    return static_cast<std::size_t>(std::llround(std::min(seconds * rate, 2147483647.0)));
}

} // namespace

std::vector<double> ExponentialSweep(double f1, double f2, double seconds, double rate,
                                     double amplitude, double fadeSeconds) {
    if (!PositiveFinite(f1) || !PositiveFinite(f2) || !PositiveFinite(seconds) ||
        !PositiveFinite(rate) || !std::isfinite(amplitude) || !std::isfinite(fadeSeconds) ||
        fadeSeconds < 0.0)
        return {};
    // The generator's frame count, phase increment and frequency ratio, to the last bit.
    const std::size_t N = FrameCount((seconds * 1000.0 / 1000.0) * rate);
    if (N == 0) return {};
    double increment = (f1 + f1) * PI / rate;
    const double frequencyRatio = std::pow(f2 / f1, 1.0 / static_cast<double>(N));
    if (!PositiveFinite(increment) || !PositiveFinite(frequencyRatio)) return {};

    std::vector<double> phases(N);
    double phase = 0.0;
    for (double& p : phases) {
        p = phase;
        phase += increment;
        increment *= frequencyRatio;
    }
    std::vector<double> x(N);
    ScaledSines(phases.data(), amplitude, x.data(), N);
    Fade(x, Frames(fadeSeconds, rate), Frames(fadeSeconds, rate));
    return x;
}

std::optional<SynchronizedSweepPlan> PlanSynchronizedSweep(double f1, double f2, double seconds) {
    if (!PositiveFinite(f1) || !PositiveFinite(f2) || !PositiveFinite(seconds) || !(f2 > f1))
        return std::nullopt;
    const double octaves = std::log(f2 / f1); // in e-folds
    const double cycles = std::max(1.0, std::round(f1 * seconds / octaves));
    if (!std::isfinite(cycles)) return std::nullopt;
    const double L = cycles / f1;
    const double T = L * octaves;
    return SynchronizedSweepPlan{L, T, T - seconds};
}

std::vector<double> SynchronizedSweep(double f1, const SynchronizedSweepPlan& plan, double rate,
                                      double amplitude) {
    if (!PositiveFinite(f1) || !PositiveFinite(plan.L) || !PositiveFinite(plan.T) ||
        !PositiveFinite(rate) || !std::isfinite(amplitude))
        return {};
    const std::size_t N = FrameCount(std::round(plan.T * rate));
    if (N == 0) return {};
    // The phase in cycles, f1 L expm1(t / L); its whole cycles are dropped before the sine so
    // that late in a long sweep the sine is still taken of a small, exact angle.
    const double wholeCycles = std::round(f1 * plan.L);
    std::vector<double> x(N);
    for (std::size_t n = 0; n < N; ++n) {
        const double cycles = wholeCycles * std::expm1(double(n) / rate / plan.L);
        x[n] = amplitude * std::sin(2.0 * PI * (cycles - std::floor(cycles)));
    }
    Fade(x, Frames(plan.L * std::log(2.0) / 2.0, rate),
         Frames(std::min(kSynchronizedFadeOutSeconds, plan.T / 8.0), rate));
    return x;
}

InverseFilter SweepInverse(const std::vector<double>& sweep, double f1, double f2) {
    InverseFilter none{{}, -1};
    if (sweep.empty() || !PositiveFinite(f1) || !PositiveFinite(f2) || f1 == f2) return none;
    const std::size_t N = sweep.size();
    // The envelope at sweep frame n: its instantaneous frequency f1 (f2/f1)^(n/N) over the
    // highest it reaches.
    const double top = std::max(f1, f2);
    const double perFrame = std::log(f2 / f1) / double(N);
    std::vector<double> inverse(N);
    for (std::size_t n = 0; n < N; ++n)
        inverse[N - 1 - n] = sweep[n] * (f1 / top) * std::exp(perFrame * double(n));

    // (sweep ⊛ inverse) at frame N - 1 is the sum of sweep[n] inverse[N - 1 - n]: the one
    // output sample the scale rests on, summed exactly rather than taken from a formula for
    // the sweep's energy. A second pass takes out what rounding to float moved.
    InverseFilter filter{std::vector<float>(N), std::int64_t(N) - 1};
    for (int pass = 0; pass < 2; ++pass) {
        double peak = 0.0;
        for (std::size_t n = 0; n < N; ++n)
            peak += sweep[n] * (pass == 0 ? inverse[N - 1 - n] : filter.samples[N - 1 - n]);
        if (!std::isfinite(peak) || peak == 0.0) return none;
        for (std::size_t m = 0; m < N; ++m) {
            inverse[m] /= peak;
            filter.samples[m] = static_cast<float>(inverse[m]);
            // A sweep so faint that its inverse leaves the range of a float.
            if (!std::isfinite(filter.samples[m])) return none;
        }
    }
    return filter;
}

#pragma once
// Sweeps for impulse-response measurement and their inverse filters. A system's response to a
// sweep, convolved with the sweep's inverse filter, gives its impulse response: the linear
// response at the inverse's impulseFrame, and (for a synchronized sweep) the responses of the
// harmonics at fixed times before it. All functions are pure; the caller writes the results.

#include <cstdint>
#include <optional>
#include <vector>

// trunc(seconds * rate) samples of `amplitude` times the sine of the sweep generator
// (GenerateSweep at a steady level): frequency rising (or falling) exponentially from f1 to f2
// over the length, phase 0 at frame 0, carried by the same recurrence so that the samples
// agree with the ones a sweep job writes. With fadeSeconds > 0 both ends are shaped by a
// raised-cosine fade of that length (at most half the signal each).
//
// Empty when the arguments give no signal: a frequency, the length or the rate not positive
// and finite, an amplitude or a fade that is not finite or is negative, or no whole frame.
std::vector<double> ExponentialSweep(double f1, double f2, double seconds, double rate,
                                     double amplitude, double fadeSeconds);

// A synchronized exponential sweep from f1 up to f2, with instantaneous phase
// 2 pi f1 L (exp(t / L) - 1): L is a whole number of periods of f1, so that the phase is a
// whole number of cycles wherever the frequency is f1 times a power of two. The harmonics'
// responses then fall, with their phases, L ln(k) seconds before the linear response.
struct SynchronizedSweepPlan {
    double L;          // seconds for the frequency to rise by a factor e; f1 * L is whole
    double T;          // the length, L ln(f2 / f1) seconds
    double adjustedBy; // T minus the length asked for
};

// The sweep nearest in length to `seconds`: f1 L is round(f1 seconds / ln(f2 / f1)), and at
// least one. None when 0 < f1 < f2 and seconds > 0 (all finite) do not hold.
std::optional<SynchronizedSweepPlan> PlanSynchronizedSweep(double f1, double f2, double seconds);

// The fades of a synchronized sweep. The fade-in lasts the sweep's first half octave (f1 to
// f1 sqrt 2, L ln(2) / 2 seconds): a shorter one, a few milliseconds or a period of f1, leaves
// the low end of a short sweep rippling by a decibel or more an octave above f1, because the
// sweep changes frequency there within a few cycles. The fade-out lasts
// kSynchronizedFadeOutSeconds, or an eighth of the sweep when that is shorter: at the top the
// sweep passes many cycles per millisecond, and it ends at an arbitrary phase, a step that the
// fade takes away. Either fade touches only frequencies within half an octave of its end.
inline constexpr double kSynchronizedFadeOutSeconds = 0.010;

// round(plan.T * rate) samples of the planned sweep from f1 at `amplitude`, faded at both ends
// (see kSynchronizedFadeSeconds). Empty when f1, rate or the plan's L and T are not positive
// and finite, the amplitude not finite, or the sweep has no whole frame.
std::vector<double> SynchronizedSweep(double f1, const SynchronizedSweepPlan& plan, double rate,
                                      double amplitude);

struct InverseFilter {
    std::vector<float> samples;
    // Where the linear response stands in (response ⊛ samples): samples.size() - 1, the
    // sweep's last frame. -1 when there is no filter.
    std::int64_t impulseFrame;
};

// The inverse filter of a sweep running exponentially from f1 to f2 over its samples (as
// ExponentialSweep or SynchronizedSweep make them, fades included): the sweep reversed in
// time, under an envelope proportional to the sweep's instantaneous frequency (falling 6 dB
// per octave along an upward sweep reversed), so that (sweep ⊛ inverse) has a flat magnitude
// over the sweep's band. It is scaled so that (sweep ⊛ inverse) at impulseFrame is exactly
// 1.0 for the sweep as given: a system of unit gain measures 0 dB. The inverse has the
// sweep's length.
//
// Empty (impulseFrame -1) for no samples, a silent or non-finite sweep, or frequencies that
// are not positive and finite or are equal.
InverseFilter SweepInverse(const std::vector<double>& sweep, double f1, double f2);

// Measurement sweeps: the generator's samples, deconvolution with the inverse filter (as a
// measurement reads it, in the frequency domain), the harmonic responses of a synchronized
// sweep, and the synchronized plan.
#include "synth/MeasurementSweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>

#include "support/Spectrum.h"
#include "support/SynthTestFile.h"
#include "synth/SweepGenerator.h"

namespace {

constexpr double kRate = 48000.0;

double Db(double x) {
    return 20.0 * std::log10(x);
}

// The generator's samples as it hands them to the file, before they become words.
class CapturingFile : public SynthTestFile {
  public:
    using SynthTestFile::SynthTestFile;
    Status Write(std::int16_t channel, std::int32_t start, std::int32_t* count,
                 double** block) override {
        if (channel == 0) {
            samples.resize(std::max(samples.size(), std::size_t(start + *count)));
            std::copy_n(*block, *count, samples.begin() + start);
        }
        return SynthTestFile::Write(channel, start, count, block);
    }
    std::vector<double> samples;
};

struct GeneratorCase {
    double rate, seconds, level, f1, f2;
};

class ExponentialSweepTest : public testing::TestWithParam<GeneratorCase> {};

// Sample for sample what a sweep job writes at a steady level (over several of its blocks);
// with fades, the same in the middle and silent at both ends.
TEST_P(ExponentialSweepTest, MatchesTheGenerator) {
    const GeneratorCase& c = GetParam();
    CapturingFile file(float(c.rate));
    ASSERT_EQ(GenerateSweep(&file, 0, c.seconds, c.rate, c.level, c.level, c.f1, c.f2, true), 0);
    file.samples.resize(std::size_t(c.seconds * c.rate));
    const double amplitude = std::pow(10.0, c.level / 20.0);
    const std::vector<double> x = ExponentialSweep(c.f1, c.f2, c.seconds, c.rate, amplitude, 0);
    ASSERT_EQ(x.size(), file.samples.size());
    for (std::size_t n = 0; n < x.size(); ++n)
        ASSERT_NEAR(x[n], file.samples[n], 1e-9) << "frame " << n;

    const std::vector<double> faded =
        ExponentialSweep(c.f1, c.f2, c.seconds, c.rate, amplitude, 0.01);
    const std::size_t fade = std::size_t(0.01 * c.rate), N = x.size();
    EXPECT_LT(std::abs(faded.front()) + std::abs(faded.back()), 1e-3 * amplitude);
    for (std::size_t n = fade; n + fade < N; n += 97)
        ASSERT_EQ(faded[n], x[n]) << "frame " << n;
}

INSTANTIATE_TEST_SUITE_P(Sweeps, ExponentialSweepTest,
                         testing::Values(GeneratorCase{48000, 0.5, -6, 20, 20000},
                                         GeneratorCase{44100, 0.3, 0, 20000, 20},
                                         GeneratorCase{96000, 0.25, -20, 10, 40000}));

// No signal, and so no filter, from arguments that give none.
TEST(MeasurementSweepTest, RefusesArgumentsThatGiveNoSignal) {
    const double nan = std::nan("");
    EXPECT_TRUE(ExponentialSweep(0, 1000, 1, kRate, 1, 0).empty());
    EXPECT_TRUE(ExponentialSweep(20, 1000, 1e-6, kRate, 1, 0).empty()); // no whole frame
    EXPECT_TRUE(ExponentialSweep(20, 1000, 1, kRate, nan, 0).empty());
    EXPECT_TRUE(ExponentialSweep(20, 1000, 1, kRate, 1, -0.1).empty());
    EXPECT_TRUE(ExponentialSweep(20, 1000, 1e9, kRate, 1, 0).empty()); // past a 32-bit count
    EXPECT_FALSE(PlanSynchronizedSweep(1000, 20, 1));                  // downwards
    EXPECT_FALSE(PlanSynchronizedSweep(20, 20000, -1));
    EXPECT_TRUE(SynchronizedSweep(20, {0.1, nan, 0}, kRate, 1).empty());
    const std::vector<double> sweep = ExponentialSweep(20, 1000, 0.1, kRate, 1, 0);
    EXPECT_EQ(SweepInverse(sweep, 20, 20).impulseFrame, -1);
    EXPECT_EQ(SweepInverse(std::vector<double>(100, 0.0), 20, 1000).impulseFrame, -1);
    EXPECT_EQ(SweepInverse(std::vector<double>(100, 1e-300), 20, 1000).impulseFrame, -1);
    EXPECT_TRUE(SweepInverse({}, 20, 1000).samples.empty());
}

// Exponential sweeps carry half-octave fades (L ln(2) / 2 seconds, L = seconds / ln(f2/f1)):
// shorter ones leave the response an octave from the ends rippling by a decibel.
struct DeconvolutionCase {
    const char* name;
    bool synchronized;
    double f1, f2, seconds, fade;
};

std::vector<double> Sweep(const DeconvolutionCase& c, double amplitude) {
    if (!c.synchronized) return ExponentialSweep(c.f1, c.f2, c.seconds, kRate, amplitude, c.fade);
    return SynchronizedSweep(c.f1, *PlanSynchronizedSweep(c.f1, c.f2, c.seconds), kRate, amplitude);
}

std::vector<double> Deconvolve(const std::vector<double>& response, const InverseFilter& inverse) {
    return Convolve(response, std::vector<double>(inverse.samples.begin(), inverse.samples.end()));
}

class DeconvolutionTest : public testing::TestWithParam<DeconvolutionCase> {};

// The sweep through its inverse: the impulse at the marked frame, exactly 1.0 and the
// largest sample; a magnitude flat within +-0.5 dB from 2 f1 to f2 / 2 (the fades take half an
// octave at each end, the ripple of the band's edges most of the rest); in that band, the
// energy by which the response departs from a zero-phase impulse at the marked frame at least
// 60 dB below the band's (time smearing, a misplaced frame, pre-echo or wrap-around would all
// show); and outside +-5 ms of the impulse no sample within 45 dB of it. (The energy outside
// +-5 ms is some 30 dB below the impulse's for any impulse confined to such a band: the
// missing octaves below f1 alone ring for tens of milliseconds.)
TEST_P(DeconvolutionTest, GivesAFlatImpulseAtTheMarkedFrame) {
    const DeconvolutionCase& c = GetParam();
    const std::vector<double> sweep = Sweep(c, 0.5);
    const InverseFilter inverse = SweepInverse(sweep, c.f1, c.f2);
    ASSERT_EQ(inverse.samples.size(), sweep.size());
    ASSERT_EQ(inverse.impulseFrame, std::int64_t(sweep.size()) - 1);
    const std::vector<double> y = Deconvolve(sweep, inverse);
    const auto D = std::size_t(inverse.impulseFrame);
    EXPECT_NEAR(y[D], 1.0, 1e-6);
    const auto largest = std::max_element(
        y.begin(), y.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    EXPECT_EQ(std::size_t(largest - y.begin()), D);

    const std::size_t size = PowerOfTwoAtLeast(y.size());
    const std::vector<std::complex<double>> H = Spectrum(y, size);
    const double low = 2 * std::min(c.f1, c.f2), high = std::max(c.f1, c.f2) / 2;
    double lowest = 1e300, highest = 0, departure = 0, energy = 0;
    for (std::size_t k = std::size_t(std::ceil(low * double(size) / kRate));
         double(k) * kRate / double(size) <= high; ++k) {
        const double magnitude = std::abs(H[k]);
        lowest = std::min(lowest, magnitude);
        highest = std::max(highest, magnitude);
        // The bin against a zero-phase impulse of its magnitude, delayed to frame D.
        const std::complex<double> delay =
            std::polar(1.0, -2 * M_PI * double(k * D % size) / double(size));
        departure += std::norm(H[k] - magnitude * delay);
        energy += std::norm(H[k]);
    }
    const auto window = std::size_t(0.005 * kRate);
    double outside = 0;
    for (std::size_t n = 0; n < y.size(); ++n)
        if (n + window < D || n > D + window) outside = std::max(outside, std::abs(y[n]));
    RecordProperty("flatness_db", std::to_string(Db(highest / lowest)));
    RecordProperty("departure_db", std::to_string(10 * std::log10(departure / energy)));
    RecordProperty("outside_peak_db", std::to_string(Db(outside)));
    EXPECT_LE(Db(highest / lowest), 1.0);
    EXPECT_LE(10 * std::log10(departure / energy), -60.0);
    EXPECT_LE(Db(outside), -45.0);
}

INSTANTIATE_TEST_SUITE_P(Sweeps, DeconvolutionTest,
                         testing::Values(DeconvolutionCase{"Full", false, 20, 20000, 2.0, 0.1},
                                         DeconvolutionCase{"Down", false, 20000, 20, 2.0, 0.1},
                                         DeconvolutionCase{"Mid", false, 100, 10000, 1.0, 0.075},
                                         DeconvolutionCase{"Synchronized", true, 20, 20000, 2.0,
                                                           0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PlanCase {
    double f1, f2, seconds;
};

class SynchronizedPlanTest : public testing::TestWithParam<PlanCase> {};

// The nearest length whose phase is a whole number of cycles at every octave of f1, the
// adjustment as stated, and samples that follow the phase law between the fades.
TEST_P(SynchronizedPlanTest, WholeCyclesAtEveryOctave) {
    const PlanCase& c = GetParam();
    const auto plan = PlanSynchronizedSweep(c.f1, c.f2, c.seconds);
    ASSERT_TRUE(plan);
    const long double L = plan->L, octaves = std::log((long double)c.f2 / c.f1);
    EXPECT_NEAR(double(plan->T - c.seconds), plan->adjustedBy, 1e-12);
    EXPECT_NEAR(double(L * octaves), plan->T, 1e-12);
    // Nearest: one more or one fewer period of f1 in L moves T by ln(f2 / f1) / f1.
    if (c.f1 * plan->L > 1.5) {
        EXPECT_LE(std::abs(plan->adjustedBy), octaves / c.f1 / 2 + 1e-12);
    }
    for (int k = 1; std::ldexp(c.f1, k) <= c.f2; ++k) {
        const long double cycles = c.f1 * L * std::expm1(std::log(std::ldexp(1.0L, k)));
        EXPECT_NEAR(double(cycles - std::round(cycles)), 0.0, 1e-6) << "octave " << k;
    }
    const std::vector<double> x = SynchronizedSweep(c.f1, *plan, kRate, 0.5);
    ASSERT_EQ(x.size(), std::size_t(std::llround(plan->T * kRate)));
    const auto first = std::size_t(L * std::log(2.0L) / 2 * kRate) + 1;
    for (std::size_t n = first; n + kSynchronizedFadeOutSeconds * kRate < x.size(); n += 7) {
        const long double cycles = c.f1 * L * std::expm1(n / kRate / L);
        ASSERT_NEAR(x[n], 0.5 * std::sin(2 * M_PIl * cycles), 1e-9) << "frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Plans, SynchronizedPlanTest,
                         testing::Values(PlanCase{20, 20000, 1.0}, PlanCase{100, 8000, 1.0},
                                         PlanCase{31.5, 16000, 3.3}, PlanCase{1000, 1100, 0.1},
                                         PlanCase{1000, 20000, 0.0001})); // one period at least

// Through y = x + a x^2, a sweep A sin(phi) gains a x A^2 / 2 (1 - cos 2 phi); with whole
// cycles at every octave, cos 2 phi(t) is the sweep itself L ln 2 later, a quarter-cycle on.
// Deconvolved, the second harmonic's response stands L ln 2 before the linear one, at a A / 2
// of its level over the band. Each response is read in its slot, from halfway (in ln k) to
// the harmonic before to halfway to the next; 2 f2 stays below half the rate.
TEST(SynchronizedSweepTest, SecondHarmonicStandsAtItsTimeAndLevel) {
    const double f1 = 100, f2 = 8000, A = 0.5, a = 0.1;
    const SynchronizedSweepPlan plan = *PlanSynchronizedSweep(f1, f2, 1.0);
    std::vector<double> x = SynchronizedSweep(f1, plan, kRate, A);
    const InverseFilter inverse = SweepInverse(x, f1, f2);
    for (double& v : x)
        v += a * v * v;
    const std::vector<double> y = Deconvolve(x, inverse);
    const double D = double(inverse.impulseFrame), L = plan.L * kRate;
    const auto slot = [&](double k) {
        return std::vector<double>(y.begin() + std::lround(D - L * std::log(k + 0.5)),
                                   y.begin() + std::lround(D - L * std::log(k - 0.5)));
    };
    const auto peak = [](const std::vector<double>& v) {
        double m = 0;
        for (double s : v)
            m = std::max(m, std::abs(s));
        return m;
    };
    const std::vector<double> linear = slot(1), second = slot(2);
    double moment = 0, energy = 0; // the second slot's centre of energy
    const double start = std::round(D - L * std::log(2.5));
    for (std::size_t n = 0; n < second.size(); ++n) {
        moment += (start + double(n)) * second[n] * second[n];
        energy += second[n] * second[n];
    }
    const double delay = D - moment / energy;
    RecordProperty("second_delay_error_samples", std::to_string(delay - L * std::log(2.0)));
    EXPECT_NEAR(delay, L * std::log(2.0), 1.0);

    // Mean levels in dB over 400 Hz to 4 kHz (twice f1 and more, half f2 and less).
    const std::size_t size = PowerOfTwoAtLeast(linear.size() + second.size());
    const auto level = [&](const std::vector<double>& v) {
        const std::vector<std::complex<double>> H = Spectrum(v, size);
        double sum = 0;
        int bins = 0;
        for (auto k = std::size_t(400.0 * double(size) / kRate); k * kRate <= 4000.0 * size; ++k)
            sum += Db(std::abs(H[k])), ++bins;
        return sum / bins;
    };
    const double error = level(second) - level(linear) - Db(a * A / 2);
    RecordProperty("second_level_error_db", std::to_string(error));
    EXPECT_NEAR(error, 0.0, 1.0);

    // Nothing comparable at the places of higher harmonics, nor after the linear response.
    for (double k = 3; k <= 6; ++k)
        EXPECT_LT(Db(peak(slot(k)) / peak(second)), -30.0) << "harmonic " << k;
    const auto after = std::lround(D + L * std::log(2.0));
    EXPECT_LT(Db(peak(std::vector<double>(y.begin() + after, y.end())) / peak(second)), -30.0);
}

} // namespace

#include "synth/SampleRateConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// The callers' layout: the signal behind kPolyPhaseLeadIn samples, as many after it. The
// padding is filled with `padding` so that a test can show that it is never read.
std::vector<double> Padded(std::uint32_t n, const std::function<double(std::uint32_t)>& signal,
                           double padding = 0.0) {
    std::vector<double> buffer(n + 2 * kPolyPhaseLeadIn, padding);
    for (std::uint32_t i = 0; i < n; ++i)
        buffer[kPolyPhaseLeadIn + i] = signal(i);
    return buffer;
}

std::function<double(std::uint32_t)> Sine(double freq, double rate, double amplitude = 1.0) {
    return [=](std::uint32_t i) { return amplitude * std::sin(kTwoPi * freq * i / rate); };
}

struct Converted {
    ConvertedBlock block;
    std::uint32_t count;
    double operator[](std::size_t k) const { return block[k]; }
};

Converted Convert(const std::vector<double>& padded, double inputRate, double outputRate) {
    std::uint32_t count = static_cast<std::uint32_t>(padded.size() - 2 * kPolyPhaseLeadIn);
    ConvertedBlock block(src_polyphase(padded.data(), &count, inputRate, outputRate));
    EXPECT_TRUE(block);
    return {std::move(block), count};
}

// Amplitude of the component at `freq` in out[from .. to), by correlation with a complex
// exponential under a Hann window (keeps a strong tone from leaking into a weak one nearby).
double MeasureAmplitude(const Converted& out, std::size_t from, std::size_t to, double freq,
                        double rate) {
    std::complex<double> sum = 0.0;
    double weight = 0.0;
    const double length = static_cast<double>(to - from);
    for (std::size_t k = from; k < to; ++k) {
        const double w = 0.5 - 0.5 * std::cos(kTwoPi * (k - from) / length);
        sum += w * out[k] * std::polar(1.0, -kTwoPi * freq * k / rate);
        weight += w;
    }
    return 2.0 * std::abs(sum) / weight;
}

// Releases the filter table at the end of a test, whatever happened in it.
struct TableGuard {
    ~TableGuard() { freeSincTable(); }
};

class PolyPhase : public testing::Test {
    TableGuard guard;
};

struct RatioCase {
    double outputRate, inputRate;
    std::int32_t P, Q;
    std::uint32_t length;
    double centre;
};

class RatioTest : public testing::TestWithParam<RatioCase> {
    TableGuard guard;
};

TEST_P(RatioTest, ReducedRatioAndTable) {
    const RatioCase& c = GetParam();
    ASSERT_EQ(InitPolyPhase(c.outputRate, c.inputRate), 0);
    std::int32_t P = 0, Q = 0;
    GetPQ(&P, &Q);
    EXPECT_EQ(P, c.P);
    EXPECT_EQ(Q, c.Q);
    ASSERT_NE(GetSincTable(), nullptr);
    ASSERT_EQ(GetSincTableLength(), c.length);
    const float* h = GetSincTable();
    EXPECT_FLOAT_EQ(h[0], static_cast<float>(c.centre));
    // Zero crossings every max(P, Q) entries, falling window in between.
    const std::uint32_t M = c.length / 24;
    for (std::uint32_t i = M; i < c.length; i += M)
        EXPECT_NEAR(h[i] / h[0], 0.0, 1e-6) << i;
    EXPECT_GT(h[M / 2 + 0] / h[0], 0.6) << "main lobe";
}

INSTANTIATE_TEST_SUITE_P(PolyPhase, RatioTest,
                         testing::Values(RatioCase{44100, 48000, 147, 160, 3840, 0.91875},
                                         RatioCase{96000, 48000, 2, 1, 48, 1.0},
                                         RatioCase{8000, 48000, 1, 6, 144, 1.0 / 6.0},
                                         // Fractional rates count by their whole part.
                                         RatioCase{44100.9, 48000.5, 147, 160, 3840, 0.91875},
                                         // A ratio that does not reduce gives a big table.
                                         RatioCase{44101, 48000, 44101, 48000, 1152000,
                                                   44101.0 / 48000.0}));

// Unusable rates build no table, and without a table there is no output.
TEST_F(PolyPhase, NoTableNoOutput) {
    for (const double rate : {0.0, -48000.0, std::numeric_limits<double>::quiet_NaN(), 1e12}) {
        EXPECT_EQ(InitPolyPhase(rate, 48000.0), kErrBadSignalParameter) << rate;
        EXPECT_EQ(GetSincTable(), nullptr);
    }
    freeSincTable();
    std::vector<double> input = Padded(100, Sine(1000, 48000));
    std::uint32_t count = 100;
    EXPECT_EQ(src_polyphase(input.data(), &count, 48000, 48000), nullptr);
    EXPECT_EQ(count, 100u);
}

struct PositionCase {
    double outputRate;
    std::uint32_t margin; // outputs at each end where the filter meets the signal's edge
    double tolerance;
};

class PositionTest : public testing::TestWithParam<PositionCase> {
    TableGuard guard;
};

// Output k of a sine lies at input position k Q / P - 1 (equal rates: a delay of one sample;
// double rate: every other output half-way between two inputs; 44.1 kHz: the phases coming
// back to 0 at multiples of 147). A constant keeps its level.
TEST_P(PositionTest, OutputsLieAtTheirInputPositions) {
    const PositionCase& c = GetParam();
    ASSERT_EQ(InitPolyPhase(c.outputRate, 48000), 0);
    const std::uint32_t n = 9600;
    const double freq = 997.0;
    const Converted sine = Convert(Padded(n, Sine(freq, 48000, 0.8)), 48000, c.outputRate);
    const Converted constant =
        Convert(Padded(n, [](std::uint32_t) { return 1.0; }), 48000, c.outputRate);
    ASSERT_EQ(sine.count, static_cast<std::uint32_t>(n * c.outputRate / 48000));
    for (std::uint32_t k = c.margin; k < sine.count - c.margin; ++k) {
        const double position = k * 48000 / c.outputRate - 1.0;
        ASSERT_NEAR(sine[k], 0.8 * std::sin(kTwoPi * freq * position / 48000), c.tolerance) << k;
        ASSERT_NEAR(constant[k], 1.0, c.tolerance) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(PolyPhase, PositionTest,
                         testing::Values(PositionCase{48000, 1, 1e-12}, PositionCase{96000, 60, 1e-3},
                                         PositionCase{44100, 100, 2e-3}));

// Reach of the filter beyond the signal at low output rates: everything around the signal
// counts as silence, and the padding is never read (it holds NaN here).
TEST_F(PolyPhase, LowOutputRatesStayInsideTheSignal) {
    for (const double outputRate : {2000.0, 1000.0, 44100.0}) {
        ASSERT_EQ(InitPolyPhase(outputRate, 48000), 0);
        for (const std::uint32_t n : {0u, 1u, 7u, 3000u}) {
            std::vector<double> input = Padded(
                n, [](std::uint32_t) { return 1.0; }, std::numeric_limits<double>::quiet_NaN());
            const Converted out = Convert(input, 48000, outputRate);
            ASSERT_EQ(out.count, static_cast<std::uint32_t>(n * outputRate / 48000));
            for (std::uint32_t k = 0; k < out.count; ++k)
                ASSERT_TRUE(std::isfinite(out[k]));
            if (n == 3000 && outputRate == 2000.0) {
                EXPECT_NEAR(out[out.count / 2], 1.0, 1e-3);
            }
        }
        freeSincTable();
    }
}

// Levels of a full-scale sine after conversion (Hann-windowed correlation over one second):
// flat in the passband, falling in the transition band, aliases and images far below.
struct BandCase {
    double outputRate;
    double inputFreq;    // sine fed to the converter at 48000 Hz
    double measuredFreq; // where it appears in the output
    double minDB, maxDB; // bounds of its level
};

class BandTest : public testing::TestWithParam<BandCase> {
    TableGuard guard;
};

TEST_P(BandTest, Level) {
    const BandCase& c = GetParam();
    ASSERT_EQ(InitPolyPhase(c.outputRate, 48000), 0);
    const std::uint32_t n = 48000;
    const Converted out = Convert(Padded(n, Sine(c.inputFreq, 48000)), 48000, c.outputRate);
    const std::size_t margin = static_cast<std::size_t>(c.outputRate / 100);
    const double amplitude =
        MeasureAmplitude(out, margin, out.count - margin, c.measuredFreq, c.outputRate);
    const double dB = 20.0 * std::log10(amplitude);
    RecordProperty("level_dB", std::to_string(dB));
    EXPECT_GE(dB, c.minDB);
    EXPECT_LE(dB, c.maxDB);
}

INSTANTIATE_TEST_SUITE_P(
    PolyPhase, BandTest,
    testing::Values(
        // Passband ripple.
        BandCase{44100, 20, 20, -0.01, 0.01}, BandCase{44100, 18000, 18000, -0.01, 0.01},
        BandCase{44100, 20000, 20000, -0.06, 0.06}, BandCase{96000, 20000, 20000, -0.01, 0.01},
        BandCase{44100, 21000, 21000, -1.0, 0.0}, BandCase{44100, 23000, 21100, -200, -20},
        BandCase{44100, 23500, 20600, -200, -43},
        BandCase{96000, 10000, 38000, -200, -90}, BandCase{96000, 20000, 28000, -200, -60}));

// One output, one tap at a time, in the documented order: right taps from the centre out,
// then left taps; each product added to a double sum.
double ReferenceOutput(const std::vector<double>& padded, std::uint32_t n, std::int64_t k) {
    std::int32_t P = 0, Q = 0;
    GetPQ(&P, &Q);
    const std::int64_t L = GetSincTableLength(), first = kPolyPhaseLeadIn, end = first + n;
    const float* h = GetSincTable();
    const std::int64_t i0 = first + k * Q / P, phase = k * Q % P;
    double acc = 0.0;
    for (std::int64_t j = 0; (j + 1) * P - phase < L; ++j)
        if (i0 + j >= first && i0 + j < end) acc += double(h[(j + 1) * P - phase]) * padded[i0 + j];
    for (std::int64_t j = 0; phase + j * P < L; ++j)
        if (i0 - 1 - j >= first && i0 - 1 - j < end)
            acc += double(h[phase + j * P]) * padded[i0 - 1 - j];
    return acc;
}

class PieceTest : public testing::TestWithParam<double> {};

// Outputs summed several at a time, whole or piece by piece from windows of the input, are
// the one-tap-at-a-time sums to the last bit.
TEST_P(PieceTest, PiecesEqualTheOneByOneSums) {
    const double outputRate = GetParam();
    TableGuard guard;
    ASSERT_EQ(InitPolyPhase(outputRate, 48000.0), 0);
    const std::uint32_t n = 3001;
    const std::vector<double> padded = Padded(n, Sine(997.0, 48000.0, 0.7));
    const Converted whole = Convert(padded, 48000.0, outputRate);
    ASSERT_EQ(whole.count, PolyphaseLength(n, 48000.0, outputRate));
    std::vector<double> piece(1000);
    for (std::uint32_t from = 0; from < whole.count; from += 1000) {
        const std::uint32_t length = std::min<std::uint32_t>(1000, whole.count - from);
        std::int64_t low = 0, high = 0;
        PolyphaseReach(n, from, length, &low, &high);
        const std::vector<double> window(padded.begin() + low, padded.begin() + high);
        ASSERT_TRUE(PolyphaseRange(window.data(), low, n, from, length, piece.data()));
        for (std::uint32_t k = 0; k < length; ++k) {
            const double expected = ReferenceOutput(padded, n, from + k);
            ASSERT_EQ(whole[from + k], expected) << "output " << from + k;
            ASSERT_EQ(piece[k], expected) << "output " << from + k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, PieceTest,
                         testing::Values(44100.0, 96000.0, 192000.0, 22050.0, 8000.0));

} // namespace

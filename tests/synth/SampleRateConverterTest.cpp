// The polyphase sample-rate converter (from 48 kHz here): output positions, band levels, and
// piecewise conversion against one-tap-at-a-time sums.
#include "synth/SampleRateConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A sine at 48 kHz in the callers' layout: behind kPolyPhaseLeadIn samples of `padding`, as
// many after it.
std::vector<double> Sine(std::uint32_t n, double freq, double amplitude = 1.0,
                         double padding = 0.0) {
    std::vector<double> buffer(n + 2 * kPolyPhaseLeadIn, padding);
    for (std::uint32_t i = 0; i < n; ++i)
        buffer[kPolyPhaseLeadIn + i] = amplitude * std::sin(kTwoPi * freq * i / 48000);
    return buffer;
}

std::vector<double> Convert(const std::vector<double>& padded, double outputRate) {
    auto count = static_cast<std::uint32_t>(padded.size() - 2 * kPolyPhaseLeadIn);
    ConvertedBlock block(src_polyphase(padded.data(), &count, 48000, outputRate));
    EXPECT_TRUE(block);
    return block ? std::vector<double>(block.get(), block.get() + count) : std::vector<double>{};
}

// Releases the filter table at the end of each test, whatever happened in it.
class PolyPhase : public testing::Test {
  protected:
    ~PolyPhase() override { freeSincTable(); }
};

// Output k of a sine lies at input position k Q / P - 1 (equal rates: a delay of one sample;
// double rate: every other output half-way between two inputs; 44.1 kHz: the phases coming
// back to 0 at multiples of 147). Per rate: the outputs at each end where the filter meets the
// signal's edge, and the tolerance.
TEST_F(PolyPhase, OutputsLieAtTheirInputPositions) {
    for (const auto& [rate, margin, tolerance] :
         {std::tuple{48000.0, 1u, 1e-12}, {96000.0, 60u, 1e-3}, {44100.0, 100u, 2e-3}}) {
        ASSERT_EQ(InitPolyPhase(rate, 48000), 0);
        const std::vector<double> out = Convert(Sine(9600, 997, 0.8), rate);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(9600 * rate / 48000));
        for (std::uint32_t k = margin; k < out.size() - margin; ++k) {
            const double position = k * 48000 / rate - 1.0;
            ASSERT_NEAR(out[k], 0.8 * std::sin(kTwoPi * 997 * position / 48000), tolerance)
                << rate << ": " << k;
        }
    }
}

// A full-scale sine converted to 44.1 kHz: flat up to 20 kHz; above the new Nyquist rate its
// alias stays far below. Levels by RMS, away from the edges.
TEST_F(PolyPhase, PassbandAndStopbandLevels) {
    ASSERT_EQ(InitPolyPhase(44100, 48000), 0);
    for (const auto& [freq, minDB, maxDB] :
         {std::tuple{20000.0, -0.06, 0.06}, {23500.0, -200.0, -43.0}}) {
        const std::vector<double> out = Convert(Sine(48000, freq), 44100);
        double sum = 0;
        for (std::size_t k = 441; k < out.size() - 441; ++k)
            sum += out[k] * out[k];
        const double dB = 10 * std::log10(2 * sum / double(out.size() - 882));
        EXPECT_GE(dB, minDB) << freq;
        EXPECT_LE(dB, maxDB) << freq;
    }
}

// One output, one tap at a time, in the documented order: right taps from the centre out,
// then left taps; each product added to a double sum.
double ReferenceOutput(const std::vector<double>& padded, std::uint32_t n, std::int64_t k) {
    std::int32_t P = 0, Q = 0;
    GetPQ(&P, &Q);
    const std::int64_t L = GetSincTableLength(), first = kPolyPhaseLeadIn, end = first + n;
    const float* h = GetSincTable();
    const std::int64_t i0 = first + k * Q / P, phase = k * Q % P;
    const auto inside = [&](std::int64_t i) { return i >= first && i < end; };
    double acc = 0.0;
    for (std::int64_t j = 0; (j + 1) * P - phase < L; ++j)
        if (inside(i0 + j)) acc += double(h[(j + 1) * P - phase]) * padded[i0 + j];
    for (std::int64_t j = 0; phase + j * P < L; ++j)
        if (inside(i0 - 1 - j)) acc += double(h[phase + j * P]) * padded[i0 - 1 - j];
    return acc;
}

class PieceTest : public PolyPhase, public testing::WithParamInterface<double> {};

// Outputs summed several at a time, whole or piece by piece from windows of the input, are
// the one-tap-at-a-time sums to the last bit. At low output rates the filter reaches far
// beyond the signal: everything around it counts as silence; the padding (NaN) is never read.
TEST_P(PieceTest, PiecesEqualTheOneByOneSums) {
    ASSERT_EQ(InitPolyPhase(GetParam(), 48000.0), 0);
    const std::uint32_t n = 3001;
    const std::vector<double> padded = Sine(n, 997.0, 0.7, NAN);
    const std::vector<double> whole = Convert(padded, GetParam());
    ASSERT_EQ(whole.size(), PolyphaseLength(n, 48000.0, GetParam()));
    std::vector<double> piece(1000);
    for (std::uint32_t from = 0; from < whole.size(); from += 1000) {
        const auto length = std::min<std::uint32_t>(1000, std::uint32_t(whole.size()) - from);
        std::int64_t low = 0, high = 0;
        PolyphaseReach(n, from, length, &low, &high);
        const std::vector<double> window(padded.begin() + low, padded.begin() + high);
        ASSERT_TRUE(PolyphaseRange(window.data(), low, n, from, length, piece.data()));
        for (std::uint32_t k = 0; k < length; ++k) {
            const double expected = ReferenceOutput(padded, n, from + k);
            ASSERT_EQ(std::pair(whole[from + k], piece[k]), std::pair(expected, expected))
                << from + k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, PieceTest,
                         testing::Values(44100.0, 96000.0, 192000.0, 22050.0, 8000.0, 2000.0));

} // namespace

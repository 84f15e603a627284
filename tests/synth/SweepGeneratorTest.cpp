// The sweep and tone generator: stored words against the closed form and against the scalar
// recurrence; failures and refusals.
#include "synth/SweepGenerator.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/SynthTestFile.h"

namespace {

struct SignalCase {
    const char* name;
    double rate, length, levelFrom, levelTo, freqFrom, freqTo;
    std::int32_t startFrame = 0;
    bool mono = true;
};

int Generate(SynthTestFile& file, const SignalCase& c) {
    return GenerateSweep(&file, c.startFrame, c.length, c.rate, c.levelFrom, c.levelTo, c.freqFrom,
                         c.freqTo, c.mono);
}

// Sample n in closed form: A0 (A1/A0)^(n/N) sin(w0 sum_{k<n} r^(k/N)), r = freqTo / freqFrom.
double ClosedForm(const SignalCase& c, std::int32_t N, std::int32_t n) {
    const long double A0 = std::pow(10.0L, c.levelFrom / 20.0L), x = (long double)n / N;
    const long double w0 = 2.0L * 3.141592653589793238462643383279L * c.freqFrom / c.rate;
    const long double r = static_cast<long double>(c.freqTo) / c.freqFrom;
    const long double phase =
        c.freqTo == c.freqFrom ? w0 * n : w0 * (std::pow(r, x) - 1) / (std::pow(r, 1.0L / N) - 1);
    return double(A0 * std::pow(10.0L, (c.levelTo - c.levelFrom) * x / 20) * std::sin(phase));
}

class SignalTest : public testing::TestWithParam<SignalCase> {};

// Every stored word (16 or 24 bits) lies within one step of the word of the sample-by-sample
// recurrence with the C library's scalar sin, and almost all equal it (the block sines come
// from vector routines); within one step of the closed form too, up to a few seconds. A second
// channel gets the same signal; frames before the start are left alone.
TEST_P(SignalTest, StoredWordsMatchClosedFormAndScalarRecurrence) {
    const SignalCase& c = GetParam();
    for (const std::int16_t bits : {16, 24}) {
        SCOPED_TRACE(bits);
        SynthTestFile file(static_cast<float>(c.rate), c.mono ? 1 : 2, bits);
        ASSERT_EQ(Generate(file, c), 0);
        const auto N = static_cast<std::int32_t>(c.length * c.rate);
        ASSERT_EQ(file.GetNumSFrames(), c.startFrame + N);
        const auto word = [&](double x) { return SampleToWord(x, bits) >> (bits == 24 ? 8 : 0); };
        double phase = 0.0, increment = 2.0 * c.freqFrom * 3.141592653589793 / c.rate;
        double amplitude = std::pow(10.0, c.levelFrom / 20.0);
        const double frequencyRatio = std::pow(c.freqTo / c.freqFrom, 1.0 / N);
        const double amplitudeRatio =
            std::pow(std::pow(10.0, c.levelTo / 20.0) / amplitude, 1.0 / N);
        std::int32_t differing = 0;
        for (std::int32_t n = 0; n < N; ++n) {
            const std::int32_t stored = file.Sample(c.startFrame + n, 0);
            if (c.length < 10) { // over a minute the recurrence itself drifts from the closed form
                ASSERT_LE(std::abs(stored - word(ClosedForm(c, N, n))), 1) << "frame " << n;
            }
            const std::int32_t difference = stored - word(std::sin(phase) * amplitude);
            ASSERT_LE(std::abs(difference), 1) << "frame " << n;
            differing += difference != 0;
            phase += increment;
            increment *= frequencyRatio;
            amplitude *= amplitudeRatio;
            ASSERT_EQ(file.Sample(c.startFrame + n, c.mono ? 0 : 1), stored) << "frame " << n;
        }
        EXPECT_LE(differing, N / 100000);
        EXPECT_EQ(file.Sample(c.startFrame - 1, 0), 0); // before the start (or before the file)
    }
}

// The minute-long ones: 2.88 million frames, phases up to millions of radians.
const SignalCase kSignals[] = {
    {"Tone", 48000, 1.0, -10, -10, 1000, 1000},
    {"SweepUp", 48000, 1.0, -20, -20, 20, 20000},
    {"SweepDown", 44100, 1.0, -6, -6, 20000, 20},
    {"FullSweep", 96000, 0.5, 0, 0, 5, 48000},
    {"LevelRamp", 48000, 1.0, -40, 0, 1000, 1000},
    {"AfterAnnouncement", 44100, 0.75, -1, -30, 30, 15000, 1000, false},
    {"MinuteOfTone", 48000, 60.0, -1, -1, 997, 997},
    {"MinuteOfSweep", 48000, 60.0, -20, -20, 20, 20000},
};
INSTANTIATE_TEST_SUITE_P(Generator, SignalTest, testing::ValuesIn(kSignals),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    SignalCase signal;
    int failingFlush, failingMarker;
    Status sizeStatus, expected;
    int sizeUpdates;
    std::size_t flushes, markers;
};

class FailureTest : public testing::TestWithParam<FailureCase> {};

// Refusals come before anything is written; a failing write of channel 0 skips channel 1, the
// size update and the markers; the first failure is the result.
TEST_P(FailureTest, StopsAtTheFirstFailure) {
    const FailureCase& c = GetParam();
    SynthTestFile file(48000, c.signal.mono ? 1 : 2);
    if (c.failingFlush > 0) file.FailFlushAt(c.failingFlush, kErrDiskFull);
    file.sizeStatus = c.sizeStatus;
    file.failingMarker = c.failingMarker;
    EXPECT_EQ(Generate(file, c.signal), c.expected);
    EXPECT_EQ(file.Flushes().size(), c.flushes);
    EXPECT_EQ(file.sizeUpdates, c.sizeUpdates);
    EXPECT_EQ(file.Markers().size(), c.markers);
}

// 20 Hz to 20 kHz in 1 s: markers at the start, three decades, the end.
constexpr SignalCase kSweep{"Mono", 48000, 1, -20, -20, 20, 20000};
constexpr SignalCase kStereo{"Stereo", 48000, 1, -20, -20, 20, 20000, 0, false};
constexpr Status kBad = kErrBadSignalParameter;
const FailureCase kFailures[] = {
    {kStereo, 3, 0, kNoErr, kErrDiskFull, 0, 3, 0},   // left channel of the second block
    {kStereo, 4, 0, kNoErr, kErrDiskFull, 0, 4, 0},   // right channel
    {kSweep, 0, 0, kErrIO, kErrIO, 1, 10, 0},         // the size update
    {kSweep, 0, 3, kNoErr, kErrMemoryFull, 1, 10, 2}, // the third marker
    {{"ZeroRate", 0, 1, -20, -20, 1000, 1000}, 0, 0, kNoErr, kBad, 0, 0, 0},
    {{"NoWholeFrame", 48000, 1e-5, -20, -20, 1000, 1000}, 0, 0, kNoErr, kBad, 0, 0, 0},
    {{"TooManyFrames", 48000, 50000, -20, -20, 1000, 1000}, 0, 0, kNoErr, kBad, 0, 0, 0},
    {{"PastLastFrame", 48000, 1, -20, -20, 1000, 1000, 2147480000}, 0, 0, kNoErr, kBad, 0, 0, 0},
    {{"NegativeStart", 48000, 1, -20, -20, 1000, 1000, -1}, 0, 0, kNoErr, kBad, 0, 0, 0},
    {{"ZeroFrequency", 48000, 1, -20, -20, 0, 1000}, 0, 0, kNoErr, kBad, 0, 0, 0},
    {{"NaNLevel", 48000, 1, NAN, -20, 1000, 1000}, 0, 0, kNoErr, kBad, 0, 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Generator, FailureTest, testing::ValuesIn(kFailures));

} // namespace

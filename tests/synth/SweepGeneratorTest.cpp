#include "synth/SweepGenerator.h"

#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <limits>
#include <vector>

#include "support/SynthTestFile.h"
#include "shell/NotificationCenter.h"
#include "shell/SharedFlags.h"

namespace {

// Collects the progress values posted while it lives; sets the cancel flag at the n-th.
class ProgressLog {
  public:
    explicit ProgressLog(int stopAt = 0)
        : observer(kSweepGeneratorProgressNotification,
                   [this, stopAt](const std::string&, const std::any& object) {
                       values.push_back(std::any_cast<double>(object));
                       if (static_cast<int>(values.size()) == stopAt) shouldStop = 1;
                   }) {}
    std::vector<double> values;

  private:
    ScopedObserver observer;
};

struct ClearStop {
    ClearStop() { shouldStop = 0; }
    ~ClearStop() { shouldStop = 0; }
};

struct SignalCase {
    const char* name;
    double rate, length, levelFrom, levelTo, freqFrom, freqTo;
    std::int32_t startFrame;
    bool mono;
};

// Sample n in closed form: A0 (A1/A0)^(n/N) sin(w0 sum_{k<n} r^(k/N)), r = freqTo / freqFrom.
double ClosedForm(const SignalCase& c, std::int32_t N, std::int32_t n) {
    const long double A0 = std::pow(10.0L, c.levelFrom / 20.0L);
    const long double A1 = std::pow(10.0L, c.levelTo / 20.0L);
    const long double w0 = 2.0L * 3.141592653589793238462643383279L * c.freqFrom / c.rate;
    const long double r = static_cast<long double>(c.freqTo) / c.freqFrom;
    long double phase = w0 * n;
    if (c.freqTo != c.freqFrom)
        phase =
            w0 * (std::pow(r, static_cast<long double>(n) / N) - 1) / (std::pow(r, 1.0L / N) - 1);
    return static_cast<double>(A0 * std::pow(A1 / A0, static_cast<long double>(n) / N) *
                               std::sin(phase));
}

class SignalTest : public testing::TestWithParam<std::tuple<SignalCase, std::int16_t>> {};

// The stored words agree with the closed form within one step of the word (16 or 24 bits);
// a second channel gets the same signal; frames before the start are left alone.
TEST_P(SignalTest, StoredWordsMatchClosedForm) {
    const auto& [c, bits] = GetParam();
    ClearStop clear;
    SynthTestFile file(static_cast<float>(c.rate), c.mono ? 1 : 2, bits);
    ASSERT_EQ(GenerateSweep(&file, c.startFrame, c.length, c.rate, c.levelFrom, c.levelTo,
                            c.freqFrom, c.freqTo, c.mono),
              0);
    const auto N = static_cast<std::int32_t>(c.length * c.rate);
    ASSERT_EQ(file.GetNumSFrames(), c.startFrame + N);
    for (std::int32_t n = 0; n < N; ++n) {
        const std::int32_t word = SampleToWord(ClosedForm(c, N, n), bits);
        const std::int32_t stored = file.Sample(c.startFrame + n, 0);
        ASSERT_LE(std::abs(stored - (bits == 24 ? word >> 8 : word)), 1) << "frame " << n;
        if (!c.mono) {
            ASSERT_EQ(file.Sample(c.startFrame + n, 1), stored) << "frame " << n;
        }
    }
    if (c.startFrame > 0) {
        EXPECT_EQ(file.Sample(c.startFrame - 1, 0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generator, SignalTest,
    testing::Combine(
        testing::Values(SignalCase{"Tone", 48000, 1.0, -10, -10, 1000, 1000, 0, true},
                        SignalCase{"SweepUp", 48000, 1.0, -20, -20, 20, 20000, 0, true},
                        SignalCase{"SweepDown", 44100, 1.0, -6, -6, 20000, 20, 0, true},
                        SignalCase{"FullSweep", 96000, 0.5, 0, 0, 5, 48000, 0, true},
                        SignalCase{"LevelRamp", 48000, 1.0, -40, 0, 1000, 1000, 0, true},
                        SignalCase{"AfterAnnouncement", 44100, 0.75, -1, -30, 30, 15000, 1000,
                                   false}),
        testing::Values<std::int16_t>(16, 24)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + std::to_string(std::get<1>(info.param));
    });

// The block sines come from vector routines; over long signals every stored word stays within
// one step of the word that the sample-by-sample recurrence with the C library's scalar sin
// gives (and almost all are equal).
class VectorSineTest : public SignalTest {};

TEST_P(VectorSineTest, KeepTheScalarWords) {
    const auto& [c, bits] = GetParam();
    ClearStop clear;
    SynthTestFile file(static_cast<float>(c.rate), 1, bits);
    ASSERT_EQ(GenerateSweep(&file, 0, c.length, c.rate, c.levelFrom, c.levelTo, c.freqFrom,
                            c.freqTo, true),
              0);
    const auto N = static_cast<std::int32_t>(c.length * c.rate);
    double phase = 0.0, increment = 2.0 * c.freqFrom * 3.141592653589793 / c.rate;
    double amplitude = std::pow(10.0, c.levelFrom / 20.0);
    const double frequencyRatio = std::pow(c.freqTo / c.freqFrom, 1.0 / N);
    const double amplitudeRatio =
        std::pow(std::pow(10.0, c.levelTo / 20.0) / std::pow(10.0, c.levelFrom / 20.0), 1.0 / N);
    std::int32_t differing = 0;
    for (std::int32_t n = 0; n < N; ++n) {
        const std::int32_t word = SampleToWord(std::sin(phase) * amplitude, bits);
        const std::int32_t difference = file.Sample(n, 0) - (bits == 24 ? word >> 8 : word);
        ASSERT_LE(std::abs(difference), 1) << "frame " << n;
        differing += difference != 0;
        phase += increment;
        increment *= frequencyRatio;
        amplitude *= amplitudeRatio;
    }
    EXPECT_LT(differing, N / 100000);
}

// 2.88 million frames each: phases up to millions of radians.
INSTANTIATE_TEST_SUITE_P(
    Generator, VectorSineTest,
    testing::Combine(testing::Values(SignalCase{"Tone", 48000, 60.0, -1, -1, 997, 997, 0, true},
                                     SignalCase{"Sweep", 48000, 60.0, -20, -20, 20, 20000, 0,
                                                true}),
                     testing::Values<std::int16_t>(16, 24)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + std::to_string(std::get<1>(info.param));
    });

struct BlockCase {
    const char* name;
    double length, rate;
    int stopAt; // the progress report that sets the cancel flag; -1: set before the start
    std::int32_t frames;
    std::size_t blocks;
};

class BlockTest : public testing::TestWithParam<BlockCase> {};

// Blocks of 5000 frames, the last one shorter; progress after each, as frames written over
// the unrounded frame count (so a fractional count ends just below 1). A cancel ends the loop
// after the block in progress (the flag is only read); the file is still sized and labelled.
TEST_P(BlockTest, BlocksProgressAndCancel) {
    const BlockCase& c = GetParam();
    ClearStop clear;
    ProgressLog progress(c.stopAt);
    if (c.stopAt < 0) shouldStop = 1;
    SynthTestFile file(static_cast<float>(c.rate));
    ASSERT_EQ(GenerateSweep(&file, 0, c.length, c.rate, -20, -20, 1000, 1000, true), 0);
    const auto& flushes = file.Flushes();
    ASSERT_EQ(flushes.size(), c.blocks);
    ASSERT_EQ(progress.values.size(), c.blocks);
    for (std::size_t k = 0; k < c.blocks; ++k) {
        const std::int32_t end = std::min<std::int32_t>(5000 * std::int32_t(k + 1), c.frames);
        EXPECT_EQ(flushes[k].start, 5000 * std::int32_t(k));
        EXPECT_EQ(flushes[k].count, end - flushes[k].start);
        EXPECT_DOUBLE_EQ(progress.values[k], end / (c.length * c.rate));
    }
    EXPECT_EQ(file.GetNumSFrames(), c.frames);
    EXPECT_EQ(file.sizeUpdates, 1);
    const auto markers = file.Markers();
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[1].position, c.frames);
    EXPECT_EQ(shouldStop.load(), c.stopAt != 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Generator, BlockTest,
                         testing::Values(BlockCase{"WholeBlocks", 1.0, 48000, 0, 48000, 10},
                                         BlockCase{"FractionalCount", 1.00001, 44100, 0, 44100, 9},
                                         BlockCase{"OneShortBlock", 0.1, 48000, 0, 4800, 1},
                                         BlockCase{"CancelAtThird", 1.0, 48000, 3, 15000, 3},
                                         BlockCase{"CancelledBefore", 1.0, 48000, -1, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    bool mono;
    int failingFlush;
    Status sizeStatus;
    int failingMarker;
    Status expected;
    int writes, sizeUpdates;
    std::size_t markers;
};

class FailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(FailureTest, StopsAtTheFirstFailure) {
    const FailureCase& c = GetParam();
    ClearStop clear;
    SynthTestFile file(48000, c.mono ? 1 : 2);
    if (c.failingFlush > 0) file.FailFlushAt(c.failingFlush, kErrDiskFull);
    file.sizeStatus = c.sizeStatus;
    file.failingMarker = c.failingMarker;
    EXPECT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 20, 20000, c.mono), c.expected);
    EXPECT_EQ(file.writes, c.writes);
    EXPECT_EQ(file.sizeUpdates, c.sizeUpdates);
    EXPECT_EQ(file.Markers().size(), c.markers);
}

INSTANTIATE_TEST_SUITE_P(
    Generator, FailureTest,
    testing::Values(
        // A failing write of channel 0 skips channel 1, the size update and the markers.
        FailureCase{"WriteMono", true, 4, kNoErr, 0, kErrDiskFull, 4, 0, 0},
        FailureCase{"WriteLeft", false, 3, kNoErr, 0, kErrDiskFull, 3, 0, 0},
        FailureCase{"WriteRight", false, 4, kNoErr, 0, kErrDiskFull, 4, 0, 0},
        FailureCase{"SizeUpdate", true, 0, kErrIO, 0, kErrIO, 10, 1, 0},
        // 20 Hz to 20 kHz in 1 s: start, three decades, end; the third addition fails.
        FailureCase{"Marker", true, 0, kNoErr, 3, kErrMemoryFull, 10, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Generator, FileThatMakesNoProgressEndsTheLoop) {
    ClearStop clear;
    SynthTestFile file(48000);
    file.reportedCount = 0;
    EXPECT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 1000, 1000, true), kErrIO);
    EXPECT_EQ(file.writes, 1);
    EXPECT_TRUE(file.Markers().empty());
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct DegenerateCase {
    const char* name;
    std::int32_t startFrame;
    double length, rate, levelFrom, levelTo, freqFrom, freqTo;
};

class DegenerateTest : public testing::TestWithParam<DegenerateCase> {};

TEST_P(DegenerateTest, RefusedBeforeAnythingIsWritten) {
    const DegenerateCase& c = GetParam();
    ClearStop clear;
    ProgressLog progress;
    SynthTestFile file(48000);
    EXPECT_EQ(GenerateSweep(&file, c.startFrame, c.length, c.rate, c.levelFrom, c.levelTo,
                            c.freqFrom, c.freqTo, true),
              kErrBadSignalParameter);
    EXPECT_EQ(file.writes + file.sizeUpdates, 0);
    EXPECT_TRUE(file.Markers().empty());
    EXPECT_TRUE(progress.values.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Generator, DegenerateTest,
    testing::Values(DegenerateCase{"ZeroRate", 0, 1, 0, -20, -20, 1000, 1000},
                    DegenerateCase{"NaNRate", 0, 1, kNaN, -20, -20, 1000, 1000},
                    DegenerateCase{"NegativeLength", 0, -1, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"NoWholeFrame", 0, 1e-5, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"TooManyFrames", 0, 50000, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"EndsPastLastFrame", 2147480000, 1, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"NegativeStart", -1, 1, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"ZeroFrequency", 0, 1, 48000, -20, -20, 0, 1000},
                    DegenerateCase{"InfiniteFrequency", 0, 1, 48000, -20, -20, 1000, kInf},
                    DegenerateCase{"NaNLevel", 0, 1, 48000, kNaN, -20, 1000, 1000},
                    DegenerateCase{"SilentLevel", 0, 1, 48000, -20000, -20, 1000, 1000},
                    DegenerateCase{"HugeLevel", 0, 1, 48000, -20, 20000, 1000, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

#include "synth/SweepGenerator.h"

#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <limits>
#include <vector>

#include "support/MemorySoundFile.h"
#include "RecordingSoundFile.h"
#include "shell/NotificationCenter.h"
#include "shell/SharedFlags.h"

namespace {

// Collects the progress values posted while it lives; can set the cancel flag at the n-th.
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

class Generator : public testing::Test {
protected:
    void SetUp() override { shouldStop = 0; }
    void TearDown() override { shouldStop = 0; }
};

struct SignalCase {
    const char* name;
    double rate, length;
    double levelFrom, levelTo;
    double freqFrom, freqTo;
};

// Sample n of the signal written in closed form: A0 (A1/A0)^(n/N) sin(w0 sum_{k<n} r^(k/N)).
long double ClosedForm(const SignalCase& c, std::int32_t N, std::int32_t n) {
    const long double A0 = std::pow(10.0L, c.levelFrom / 20.0L);
    const long double A1 = std::pow(10.0L, c.levelTo / 20.0L);
    const long double w0 = 2.0L * 3.141592653589793238462643383279L * c.freqFrom / c.rate;
    const long double r = static_cast<long double>(c.freqTo) / c.freqFrom;
    long double phase = w0 * n;
    if (c.freqTo != c.freqFrom)
        phase = w0 * (std::pow(r, static_cast<long double>(n) / N) - 1.0L) /
                (std::pow(r, 1.0L / N) - 1.0L);
    return A0 * std::pow(A1 / A0, static_cast<long double>(n) / N) * std::sin(phase);
}

class SignalTest : public testing::TestWithParam<SignalCase> {
protected:
    void SetUp() override { shouldStop = 0; }
};

// Every sample agrees with the closed form to within one step of the file's word at 16 and
// 24 bits (24-bit words keep the top three bytes of the 32-bit code).
TEST_P(SignalTest, MatchesClosedFormWithinOneLSB) {
    const SignalCase& c = GetParam();
    RecordingSoundFile file(static_cast<float>(c.rate));
    ASSERT_EQ(GenerateSweep(&file, 0, c.length, c.rate, c.levelFrom, c.levelTo, c.freqFrom,
                            c.freqTo, true),
              0);
    const auto N = static_cast<std::int32_t>(c.length * c.rate);
    const std::vector<double>& samples = file.channels[0];
    ASSERT_EQ(samples.size(), std::size_t(N));
    EXPECT_EQ(samples[0], 0.0);
    for (std::int32_t n = 0; n < N; ++n) {
        const double expected = static_cast<double>(ClosedForm(c, N, n));
        ASSERT_LE(std::abs(SampleToWord(samples[n], 16) - SampleToWord(expected, 16)), 1)
            << "16 bits, frame " << n;
        ASSERT_LE(std::abs((SampleToWord(samples[n], 24) >> 8) - (SampleToWord(expected, 24) >> 8)),
                  1)
            << "24 bits, frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generator, SignalTest,
    testing::Values(SignalCase{"Tone", 48000, 1.0, -10, -10, 1000, 1000},
                    SignalCase{"SweepUp", 48000, 1.0, -20, -20, 20, 20000},
                    SignalCase{"SweepDown", 44100, 1.0, -6, -6, 20000, 20},
                    SignalCase{"FullSweep", 96000, 0.5, 0, 0, 5, 48000},
                    SignalCase{"LevelRamp", 48000, 1.0, -40, 0, 1000, 1000},
                    SignalCase{"SweepAndRamp", 44100, 1.00001, 0, -60, 100, 10000}),
    [](const testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

// Through the engine's own buffered write: the integers stored at 16 and 24 bits, a stereo
// file written one channel after the other, the markers as the file keeps them.
class StoredSignalTest : public testing::TestWithParam<std::int16_t> {
protected:
    void SetUp() override { shouldStop = 0; }
};

TEST_P(StoredSignalTest, StoredWordsMatchClosedForm) {
    const std::int16_t bits = GetParam();
    const SignalCase c{"", 44100, 0.75, -1, -30, 30, 15000};
    MemorySoundFile file;
    ASSERT_EQ(file.ISoundFile(nullptr), 0);
    ASSERT_EQ(file.Create(2, bits, 44100.0f, nullptr, 0, nullptr), 0);
    ASSERT_EQ(GenerateSweep(&file, 1000, c.length, c.rate, c.levelFrom, c.levelTo, c.freqFrom,
                            c.freqTo, false),
              0);
    const std::int32_t N = 33075;
    ASSERT_EQ(file.GetNumSFrames(), 1000 + N);
    for (std::int32_t n = 0; n < N; ++n) {
        const std::int32_t word = SampleToWord(static_cast<double>(ClosedForm(c, N, n)), bits);
        const std::int32_t expected = bits == 24 ? word >> 8 : word;
        ASSERT_LE(std::abs(file.Sample(1000 + n, 0) - expected), 1) << n;
        ASSERT_EQ(file.Sample(1000 + n, 1), file.Sample(1000 + n, 0)) << n;
    }
    EXPECT_EQ(file.Sample(999, 0), 0);
    ASSERT_GE(file.GetNumMarkers(), 3);
    SFTMarker last{};
    ASSERT_EQ(file.GetIndMarker(file.GetNumMarkers() - 1, &last), 0);
    EXPECT_EQ(last.position, 1000 + N);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(last.name + 1), last.name[0]),
              "15.000 kHz/-30.000 dB");
}

INSTANTIATE_TEST_SUITE_P(Generator, StoredSignalTest, testing::Values(16, 24));

TEST_F(Generator, ToneKeepsItsAmplitudeAndStep) {
    RecordingSoundFile file(48000);
    ASSERT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 750, 750, true), 0);
    const std::vector<double>& s = file.channels[0];
    // The last samples still follow sin(n w) at 0.1 exactly: no ratio has drifted.
    for (std::int32_t n = 47900; n < 48000; ++n)
        ASSERT_NEAR(s[n], 0.1 * std::sin(n * 2 * 3.141592653589793 * 750 / 48000), 1e-9) << n;
}

TEST_F(Generator, WritesWholeBlocksAndReportsProgress) {
    ProgressLog progress;
    RecordingSoundFile file(48000);
    ASSERT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 1000, 1000, true), 0);
    ASSERT_EQ(file.calls.size(), 10u);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(file.calls[k].channel, 0);
        EXPECT_EQ(file.calls[k].start, 5000 * k);
        EXPECT_EQ(file.calls[k].count, k < 9 ? 5000 : 3000);
    }
    ASSERT_EQ(progress.values.size(), 10u);
    for (int k = 0; k < 9; ++k) EXPECT_DOUBLE_EQ(progress.values[k], 5000.0 * (k + 1) / 48000);
    EXPECT_EQ(progress.values.back(), 1.0);
    EXPECT_EQ(file.sizeUpdates, 1);
    EXPECT_EQ(file.GetNumSFrames(), 48000);
    ASSERT_EQ(file.markers.size(), 2u);
}

TEST_F(Generator, FractionalFrameCountEndsProgressJustBelowOne) {
    ProgressLog progress;
    RecordingSoundFile file(44100);
    ASSERT_EQ(GenerateSweep(&file, 0, 1.00001, 44100, -20, -20, 1000, 1000, true), 0);
    EXPECT_EQ(file.GetNumSFrames(), 44100);
    ASSERT_EQ(progress.values.size(), 9u);
    EXPECT_DOUBLE_EQ(progress.values.back(), 44100 / (1.00001 * 44100));
    EXPECT_LT(progress.values.back(), 1.0);
}

TEST_F(Generator, SignalFollowsTheAnnouncement) {
    RecordingSoundFile file(48000);
    file.channels[0].assign(7000, 0.25); // the announcement already written
    ASSERT_EQ(GenerateSweep(&file, 7000, 0.5, 48000, -10, -10, 440, 440, true), 0);
    EXPECT_EQ(file.calls.front().start, 7000);
    const std::vector<double>& s = file.channels[0];
    ASSERT_EQ(s.size(), 7000u + 24000u);
    EXPECT_EQ(s[6999], 0.25);
    EXPECT_EQ(s[7000], 0.0);
    EXPECT_GT(s[7001], 0.0);
    ASSERT_EQ(file.markers.size(), 3u);
    EXPECT_EQ(file.markers[0].name, "Announcement");
    EXPECT_EQ(file.markers[1].position, 7000);
    EXPECT_EQ(file.markers[2].position, 31000);
}

TEST_F(Generator, TwoChannelsGetTheSameSignal) {
    RecordingSoundFile file(48000, 2);
    ASSERT_EQ(GenerateSweep(&file, 0, 0.25, 48000, -3, -3, 100, 200, false), 0);
    ASSERT_EQ(file.calls.size(), 6u);
    for (std::size_t k = 0; k < file.calls.size(); ++k) {
        EXPECT_EQ(file.calls[k].channel, k % 2);
        EXPECT_EQ(file.calls[k].start, 5000 * std::int32_t(k / 2));
    }
    EXPECT_EQ(file.channels[0], file.channels[1]);
}

TEST_F(Generator, CancelBeforeTheCallWritesNothingButStillLabels) {
    ProgressLog progress;
    RecordingSoundFile file(48000);
    shouldStop = 1;
    EXPECT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 1000, 1000, true), 0);
    EXPECT_TRUE(file.calls.empty());
    EXPECT_TRUE(progress.values.empty());
    EXPECT_EQ(file.sizeUpdates, 1);
    EXPECT_EQ(file.markers.size(), 2u);
    EXPECT_EQ(shouldStop.load(), 1) << "the flag is only read";
}

TEST_F(Generator, CancelDuringTheLoopFinishesTheBlock) {
    ProgressLog progress(3);
    RecordingSoundFile file(48000);
    EXPECT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 1000, 1000, true), 0);
    EXPECT_EQ(file.calls.size(), 3u);
    EXPECT_EQ(progress.values.size(), 3u);
    EXPECT_EQ(file.GetNumSFrames(), 15000);
    ASSERT_EQ(file.markers.size(), 2u);
    EXPECT_EQ(file.markers[1].position, 15000);
}

struct FailureCase {
    const char* name;
    bool mono;
    int failingWrite;
    Status sizeStatus;
    int failingMarker;
    Status expected;
    std::size_t writes, sizeUpdates, markers;
};

class FailureTest : public testing::TestWithParam<FailureCase> {
protected:
    void SetUp() override { shouldStop = 0; }
};

TEST_P(FailureTest, StopsAtTheFirstFailure) {
    const FailureCase& c = GetParam();
    RecordingSoundFile file(48000, c.mono ? 1 : 2);
    file.failingWrite = c.failingWrite;
    file.sizeStatus = c.sizeStatus;
    file.failingMarker = c.failingMarker;
    EXPECT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 20, 20000, c.mono), c.expected);
    EXPECT_EQ(file.calls.size(), c.writes);
    EXPECT_EQ(std::size_t(file.sizeUpdates), c.sizeUpdates);
    EXPECT_EQ(file.markers.size(), c.markers);
}

INSTANTIATE_TEST_SUITE_P(
    Generator, FailureTest,
    testing::Values(
        // A failing write of channel 0 skips channel 1, the size update and the markers.
        FailureCase{"WriteMono", true, 4, kNoErr, 0, kErrDiskFull, 4, 0, 0},
        FailureCase{"WriteLeft", false, 3, kNoErr, 0, kErrDiskFull, 3, 0, 0},
        FailureCase{"WriteRight", false, 4, kNoErr, 0, kErrDiskFull, 4, 0, 0},
        FailureCase{"SizeUpdate", true, 0, kErrIO, 0, kErrIO, 10, 1, 0},
        // 20 Hz to 20 kHz over 1 s: start, three decades, end; the third addition fails.
        FailureCase{"Marker", true, 0, kNoErr, 3, kErrMemoryFull, 10, 1, 2}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(Generator, FileThatMakesNoProgressEndsTheLoop) {
    RecordingSoundFile file(48000);
    file.reportedCount = 0;
    EXPECT_EQ(GenerateSweep(&file, 0, 1.0, 48000, -20, -20, 1000, 1000, true), kErrIO);
    EXPECT_EQ(file.calls.size(), 1u);
    EXPECT_TRUE(file.markers.empty());
}

struct DegenerateCase {
    const char* name;
    std::int32_t startFrame;
    double length, rate, levelFrom, levelTo, freqFrom, freqTo;
};

class DegenerateTest : public testing::TestWithParam<DegenerateCase> {
protected:
    void SetUp() override { shouldStop = 0; }
};

TEST_P(DegenerateTest, RefusedBeforeAnythingIsWritten) {
    const DegenerateCase& c = GetParam();
    ProgressLog progress;
    RecordingSoundFile file(48000);
    EXPECT_EQ(GenerateSweep(&file, c.startFrame, c.length, c.rate, c.levelFrom, c.levelTo,
                            c.freqFrom, c.freqTo, true),
              kErrBadSignalParameter);
    EXPECT_TRUE(file.calls.empty());
    EXPECT_EQ(file.sizeUpdates, 0);
    EXPECT_TRUE(file.markers.empty());
    EXPECT_TRUE(progress.values.empty());
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Generator, DegenerateTest,
    testing::Values(DegenerateCase{"ZeroRate", 0, 1, 0, -20, -20, 1000, 1000},
                    DegenerateCase{"NaNRate", 0, 1, kNaN, -20, -20, 1000, 1000},
                    DegenerateCase{"ZeroLength", 0, 0, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"NegativeLength", 0, -1, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"NoWholeFrame", 0, 1e-5, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"TooManyFrames", 0, 50000, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"EndsPastLastFrame", 2147480000, 1, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"NegativeStart", -1, 1, 48000, -20, -20, 1000, 1000},
                    DegenerateCase{"ZeroFrequency", 0, 1, 48000, -20, -20, 0, 1000},
                    DegenerateCase{"NegativeFrequency", 0, 1, 48000, -20, -20, 1000, -5},
                    DegenerateCase{"InfiniteFrequency", 0, 1, 48000, -20, -20, 1000, kInf},
                    DegenerateCase{"NaNLevel", 0, 1, 48000, kNaN, -20, 1000, 1000},
                    DegenerateCase{"SilentLevel", 0, 1, 48000, -20000, -20, 1000, 1000},
                    DegenerateCase{"HugeLevel", 0, 1, 48000, -20, 20000, 1000, 1000}),
    [](const testing::TestParamInfo<DegenerateCase>& info) { return std::string(info.param.name); });

TEST_F(Generator, NoFileIsRefused) {
    EXPECT_EQ(GenerateSweep(nullptr, 0, 1, 48000, -20, -20, 1000, 1000, true),
              kErrBadSignalParameter);
}

} // namespace

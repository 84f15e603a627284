// The line-up signals measured from their samples: where each tone starts and stops, its level
// and frequency, silence elsewhere; then lengths, markers, the repeating cycle, rendering in
// blocks and the arguments that give no signal.
#include "synth/LineupSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const LineupLayout kMono{1, -1, {0}, {"M"}};
const LineupLayout k51{6, 3, {0, 2, 1, 5, 4}, {"L", "R", "C", "LFE", "Ls", "Rs"}};
// L R C LFE Ls Rs Lb Rb, then the heights Ltf Rtf Ltb Rtb.
const LineupLayout k714{12,
                        3,
                        {0, 2, 1, 5, 7, 6, 4, 8, 9, 11, 10},
                        {"L", "R", "C", "LFE", "Ls", "Rs", "Lb", "Rb", "Ltf", "Rtf", "Ltb", "Rtb"}};

std::vector<double> Render(const LineupPlan& plan, std::int64_t from, std::int64_t count) {
    std::vector<double> x(static_cast<std::size_t>(count * plan.channels), -7.0);
    RenderLineup(plan, from, static_cast<std::int32_t>(count), x.data());
    return x;
}

// One channel's samples.
std::vector<double> Channel(const std::vector<double>& x, int channels, int channel) {
    std::vector<double> y;
    for (std::size_t i = static_cast<std::size_t>(channel); i < x.size(); i += channels)
        y.push_back(x[i]);
    return y;
}

// Stretches of sound: [first, one past the last) non-zero sample, split where at least `gap`
// samples in a row are exactly zero (never so inside a sine of these frequencies).
std::vector<std::pair<std::size_t, std::size_t>> SoundingRuns(const std::vector<double>& y,
                                                              std::size_t gap) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::size_t zeros = gap;
    for (std::size_t n = 0; n < y.size(); ++n) {
        if (y[n] == 0.0) {
            ++zeros;
            continue;
        }
        if (zeros >= gap) runs.push_back({n, n + 1});
        runs.back().second = n + 1;
        zeros = 0;
    }
    return runs;
}

double LevelDb(const std::vector<double>& y, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t n = from; n < to; ++n)
        sum += y[n] * y[n];
    return 20.0 * std::log10(std::sqrt(2.0 * sum / static_cast<double>(to - from)));
}

// The smallest peak over windows of a period or more: a break or fade inside a tone shows.
double LowestPeakDb(const std::vector<double>& y, std::size_t from, std::size_t to,
                    std::size_t window) {
    double lowest = 1e9;
    for (std::size_t n = from; n + window <= to; n += window) {
        double peak = 0;
        for (std::size_t i = n; i < n + window; ++i)
            peak = std::max(peak, std::abs(y[i]));
        lowest = std::min(lowest, peak);
    }
    return 20.0 * std::log10(lowest);
}

// Whole periods between the first and last rising zero crossing, placed by interpolation.
double FrequencyHz(const std::vector<double>& y, std::size_t from, std::size_t to, double rate) {
    double first = -1, last = -1;
    int periods = -1;
    for (std::size_t n = from + 1; n < to; ++n) {
        if (y[n - 1] < 0.0 && y[n] >= 0.0) {
            last = static_cast<double>(n - 1) + y[n - 1] / (y[n - 1] - y[n]);
            if (first < 0) first = last;
            ++periods;
        }
    }
    return periods > 0 ? periods * rate / (last - first) : 0.0;
}

struct Tone {
    int channel;
    double from, to, hz, dB;
};

// A burst [first, end) fades in and out over 2 ms by a raised cosine and starts at phase 0.
void ExpectFades(const std::vector<double>& y, std::size_t first, std::size_t end, const Tone& tone,
                 double rate) {
    const auto ramp = static_cast<double>(std::llround(0.002 * rate));
    const double amplitude = std::pow(10.0, tone.dB / 20);
    for (double k : {ramp / 4, ramp / 2, ramp - 1}) {
        const double gain = 0.5 * (1 - std::cos(std::numbers::pi * std::round(k) / ramp));
        const auto in = static_cast<std::size_t>(std::round(k)), out = end - 1 - in;
        const auto sine = [&](std::size_t j) {
            return amplitude *
                   std::sin(2 * std::numbers::pi * tone.hz * static_cast<double>(j) / rate);
        };
        EXPECT_NEAR(y[first + in], gain * sine(in), 1e-9) << "fade-in " << k;
        EXPECT_NEAR(y[out], gain * sine(out - first), 1e-9) << "fade-out " << k;
    }
}

struct SignalCase {
    const char* name;
    LineupSignal signal;
    const LineupLayout* layout;
    double fps, seconds;
    int channels;
    std::vector<Tone> tones;
};

// Channel, start and end (s), frequency (Hz), level (dBFS) of every tone.
// clang-format off
const SignalCase kSignalCases[] = {
    {"Blits", LineupSignal::blits, &k51, 25, 13.4, 6,
     {{0, 0.0, 0.6, 880, -18}, {1, 0.8, 1.4, 880, -18}, {2, 1.6, 2.2, 1320, -18},
      {3, 2.4, 3.0, 82.5, -18}, {4, 3.2, 3.8, 660, -18}, {5, 4.0, 4.6, 660, -18},
      {0, 4.8, 5.8, 1000, -18}, {0, 6.1, 6.4, 1000, -18}, {0, 6.7, 7.0, 1000, -18},
      {0, 7.3, 7.6, 1000, -18}, {0, 7.9, 9.9, 1000, -18}, {1, 4.8, 9.9, 1000, -18},
      {0, 10.2, 13.2, 2000, -24}, {1, 10.2, 13.2, 2000, -24}, {2, 10.2, 13.2, 2000, -24},
      {3, 10.2, 13.2, 2000, -24}, {4, 10.2, 13.2, 2000, -24}, {5, 10.2, 13.2, 2000, -24}}},
    {"Glits", LineupSignal::glits, &k51, 25, 8, 2,
     {{0, 0.25, 4.0, 1000, -18}, {0, 4.25, 8.0, 1000, -18}, {1, 0.0, 0.5, 1000, -18},
      {1, 0.75, 1.0, 1000, -18}, {1, 1.25, 4.5, 1000, -18}, {1, 4.75, 5.0, 1000, -18},
      {1, 5.25, 8.0, 1000, -18}}},
    {"EbuStereo", LineupSignal::ebuStereo, &k51, 25, 6, 2,
     {{0, 0.25, 3.0, 1000, -18}, {0, 3.25, 6.0, 1000, -18}, {1, 0.0, 6.0, 1000, -18}}},
    {"FilmIdent51", LineupSignal::filmIdent, &k51, 25, 8.5, 6,
     {{0, 0, 3, 1000, -18}, {0, 3.5, 4.0, 1000, -18}, {2, 0, 3, 1000, -18}, {2, 4.5, 5.0, 1000, -18},
      {1, 0, 3, 1000, -18}, {1, 5.5, 6.0, 1000, -18}, {5, 0, 3, 1000, -18}, {5, 6.5, 7.0, 1000, -18},
      {4, 0, 3, 1000, -18}, {4, 7.5, 8.0, 1000, -18}, {3, 0, 8.5, 80, -18}}},
    {"FilmIdent714", LineupSignal::filmIdent, &k714, 25, 14.5, 12,
     {{0, 0, 3, 1000, -18}, {0, 3.5, 4.0, 1000, -18}, {2, 0, 3, 1000, -18}, {2, 4.5, 5.0, 1000, -18},
      {1, 0, 3, 1000, -18}, {1, 5.5, 6.0, 1000, -18}, {5, 0, 3, 1000, -18}, {5, 6.5, 7.0, 1000, -18},
      {7, 0, 3, 1000, -18}, {7, 7.5, 8.0, 1000, -18}, {6, 0, 3, 1000, -18}, {6, 8.5, 9.0, 1000, -18},
      {4, 0, 3, 1000, -18}, {4, 9.5, 10.0, 1000, -18}, {8, 0, 3, 1000, -18},
      {8, 10.5, 11.0, 1000, -18}, {9, 0, 3, 1000, -18}, {9, 11.5, 12.0, 1000, -18},
      {11, 0, 3, 1000, -18}, {11, 12.5, 13.0, 1000, -18}, {10, 0, 3, 1000, -18},
      {10, 13.5, 14.0, 1000, -18}, {3, 0, 14.5, 80, -18}}},
    {"Pop25", LineupSignal::pop, &k51, 25, 9, 1, {{0, 0, 0.04, 1000, -20}}},
    {"Pop2997", LineupSignal::pop, &k51, 29.97, 9, 1, {{0, 0, 1001.0 / 30000, 1000, -20}}},
    {"R68", LineupSignal::r68, &k51, 25, 1, 6,
     {{0, 0, 1, 1000, -18}, {1, 0, 1, 1000, -18}, {2, 0, 1, 1000, -18},
      {3, 0, 1, 1000, -18}, {4, 0, 1, 1000, -18}, {5, 0, 1, 1000, -18}}},
    {"Rp155", LineupSignal::rp155, &kMono, 25, 1, 1, {{0, 0, 1, 1000, -20}}},
};
// clang-format on

class LineupSignalTest : public testing::TestWithParam<std::tuple<SignalCase, double>> {};

TEST_P(LineupSignalTest, TonesStartStopAndSoundAsDefined) {
    const auto& [test, rate] = GetParam();
    const LineupPlan plan = PlanLineup(test.signal, rate, test.seconds, *test.layout, test.fps, 99);
    ASSERT_EQ(plan.channels, test.channels);
    const auto x = Render(plan, 0, plan.frames);
    const auto edge = static_cast<std::size_t>(0.005 * rate);
    for (int channel = 0; channel < plan.channels; ++channel) {
        std::vector<Tone> expected;
        for (const Tone& tone : test.tones)
            if (tone.channel == channel) expected.push_back(tone);
        const auto y = Channel(x, plan.channels, channel);
        const auto runs = SoundingRuns(y, static_cast<std::size_t>(0.001 * rate));
        ASSERT_EQ(runs.size(), expected.size()) << "channel " << channel;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const auto [start, end] = runs[i];
            const Tone& tone = expected[i];
            SCOPED_TRACE("channel " + std::to_string(channel) + " from " +
                         std::to_string(tone.from));
            // The first and last frame of a burst are zeros (phase 0, fade at 0): the run lies one
            // frame inside the frames on which its start and end times fall.
            EXPECT_EQ(static_cast<std::int64_t>(start) - 1, std::llround(tone.from * rate));
            EXPECT_EQ(static_cast<std::int64_t>(end) + 1, std::llround(tone.to * rate));
            ExpectFades(y, start - 1, end + 1, tone, rate);
            EXPECT_NEAR(LevelDb(y, start + edge, end - edge), tone.dB, 0.05);
            const auto period = static_cast<std::size_t>(rate / tone.hz) + 2;
            EXPECT_NEAR(LowestPeakDb(y, start + edge, end - edge, period), tone.dB, 0.2);
            EXPECT_NEAR(FrequencyHz(y, start + edge, end - edge, rate) / tone.hz, 1.0, 0.005);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lineup, LineupSignalTest,
                         testing::Combine(testing::ValuesIn(kSignalCases),
                                          testing::Values(48000.0, 44100.0)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "At" +
                                    std::to_string(static_cast<int>(std::get<1>(info.param)));
                         });

TEST(LineupLength, RoundedUpToWholeCycles) {
    const std::tuple<LineupSignal, const LineupLayout*, double, double> cases[] = {
        {LineupSignal::blits, &k51, 20, 26.8},    {LineupSignal::glits, &k51, 5, 8},
        {LineupSignal::glits, &k51, 8, 8},        {LineupSignal::ebuStereo, &k51, 0.1, 3},
        {LineupSignal::filmIdent, &k51, 10, 17},  {LineupSignal::filmIdent, &k714, 0, 14.5},
        {LineupSignal::r68, &k51, 1.0004, 1.001}, {LineupSignal::rp155, &kMono, -5, 0.001},
        {LineupSignal::pop, &k51, 100, 2},        {LineupSignal::pop, &k51, 0.5, 2},
    };
    for (const auto& [signal, layout, seconds, expected] : cases) {
        for (double rate : {48000.0, 44100.0}) {
            const LineupPlan plan = PlanLineup(signal, rate, seconds, *layout, 25, 10);
            EXPECT_EQ(plan.frames, std::llround(expected * rate))
                << LineupSignalName(signal) << " " << seconds << " s at " << rate;
        }
    }
}

struct MarkerCase {
    const char* name;
    LineupSignal signal;
    const LineupLayout* layout;
    double seconds;
    int maxMarkers;
    std::vector<std::pair<std::int64_t, std::string>> expected; // at 48000 Hz
};

// clang-format off
const MarkerCase kMarkerCases[] = {
    {"R68", LineupSignal::r68, &k51, 5, 10, {{0, "EBU R68 alignment tone"}}},
    {"Rp155", LineupSignal::rp155, &k51, 5, 10, {{0, "SMPTE RP155 reference tone"}}},
    {"Pop", LineupSignal::pop, &k51, 5, 10, {{0, "Sync pop"}}},
    {"EbuStereo", LineupSignal::ebuStereo, &k51, 6, 10,
     {{0, "EBU stereo ident"}, {144000, "EBU stereo ident"}}},
    {"Glits", LineupSignal::glits, &k51, 8, 10, {{0, "GLITS"}, {192000, "GLITS"}}},
    {"Blits", LineupSignal::blits, &k51, 26.8, 6,
     {{0, "BLITS channel ident"}, {230400, "BLITS stereo ident"}, {489600, "BLITS phase check"},
      {643200, "BLITS channel ident"}, {873600, "BLITS stereo ident"},
      {1132800, "BLITS phase check"}}},
    {"FilmIdent", LineupSignal::filmIdent, &k51, 8.5, 6,
     {{0, "Film ident"}, {168000, "Film ident L"}, {216000, "Film ident C"},
      {264000, "Film ident R"}, {312000, "Film ident Rs"}, {360000, "Film ident Ls"}}},
    // Too many for the limit: the cycle starts only, and of those the first ones.
    {"BlitsCycleStarts", LineupSignal::blits, &k51, 40.2, 8,
     {{0, "BLITS channel ident"}, {643200, "BLITS channel ident"},
      {1286400, "BLITS channel ident"}}},
    {"BlitsFirstCycleStarts", LineupSignal::blits, &k51, 40.2, 2,
     {{0, "BLITS channel ident"}, {643200, "BLITS channel ident"}}},
    {"FilmIdentCycleStarts", LineupSignal::filmIdent, &k51, 17, 11,
     {{0, "Film ident"}, {408000, "Film ident"}}},
    {"GlitsFirstCycleStarts", LineupSignal::glits, &k51, 12, 2, {{0, "GLITS"}, {192000, "GLITS"}}},
    {"None", LineupSignal::ebuStereo, &k51, 6, 0, {}},
};
// clang-format on

class LineupMarkerTest : public testing::TestWithParam<MarkerCase> {};

TEST_P(LineupMarkerTest, FramesAndNames) {
    const MarkerCase& test = GetParam();
    const LineupPlan plan =
        PlanLineup(test.signal, 48000, test.seconds, *test.layout, 25, test.maxMarkers);
    ASSERT_EQ(plan.markers.size(), test.expected.size());
    for (std::size_t i = 0; i < plan.markers.size(); ++i) {
        EXPECT_EQ(plan.markers[i].frame, test.expected[i].first) << i;
        EXPECT_EQ(plan.markers[i].name, test.expected[i].second) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Lineup, LineupMarkerTest, testing::ValuesIn(kMarkerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The frames of every inner cycle equal those of the first inner one, so a writer may code one
// and repeat it.
TEST(LineupCycle, InnerCyclesRepeatFrameForFrame) {
    const std::pair<LineupSignal, const LineupLayout*> signals[] = {
        {LineupSignal::ebuStereo, &k51},
        {LineupSignal::glits, &k51},
        {LineupSignal::blits, &k51},
        {LineupSignal::filmIdent, &k51},
        {LineupSignal::filmIdent, &k714}};
    for (const auto& [signal, layout] : signals) {
        for (double rate : {48000.0, 44100.0}) {
            SCOPED_TRACE(std::string(LineupSignalName(signal)) + " at " + std::to_string(rate));
            const double cycle = LineupCycleSeconds(signal, *layout);
            const LineupPlan plan = PlanLineup(signal, rate, 4 * cycle, *layout, 25, 10);
            const std::int64_t frames = plan.cycleFrames;
            ASSERT_EQ(frames, std::llround(cycle * rate));
            const auto first = Render(plan, frames, frames),
                       second = Render(plan, 2 * frames, frames);
            double worst = 0;
            for (std::size_t i = 0; i < first.size(); ++i)
                worst = std::max(worst, std::abs(first[i] - second[i]));
            EXPECT_LT(worst, 1e-9);
        }
    }
}

TEST(LineupCycle, NoneWhereCyclesCannotBeReused) {
    EXPECT_EQ(PlanLineup(LineupSignal::r68, 48000, 10, k51, 25, 10).cycleFrames, 0);
    EXPECT_EQ(PlanLineup(LineupSignal::rp155, 48000, 10, k51, 25, 10).cycleFrames, 0);
    EXPECT_EQ(PlanLineup(LineupSignal::pop, 48000, 10, k51, 25, 10).cycleFrames, 0);
    // 8.5 s is not a whole number of frames at 11025 Hz.
    EXPECT_EQ(PlanLineup(LineupSignal::filmIdent, 11025, 30, k51, 25, 10).cycleFrames, 0);
}

// Ten minutes in odd-sized blocks: every block joins the next, the long tone keeps its exact
// phase, and frames outside the file are silent.
TEST(LineupRender, BlocksFollowTheSineOverLongFiles) {
    const double rate = 48000;
    const LineupPlan plan = PlanLineup(LineupSignal::ebuStereo, rate, 600, k51, 25, 10);
    constexpr std::int64_t kBlock = 65521;
    double worst = 0;
    for (std::int64_t from = -kBlock / 2; from < plan.frames + kBlock; from += kBlock) {
        const auto x = Render(plan, from, kBlock);
        for (std::int64_t i = 0; i < kBlock; i += 7) {
            const std::int64_t n = from + i;
            const bool inside = n >= 96 && n < plan.frames - 96; // right's ramps excluded
            const long double phase = 2.0L * std::numbers::pi_v<long double> * 1000.0L * n / 48000;
            const double want =
                inside ? std::pow(10.0, -18.0 / 20) * static_cast<double>(std::sin(phase)) : 0;
            if (n < 0 || n >= plan.frames || inside)
                worst = std::max(worst, std::abs(x[static_cast<std::size_t>(2 * i + 1)] - want));
        }
    }
    EXPECT_LT(worst, 1e-9);
}

TEST(LineupPlan, ArgumentsThatGiveNoSignalGiveAnEmptyPlan) {
    const LineupLayout lfeOutside{6, 6, {0, 1}, {}}, repeated{6, 3, {0, 1, 0}, {}},
        lfeAsMain{6, 3, {0, 3}, {}}, noChannels{0, -1, {}, {}}, mainOutside{2, -1, {0, 2}, {}};
    const std::tuple<const char*, LineupSignal, double, double, const LineupLayout*, double>
        cases[] = {
            {"rate NaN", LineupSignal::glits, NAN, 10, &k51, 25},
            {"rate 0", LineupSignal::blits, 0, 10, &k51, 25},
            {"length infinite", LineupSignal::ebuStereo, 48000, INFINITY, &k51, 25},
            {"length beyond the limit", LineupSignal::glits, 48000, 1e9, &k51, 25},
            {"pop at 0 fps", LineupSignal::pop, 48000, 2, &k51, 0},
            {"LFE outside", LineupSignal::filmIdent, 48000, 10, &lfeOutside, 25},
            {"main repeated", LineupSignal::filmIdent, 48000, 10, &repeated, 25},
            {"LFE as main", LineupSignal::filmIdent, 48000, 10, &lfeAsMain, 25},
            {"main outside", LineupSignal::filmIdent, 48000, 10, &mainOutside, 25},
            {"no channels", LineupSignal::r68, 48000, 10, &noChannels, 25},
        };
    for (const auto& [name, signal, rate, seconds, layout, fps] : cases) {
        const LineupPlan plan = PlanLineup(signal, rate, seconds, *layout, fps, 10);
        EXPECT_EQ(plan.channels, 0) << name;
        EXPECT_EQ(plan.frames, 0) << name;
        EXPECT_TRUE(plan.bursts.empty() && plan.markers.empty()) << name;
    }
}

TEST(LineupNames, EverySignalIsFoundByItsName) {
    for (int i = 0; i < kLineupSignalCount; ++i) {
        const auto signal = static_cast<LineupSignal>(i);
        EXPECT_EQ(LineupSignalNamed(LineupSignalName(signal)), signal);
        EXPECT_STRNE(LineupSignalTitle(signal), "");
    }
    EXPECT_EQ(LineupSignalNamed("film-ident"), LineupSignal::filmIdent);
    EXPECT_EQ(LineupSignalNamed("Film ident"), std::nullopt);
    EXPECT_EQ(LineupSignalNamed(""), std::nullopt);
}

} // namespace

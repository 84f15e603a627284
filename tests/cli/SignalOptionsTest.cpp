// What the commands write for their options, read back with libsndfile: the sine or sweep
// sample by sample, the noise's colour, the dither, the turns of a level check's speakers and
// the channels of an interleaved phase check.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <numeric>
#include <sstream>

#include "support/QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/Spectrum.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

// Runs quillgen in `dir`; the samples of the file it wrote, full scale +-1.
std::vector<double> Written(const TempDir& dir, const std::string& args, SF_INFO* info = nullptr) {
    SF_INFO local{};
    const Outcome run = RunQuillgen(dir.Path(), args);
    EXPECT_EQ(run.exit, 0) << run.err;
    std::vector<double> samples;
    for (int v :
         SndfileSamples(dir.File(run.out.substr(0, run.out.size() - 1)), info ? info : &local))
        samples.push_back(v / 2147483648.0);
    return samples;
}

struct SignalCase {
    std::string args;
    int rate, format;                                     // libsndfile's
    double seconds, freqFrom, levelFrom, freqTo, levelTo; // after the announcement, if any
};

class SignalOptions : public testing::TestWithParam<SignalCase> {};

// From phase 0 the frequency moves exponentially and the level linearly in dB, to the end;
// unless it is turned off, a spoken announcement (a sentence long) comes first.
TEST_P(SignalOptions, ReachTheSignal) {
    const SignalCase& c = GetParam();
    TempDir dir;
    SF_INFO info{};
    const std::vector<double> x = Written(dir, c.args, &info);
    const auto frames = std::int64_t(c.seconds * c.rate), start = info.frames - frames;
    EXPECT_EQ(info.samplerate, c.rate);
    EXPECT_EQ(info.format, c.format);
    ASSERT_GE(start, 0);
    EXPECT_EQ(start > c.rate, c.args.find("--no-announce") == std::string::npos) << start;
    const double freqRatio = std::pow(c.freqTo / c.freqFrom, 1.0 / double(frames));
    const double levelRatio = std::pow(10.0, (c.levelTo - c.levelFrom) / 20.0 / double(frames));
    const double quantum = (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ? 0x1p-23 : 0x1p-15;
    double amplitude = std::pow(10.0, c.levelFrom / 20.0), phase = 0.0;
    double increment = 2.0 * M_PI * c.freqFrom / c.rate;
    for (std::int64_t n = 0; n < frames; ++n) {
        if (n < 2000 || n % 997 == 0 || n == frames - 1) {
            ASSERT_NEAR(x[start + n], amplitude * std::sin(phase), 2 * quantum + 1e-6) << n;
        }
        phase += increment, increment *= freqRatio, amplitude *= levelRatio;
    }
}

const int kAIFF16 = SF_FORMAT_AIFF | SF_FORMAT_PCM_16, kWAV24 = SF_FORMAT_WAV | SF_FORMAT_PCM_24;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, SignalOptions, testing::Values(
    SignalCase{"tone --quiet --length 1", 44100, kAIFF16, 1, 1000, -10, 1000, -10},
    SignalCase{"sweep --format bwf --bits 24 --rate 96000 --from 10000 --to 100 --from-level -6 --to-level -30 --length 3 --no-announce", 96000, kWAV24, 3, 10000, -6, 100, -30}),
    [](const auto& info) { return CaseName(info.param.args); });
// clang-format on

// Pink noise holds the same power in every octave, white noise the same power per Hz: the
// octave 4-8 kHz against 1-2 kHz is 0 dB and 6 dB.
TEST(Noise, ColorShapesTheSpectrum) {
    for (auto [args, expected] :
         {std::pair{"noise --length 20", 0.0}, {"noise --color white --length 20", 6.02}}) {
        TempDir dir;
        const auto spectrum = AveragedSpectrum(Written(dir, args), 1 << 14);
        const double ratio =
            BandPower(spectrum, 48000.0, 4000, 8000) / BandPower(spectrum, 48000.0, 1000, 2000);
        EXPECT_NEAR(10.0 * std::log10(ratio), expected, 0.5) << args;
    }
}

// A -100 dB tone is below half a 16-bit step: plainly rounded it is silence; with triangular
// dither the step's noise is there, 0.5 LSB RMS with the tone in it (0.55).
TEST(Dither, TriangularDitherLeavesNoiseWhereRoundingLeavesSilence) {
    for (const std::string dither : {"", " --dither tpdf"}) {
        TempDir dir;
        const auto x = Written(dir, "tone --level -100 --length 1 --no-announce" + dither);
        const double power = std::inner_product(x.begin(), x.end(), x.begin(), 0.0) / x.size();
        EXPECT_NEAR(std::sqrt(power) * 0x1p15, dither.empty() ? 0.0 : 0.55, 0.05) << dither;
    }
}

// The samples of each speaker's file `stem` + "." + speaker + `extension`.
std::vector<std::vector<int>> SetFiles(const TempDir& dir, const std::string& stem,
                                       const std::vector<std::string>& speakers,
                                       const char* extension) {
    std::vector<std::vector<int>> files;
    for (const auto& speaker : speakers) {
        SF_INFO info{};
        files.push_back(SndfileSamples(dir.File(stem + "." + speaker + extension), &info));
        EXPECT_EQ(files.back().size(), files[0].size()) << speaker;
    }
    return files;
}

// One file per speaker, all of one length (with the set's announcements in all of them); each
// sounds alone in its turn, 1.5 s of noise at -24 dB RMS, the turns in the layout's order.
TEST(LevelCheck, EachSpeakerAloneInTurnAtTheLevel) {
    TempDir dir;
    const Outcome run = RunQuillgen(dir.Path(), "level-check --layout quad --no-announce-speakers "
                                                "--length 1.5 --rate 8000 --level -24 -o set");
    ASSERT_EQ(run.exit, 0) << run.err;
    const auto files = SetFiles(dir, "set/8k_16b_LevelChk.Quad", {"L", "R", "Rs", "Ls"}, ".aif");
    std::vector<double> power(4), frames(4), first(4, -1.0);
    for (std::size_t i = 0, sounding = 0, f = 0; i < files[0].size(); ++i, sounding = 0) {
        for (std::size_t k = 0; k < 4; ++k)
            if (files[k][i] != 0) ++sounding, f = k;
        if (sounding != 1) continue;
        power[f] += std::pow(files[f][i] / 2147483648.0, 2), ++frames[f];
        first[f] = first[f] < 0 ? double(i) : first[f];
    }
    for (std::size_t f = 0; f < 4; ++f) {
        EXPECT_NEAR(frames[f], 12000.0, 60.0) << f;
        EXPECT_NEAR(10.0 * std::log10(power[f] / frames[f]), -24.0, 0.1) << f;
        EXPECT_GE(first[f], f > 0 ? first[f - 1] + 12000 : 0.0) << f;
    }
}

struct InterleavedCase {
    const char* layout;
    const char* tag;      // in the file names
    const char* channels; // the speakers in the interleaved file's channel order
    const char* mask;     // as quillgen info shows it; empty: no mask
};

class InterleavedSet : public testing::TestWithParam<InterleavedCase> {};

// Broadcast WAVE places the speakers in the order of the channel mask's bits where every speaker
// has a position (7.1 Surround: the rear pair before the side pair), else in the layout's order
// with a mask of 0; libsndfile reads the same positions from the mask.
TEST_P(InterleavedSet, HoldsTheMonoSetChannelByChannel) {
    const InterleavedCase& c = GetParam();
    TempDir dir;
    const std::string args = std::string("phase-check --rate 8000 --repeats 1 --no-announce-"
                                         "speakers --format bwf --layout ") +
                             c.layout + " -o ";
    ASSERT_EQ(RunQuillgen(dir.Path(), args + "set").exit, 0);
    ASSERT_EQ(RunQuillgen(dir.Path(), args + "one --interleaved").exit, 0);
    const std::string one = std::string("one/8k_16b_PhaseChk.") + c.tag + ".wav";
    SF_INFO info{};
    const std::vector<int> samples = SndfileSamples(dir.File(one), &info);
    std::istringstream words(c.channels);
    const std::vector<std::string> channels{std::istream_iterator<std::string>(words), {}};
    const auto mono = SetFiles(dir, std::string("set/8k_16b_PhaseChk.") + c.tag, channels, ".wav");
    ASSERT_EQ(info.channels, int(mono.size()));
    std::vector<int> expected;
    for (std::size_t f = 0; f < mono[0].size(); ++f)
        for (const auto& channel : mono)
            expected.push_back(channel[f]);
    EXPECT_TRUE(samples == expected); // not printed: 100000s of samples
    const Outcome shown = RunQuillgen(dir.Path(), "info " + one);
    EXPECT_NE(shown.out.find(std::string("channel mask ") + c.mask), std::string::npos)
        << shown.out;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, InterleavedSet, testing::Values(
    InterleavedCase{"5.1", "5.1", "L R C LFE Ls Rs", "0x3F (FL FR FC LFE BL BR)"},
    InterleavedCase{"7.1-surround", "7.1-Surround", "L R C LFE Lrs Rrs Lss Rss",
                    "0x63F (FL FR FC LFE BL BR SL SR)"},
    InterleavedCase{"5.1.4", "5.1.4", "L R C LFE Ls Rs Ltf Rtf Ltr Rtr",
                    "0x2D03F (FL FR FC LFE BL BR TFL TFR TBL TBR)"},
    InterleavedCase{"7.1.4", "7.1.4", "L R C LFE Lrs Rrs Lss Rss Ltf Rtf Ltr Rtr",
                    "0x2D63F (FL FR FC LFE BL BR SL SR TFL TFR TBL TBR)"},
    InterleavedCase{"9.1.6", "9.1.6", "L R C LFE Lss Rss Lrs Rrs Lw Rw Ltf Rtf Ltm Rtm Ltr Rtr",
                    "0x0 (no positions)"}),
    [](const auto& info) { return "layout" + std::to_string(info.index); });
// clang-format on

} // namespace

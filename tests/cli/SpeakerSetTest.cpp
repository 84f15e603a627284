// The sets of a speaker layout: in a level check each speaker's noise plays alone, in turn, at
// the level asked for; an interleaved phase check holds the files of the mono set, one channel
// each, in the order its format gives the speakers.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "support/QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

struct SetCase {
    std::string args;     // the layout and format
    std::string file;     // the set's files: file + "." + speaker + extension
    std::string speakers; // in the layout's order; for an interleaved file, its channels' order
    int mask;             // the interleaved file's channel mask; -1: none
};

// The samples of each speaker's file of the set in the folder `set` of `dir`.
std::vector<std::vector<int>> SetFiles(const TempDir& dir, const SetCase& c, const char* ext) {
    std::vector<std::vector<int>> files;
    for (const auto& speaker : Words(c.speakers)) {
        SF_INFO info{};
        files.push_back(SndfileSamples(dir.File("set/" + c.file + "." + speaker + ext), &info));
        EXPECT_EQ(files.back().size(), files[0].size()) << speaker;
    }
    return files;
}

class LevelCheck : public testing::TestWithParam<SetCase> {};

// One file per speaker, all of one length; each file sounds alone only in its own turn (its
// spoken name, then 1.5 s of noise at -24 dB RMS), and the turns follow the layout's order.
TEST_P(LevelCheck, EachSpeakerAloneInTurnAtTheLevel) {
    const SetCase& c = GetParam();
    const bool announce = c.args.find("--announce-speakers") != std::string::npos;
    TempDir dir;
    const Outcome run = RunQuillgen(
        dir.Path(), Words("level-check --length 1.5 --rate 8000 --level -24 -o set " + c.args));
    ASSERT_EQ(run.exit, 0) << run.err;
    const std::vector<std::vector<int>> files = SetFiles(dir, c, ".aif");
    const std::size_t frames = files[0].size();
    // Each file's own part: from the first to the last 10 ms in which it alone sounds.
    std::vector<std::size_t> first(files.size(), frames), end(files.size(), 0);
    for (std::size_t start = 0; start + 80 <= frames; start += 80) {
        std::vector<std::size_t> sounding;
        for (std::size_t f = 0; f < files.size(); ++f)
            if (std::any_of(&files[f][start], &files[f][start + 80], [](int v) { return v; }))
                sounding.push_back(f);
        if (sounding.size() != 1) continue;
        const std::size_t f = sounding[0];
        first[f] = std::min(first[f], start);
        for (std::size_t i = start; i < start + 80; ++i)
            end[f] = files[f][i] != 0 ? i + 1 : end[f];
    }
    for (std::size_t f = 0; f < files.size(); ++f) {
        ASSERT_GE(end[f], first[f] + 12000 - 80) << f;
        EXPECT_GE(first[f], f > 0 ? end[f - 1] : 0) << f << " sounds before the one before";
        EXPECT_EQ(end[f] - first[f] > 12000 + 80, announce) << f;
        double sum = 0.0;
        for (std::size_t i = end[f] - 12000; i < end[f]; ++i)
            sum += std::pow(files[f][i] / 2147483648.0, 2);
        EXPECT_NEAR(10.0 * std::log10(sum / 12000.0), -24.0, 0.1) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, LevelCheck,
                         testing::Values(SetCase{"--layout stereo --announce-speakers",
                                                 "8k_16b_LevelChk.Stereo", "L R", -1},
                                         SetCase{"--layout quad --no-announce-speakers",
                                                 "8k_16b_LevelChk.Quad", "L R Rs Ls", -1}),
                         [](const auto& info) { return CaseName(info.param.args); });

class InterleavedSet : public testing::TestWithParam<SetCase> {};

// Broadcast WAVE places the speakers in the order of the channel mask's bits, AIFF (and
// Broadcast WAVE for layouts the mask cannot describe) in the layout's order.
TEST_P(InterleavedSet, HoldsTheMonoSetChannelByChannel) {
    const SetCase& c = GetParam();
    TempDir dir;
    const std::string args = "phase-check --rate 8000 --silence 0.01 --repeats 1 " + c.args;
    ASSERT_EQ(RunQuillgen(dir.Path(), Words(args + " -o set")).exit, 0);
    ASSERT_EQ(RunQuillgen(dir.Path(), Words(args + " -o one --interleaved")).exit, 0);
    const char* extension = c.args.find("bwf") != std::string::npos ? ".wav" : ".aif";
    const std::string path = dir.File("one/" + c.file + extension);
    SF_INFO info{};
    const std::vector<int> samples = SndfileSamples(path, &info);
    const std::vector<std::vector<int>> mono = SetFiles(dir, c, extension);
    ASSERT_EQ(std::size_t(info.channels), mono.size());
    for (std::size_t channel = 0; channel < mono.size(); ++channel) {
        ASSERT_EQ(mono[channel].size(), std::size_t(info.frames));
        for (std::size_t f = 0; f < mono[channel].size(); ++f)
            ASSERT_EQ(samples[f * mono.size() + channel], mono[channel][f]) << channel << " " << f;
    }
    const auto shown = nlohmann::json::parse(RunQuillgen(dir.Path(), {"info", "--json", path}).out);
    EXPECT_EQ(shown.value(nlohmann::json::json_pointer("/channelMask/value"), -1), c.mask);
}

INSTANTIATE_TEST_SUITE_P(Layouts, InterleavedSet,
                         testing::Values(SetCase{"--layout 5.1 --format bwf", "8k_16b_PhaseChk.5.1",
                                                 "L R C LFE Ls Rs", 0x3F},
                                         SetCase{"--layout 10.2 --format bwf",
                                                 "8k_16b_PhaseChk.10.2",
                                                 "Lh Lw L C R Rw Rh Rs Cs Ls LSB RSB", 0},
                                         SetCase{"--layout quad --format aiff",
                                                 "8k_16b_PhaseChk.Quad", "L R Rs Ls", -1}),
                         [](const auto& info) { return CaseName(info.param.args); });

} // namespace

// The sets of a speaker layout from the command line: in a level check each speaker's noise
// plays alone, in turn, at the level asked for; an interleaved phase check holds the files of
// the mono set, one channel each, in the order its format gives the speakers.
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

struct LevelCheckCase {
    const char* layout;
    std::string stem;
    std::vector<std::string> speakers;
    bool announce;
};

class LevelCheck : public testing::TestWithParam<LevelCheckCase> {};

// One file per speaker, all of one length; each file sounds only in its own turn (its spoken
// name, then 1.5 s of noise at -24 dB RMS), and the turns follow the layout's order.
TEST_P(LevelCheck, EachSpeakerAloneInTurnAtTheLevel) {
    const LevelCheckCase& c = GetParam();
    TempDir dir;
    const Outcome run =
        RunQuillgen(dir.Path(), {"level-check", "--layout", c.layout, "--length", "1.5", "--rate",
                                 "8000", "--level", "-24", "--quiet", "-o", "set",
                                 c.announce ? "--announce-speakers" : "--no-announce-speakers"});
    ASSERT_EQ(run.exit, 0) << run.err;
    std::vector<std::vector<int>> files;
    for (const auto& speaker : c.speakers) {
        SF_INFO info{};
        files.push_back(SndfileSamples(dir.File("set/" + c.stem + speaker + ".aif"), &info));
        ASSERT_EQ(files.back().size(), files[0].size()) << speaker;
    }
    // Each file's own part: from the first to the last 10 ms in which it alone sounds.
    std::vector<std::size_t> first(files.size(), files[0].size()), end(files.size(), 0);
    for (std::size_t start = 0; start + 80 <= files[0].size(); start += 80) {
        std::vector<std::size_t> sounding;
        for (std::size_t f = 0; f < files.size(); ++f)
            if (std::any_of(&files[f][start], &files[f][start + 80], [](int v) { return v; }))
                sounding.push_back(f);
        if (sounding.size() != 1) continue;
        const std::size_t f = sounding[0];
        first[f] = std::min(first[f], start);
        for (std::size_t i = start; i < start + 80; ++i)
            if (files[f][i] != 0) end[f] = i + 1;
    }
    for (std::size_t f = 0; f < files.size(); ++f) {
        const std::string& speaker = c.speakers[f];
        ASSERT_GE(end[f], first[f] + 12000 - 80) << speaker;
        EXPECT_GE(first[f], f > 0 ? end[f - 1] : 0) << speaker << " before the one before";
        EXPECT_EQ(end[f] - first[f] > 12000 + 80, c.announce) << speaker;
        double sum = 0.0;
        for (std::size_t i = end[f] - 12000; i < end[f]; ++i)
            sum += std::pow(files[f][i] / 2147483648.0, 2);
        EXPECT_NEAR(10.0 * std::log10(sum / 12000.0), -24.0, 0.1) << speaker;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LevelCheck,
    testing::Values(LevelCheckCase{"stereo", "8k_16b_LevelChk.Stereo.", {"L", "R"}, true},
                    LevelCheckCase{
                        "quad", "8k_16b_LevelChk.Quad.", {"L", "R", "Rs", "Ls"}, false}));

struct InterleavedCase {
    const char* layout;
    const char* format;
    std::string stem;
    std::vector<std::string> channels; // the speakers in the file's channel order
    int mask;                          // -1: none
};

void PrintTo(const InterleavedCase& c, std::ostream* out) {
    *out << c.layout << " " << c.format;
}

class InterleavedSet : public testing::TestWithParam<InterleavedCase> {};

// Broadcast WAVE places the speakers in the order of the channel mask's bits, AIFF (and
// Broadcast WAVE for layouts the mask cannot describe) in the layout's order.
TEST_P(InterleavedSet, HoldsTheMonoSetChannelByChannel) {
    const InterleavedCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> args = {
        "phase-check", "--layout", c.layout,    "--format", c.format,  "--rate", "8000",
        "--silence",   "0.01",     "--repeats", "1",        "--quiet", "-o",     "mono"};
    ASSERT_EQ(RunQuillgen(dir.Path(), args).exit, 0);
    args.back() = "one";
    args.push_back("--interleaved");
    ASSERT_EQ(RunQuillgen(dir.Path(), args).exit, 0);
    const std::string extension = c.format == std::string("bwf") ? ".wav" : ".aif";
    const std::string path = dir.File("one/" + c.stem + extension);
    SF_INFO info{};
    const std::vector<int> samples = SndfileSamples(path, &info);
    ASSERT_EQ(info.channels, int(c.channels.size()));
    for (std::size_t channel = 0; channel < c.channels.size(); ++channel) {
        SF_INFO monoInfo{};
        const std::vector<int> mono = SndfileSamples(
            dir.File("mono/" + c.stem + "." + c.channels[channel] + extension), &monoInfo);
        ASSERT_EQ(monoInfo.frames, info.frames) << c.channels[channel];
        for (std::size_t f = 0; f < mono.size(); ++f)
            ASSERT_EQ(samples[f * c.channels.size() + channel], mono[f])
                << c.channels[channel] << " frame " << f;
    }
    const auto shown = nlohmann::json::parse(RunQuillgen(dir.Path(), {"info", "--json", path}).out);
    EXPECT_EQ(shown.value(nlohmann::json::json_pointer("/channelMask/value"), -1), c.mask);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, InterleavedSet,
    testing::Values(
        InterleavedCase{
            "5.1", "bwf", "8k_16b_PhaseChk.5.1", {"L", "R", "C", "LFE", "Ls", "Rs"}, 0x3F},
        InterleavedCase{"10.2",
                        "bwf",
                        "8k_16b_PhaseChk.10.2",
                        {"Lh", "Lw", "L", "C", "R", "Rw", "Rh", "Rs", "Cs", "Ls", "LSB", "RSB"},
                        0},
        InterleavedCase{"quad", "aiff", "8k_16b_PhaseChk.Quad", {"L", "R", "Rs", "Ls"}, -1}));

} // namespace

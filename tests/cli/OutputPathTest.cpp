// Where a job writes: -o and --format for a single file, the folder of a phase or level check
// set, and the failures that leave the folder as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace quillgen_test;

namespace {

// Folders "sub", "dir.wav" and "mine" (the user's, with a file), and an earlier "old.aif".
void PutEarlierThings(const TempDir& dir) {
    for (const char* folder : {"sub", "dir.wav", "mine"})
        fs::create_directory(dir.File(folder));
    std::ofstream(dir.File("old.aif")) << "the earlier file";
    std::ofstream(dir.File("mine/notes.txt")) << "the user's";
}

struct PathCase {
    std::string args;
    std::string printed;              // empty: the job fails
    std::vector<std::string> written; // new files; for a failure, what the message says
};

class OutputPath : public testing::TestWithParam<PathCase> {};

// The path printed is what was written, each file in the format its extension names, and
// nothing else changes; a job that fails (exit status 1) says why and changes nothing.
TEST_P(OutputPath, WritesWhereTheCommandLineSays) {
    const PathCase& c = GetParam();
    TempDir dir;
    PutEarlierThings(dir);
    std::map<std::string, std::string> expected = Files(dir.Path());
    std::vector<std::string> args = Words(c.args);
    const bool set = args[0] == "phase-check" || args[0] == "level-check";
    args.insert(args.end(), {"--quiet", set ? "--no-announce-speakers" : "--no-announce"});
    const Outcome run = RunQuillgen(dir.Path(), args);
    std::map<std::string, std::string> files = Files(dir.Path());
    if (c.printed.empty()) {
        EXPECT_EQ(run.exit, 1);
        EXPECT_EQ(run.out, "");
        for (const auto& text : c.written)
            EXPECT_THAT(run.err, testing::HasSubstr(text));
        EXPECT_EQ(Entries(dir.Path()), Words("dir.wav mine old.aif sub"));
    } else {
        ASSERT_EQ(run.exit, 0) << run.err;
        EXPECT_EQ(run.out, c.printed + "\n");
        for (const auto& name : c.written) {
            const std::string extension = fs::path(name).extension();
            EXPECT_EQ(files[name].substr(0, 4),
                      extension == ".wav" || extension == ".WAV" ? "RIFF" : "FORM")
                << name;
            expected[name] = files[name];
        }
    }
    EXPECT_EQ(files, expected);
}

const std::string kTone = "VivuZira 1000 Hz, -10.00 dB, 0 sec.aif";
const char* kAlert = "Could not save sound file: An error occurred while trying to generate";

INSTANTIATE_TEST_SUITE_P(
    SingleFiles, OutputPath,
    testing::Values(
        PathCase{"tone --length 0.1", kTone, {kTone}},
        PathCase{"tone --length 0.1 -o x", "x.aif", {"x.aif"}},
        PathCase{"tone --length 0.1 -o take.wav", "take.wav", {"take.wav"}},
        PathCase{"sweep --length 0.1 -o TAKE.WAV", "TAKE.WAV", {"TAKE.WAV"}},
        PathCase{"noise --length 0.1 -o take.aiff", "take.aiff", {"take.aiff"}},
        PathCase{"full-sweep --length 0.1 -o x.txt --format bwf", "x.txt.wav", {"x.txt.wav"}},
        PathCase{"tone --length 0.1 -o sub/x.wav --format bwf", "sub/x.wav", {"sub/x.wav"}},
        PathCase{"tone --length 0.1 -o sub/", "sub/" + kTone, {"sub/" + kTone}},
        PathCase{"tone --length 0.1 -o dir.wav", "dir.wav/" + kTone, {"dir.wav/" + kTone}},
        PathCase{"tone --length 0.1 -o old", "old.aif", {"old.aif"}},
        PathCase{"tone -o missing/x", "", {kAlert, "'missing': No such file or directory"}},
        PathCase{"sweep -o old.aif/x", "", {kAlert, "'old.aif': Not a directory"}}),
    [](const auto& info) { return CaseName(info.param.args); });

// `stem` + speaker + `extension` for each of `speakers`.
std::vector<std::string> Paths(const std::string& stem, const std::string& speakers,
                               const char* extension) {
    std::vector<std::string> paths;
    for (const auto& speaker : Words(speakers))
        paths.push_back(stem + speaker + extension);
    return paths;
}

INSTANTIATE_TEST_SUITE_P(
    Sets, OutputPath,
    testing::Values(
        PathCase{"phase-check --repeats 0 --silence 0", "Phase Check for 5.1",
                 Paths("Phase Check for 5.1/48k_16b_PhaseChk.5.1.", "L C R Rs Ls LFE", ".aif")},
        PathCase{
            "phase-check --layout stereo --rate 8000 --repeats 0 --format bwf --bits 24 -o sets/",
            "sets", Paths("sets/8k_24b_PhaseChk.Stereo.", "L R", ".wav")},
        PathCase{"phase-check --layout stereo --rate 8000 --repeats 0 --interleaved -o sub",
                 "sub",
                 {"sub/8k_16b_PhaseChk.Stereo.aif"}},
        PathCase{"level-check --layout STEREO --rate 8000 --length 0.1", "Level Check for Stereo",
                 Paths("Level Check for Stereo/8k_16b_LevelChk.Stereo.", "L R", ".aif")},
        PathCase{"phase-check -o mine", "", {"Could not save sound files", "'mine'"}},
        PathCase{"level-check -o old.aif", "", {"Could not save sound files", "'old.aif'"}}),
    [](const auto& info) { return CaseName(info.param.args); });

} // namespace

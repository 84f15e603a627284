// What a job leaves behind: the files -o and --format name, a phase or level check set in its
// folder; and when it fails (exit status 1: a missing folder, a file-size limit the output just
// exceeds) or is stopped (128 + the signal), the folder as it found it, without a temporary file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <string.h>
#include <sys/inotify.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

struct PathCase {
    std::string args;
    std::string printed;              // empty: the job fails
    std::vector<std::string> written; // new files; for a failure, what the message says
};

class OutputPath : public testing::TestWithParam<PathCase> {};

// The path printed is what was written, each file in the format its extension names, and
// nothing else changes.
TEST_P(OutputPath, WritesWhereTheCommandLineSays) {
    const PathCase& c = GetParam();
    TempDir dir;
    for (const char* folder : {"sub", "dir.wav", "mine"})
        fs::create_directory(dir.File(folder));
    std::ofstream(dir.File("old.aif")) << "the earlier file";
    std::ofstream(dir.File("mine/notes.txt")) << "the user's";
    std::map<std::string, std::string> expected = Files(dir.Path());
    const bool set = c.args.find("-check") != std::string::npos;
    const Outcome run = RunQuillgen(
        dir.Path(), c.args + (set ? " --quiet --no-announce-speakers" : " --quiet --no-announce"));
    std::map<std::string, std::string> files = Files(dir.Path());
    EXPECT_EQ(run.exit, c.printed.empty() ? 1 : 0) << run.err;
    EXPECT_EQ(run.out, c.printed.empty() ? "" : c.printed + "\n");
    for (const auto& name : c.written) {
        if (c.printed.empty()) {
            EXPECT_THAT(run.err, HasSubstr(name));
            continue;
        }
        const std::string extension = fs::path(name).extension();
        EXPECT_EQ(files[name].substr(0, 4),
                  extension == ".wav" || extension == ".WAV" ? "RIFF" : "FORM")
            << name;
        for (fs::path p = name; !p.empty(); p = p.parent_path())
            expected[p] = files[p];
    }
    EXPECT_EQ(files, expected);
}

const std::string kTone = "VivuZira 1000 Hz, -10.00 dB, 0 sec.aif";
const char* kAlert = "Could not save sound file: An error occurred while trying to generate";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Jobs, OutputPath, testing::Values(
    PathCase{"tone --length 0.1 -o x", "x.aif", {"x.aif"}},
    PathCase{"tone --length 0.1 -o take.wav", "take.wav", {"take.wav"}},
    PathCase{"sweep --length 0.1 -o TAKE.WAV", "TAKE.WAV", {"TAKE.WAV"}},
    PathCase{"noise --length 0.1 -o take.aiff", "take.aiff", {"take.aiff"}},
    PathCase{"full-sweep --length 0.1 -o x.txt --format bwf", "x.txt.wav", {"x.txt.wav"}},
    PathCase{"tone --length 0.1 -o sub/", "sub/" + kTone, {"sub/" + kTone}},
    PathCase{"tone --length 0.1 -o dir.wav", "dir.wav/" + kTone, {"dir.wav/" + kTone}},
    PathCase{"tone --length 0.1 -o old", "old.aif", {"old.aif"}},
    PathCase{"tone -o missing/x", "", {kAlert, "'missing': No such file or directory"}},
    PathCase{"sweep -o old.aif/x", "", {kAlert, "'old.aif': Not a directory"}},
    PathCase{"phase-check --layout stereo --rate 8000 --repeats 0", "Phase Check for Stereo", {"Phase Check for Stereo/8k_16b_PhaseChk.Stereo.L.aif", "Phase Check for Stereo/8k_16b_PhaseChk.Stereo.R.aif"}},
    PathCase{"level-check --layout STEREO --rate 8000 --length 0.1 --format bwf --bits 24 -o sets/", "sets", {"sets/8k_24b_LevelChk.Stereo.L.wav", "sets/8k_24b_LevelChk.Stereo.R.wav"}},
    PathCase{"phase-check --layout stereo --rate 8000 --repeats 0 --interleaved -o sub", "sub", {"sub/8k_16b_PhaseChk.Stereo.aif"}},
    PathCase{"phase-check -o mine", "", {"Could not save sound files", "'mine'"}}),
    [](const auto& info) { return CaseName(info.param.args); });
// clang-format on

struct JobCase {
    std::string args;    // writes "t" and an extension, or the folder "t"
    std::string earlier; // what stands there before: a file, or a file in the folder
};

class FileSizeLimit : public testing::TestWithParam<JobCase> {};

// The finished output is a few bytes larger than a file may grow: the job fails when the last
// bytes (sample data, the trailing chunks) cannot be written, says why, and leaves the earlier
// output exactly as it was.
TEST_P(FileSizeLimit, JustTooSmallFailsAndKeepsTheEarlierOutput) {
    const JobCase& job = GetParam();
    TempDir dir;
    ASSERT_EQ(RunQuillgen(dir.Path(), job.args).exit, 0);
    std::size_t size = 0;
    for (const auto& [name, content] : Files(dir.Path()))
        size = std::max(size, content.size());
    fs::remove_all(dir.Path()); // made anew, with only the earlier output in it
    fs::create_directories(fs::path(dir.File(job.earlier)).parent_path());
    std::ofstream(dir.File(job.earlier)) << "the earlier file";
    const std::map<std::string, std::string> earlier = Files(dir.Path());
    for (std::size_t shortBy : {1, 2, 9, 57, 200}) {
        const Outcome run = RunQuillgen(dir.Path(), job.args, size - shortBy);
        EXPECT_EQ(run.exit, 1) << shortBy << " bytes short: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, HasSubstr("File too large")) << shortBy;
        EXPECT_EQ(Files(dir.Path()), earlier) << shortBy;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Jobs, FileSizeLimit, testing::Values(
    JobCase{"tone --length 0.2 --rate 8000 -o t", "t.aif"},
    JobCase{"sweep --format bwf --length 0.3 --rate 8000 --to 2000 --no-announce -o t", "t.wav"},
    JobCase{"phase-check --layout stereo --rate 8000 --repeats 0 -o t", "t/8k_16b_PhaseChk.Stereo.L.aif"}),
    [](const auto& info) { return CaseName(info.param.args); });
// clang-format on

class StopSignal : public testing::TestWithParam<int> {};

// SIGINT, SIGTERM and SIGHUP stop a job alike once it writes (its first file is its temporary
// file, "quilfile..."): what it had begun goes, the earlier file stays.
TEST_P(StopSignal, RemovesTheUnfinishedFileAndKeepsTheEarlierOne) {
    TempDir dir;
    std::ofstream(dir.File("long.aif")) << "the earlier file";
    const int inotify = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(inotify, dir.Path().c_str(), IN_CREATE), 0);
    // 48 million frames: the signal comes long before they are written.
    Quillgen job(dir.Path(),
                 "sweep --rate 8000 --from 20 --to 4000 --length 6000 --no-announce -o long");
    pollfd ready{inotify, POLLIN, 0};
    alignas(inotify_event) char event[4096];
    const bool created = poll(&ready, 1, 20000) == 1 && read(inotify, event, sizeof event) > 0;
    close(inotify);
    kill(job.pid, GetParam());
    const Outcome run = job.Wait();
    ASSERT_TRUE(created);
    EXPECT_EQ(std::string(reinterpret_cast<inotify_event*>(event)->name).rfind("quilfile", 0), 0u);
    EXPECT_EQ(run.exit, 128 + GetParam()) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Files(dir.Path()),
              (std::map<std::string, std::string>{{"long.aif", "the earlier file"}}));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

} // namespace

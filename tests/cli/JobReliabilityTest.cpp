// Jobs under adverse conditions: a file-size limit that the finished output just exceeds, and
// stop signals. A job either succeeds with complete output or fails (exit status 1; 128 + the
// signal when stopped) and leaves the folder as it found it, without a temporary file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <string.h>
#include <sys/inotify.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

struct JobCase {
    const char* name;
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
    ASSERT_EQ(RunQuillgen(dir.Path(), Words(job.args)).exit, 0);
    std::uintmax_t size = 0;
    for (const auto& [name, content] : Files(dir.Path()))
        size = std::max<std::uintmax_t>(size, content.size());
    fs::remove_all(dir.Path()); // made anew, with only the earlier output in it
    fs::create_directories(fs::path(dir.File(job.earlier)).parent_path());
    std::ofstream(dir.File(job.earlier)) << "the earlier file";
    for (std::uintmax_t shortBy : {1, 2, 9, 57, 200}) {
        const Outcome run = RunQuillgen(dir.Path(), Words(job.args), size - shortBy);
        EXPECT_EQ(run.exit, 1) << shortBy << " bytes short: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, HasSubstr("File too large")) << shortBy;
        EXPECT_THAT(run.err, HasSubstr(job.earlier.find('/') == std::string::npos
                                           ? "Could not save sound file:"
                                           : "Could not save sound files:"));
        EXPECT_EQ(Files(dir.Path()),
                  (std::map<std::string, std::string>{{job.earlier, "the earlier file"}}))
            << shortBy;
        EXPECT_EQ(Entries(dir.Path()).size(), 1u) << shortBy;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, FileSizeLimit,
    testing::Values(
        JobCase{"announced AIFF tone", "tone --length 0.2 --rate 8000 -o t", "t.aif"},
        JobCase{
            "Broadcast WAVE sweep",
            "sweep --format bwf --length 0.3 --rate 8000 --from 100 --to 2000 --no-announce -o t",
            "t.wav"},
        JobCase{"phase check",
                "phase-check --layout stereo --rate 8000 --silence 0 --repeats 0 "
                "--no-announce-speakers -o t",
                "t/8k_16b_PhaseChk.Stereo.L.aif"}),
    [](const auto& info) { return CaseName(info.param.name); });

// Whether a name starting with "quilfile" (a job's temporary file) is made, within 20 s, in the
// folder `inotify` watches.
bool TemporaryFileMade(int inotify) {
    alignas(inotify_event) char buffer[4096];
    pollfd ready{inotify, POLLIN, 0};
    while (poll(&ready, 1, 20000) == 1) {
        const ssize_t size = read(inotify, buffer, sizeof buffer);
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && std::string(event->name).rfind("quilfile", 0) == 0) return true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

class StopSignal : public testing::TestWithParam<int> {};

// SIGINT, SIGTERM and SIGHUP stop a job alike once it writes: what it had begun goes, the
// earlier file stays, and the exit status is 128 + the signal.
TEST_P(StopSignal, RemovesTheUnfinishedFileAndKeepsTheEarlierOne) {
    TempDir dir;
    std::ofstream(dir.File("long.aif")) << "the earlier file";
    const int inotify = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(inotify, dir.Path().c_str(), IN_CREATE), 0);
    // 48 million frames: the signal comes long before they are written.
    Quillgen job(
        dir.Path(),
        Words("sweep --rate 8000 --from 20 --to 4000 --length 6000 --no-announce -o long"));
    const bool started = TemporaryFileMade(inotify);
    close(inotify);
    kill(job.pid, GetParam());
    const Outcome run = job.Wait();
    ASSERT_TRUE(started);
    EXPECT_EQ(run.exit, 128 + GetParam()) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Files(dir.Path()),
              (std::map<std::string, std::string>{{"long.aif", "the earlier file"}}));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

} // namespace

// quillgen jobs under adverse conditions: a file-size limit that the finished output just
// exceeds, stop signals, and many runs at once in one folder. Whatever happens, a job either
// succeeds with complete output or fails and leaves the folder as it found it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QuillgenProcess.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

class Scratch {
  public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "quillgen-jobs-XXXXXX").string();
        root = mkdtemp(pattern.data());
        fs::create_directory(Work());
    }
    ~Scratch() { fs::remove_all(root); }
    fs::path Work() const { return root / "work"; }

    struct Run {
        int exit;
        std::string out, err;
    };
    pid_t Start(const std::vector<std::string>& args, rlim_t sizeLimit = 0,
                const std::string& name = {}) {
        return StartQuillgen(Work(), root, args, sizeLimit, name);
    }
    Run Wait(pid_t pid, const std::string& name = {}) {
        Run run{};
        run.exit = WaitQuillgen(pid, root, run.out, run.err, name);
        return run;
    }
    Run Quillgen(const std::vector<std::string>& args, rlim_t sizeLimit = 0) {
        return Wait(Start(args, sizeLimit));
    }
    // Names in the work folder that a job uses while it writes.
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> found;
        for (const auto& name : Entries(Work()))
            if (name.rfind("quilfile", 0) == 0) found.push_back(name);
        return found;
    }

    fs::path root;
};

sf_count_t Frames(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return -1;
    sf_close(file);
    return info.frames;
}

// Every regular file below `path` (or `path` itself) with its content.
std::vector<std::pair<std::string, std::string>> Contents(const fs::path& path) {
    std::vector<std::pair<std::string, std::string>> found;
    if (fs::is_regular_file(path)) return {{path.filename(), ReadText(path)}};
    for (const auto& name : Entries(path))
        found.emplace_back(name, ReadText(path / name));
    return found;
}

struct JobCase {
    const char* name;
    std::vector<std::string> args; // writes "t" + extension
    std::string target;
    std::string earlierFile; // what stands at the target before the run, inside it for a set
};

void PrintTo(const JobCase& c, std::ostream* out) {
    *out << c.name;
}

const JobCase kJobs[] = {
    {"announced AIFF tone", {"tone", "--length", "0.2", "--rate", "8000", "-o", "t"}, "t.aif", ""},
    {"Broadcast WAVE sweep",
     {"sweep", "--format", "bwf", "--length", "0.3", "--rate", "8000", "--from", "100", "--to",
      "2000", "--no-announce", "-o", "t"},
     "t.wav",
     ""},
    {"phase check",
     {"phase-check", "--layout", "stereo", "--rate", "8000", "--silence", "0", "--repeats", "0",
      "--no-announce-speakers", "-o", "t"},
     "t",
     "8k_16b_PhaseChk.Stereo.L.aif"},
};

void PutEarlierOutput(const Scratch& scratch, const JobCase& job) {
    if (job.earlierFile.empty()) {
        std::ofstream(scratch.Work() / job.target) << "the earlier file";
        return;
    }
    fs::create_directory(scratch.Work() / job.target);
    std::ofstream(scratch.Work() / job.target / job.earlierFile) << "the earlier file";
}

std::uintmax_t LargestFile(const fs::path& path) {
    if (fs::is_regular_file(path)) return fs::file_size(path);
    std::uintmax_t largest = 0;
    for (const auto& entry : fs::directory_iterator(path))
        largest = std::max(largest, entry.file_size());
    return largest;
}

// The finished output is a few bytes larger than a file may grow: the job fails when the last
// bytes (sample data, the trailing chunks) cannot be written, reports why, and leaves the
// earlier output exactly as it was.
class FileSizeLimit : public testing::TestWithParam<JobCase> {};
TEST_P(FileSizeLimit, JustTooSmallFailsAndKeepsTheEarlierOutput) {
    const JobCase& job = GetParam();
    Scratch scratch;
    Scratch::Run clean = scratch.Quillgen(job.args);
    ASSERT_EQ(clean.exit, 0) << clean.err;
    const std::uintmax_t size = LargestFile(scratch.Work() / job.target);
    fs::remove_all(scratch.Work() / job.target);
    PutEarlierOutput(scratch, job);
    const auto earlier = Contents(scratch.Work() / job.target);
    for (std::uintmax_t shortBy : {1, 2, 9, 57, 200}) {
        Scratch::Run run = scratch.Quillgen(job.args, size - shortBy);
        EXPECT_EQ(run.exit, 1) << shortBy << " bytes short: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, HasSubstr("File too large")) << shortBy;
        EXPECT_THAT(run.err, HasSubstr(job.earlierFile.empty() ? "Could not save sound file:"
                                                               : "Could not save sound files:"));
        EXPECT_EQ(Contents(scratch.Work() / job.target), earlier) << shortBy;
        EXPECT_THAT(scratch.Temporaries(), testing::IsEmpty()) << shortBy;
    }
}
INSTANTIATE_TEST_SUITE_P(Jobs, FileSizeLimit, testing::ValuesIn(kJobs));

// SIGINT, SIGTERM and SIGHUP stop a job alike: what it had started goes, the earlier output
// stays, and the exit status is 128 + the signal.
class StopSignal : public testing::TestWithParam<int> {};
TEST_P(StopSignal, RemovesTheUnfinishedFileAndKeepsTheEarlierOne) {
    Scratch scratch;
    std::ofstream(scratch.Work() / "long.aif") << "the earlier file";
    // Long enough (48 million frames) that the signal arrives while it is written.
    pid_t pid = scratch.Start({"sweep", "--rate", "8000", "--from", "20", "--to", "4000",
                               "--length", "6000", "--no-announce", "-o", "long"});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (scratch.Temporaries().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_FALSE(scratch.Temporaries().empty());
    kill(pid, GetParam());
    Scratch::Run run = scratch.Wait(pid);
    EXPECT_EQ(run.exit, 128 + GetParam()) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(Entries(scratch.Work()), testing::ElementsAre("long.aif"));
    EXPECT_EQ(ReadText(scratch.Work() / "long.aif"), "the earlier file");
}
INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, testing::Values(SIGINT, SIGTERM, SIGHUP));

// Eight runs at once: into distinct names each file is its own and complete; into one name
// the last rename wins and leaves one complete file.
TEST(ConcurrentRuns, EightAtOnceIntoOneFolder) {
    constexpr int kRuns = 8;
    for (bool sameName : {false, true}) {
        Scratch scratch;
        std::vector<pid_t> pids;
        for (int i = 0; i < kRuns; ++i) {
            const std::string name = sameName ? "same" : "tone" + std::to_string(i);
            pids.push_back(
                scratch.Start({"tone", "--freq", std::to_string(200 * (i + 1)), "--length", "1",
                               "--rate", "22050", "--no-announce", "--quiet", "-o", name},
                              0, std::to_string(i)));
        }
        for (int i = 0; i < kRuns; ++i) {
            Scratch::Run run = scratch.Wait(pids[std::size_t(i)], std::to_string(i));
            EXPECT_EQ(run.exit, 0) << run.err;
        }
        std::vector<std::string> expected;
        for (int i = 0; i < kRuns; ++i)
            expected.push_back(sameName ? "same.aif" : "tone" + std::to_string(i) + ".aif");
        std::sort(expected.begin(), expected.end());
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        ASSERT_EQ(Entries(scratch.Work()), expected) << (sameName ? "one name" : "eight names");
        std::set<std::string> distinct;
        for (const auto& name : expected) {
            EXPECT_EQ(Frames(scratch.Work() / name), 22050) << name;
            distinct.insert(ReadText(scratch.Work() / name));
        }
        EXPECT_EQ(distinct.size(), expected.size());
    }
}

} // namespace

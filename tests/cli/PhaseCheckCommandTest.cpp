// quillgen phase-check end to end: the directory, its files read back with libsndfile, range
// errors, a folder of the user's own, and Ctrl-C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QuillgenProcess.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

// A scratch folder that quillgen runs in, with its output streams kept beside it.
class PhaseCheckCommand : public testing::Test {
protected:
    PhaseCheckCommand() {
        std::string pattern = (fs::temp_directory_path() / "quillgen-phase-XXXXXX").string();
        root = mkdtemp(pattern.data());
        fs::create_directory(Work());
    }
    ~PhaseCheckCommand() override { fs::remove_all(root); }

    fs::path Work() const { return root / "work"; }

    pid_t Start(std::vector<std::string> args) {
        args.insert(args.begin(), "phase-check");
        return StartQuillgen(Work(), root, args);
    }
    int Wait(pid_t pid) { return WaitQuillgen(pid, root, out, err); }
    int Quillgen(const std::vector<std::string>& args) { return Wait(Start(args)); }

    // Frame counts of the files of `dir`, checking each file's rate and format.
    std::set<sf_count_t> FrameCounts(const fs::path& dir, int rate, int format) {
        std::set<sf_count_t> counts;
        for (const auto& name : Entries(dir)) {
            SF_INFO info{};
            SNDFILE* file = sf_open((dir / name).c_str(), SFM_READ, &info);
            if (file == nullptr) {
                ADD_FAILURE() << "libsndfile cannot read " << name;
                continue;
            }
            EXPECT_EQ(info.channels, 1) << name;
            EXPECT_EQ(info.samplerate, rate) << name;
            EXPECT_EQ(info.format, format) << name;
            counts.insert(info.frames);
            sf_close(file);
        }
        return counts;
    }

    fs::path root;
    std::string out, err;
};

TEST_F(PhaseCheckCommand, WritesOneFilePerSpeakerIntoTheDefaultDirectory) {
    ASSERT_EQ(Quillgen({"--layout", "quad", "--silence", "0.05", "--repeats", "1", "--quiet"}), 0)
        << err;
    EXPECT_EQ(out, "Phase Check for Quad\n");
    const fs::path dir = Work() / "Phase Check for Quad";
    EXPECT_EQ(Entries(dir),
              (std::vector<std::string>{"48k_16b_PhaseChk.Quad.L.aif", "48k_16b_PhaseChk.Quad.Ls.aif",
                                        "48k_16b_PhaseChk.Quad.R.aif", "48k_16b_PhaseChk.Quad.Rs.aif"}));
    std::set<sf_count_t> named = FrameCounts(dir, 48000, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    ASSERT_EQ(named.size(), 1u) << "the files end on different frames";

    // Without the speaker names the files are shorter by the names and their silences;
    // the directory of the first run is replaced.
    ASSERT_EQ(Quillgen({"--layout", "QUAD", "--silence", "0.05", "--repeats", "1",
                        "--no-announce-speakers", "--quiet"}),
              0)
        << err;
    std::set<sf_count_t> unnamed = FrameCounts(dir, 48000, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    ASSERT_EQ(unnamed.size(), 1u);
    EXPECT_LT(*unnamed.begin() + 4 * 2400, *named.begin());
}

TEST_F(PhaseCheckCommand, BroadcastWaveFilesAtTheChosenRateAndWordLength) {
    ASSERT_EQ(Quillgen({"--format", "bwf", "--bits", "24", "--rate", "44100", "--repeats", "0",
                        "--silence", "0", "-o", "checks/", "--quiet"}),
              0)
        << err;
    EXPECT_EQ(out, "checks\n");
    std::vector<std::string> expected;
    for (const char* speaker : {"C", "L", "LFE", "Ls", "R", "Rs"})
        expected.push_back(std::string("44k_24b_PhaseChk.5.1.") + speaker + ".wav");
    EXPECT_EQ(Entries(Work() / "checks"), expected);
    EXPECT_EQ(FrameCounts(Work() / "checks", 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_24).size(), 1u);
}

struct BadValueCase {
    std::vector<std::string> args;
    std::vector<std::string> named; // what the message must say
};

void PrintTo(const BadValueCase& c, std::ostream* out) {
    for (const auto& arg : c.args) *out << arg << " ";
}

class PhaseCheckBadValue : public PhaseCheckCommand,
                           public testing::WithParamInterface<BadValueCase> {};

TEST_P(PhaseCheckBadValue, Exits2NamingOptionValueAndRangeAndWritesNothing) {
    EXPECT_EQ(Quillgen(GetParam().args), 2);
    for (const auto& text : GetParam().named) EXPECT_THAT(err, HasSubstr(text));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(Entries(Work()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PhaseCheckBadValue,
    testing::Values(BadValueCase{{"--silence", "60.5"}, {"--silence", "60.5", "0 to 60"}},
                    BadValueCase{{"--silence", "-1"}, {"--silence", "-1", "0 to 60"}},
                    BadValueCase{{"--silence", "nan"}, {"--silence", "nan"}},
                    BadValueCase{{"--repeats", "101"}, {"--repeats", "101", "0 to 100"}},
                    BadValueCase{{"--repeats", "-1"}, {"--repeats", "-1", "0 to 100"}},
                    BadValueCase{{"--rate", "7999"}, {"--rate", "7999", "8000 to 384000"}},
                    BadValueCase{{"--rate", "384001"}, {"--rate", "384001", "8000 to 384000"}},
                    BadValueCase{{"--layout", "9.1"}, {"--layout", "9.1"}},
                    BadValueCase{{"--bits", "20"}, {"--bits", "20"}}));

TEST_F(PhaseCheckCommand, LeavesAFolderOfTheUsersOwnAlone) {
    fs::create_directory(Work() / "mine");
    std::ofstream(Work() / "mine" / "notes.txt") << "keep";
    EXPECT_EQ(Quillgen({"-o", "mine", "--quiet"}), 1);
    EXPECT_EQ(out, "");
    EXPECT_THAT(err, HasSubstr("mine"));
    EXPECT_EQ(Entries(Work() / "mine"), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(ReadText(Work() / "mine" / "notes.txt"), "keep");
}

// Ctrl-C is noticed at the next speaker name; the unfinished set goes and an earlier set at
// the chosen path stays as it was.
TEST_F(PhaseCheckCommand, InterruptKeepsTheEarlierSet) {
    const fs::path dir = Work() / "big";
    fs::create_directory(dir);
    std::ofstream(dir / "384k_16b_PhaseChk.10.2.Lh.aif") << "earlier";
    // Many long bursts at a high rate, so that the job is still naming pairs when the
    // signal arrives.
    pid_t pid =
        Start({"--layout", "10.2", "--rate", "384000", "--repeats", "3", "-o", "big", "--quiet"});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool started = false;
    while (!started && std::chrono::steady_clock::now() < deadline) {
        for (const auto& name : Entries(Work())) {
            std::error_code ignored;
            if (name.rfind("quilfile-", 0) == 0 &&
                fs::file_size(Work() / name / "384k_16b_PhaseChk.10.2.Lh.aif", ignored) > 1000000 &&
                !ignored)
                started = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(started);
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 130) << err;
    EXPECT_EQ(out, "");
    EXPECT_EQ(Entries(Work()), std::vector<std::string>{"big"});
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"384k_16b_PhaseChk.10.2.Lh.aif"});
    EXPECT_EQ(ReadText(dir / "384k_16b_PhaseChk.10.2.Lh.aif"), "earlier");
}

} // namespace

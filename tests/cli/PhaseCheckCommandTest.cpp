// quillgen phase-check end to end: the directory, its files read back with libsndfile (and
// ffprobe for interleaved sets), range errors, a folder of the user's own, and Ctrl-C.
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
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QuillgenProcess.h"
#include "support/SndfileReader.h"

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

// The same output as before interleaved sets existed, byte for byte: SHA-256 of every file.
struct UnchangedCase {
    std::vector<std::string> args;
    std::map<std::string, std::string> sha256;
};
class PhaseCheckUnchanged : public PhaseCheckCommand,
                            public testing::WithParamInterface<UnchangedCase> {};

TEST_P(PhaseCheckUnchanged, WritesTheSameBytesAsBefore) {
    std::vector<std::string> args = GetParam().args;
    args.insert(args.end(), {"-o", "set", "--quiet"});
    ASSERT_EQ(Quillgen(args), 0) << err;
    std::map<std::string, std::string> sums;
    for (const auto& name : Entries(Work() / "set")) {
        FILE* pipe = ::popen(("sha256sum '" + (Work() / "set" / name).string() + "'").c_str(), "r");
        char sum[65] = {0};
        ASSERT_TRUE(pipe && std::fread(sum, 1, 64, pipe) == 64);
        ::pclose(pipe);
        sums[name] = sum;
    }
    EXPECT_EQ(sums, GetParam().sha256);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, PhaseCheckUnchanged,
    testing::Values(
        UnchangedCase{{},
                      {{"48k_16b_PhaseChk.5.1.C.aif",
                        "afb42b6d163c6ea8a21f70cd203a098f9c281224b44b44f94ff4e9ff606cf6f2"},
                       {"48k_16b_PhaseChk.5.1.L.aif",
                        "b158f4a3a5d50c67f8907bc88297532275cf866bdc2e56ed46415333b7e9c621"},
                       {"48k_16b_PhaseChk.5.1.LFE.aif",
                        "3f16dc100b802784ba48154c00fbaa559e3c5b48a1835859839743cf67d08dac"},
                       {"48k_16b_PhaseChk.5.1.Ls.aif",
                        "895d06bf8e4c0ac4b231d238ecb791fa2b192e73602263365a8e4aa5852a077b"},
                       {"48k_16b_PhaseChk.5.1.R.aif",
                        "1fff1861368803bc4ff466dfeabc60e1945780cd201c25fa164cc62c92e9a4ec"},
                       {"48k_16b_PhaseChk.5.1.Rs.aif",
                        "0f8fcd4a473daeecd38faacc98cc946caa573f0ae392ff0a17fae40429a7860d"}}},
        UnchangedCase{{"--layout", "stereo", "--format", "bwf", "--bits", "24", "--rate", "8000",
                       "--silence", "0.1", "--repeats", "1"},
                      {{"8k_24b_PhaseChk.Stereo.L.wav",
                        "b9a965d6acdb35c91457d0177b27da8400d60e662d6c9076e4561f80c14ce6e4"},
                       {"8k_24b_PhaseChk.Stereo.R.wav",
                        "bf80039c322330aff0594ae8704b493ebb977b00faf5ff263a8a2c42e58e6371"}}}));

// An interleaved set holds the mono set's samples, each speaker in its channel: in Broadcast
// WAVE in the order of the channel mask's bits, in AIFF (and for 10.2) in the layout's order.
struct InterleavedCase {
    std::string layout, format, title;
    std::string channels; // speakers in the file's channel order
    std::optional<std::uint32_t> mask;
    std::string ffprobeLayout;
};

void PrintTo(const InterleavedCase& c, std::ostream* out) {
    *out << c.layout << " " << c.format;
}

class PhaseCheckInterleaved : public PhaseCheckCommand,
                              public testing::WithParamInterface<InterleavedCase> {};

TEST_P(PhaseCheckInterleaved, HoldsTheMonoSetChannelByChannel) {
    const InterleavedCase& c = GetParam();
    std::vector<std::string> args = {"--layout",  c.layout, "--format",  c.format, "--rate", "8000",
                                     "--silence", "0.01",   "--repeats", "1",      "--quiet"};
    args.insert(args.end(), {"-o", "mono"});
    ASSERT_EQ(Quillgen(args), 0) << err;
    args.back() = "one";
    args.push_back("--interleaved");
    ASSERT_EQ(Quillgen(args), 0) << err;
    EXPECT_EQ(out, "one\n");
    const std::string stem = "8k_16b_PhaseChk." + c.title;
    const std::string extension = c.format == "bwf" ? ".wav" : ".aif";
    ASSERT_EQ(Entries(Work() / "one"), std::vector<std::string>{stem + extension});
    const std::string path = (Work() / "one" / (stem + extension)).string();

    std::istringstream names(c.channels);
    const std::vector<std::string> speakers{std::istream_iterator<std::string>(names), {}};
    SF_INFO info{};
    const std::vector<int> samples = SndfileSamples(path, &info);
    ASSERT_EQ(info.channels, int(speakers.size()));
    for (std::size_t channel = 0; channel < speakers.size(); ++channel) {
        SF_INFO monoInfo{};
        const std::vector<int> mono = SndfileSamples(
            (Work() / "mono" / (stem + "." + speakers[channel] + extension)).string(), &monoInfo);
        ASSERT_EQ(monoInfo.frames, info.frames) << speakers[channel];
        for (std::size_t f = 0; f < mono.size(); ++f)
            ASSERT_EQ(samples[f * speakers.size() + channel], mono[f])
                << speakers[channel] << " frame " << f;
    }

    const std::string probe = "ffprobe -v error -show_entries stream=channels,channel_layout "
                              "-of csv=p=0 '" +
                              path + "'";
    FILE* pipe = ::popen(probe.c_str(), "r");
    char probed[128] = {0};
    ASSERT_TRUE(pipe && std::fgets(probed, sizeof probed, pipe));
    ::pclose(pipe);
    const std::string expected =
        std::to_string(speakers.size()) + (c.ffprobeLayout.empty() ? "" : "," + c.ffprobeLayout);
    EXPECT_EQ(std::string(probed).substr(0, expected.size()), expected) << probed;

    ASSERT_EQ(WaitQuillgen(StartQuillgen(Work(), root, {"info", "--json", path}), root, out, err),
              0)
        << err;
    const nlohmann::json shown = nlohmann::json::parse(out);
    EXPECT_EQ(shown.contains("channelMask"), c.mask.has_value());
    if (c.mask) {
        EXPECT_EQ(shown["channelMask"]["value"], *c.mask);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PhaseCheckInterleaved,
    testing::Values(
        InterleavedCase{"stereo", "bwf", "Stereo", "L R", 0x3, "stereo"},
        InterleavedCase{"quad", "bwf", "Quad", "L R Ls Rs", 0x33, "quad"},
        InterleavedCase{"lcrs", "bwf", "LCRS", "L R C S", 0x107, "4.0"},
        InterleavedCase{"5.1", "bwf", "5.1", "L R C LFE Ls Rs", 0x3F, "5.1"},
        InterleavedCase{"6.1", "bwf", "6.1", "L R C LFE Ls Rs Cs", 0x13F, "6.1(back)"},
        InterleavedCase{"7.1", "bwf", "7.1", "L R C LFE Ls Rs Lc Rc", 0xFF, "7.1(wide)"},
        InterleavedCase{"10.2", "bwf", "10.2", "Lh Lw L C R Rw Rh Rs Cs Ls LSB RSB", 0x0, ""},
        InterleavedCase{"quad", "aiff", "Quad", "L R Rs Ls", std::nullopt, ""},
        InterleavedCase{"5.1", "aiff", "5.1", "L C R Rs Ls LFE", std::nullopt, ""}),
    [](const auto& info) {
        std::string name = info.param.layout + "_" + info.param.format;
        for (char& ch : name)
            if (ch == '.') ch = '_';
        return name;
    });

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

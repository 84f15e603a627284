// The phase and channel check, heard back through bursts of distinct lengths: which sample
// went into which speaker's file, in which polarity, and whether the files stay in step; and
// what a stopped or failing set leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/TxSoundFile.h"
#include "jobs/Announcer.h"
#include "jobs/JobProgress.h"
#include "jobs/PhaseCheck.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "shell/SharedFlags.h"
#include "soundfile/ByteOrder.h"
#include "support/AnnouncementTestVoices.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRate = 48000.0;
constexpr std::int32_t kSilenceFrames = 480; // 0.01 s

// One voice per speaker for L, C, R, Ls, Rs and LFE, two for the others, as shipped.
const nlohmann::json kSpeakers = {
    {"L", {"Left"}}, {"R", {"Right"}}, {"C", {"Center"}}, {"Ls", {"LeftSurround"}},
    {"Rs", {"RightSurround"}}, {"LFE", {"LFE"}}, {"S", {"Mono", "Surround"}},
    {"Cs", {"Center", "Surround"}}, {"Lc", {"Left", "Center"}}, {"Rc", {"Right", "Center"}},
    {"Lw", {"Left", "Wide"}}, {"Rw", {"Right", "Wide"}}, {"Lh", {"Left", "High"}},
    {"Rh", {"Right", "High"}}, {"LSB", {"Left", "SurroundBack"}},
    {"RSB", {"Right", "SurroundBack"}}};

using Pair = std::pair<std::string, std::string>;
struct LayoutCase {
    std::int32_t channelSetup;
    std::string title;
    std::vector<std::string> speakers;
    std::vector<Pair> checkedPairs;
    bool announce;
    int repeats;
};

// What sounds at one moment, as "speaker:sample" ("-" before an inverted one) for every file
// that plays then, and "pause" for the set's silence between moments.
using Words = std::vector<std::string>;
std::string MomentOf(const std::set<std::string>& parts) {
    std::string moment;
    for (const auto& part : parts) moment += (moment.empty() ? "" : " ") + part;
    return moment;
}

// The sequence a listener expects, from the layout alone.
Words ExpectedMoments(const LayoutCase& layout) {
    Words moments;
    auto everyone = [&](const std::string& sample) {
        std::set<std::string> parts;
        for (const auto& speaker : layout.speakers) parts.insert(speaker + ":" + sample);
        moments.push_back(MomentOf(parts));
        moments.push_back("pause");
    };
    auto name = [&](const std::string& speaker) {
        for (const auto& sample : kSpeakers.at(speaker))
            moments.push_back(speaker + ":" + sample.get<std::string>());
        moments.push_back("pause");
    };
    everyone(kPhaseCheckOpening);
    if (layout.announce)
        for (const auto& speaker : layout.speakers) name(speaker);
    for (const auto& [a, b] : layout.checkedPairs) {
        name(a);
        name(b);
        for (int i = 0; i < layout.repeats; ++i) {
            moments.push_back(MomentOf({a + ":" + kInPhaseNoise, b + ":" + kInPhaseNoise}));
            moments.push_back("pause");
            moments.push_back(MomentOf({a + ":" + kOutOfPhaseNoise, b + ":-" + kOutOfPhaseNoise}));
            moments.push_back("pause");
        }
    }
    everyone(kPhaseCheckClosing);
    moments.pop_back(); // nothing follows the closing
    return moments;
}

class PhaseCheckRun : public testing::Test {
  protected:
    PhaseCheckRun() {
        settings.setSampleRate(kRate);
        settings.setSilence(kSilenceFrames / kRate);
        options.setOutputType(kOutputPhaseCheck);
        shouldStop = 0;
    }
    ~PhaseCheckRun() override { shouldStop = 0; }

    std::string OutputDir() const { return folder.File("Phase Check"); }
    std::string SpeakerFile(const std::string& speaker) const {
        return OutputDir() + "/48k_16b_PhaseChk." + *LayoutTitle(settings.channelSetup()) + "." +
               speaker + ".aif";
    }

    // The set, with the bursts as voices; `stopAt` presses the stop button when that voice is
    // looked up.
    void Run(const std::string& stopAt = "") {
        auto lookup = voices.Lookup();
        Announcer announcer(
            settings, options, progress,
            [&](const std::string& name) {
                if (name == stopAt) shouldStop = 1;
                return lookup(name);
            },
            [this](const std::string&, const std::string& reason) { reports.push_back(reason); });
        PhaseCheck job(
            settings, progress, announcer, kSpeakers,
            PhaseCheckFileName(kRate, 16, *LayoutTitle(settings.channelSetup())),
            [](const std::string& base, const std::string& speaker, const std::string& dir) {
                return TxSoundFile::initWithType(byteorder::FourCC("AIFF"),
                                                 dir + "/" + base + "." + speaker + ".aif", 1, 16,
                                                 static_cast<float>(kRate), true, nullptr);
            },
            [this](const std::string& name, const std::string& reason) {
                logged.push_back(name + ": " + reason);
            },
            [this] { ++alerts; });
        if (interleaved) job.setInterleavedMaker(interleaved);
        job.makePhaseCheckFiles(OutputDir());
    }

    // Every file's bursts merged by the frame they start at; the files' lengths into `lengths`.
    Words Heard(const std::vector<std::string>& speakers, std::set<std::int64_t>* lengths) {
        std::map<std::int32_t, std::pair<std::set<std::string>, std::int32_t>> byStart;
        for (const auto& speaker : speakers) {
            SoundFileView view = ReadWithLibsndfile(SpeakerFile(speaker));
            lengths->insert(view.frames);
            for (const auto& sample : voices.Listen(view.samples)) {
                auto& [parts, frames] = byStart[sample.start];
                parts.insert(speaker + ":" + (sample.inverted ? "-" : "") + sample.name);
                frames = std::max(frames, sample.frames);
            }
        }
        Words moments;
        std::int32_t end = 0;
        for (auto& [start, entry] : byStart) {
            if (start - end == kSilenceFrames) moments.push_back("pause");
            else if (!moments.empty() && start != end)
                moments.push_back("gap of " + std::to_string(start - end));
            moments.push_back(MomentOf(entry.first));
            end = start + entry.second;
        }
        return moments;
    }

    TempDir folder, voiceFolder;
    BurstVoices voices{voiceFolder.Path(),
                       {kPhaseCheckOpening, kPhaseCheckClosing, kInPhaseNoise, kOutOfPhaseNoise,
                        "Left", "Right", "Center", "LeftSurround", "RightSurround", "LFE", "Mono",
                        "Surround", "Wide", "High", "SurroundBack"}};
    Settings settings;
    SaveOptions options;
    JobProgress progress;
    std::vector<std::string> reports, logged;
    int alerts = 0;
    PhaseCheck::InterleavedMaker interleaved;
};

class PhaseCheckSequence : public PhaseCheckRun, public testing::WithParamInterface<LayoutCase> {};

TEST_P(PhaseCheckSequence, EveryFileHoldsItsPartInStep) {
    const LayoutCase& layout = GetParam();
    settings.setChannelSetup(layout.channelSetup);
    settings.setAnnounce(layout.announce);
    settings.setNumRepeats(layout.repeats);
    Run();
    EXPECT_FALSE(progress.error);
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(progress.step, progress.numsteps);
    EXPECT_EQ(progress.Poll(), 1.0);

    EXPECT_EQ(*LayoutTitle(layout.channelSetup), layout.title);
    std::vector<std::string> expectedFiles;
    for (const auto& speaker : layout.speakers)
        expectedFiles.push_back(fs::path(SpeakerFile(speaker)).filename());
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(FolderEntries(OutputDir()), expectedFiles);

    std::set<std::int64_t> lengths;
    EXPECT_EQ(Heard(layout.speakers, &lengths), ExpectedMoments(layout));
    EXPECT_EQ(lengths.size(), 1u) << "the files end on different frames";
}

// Pairs are ring neighbours; LFE and the back surrounds take no part in them.
INSTANTIATE_TEST_SUITE_P(
    Layouts, PhaseCheckSequence,
    testing::Values(
        LayoutCase{0, "Stereo", {"L", "R"}, {{"L", "R"}, {"R", "L"}}, true, 1},
        LayoutCase{1, "Quad", {"L", "R", "Rs", "Ls"},
                   {{"L", "R"}, {"R", "Rs"}, {"Rs", "Ls"}, {"Ls", "L"}}, true, 1},
        LayoutCase{2, "LCRS", {"L", "C", "R", "S"},
                   {{"L", "C"}, {"C", "R"}, {"R", "S"}, {"S", "L"}}, true, 1},
        LayoutCase{3, "5.1", {"L", "C", "R", "Rs", "Ls", "LFE"},
                   {{"L", "C"}, {"C", "R"}, {"R", "Rs"}, {"Rs", "Ls"}}, true, 1},
        LayoutCase{4, "6.1", {"L", "C", "R", "Rs", "Cs", "Ls", "LFE"},
                   {{"L", "C"}, {"C", "R"}, {"R", "Rs"}, {"Rs", "Cs"}, {"Cs", "Ls"}}, true, 1},
        LayoutCase{5, "7.1", {"L", "Lc", "C", "Rc", "R", "Rs", "Ls", "LFE"},
                   {{"L", "Lc"}, {"Lc", "C"}, {"C", "Rc"}, {"Rc", "R"}, {"R", "Rs"}, {"Rs", "Ls"}},
                   true, 1},
        LayoutCase{6, "10.2",
                   {"Lh", "Lw", "L", "C", "R", "Rw", "Rh", "Rs", "Cs", "Ls", "LSB", "RSB"},
                   {{"Lh", "Lw"}, {"Lw", "L"}, {"L", "C"}, {"C", "R"}, {"R", "Rw"}, {"Rw", "Rh"},
                    {"Rh", "Rs"}, {"Rs", "Cs"}, {"Cs", "Ls"}},
                   true, 1},
        LayoutCase{0, "Stereo", {"L", "R"}, {{"L", "R"}, {"R", "L"}}, false, 3}),
    [](const testing::TestParamInfo<LayoutCase>& info) {
        std::string name = "setup" + std::to_string(info.param.channelSetup);
        return info.param.announce ? name : name + "_noNames_3repeats";
    });

// Only files named like a set's are taken for an earlier set's and removed with it.
TEST(PhaseCheckNames, FileNames) {
    EXPECT_EQ(PhaseCheckFileName(44100.0, 24, "5.1"), "44k_24b_PhaseChk.5.1");
    EXPECT_FALSE(LayoutTitle(7));
    EXPECT_TRUE(IsPhaseCheckFileName("44k_16b_PhaseChk.Stereo.R.aif"));
    EXPECT_TRUE(IsPhaseCheckFileName("48k_24b_PhaseChk.10.2.wav")); // interleaved
    EXPECT_FALSE(IsPhaseCheckFileName("48k_24b_PhaseChk.wav"));
    EXPECT_FALSE(IsPhaseCheckFileName("48k_24b_PhaseChk.5.1.L.wav.bak"));
}

TEST_F(PhaseCheckRun, ReplacesADirectoryOfEarlierPhaseCheckFiles) {
    fs::create_directory(OutputDir());
    std::ofstream(OutputDir() + "/96k_24b_PhaseChk.Stereo.L.wav") << "old";
    Run();
    EXPECT_FALSE(progress.error);
    EXPECT_EQ(FolderEntries(OutputDir()),
              (std::vector<std::string>{"48k_16b_PhaseChk.Stereo.L.aif",
                                        "48k_16b_PhaseChk.Stereo.R.aif"}));
}

// A folder holding a file of the user's, or a file, at the chosen path is never removed.
class ForeignOutputPath : public PhaseCheckRun, public testing::WithParamInterface<bool> {};

TEST_P(ForeignOutputPath, FailsAndTouchesNothing) {
    const bool folderOfTheUser = GetParam();
    if (folderOfTheUser) fs::create_directory(OutputDir());
    const std::string keep = folderOfTheUser ? OutputDir() + "/mix.wav" : OutputDir();
    std::ofstream(keep) << "the user's";
    Run();
    EXPECT_TRUE(progress.error);
    EXPECT_EQ(alerts, 1);
    std::ifstream in(keep);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(OutputDir()), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(FolderOrFile, ForeignOutputPath, testing::Bool());

TEST_F(PhaseCheckRun, CancelDuringTheSpeakerNamesIsReportedAsCancelAndRemovesTheSet) {
    settings.setChannelSetup(3);
    settings.setAnnounce(true);
    Run("Center");
    EXPECT_TRUE(progress.cancelled);
    EXPECT_FALSE(progress.error);
    EXPECT_EQ(alerts, 0);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
    EXPECT_EQ(shouldStop, 0);
    EXPECT_EQ(logged, std::vector<std::string>{"QUILPhaseCheckStopException: User cancelled "
                                               "writing of phase check files."});
}

TEST_F(PhaseCheckRun, MissingSpeakerVoiceIsReportedOnceAndTheJobGoesOn) {
    settings.setChannelSetup(3);
    settings.setAnnounce(true);
    settings.setNumRepeats(1);
    fs::remove(voiceFolder.Path() + "/Center.sample");
    Run();
    EXPECT_TRUE(progress.error);
    EXPECT_EQ(reports, std::vector<std::string>{"could not find sample 'Center'"});
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(progress.step, progress.numsteps - 3); // named once, and in two pairs
    std::set<std::int64_t> lengths;
    for (const char* speaker : {"L", "C", "R", "Rs", "Ls", "LFE"})
        lengths.insert(ReadWithLibsndfile(SpeakerFile(speaker)).frames);
    EXPECT_EQ(lengths.size(), 1u) << "the files end on different frames";
}

// An interleaved set that is stopped, or whose file cannot be made, leaves nothing behind.
class InterleavedUnfinished : public PhaseCheckRun, public testing::WithParamInterface<bool> {};

TEST_P(InterleavedUnfinished, LeavesNothingBehind) {
    const bool cannotCreate = GetParam();
    settings.setChannelSetup(3);
    settings.setAnnounce(true);
    interleaved = [&](const std::string& base, const std::vector<std::string>& speakers,
                      const std::string& dir) {
        if (cannotCreate) return PhaseCheckFiles{};
        return TxSoundFile::initChannelsWithType(byteorder::FourCC("AIFF"),
                                                 dir + "/" + base + ".aif",
                                                 InterleavedChannels(speakers, nullptr), 16,
                                                 static_cast<float>(kRate), nullptr, std::nullopt);
    };
    Run("Center");
    EXPECT_EQ(progress.cancelled, !cannotCreate);
    EXPECT_EQ(progress.error, cannotCreate);
    EXPECT_EQ(alerts, cannotCreate ? 1 : 0);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(StopOrNoFile, InterleavedUnfinished, testing::Bool());

} // namespace

// The phase and channel check, heard back through bursts of distinct lengths: which sample
// went into which speaker's file, in which polarity, and whether the files stay in step.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "formats/TxSoundFile.h"
#include "jobs/Announcer.h"
#include "support/AnnouncementTestVoices.h"
#include "jobs/JobProgress.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"
#include "jobs/PhaseCheck.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "shell/SharedFlags.h"
#include "soundfile/ByteOrder.h"

namespace fs = std::filesystem;

namespace {

using Pair = std::pair<std::string, std::string>;

constexpr double kRate = 48000.0;
constexpr double kSilence = 0.01;
constexpr std::int32_t kSilenceFrames = 480;

// One speaker name per sample for L, C, R, Ls, Rs and LFE, two for the others: the shape of
// the shipped speaker table.
const nlohmann::json kSpeakers = {
    {"L", {"Left"}},           {"R", {"Right"}},         {"C", {"Center"}},
    {"Ls", {"LeftSurround"}},  {"Rs", {"RightSurround"}}, {"LFE", {"LFE"}},
    {"S", {"Mono", "Surround"}}, {"Cs", {"Center", "Surround"}},
    {"Lc", {"Left", "Center"}}, {"Rc", {"Right", "Center"}},
    {"Lw", {"Left", "Wide"}},  {"Rw", {"Right", "Wide"}},
    {"Lh", {"Left", "High"}},  {"Rh", {"Right", "High"}},
    {"LSB", {"Left", "SurroundBack"}}, {"RSB", {"Right", "SurroundBack"}}};

const std::vector<std::string> kVoiceNames = {
    kPhaseCheckOpening, kPhaseCheckClosing, kInPhaseNoise, kOutOfPhaseNoise, "Left", "Right",
    "Center", "LeftSurround", "RightSurround", "LFE", "Mono", "Surround", "Wide", "High",
    "SurroundBack"};

struct LayoutCase {
    std::int32_t channelSetup;
    std::vector<std::string> speakers;
    std::vector<Pair> checkedPairs;
    std::uint32_t stepsWithoutNames, stepsWithNames, stepsPerRepeat;
};

const std::vector<LayoutCase> kLayouts = {
    {0, {"L", "R"}, {{"L", "R"}, {"R", "L"}}, 16, 18, 8},
    {1, {"L", "R", "Rs", "Ls"}, {{"L", "R"}, {"R", "Rs"}, {"Rs", "Ls"}, {"Ls", "L"}}, 32, 36, 16},
    {2, {"L", "C", "R", "S"}, {{"L", "C"}, {"C", "R"}, {"R", "S"}, {"S", "L"}}, 34, 39, 16},
    {3, {"L", "C", "R", "Rs", "Ls", "LFE"}, {{"L", "C"}, {"C", "R"}, {"R", "Rs"}, {"Rs", "Ls"}},
     36, 42, 16},
    {4,
     {"L", "C", "R", "Rs", "Cs", "Ls", "LFE"},
     {{"L", "C"}, {"C", "R"}, {"R", "Rs"}, {"Rs", "Cs"}, {"Cs", "Ls"}},
     46, 54, 20},
    {5,
     {"L", "Lc", "C", "Rc", "R", "Rs", "Ls", "LFE"},
     {{"L", "Lc"}, {"Lc", "C"}, {"C", "Rc"}, {"Rc", "R"}, {"R", "Rs"}, {"Rs", "Ls"}},
     56, 66, 24},
    {6,
     {"Lh", "Lw", "L", "C", "R", "Rw", "Rh", "Rs", "Cs", "Ls", "LSB", "RSB"},
     {{"Lh", "Lw"}, {"Lw", "L"}, {"L", "C"}, {"C", "R"}, {"R", "Rw"}, {"Rw", "Rh"},
      {"Rh", "Rs"}, {"Rs", "Cs"}, {"Cs", "Ls"}},
     87, 106, 36},
};

// What sounds at one moment: (speaker, sample, inverted) in every file that plays then.
using Part = std::tuple<std::string, std::string, bool>;
struct Moment {
    std::set<Part> parts;
    bool silenceAfter = true;
    bool operator==(const Moment&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Moment& moment) {
    out << "{";
    for (const auto& [speaker, sample, inverted] : moment.parts)
        out << speaker << ":" << (inverted ? "-" : "") << sample << " ";
    return out << (moment.silenceAfter ? "+S}" : "}");
}

// The sequence a listener expects, from the layout alone.
std::vector<Moment> ExpectedMoments(const LayoutCase& layout, bool announce, int repeats) {
    std::vector<Moment> moments;
    auto everyone = [&](const std::string& sample) {
        Moment moment;
        for (const auto& speaker : layout.speakers) moment.parts.insert({speaker, sample, false});
        moments.push_back(moment);
    };
    auto name = [&](const std::string& speaker) {
        for (const auto& sample : kSpeakers.at(speaker))
            moments.push_back({{{speaker, sample.get<std::string>(), false}}, false});
        moments.back().silenceAfter = true;
    };
    everyone(kPhaseCheckOpening);
    if (announce)
        for (const auto& speaker : layout.speakers) name(speaker);
    for (const auto& [a, b] : layout.checkedPairs) {
        name(a);
        name(b);
        for (int i = 0; i < repeats; ++i) {
            moments.push_back({{{a, kInPhaseNoise, false}, {b, kInPhaseNoise, false}}});
            moments.push_back({{{a, kOutOfPhaseNoise, false}, {b, kOutOfPhaseNoise, true}}});
        }
    }
    everyone(kPhaseCheckClosing);
    return moments;
}

class PhaseCheckRun : public testing::Test {
protected:
    PhaseCheckRun() {
        settings.setSampleRate(kRate);
        settings.setLevel_from(0.0);
        settings.setLevel_to(0.0);
        settings.setSilence(kSilence);
        options.setOutputType(kOutputPhaseCheck);
        options.setDataFormat(1);
        shouldStop = 0;
    }
    ~PhaseCheckRun() override { shouldStop = 0; }

    std::string OutputDir() const { return folder.File("Phase Check"); }

    void Run(Announcer::SampleLookup lookup = nullptr) {
        Announcer announcer(settings, options, progress, lookup ? lookup : voices.Lookup(),
                            [this](const std::string&, const std::string& reason) {
                                reports.push_back(reason);
                            });
        std::string stem = PhaseCheckFileName(kRate, options.wordLength(),
                                              *LayoutTitle(settings.channelSetup()));
        PhaseCheck job(
            settings, progress, announcer, kSpeakers, stem,
            [this](const std::string& base, const std::string& speaker, const std::string& dir) {
                return TxSoundFile::initWithType(byteorder::FourCC("AIFF"),
                                                 dir + "/" + base + "." + speaker + ".aif", 1,
                                                 options.wordLength(),
                                                 static_cast<float>(kRate), true, nullptr);
            },
            [this](const std::string& name, const std::string& reason) {
                logged.push_back(name + ": " + reason);
            },
            [this] { ++alerts; });
        if (interleaved) job.setInterleavedMaker(interleaved);
        job.makePhaseCheckFiles(OutputDir());
    }

    // Every file's bursts merged by the frame they start at.
    std::vector<Moment> Heard(const std::vector<std::string>& speakers,
                              std::vector<std::int32_t>* starts, std::set<std::int64_t>* lengths) {
        std::map<std::int32_t, std::pair<Moment, std::int32_t>> byStart;
        for (const auto& speaker : speakers) {
            std::string path = OutputDir() + "/48k_16b_PhaseChk." +
                               *LayoutTitle(settings.channelSetup()) + "." + speaker + ".aif";
            SoundFileView view = ReadWithLibsndfile(path);
            lengths->insert(view.frames);
            for (const auto& sample : voices.Listen(view.samples)) {
                auto& [moment, frames] = byStart[sample.start];
                moment.parts.insert({speaker, sample.name, sample.inverted});
                frames = std::max(frames, sample.frames);
            }
        }
        std::vector<Moment> moments;
        std::int32_t end = 0;
        for (auto& [start, entry] : byStart) {
            if (!moments.empty()) moments.back().silenceAfter = start - end == kSilenceFrames;
            EXPECT_TRUE(moments.empty() || start - end == 0 || start - end == kSilenceFrames)
                << "gap of " << start - end << " frames before frame " << start;
            moments.push_back(entry.first);
            starts->push_back(start);
            end = start + entry.second;
        }
        return moments;
    }

    TempDir folder;
    TempDir voiceFolder;
    BurstVoices voices{voiceFolder.Path(), kVoiceNames};
    Settings settings;
    SaveOptions options;
    JobProgress progress;
    std::vector<std::string> reports, logged;
    int alerts = 0;
    PhaseCheck::InterleavedMaker interleaved;
};

struct SequenceCase {
    LayoutCase layout;
    bool announce;
    int repeats;
};

void PrintTo(const SequenceCase& c, std::ostream* out) {
    *out << "setup " << c.layout.channelSetup << (c.announce ? ", names" : ", no names")
         << ", repeats " << c.repeats;
}

class PhaseCheckSequence : public PhaseCheckRun,
                           public testing::WithParamInterface<SequenceCase> {};

TEST_P(PhaseCheckSequence, EveryFileHoldsItsPartInStep) {
    const auto& [layout, announce, repeats] = GetParam();
    settings.setChannelSetup(layout.channelSetup);
    settings.setAnnounce(announce);
    settings.setNumRepeats(repeats);
    Run();

    EXPECT_FALSE(progress.error);
    EXPECT_EQ(alerts, 0);
    const std::uint32_t base = announce ? layout.stepsWithNames : layout.stepsWithoutNames;
    EXPECT_EQ(progress.numsteps, base + layout.stepsPerRepeat * (repeats - 1));
    EXPECT_EQ(progress.step, progress.numsteps);

    std::vector<std::string> expectedFiles;
    for (const auto& speaker : layout.speakers)
        expectedFiles.push_back("48k_16b_PhaseChk." + *LayoutTitle(layout.channelSetup) + "." +
                                speaker + ".aif");
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(FolderEntries(OutputDir()), expectedFiles);

    std::vector<std::int32_t> starts;
    std::set<std::int64_t> lengths;
    std::vector<Moment> heard = Heard(layout.speakers, &starts, &lengths);
    EXPECT_EQ(lengths.size(), 1u) << "the files end on different frames";
    std::vector<Moment> expected = ExpectedMoments(layout, announce, repeats);
    // Nothing follows the closing, so no silence can be heard after it.
    expected.back().silenceAfter = true;
    if (!heard.empty()) heard.back().silenceAfter = true;
    EXPECT_EQ(heard, expected);
}

std::vector<SequenceCase> AllSequences() {
    std::vector<SequenceCase> cases;
    for (const auto& layout : kLayouts)
        for (bool announce : {false, true})
            for (int repeats : {0, 1, 3}) cases.push_back({layout, announce, repeats});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Layouts, PhaseCheckSequence, testing::ValuesIn(AllSequences()),
                         [](const testing::TestParamInfo<SequenceCase>& info) {
                             return "setup" + std::to_string(info.param.layout.channelSetup) +
                                    (info.param.announce ? "_names" : "_nonames") + "_repeats" +
                                    std::to_string(info.param.repeats);
                         });

TEST(PhaseCheckNames, StemSpeakerAndTitles) {
    EXPECT_EQ(PhaseCheckFileName(48000.0, 24, "5.1"), "48k_24b_PhaseChk.5.1");
    EXPECT_EQ(PhaseCheckFileName(44100.0, 16, "Stereo"), "44k_16b_PhaseChk.Stereo");
    EXPECT_EQ(SpeakerName("/a/Phase Check for 5.1/48k_24b_PhaseChk.5.1.L.wav"), "L");
    EXPECT_EQ(SpeakerName("dir.x/96k_16b_PhaseChk.10.2.LSB.aif"), "LSB");
    std::vector<std::string> titles;
    for (std::int32_t setup = 0; setup < kLayoutCount; ++setup)
        titles.push_back(LayoutTitle(setup).value_or("?"));
    EXPECT_EQ(titles, (std::vector<std::string>{"Stereo", "Quad", "LCRS", "5.1", "6.1", "7.1",
                                                "10.2"}));
    EXPECT_FALSE(LayoutTitle(7));
    EXPECT_FALSE(LayoutTitle(-1));
    EXPECT_TRUE(IsPhaseCheckFileName("48k_24b_PhaseChk.5.1.L.wav"));
    EXPECT_TRUE(IsPhaseCheckFileName("44k_16b_PhaseChk.Stereo.R.aif"));
    EXPECT_TRUE(IsPhaseCheckFileName("44k_16b_PhaseChk.Stereo.aif")); // interleaved
    EXPECT_TRUE(IsPhaseCheckFileName("48k_24b_PhaseChk.10.2.wav"));
    EXPECT_FALSE(IsPhaseCheckFileName("48k_24b_PhaseChk.wav"));
    EXPECT_FALSE(IsPhaseCheckFileName("48k_24b_PhaseChk.5.1.L.wav.bak"));
    EXPECT_FALSE(IsPhaseCheckFileName("mix.wav"));
}

TEST_F(PhaseCheckRun, ReplacesADirectoryOfEarlierPhaseCheckFiles) {
    fs::create_directory(OutputDir());
    std::ofstream(OutputDir() + "/96k_24b_PhaseChk.Stereo.L.wav") << "old";
    Run();
    EXPECT_FALSE(progress.error);
    EXPECT_FALSE(fs::exists(OutputDir() + "/96k_24b_PhaseChk.Stereo.L.wav"));
    EXPECT_TRUE(fs::exists(OutputDir() + "/48k_16b_PhaseChk.Stereo.L.aif"));
}

// A folder of the user's own, or a file, at the chosen path is never removed.
class ForeignOutputPath : public PhaseCheckRun, public testing::WithParamInterface<int> {};

TEST_P(ForeignOutputPath, FailsAndTouchesNothing) {
    std::string keep;
    if (GetParam() == 0) {
        fs::create_directory(OutputDir());
        std::ofstream(OutputDir() + "/48k_16b_PhaseChk.Stereo.L.aif") << "ours";
        keep = OutputDir() + "/mix.wav";
    } else {
        keep = OutputDir();
    }
    std::ofstream(keep) << "the user's";
    Run();
    EXPECT_TRUE(progress.error);
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(progress.step, 0u);
    std::ifstream in(keep);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's");
    if (GetParam() == 0) {
        EXPECT_TRUE(fs::exists(OutputDir() + "/48k_16b_PhaseChk.Stereo.L.aif"));
    }
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find(OutputDir()), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(FolderOrFile, ForeignOutputPath, testing::Values(0, 1));

TEST_F(PhaseCheckRun, CancelDuringTheSpeakerNamesRemovesTheOutputDirectory) {
    settings.setChannelSetup(3);
    settings.setAnnounce(true);
    auto lookup = voices.Lookup();
    Run([&](const std::string& name) {
        if (name == "Center") shouldStop = 1; // the stop button, pressed while C is named
        return lookup(name);
    });
    EXPECT_TRUE(progress.cancelled);
    EXPECT_FALSE(progress.error);
    EXPECT_EQ(alerts, 0);
    EXPECT_FALSE(fs::exists(OutputDir()));
    EXPECT_EQ(shouldStop, 0);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "QUILPhaseCheckStopException: User cancelled writing of phase check files.");
}

TEST_F(PhaseCheckRun, MissingSpeakerVoiceIsReportedOnceAndTheJobGoesOn) {
    settings.setChannelSetup(3);
    settings.setAnnounce(true);
    settings.setNumRepeats(1);
    fs::remove(voiceFolder.Path() + "/Center.sample");
    Run();
    EXPECT_TRUE(progress.error);
    EXPECT_EQ(reports, (std::vector<std::string>{"could not find sample 'Center'"}));
    EXPECT_EQ(alerts, 0);
    // "Center" is put in three times (its name and two pairs), none of which counts.
    EXPECT_EQ(progress.step, progress.numsteps - 3);
    std::set<std::int64_t> lengths;
    for (const auto& speaker : kLayouts[3].speakers)
        lengths.insert(
            ReadWithLibsndfile(OutputDir() + "/48k_16b_PhaseChk.5.1." + speaker + ".aif").frames);
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
    auto lookup = voices.Lookup();
    Run([&](const std::string& name) {
        if (name == "Center") shouldStop = 1;
        return lookup(name);
    });
    EXPECT_EQ(progress.cancelled, !cannotCreate);
    EXPECT_EQ(progress.error, cannotCreate);
    EXPECT_EQ(alerts, cannotCreate ? 1 : 0);
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(StopOrNoFile, InterleavedUnfinished, testing::Bool());

} // namespace

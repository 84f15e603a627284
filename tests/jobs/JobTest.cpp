// Jobs run by the controller: the file a tone job writes, read back with libsndfile and
// compared with the closed-form signal; cancel and failures; the names proposed for the output;
// the save options and speaker table found at start-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "jobs/AppController.h"
#include "jobs/JobLimits.h"
#include "shell/Preferences.h"
#include "shell/SharedFlags.h"
#include "soundfile/Memory.h"
#include "support/FaultyFileServices.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct NameCase {
    std::int32_t kind;
    double freqFrom, freqTo, level, length, rate;
    std::optional<std::string> name;
};
class ProposedName : public testing::TestWithParam<NameCase> {};
TEST_P(ProposedName, ByKind) {
    const NameCase& c = GetParam();
    AppController controller;
    controller.saveOptions().setOutputType(c.kind);
    controller.settings() = ToneSettings(c.freqFrom, c.level, c.length, c.rate);
    controller.settings().setFreq_to(c.freqTo);
    EXPECT_EQ(controller.fileName("5.1"), c.name);
}
INSTANTIATE_TEST_SUITE_P(
    Kinds, ProposedName,
    testing::Values(NameCase{0, 440, 440, 0, 2.5, 48000, "VivuZira 440 Hz,  0.00 dB, 2 sec"},
                    NameCase{1, 5, 24000, -20, 30, 48000, "Full Sweep -20.00 dB, 48.0 kHz, 30 sec"},
                    NameCase{2, 20, 20000, -20, 15, 48000, "Custom Sweep 20-20000 Hz in 15 sec"},
                    NameCase{3, 0, 0, 0, 0, 48000, "Phase Check for 5.1"},
                    NameCase{4, 0, 0, 0, 30, 48000, "Pink Noise -20.00 dB RMS, 30 sec"},
                    NameCase{5, 0, 0, 0, 0, 48000, "Level Check for 5.1"},
                    NameCase{6, 0, 0, 0, 0, 48000, std::nullopt}));

// One job run synchronously on this thread, as the worker runs it, with the alerts recorded.
class Job : public testing::Test {
  protected:
    Job() {
        controller.settings() = ToneSettings(1000, -10, 0.5, 48000);
        shouldStop = 0;
    }
    ~Job() override {
        SetAllocationHook({});
        shouldStop = 0;
    }
    void Generate(const std::string& leaf) {
        controller.generateFile(folder.File(leaf));
        EXPECT_TRUE(controller.progress().done);
    }

    TempDir folder;
    RecordingDesktop desktop;
    AppController controller;
};

// An announced tone in an AIFF file, spoken with a copy of the shipped voices (one of them
// left out when the parameter names it): the announcement, a second of silence, then the tone,
// every sample within one step of 16 bits of A sin(2 pi f n / rate), with markers at the
// start, where the tone starts and where it ends.
class AnnouncedToneJob : public Job, public testing::WithParamInterface<std::string> {
  protected:
    AnnouncedToneJob() {
        const char* shipped = std::getenv("QUILL_RESOURCES");
        previous = shipped ? shipped : "";
        for (const auto& entry : fs::directory_iterator(shipped ? shipped : QUILL_SOURCE_RESOURCES))
            if (entry.path().filename() != GetParam() + ".sample")
                fs::copy(entry.path(), fs::path(voices.Path()) / entry.path().filename());
        setenv("QUILL_RESOURCES", voices.Path().c_str(), 1);
    }
    ~AnnouncedToneJob() override {
        if (previous.empty())
            unsetenv("QUILL_RESOURCES");
        else
            setenv("QUILL_RESOURCES", previous.c_str(), 1);
    }
    TempDir voices;
    std::string previous;
};

TEST_P(AnnouncedToneJob, WritesAnnouncementSilenceThenTheClosedFormTone) {
    const double rate = 44100.0, freq = 1000.0, level = -10.0;
    controller.saveOptions().setOutputType(kOutputTestTone);
    controller.saveOptions().setFileType(kFileTypeAIFF);
    controller.settings() = ToneSettings(freq, level, 1.0, rate);
    controller.settings().setAnnounce(true);
    Generate("tone");
    EXPECT_DOUBLE_EQ(controller.progress().percentage, 1.0);
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("tone.aif"));

    SoundFileView file = ReadWithLibsndfile(folder.File("tone.aif"));
    ASSERT_EQ(file.channels, 1);
    ASSERT_EQ(file.markers.size(), 3u);
    const std::int64_t start = file.markers[1];
    EXPECT_EQ(file.markers[0], 0);
    EXPECT_EQ(file.markers[2], start + 44100);
    ASSERT_EQ(file.frames, start + 44100);
    ASSERT_GT(start, 44100);
    double spoken = 0.0, pause = 0.0; // the loudest sample of each
    for (std::int64_t n = 0; n < start; ++n) {
        double& loudest = n < start - 44100 ? spoken : pause;
        loudest = std::max(loudest, std::fabs(file.samples[n]));
    }
    EXPECT_GT(spoken, 0.01);
    EXPECT_EQ(pause, 0.0);
    const double amplitude = std::pow(10.0, level / 20.0);
    for (std::int64_t n = 0; n < 44100; ++n)
        ASSERT_NEAR(file.samples[start + n], amplitude * std::sin(2.0 * M_PI * freq * n / rate),
                    1.0 / 32768.0)
            << "frame " << n << " of the tone";

    if (GetParam().empty()) {
        EXPECT_FALSE(controller.progress().error);
        EXPECT_TRUE(desktop.alerts.empty());
    } else {
        // Told once; the rest of the announcement and the tone are there.
        EXPECT_TRUE(controller.progress().error);
        EXPECT_EQ(desktop.alerts.size(), 1u);
        ASSERT_EQ(desktop.logLines.size(), 1u);
        EXPECT_THAT(desktop.logLines[0], HasSubstr("'" + GetParam() + "'"));
    }
}

INSTANTIATE_TEST_SUITE_P(Voices, AnnouncedToneJob, testing::Values("", "At"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param.empty() ? std::string("all")
                                                       : "without" + info.param;
                         });

// The longest signal the limits accept no longer fits after an announcement: the job refuses
// it before writing any of it and names the longest length left. (A job that tried to write it
// would soon fail on the 64 MB disk, for another reason.)
TEST_F(Job, LongestToneIsRefusedAfterItsAnnouncement) {
    FaultyFileServices files;
    files.LimitWrittenBytes(64 << 20);
    FileServicesScope scope(files);
    SaveOptions& options = controller.saveOptions();
    options.setFileType(kFileTypeBroadcastWave);
    options.setDataFormat(2);
    const std::int32_t most = MaxSignalFrames(options.realFileType(), options.wordLength());
    controller.settings() = ToneSettings(1000.0, -10.0, (most + 0.5) / 384000.0, 384000.0);
    controller.settings().setAnnounce(true);
    ASSERT_FALSE(CheckJobSettings(controller.settings(), options));
    Generate("tone");
    EXPECT_TRUE(controller.progress().error);
    ASSERT_EQ(desktop.logLines.size(), 1u);
    EXPECT_THAT(desktop.logLines[0], HasSubstr("after its announcement"));
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST_F(Job, CancelRemovesTheTemporaryFileAndKeepsTheOldTarget) {
    std::ofstream(folder.File("tone.aif")) << "old";
    controller.settings().setLength(5);
    ScopedObserver stopAtFirstBlock(
        kSweepGeneratorProgressNotification,
        [this](const std::string&, const std::any&) { controller.stopWriting(); });
    Generate("tone");
    EXPECT_TRUE(controller.progress().cancelled);
    EXPECT_FALSE(controller.progress().error);
    EXPECT_EQ(shouldStop, 0);
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("tone.aif"));
    EXPECT_EQ(Contents(folder.File("tone.aif")), "old");
    EXPECT_TRUE(desktop.alerts.empty());
}

TEST_F(Job, OneJobAtATimeAndALeftOverTemporaryFileIsNotInTheWay) {
    std::ofstream(folder.File("quilfile")) << "left over by a killed run";
    controller.settings().setLength(30);
    AppController other;
    other.settings() = controller.settings();
    std::thread first = controller.startJob(folder.File("a"));
    EXPECT_FALSE(controller.progress().done); // reset before the worker runs
    std::thread second = other.startJob(folder.File("b"));
    EXPECT_FALSE(second.joinable());
    EXPECT_TRUE(AppController::jobRunning());
    controller.stopWriting();
    first.join();
    EXPECT_FALSE(AppController::jobRunning());
    controller.settings().setLength(0.5);
    std::thread again = controller.startJob(folder.File("a"));
    ASSERT_TRUE(again.joinable());
    again.join();
    EXPECT_FALSE(controller.progress().error);
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("a.aif", "quilfile"));
    EXPECT_EQ(Contents(folder.File("quilfile")), "left over by a killed run");
}

// Failing file calls are JobFaultsTest's; this is the one failure before them.
TEST_F(Job, SpecificsThatCannotBeAllocatedAreReportedWithTheReason) {
    controller.saveOptions().setFileType(kFileTypeBroadcastWave);
    SetAllocationHook([](std::size_t size) { return size == 256; });
    Generate("tone");
    SetAllocationHook({});
    EXPECT_TRUE(controller.progress().error);
    EXPECT_THAT(desktop.logLines,
                ElementsAre("QUILException thrown: not enough memory for bwf specifics (making '" +
                            folder.File("tone.wav") + "') - "));
    EXPECT_THAT(desktop.alerts, ElementsAre(std::pair<std::string, std::string>(
                                    kSoundFileAlertTitle, kSoundFileAlertMessage)));
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST_F(Job, SomethingOtherThanAFileAtTheTargetIsLeftAlone) {
    fs::create_directory(folder.File("tone.aif"));
    std::ofstream(folder.File("tone.aif/inside")) << "kept";
    Generate("tone");
    EXPECT_TRUE(controller.progress().error);
    ASSERT_EQ(desktop.logLines.size(), 1u);
    EXPECT_THAT(desktop.logLines[0], HasSubstr("is not a file"));
    EXPECT_EQ(Contents(folder.File("tone.aif/inside")), "kept");
}

TEST_F(Job, CreateSoundFileNamesTheFileFromItsParts) {
    controller.saveOptions().setFileType(kFileTypeBroadcastWave);
    ASSERT_TRUE(controller.createSoundFile("48k_16b_PhaseChk", "L", folder.Path()));
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("48k_16b_PhaseChk.L.wav"));
    EXPECT_FALSE(controller.createSoundFile("x", "L", folder.File("missing")));
    EXPECT_TRUE(desktop.alerts.empty()); // a file not made is the caller's to report
}

// Start-up restores the job kind and word length from the preferences, never the file type;
// confirming a save stores all three. The shipped speaker table is found.
TEST(AppControllerStartUp, RestoresSaveOptionsAndLoadsTheSpeakerTable) {
    TempDir folder;
    Preferences preferences(folder.File("preferences.json"));
    ScopedSharedPreferences scope(preferences);
    preferences.SetObject(kSaveOptionsKey, {{"Kind", 2}, {"FileType", 1}, {"Format", 2}});
    {
        AppController restored;
        EXPECT_EQ(restored.saveOptions().outputType(), 2);
        EXPECT_EQ(restored.saveOptions().wordLength(), 24);
        EXPECT_EQ(restored.saveOptions().fileType(), 0);
        for (const char* speaker : {"L", "C", "R", "Ls", "Rs", "LFE", "LSB", "Rh", "S"})
            EXPECT_TRUE(restored.speakers().contains(speaker)) << speaker;
        restored.saveOptions().setFileType(1);
        restored.storeSaveOptions();
    }
    EXPECT_EQ(Preferences(folder.File("preferences.json")).GetObject(kSaveOptionsKey),
              (nlohmann::json{{"Kind", 2}, {"FileType", 1}, {"Format", 2}}));
}

} // namespace

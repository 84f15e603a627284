#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobs/AppController.h"
#include "jobs/JobTestSupport.h"
#include "shell/Preferences.h"
#include "shell/SharedFlags.h"
#include "soundfile/Memory.h"
#include "support/FaultyFileServices.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;

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
    testing::Values(NameCase{0, 1000, 1000, -10, 10, 44100, "VivuZira 1000 Hz, -10.00 dB, 10 sec"},
                    NameCase{0, 440, 440, 0, 2.5, 48000, "VivuZira 440 Hz,  0.00 dB, 2 sec"},
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
        controller.settings().setAnnounce(false);
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

TEST_F(Job, WritesTheTargetAndNothingElse) {
    controller.saveOptions().setFileType(kFileTypeBroadcastWave);
    Generate("tone");
    EXPECT_FALSE(controller.progress().error);
    EXPECT_DOUBLE_EQ(controller.progress().percentage, 1.0);
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("tone.wav"));
    EXPECT_EQ(ReadWithLibsndfile(folder.File("tone.wav")).frames, 24000);
    EXPECT_TRUE(desktop.alerts.empty());
}

TEST_F(Job, OneJobAtATimeAndALeftOverTemporaryFileIsNotInTheWay) {
    // A file left behind by a killed run is neither reused nor in the way.
    std::ofstream(folder.File("quilfile")) << "left over";
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
    std::ifstream in(folder.File("tone.aif"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_TRUE(desktop.alerts.empty());
}

// Failing file calls are the fault-injection test's; this is the one failure before them.
TEST_F(Job, SpecificsThatCannotBeAllocatedAreReported) {
    controller.saveOptions().setFileType(kFileTypeBroadcastWave);
    SetAllocationHook([](std::size_t size) { return size == 256; });
    Generate("tone");
    SetAllocationHook({});
    EXPECT_TRUE(controller.progress().error);
    EXPECT_THAT(desktop.logLines,
                ElementsAre("QUILException thrown: not enough memory for bwf specifics (making '" +
                            folder.File("tone.wav") + "') - "));
    ASSERT_EQ(desktop.alerts.size(), 1u);
    EXPECT_EQ(desktop.alerts[0].first, "Could not save sound file");
    EXPECT_EQ(desktop.alerts[0].second,
              "An error occurred while trying to generate your sound file.");
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

TEST_F(Job, SomethingOtherThanAFileAtTheTargetIsLeftAlone) {
    fs::create_directory(folder.File("tone.aif"));
    std::ofstream(folder.File("tone.aif/inside")) << "kept";
    Generate("tone");
    EXPECT_TRUE(controller.progress().error);
    ASSERT_EQ(desktop.logLines.size(), 1u);
    EXPECT_THAT(desktop.logLines[0], HasSubstr("is not a file"));
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("tone.aif"));
    EXPECT_TRUE(fs::exists(folder.File("tone.aif/inside")));
}

TEST_F(Job, CreateSoundFileNamesTheFileFromItsParts) {
    controller.saveOptions().setFileType(kFileTypeBroadcastWave);
    auto file = controller.createSoundFile("48k_16b_PhaseChk", "L", folder.Path());
    ASSERT_TRUE(file);
    file.reset();
    EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("48k_16b_PhaseChk.L.wav"));
    EXPECT_FALSE(controller.createSoundFile("x", "L", folder.File("missing")));
    EXPECT_TRUE(desktop.alerts.empty()); // a file not made is the caller's to report
}

// Start-up restores the job kind and word length from the preferences, never the file type,
// and confirming a save stores the three-entry dictionary.
TEST(AppControllerStartUp, SaveOptionsComeFromThePreferences) {
    TempDir folder;
    Preferences preferences(folder.File("preferences.json"));
    ScopedSharedPreferences scope(preferences);
    {
        AppController fresh;
        EXPECT_EQ(fresh.saveOptions().dictionary(),
                  (nlohmann::json{{"Kind", 0}, {"FileType", 0}, {"Format", 1}}));
    }
    preferences.SetObject(kSaveOptionsKey, {{"Kind", 2}, {"FileType", 1}, {"Format", 2}});
    {
        AppController restored;
        EXPECT_EQ(restored.saveOptions().outputType(), 2);
        EXPECT_EQ(restored.saveOptions().wordLength(), 24);
        EXPECT_EQ(restored.saveOptions().fileType(), 0);
        restored.saveOptions().setFileType(1);
        restored.storeSaveOptions();
    }
    EXPECT_EQ(Preferences(folder.File("preferences.json")).GetObject(kSaveOptionsKey),
              (nlohmann::json{{"Kind", 2}, {"FileType", 1}, {"Format", 2}}));
}

// The shipped speaker table is found at start-up, so a phase check names its speakers.
TEST(AppControllerStartUp, LoadsTheShippedSpeakerTable) {
    AppController controller;
    const nlohmann::json& table = controller.speakers();
    ASSERT_TRUE(table.is_object());
    for (const char* speaker : {"L", "C", "R", "Ls", "Rs", "LFE", "LSB", "Rh", "S"})
        EXPECT_TRUE(table.contains(speaker)) << speaker;
}

// A test tone job with its announcement, spoken with the shipped voices, read back by Python's
// aifc: the announcement comes first, the signal starts where it ends, and the markers say so.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "jobs/Announcer.h"
#include "jobs/AppController.h"
#include "jobs/JobLimits.h"
#include "jobs/JobTestSupport.h"
#include "shell/SharedFlags.h"
#include "support/FaultyFileServices.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// The frames each voice sample of `folder` takes at `rate`, and pauses by the file's clock.
class VoiceLengths : public Speech {
public:
    VoiceLengths(fs::path folder, double rate) : folder(std::move(folder)), rate(rate) {}
    std::int32_t Say(const std::string& name) override {
        std::error_code missing;
        auto bytes = fs::file_size(folder / (name + ".sample"), missing);
        if (missing) return 0;
        return static_cast<std::int32_t>(static_cast<double>(bytes / 2) * rate / 48000.0);
    }
    std::int32_t Pause(double seconds) override {
        return static_cast<std::int32_t>(static_cast<double>(static_cast<float>(rate)) * seconds);
    }

private:
    fs::path folder;
    double rate;
};

nlohmann::json ReadWithAifc(const std::string& path) {
    std::string command = std::string(PYTHON3_PATH) + " " + QUILL_TEST_TOOLS +
                          "/aifc_tool.py read '" + path + "'";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        pclose(pipe);
    }
    return nlohmann::json::parse(text, nullptr, false);
}

// Voices from a copy of the shipped set, with `missing` left out when it is not empty.
class AnnouncedTone : public testing::TestWithParam<std::string> {
protected:
    AnnouncedTone() {
        const char* shipped = std::getenv("QUILL_RESOURCES");
        previous = shipped ? shipped : "";
        for (const auto& entry : fs::directory_iterator(shipped ? shipped : QUILL_SOURCE_RESOURCES))
            if (entry.path().filename() != GetParam() + ".sample")
                fs::copy(entry.path(), fs::path(voices.Path()) / entry.path().filename());
        setenv("QUILL_RESOURCES", voices.Path().c_str(), 1);
        shouldStop = 0;
    }
    ~AnnouncedTone() override {
        if (previous.empty())
            unsetenv("QUILL_RESOURCES");
        else
            setenv("QUILL_RESOURCES", previous.c_str(), 1);
    }

    TempDir voices;
    TempDir folder;
    std::string previous;
};

TEST_P(AnnouncedTone, HoldsAnnouncementThenSignalWithMarkersAtBothStarts) {
    RecordingDesktop desktop;
    AppController controller;
    controller.saveOptions().setOutputType(kOutputTestTone);
    controller.saveOptions().setFileType(kFileTypeAIFF);
    Settings& s = controller.settings() = ToneSettings(1000.0, -10.0, 1.0, 44100.0);
    s.setAnnounce(true);
    controller.generateFile(folder.File("tone"));

    VoiceLengths lengths(voices.Path(), 44100.0);
    const std::int32_t announcement = speech::AnnounceVivuZira(s, kOutputTestTone, lengths);
    nlohmann::json file = ReadWithAifc(folder.File("tone.aif"));
    ASSERT_TRUE(file.is_object()) << "aifc could not read the file";
    EXPECT_EQ(file["frames"], announcement + 44100);
    ASSERT_EQ(file["markers"].size(), 3u) << file["markers"];
    EXPECT_EQ(file["markers"][0][1], 0);
    EXPECT_EQ(file["markers"][0][2], "Announcement");
    EXPECT_EQ(file["markers"][1][1], announcement);
    EXPECT_EQ(file["markers"][2][1], announcement + 44100);

    if (GetParam().empty()) {
        EXPECT_FALSE(controller.progress().error);
        EXPECT_TRUE(desktop.alerts.empty());
    } else {
        // Told once; the rest of the announcement and the signal are there.
        EXPECT_TRUE(controller.progress().error);
        EXPECT_EQ(desktop.alerts.size(), 1u);
        ASSERT_EQ(desktop.logLines.size(), 1u);
        EXPECT_NE(desktop.logLines[0].find("'" + GetParam() + "'"), std::string::npos);
        EXPECT_TRUE(fs::exists(folder.File("tone.aif")));
    }
}

// The longest signal the limits accept no longer fits after an announcement: the job refuses
// it before writing any of it and names the longest length left. (The disk of 64 MB makes a
// job that tried to write it fail soon, for another reason.)
TEST(AnnouncedLongestTone, IsRefusedBeforeTheSignal) {
    RecordingDesktop desktop;
    TempDir folder;
    FaultyFileServices files;
    files.LimitWrittenBytes(64 << 20);
    FileServicesScope scope(files);
    shouldStop = 0;
    AppController controller;
    SaveOptions& options = controller.saveOptions();
    options.setFileType(kFileTypeBroadcastWave);
    options.setDataFormat(2);
    const std::int32_t most = MaxSignalFrames(options.realFileType(), options.wordLength());
    Settings& s = controller.settings() =
        ToneSettings(1000.0, -10.0, (most + 0.5) / 384000.0, 384000.0);
    s.setAnnounce(true);
    ASSERT_FALSE(CheckJobSettings(s, options));
    controller.generateFile(folder.File("tone"));
    EXPECT_TRUE(controller.progress().error);
    ASSERT_EQ(desktop.logLines.size(), 1u);
    EXPECT_NE(desktop.logLines[0].find("after its announcement"), std::string::npos)
        << desktop.logLines[0];
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Voices, AnnouncedTone, testing::Values("", "At", "1"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param.empty() ? std::string("all") : "without" + info.param;
                         });

} // namespace

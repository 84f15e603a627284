// quillgen info end to end: the program run on files written through the engine.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "formats/CAIFFFile.h"
#include "support/TempDir.h"

namespace {

struct CommandResult {
    int exitStatus = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs quillgen with `arguments` and a preferences folder of its own under `dir`.
CommandResult Quillgen(const TempDir& dir, const std::string& arguments) {
    // A run that blocks (on a FIFO, say) ends as a failure instead of hanging the suite.
    const std::string command = "XDG_CONFIG_HOME='" + dir.File("config") +
                                "' timeout 60 '" QUILLGEN_PATH "' " + arguments + " >'" +
                                dir.File("out") + "' 2>'" + dir.File("err") + "'";
    CommandResult run;
    const int raw = std::system(command.c_str());
    run.exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Slurp(dir.File("out"));
    run.err = Slurp(dir.File("err"));
    return run;
}

void SetName(unsigned char* pascal, const std::string& bytes) {
    pascal[0] = std::uint8_t(bytes.size());
    std::memcpy(pascal + 1, bytes.data(), bytes.size());
}

// A stereo 24-bit file at 96 kHz, 300 frames, with two markers (one numbered, one named in
// Mac Roman), one loop and, when asked, sampler information.
void WriteFile(const TempDir& dir, const std::string& name, bool withLoop) {
    const FSSpec fileRef = dir.Spec(name);
    CAIFFFile file;
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(2, 24, 96000.0f, nullptr, 0, nullptr), kNoErr);
    std::vector<double> samples(600, 0.25);
    double* block = samples.data();
    std::int32_t count = 300;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    SFTMarker marker{};
    marker.id = 10;
    marker.position = 20;
    SetName(marker.name, "Intro");
    marker.type = kMarkerTypeNumbered;
    marker.number = 4;
    ASSERT_EQ(file.AddMarker(&marker), kNoErr);
    marker.id = 11;
    marker.position = 299;
    SetName(marker.name, "\xA5 end"); // Mac Roman bullet
    marker.type = kMarkerTypeOrdinary;
    marker.number = -1;
    ASSERT_EQ(file.AddMarker(&marker), kNoErr);
    if (withLoop) {
        SFTLoop loop{1, 50, 150, 1};
        ASSERT_EQ(file.AddLoop(&loop), kNoErr);
    }
    ASSERT_EQ(file.Close(), kNoErr);
}

TEST(InfoCommand, JsonShowsWhatTheFileHolds) {
    TempDir dir;
    WriteFile(dir, "tone.aif", true);
    // Readers told to process the whole file when it has no regions still show none.
    std::filesystem::create_directories(dir.File("config") + "/quillwavecaster");
    std::ofstream(dir.File("config") + "/quillwavecaster/preferences.json")
        << R"({"Process File If No Regions": true})";

    const CommandResult run = Quillgen(dir, "info --json '" + dir.File("tone.aif") + "'");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto info = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(info.is_discarded()) << run.out;
    const nlohmann::json header{{"path", dir.File("tone.aif")}, {"format", "AIFF"},
                                {"channels", 2}, {"bits", 24}, {"sampleRate", 96000},
                                {"frames", 300}, {"regions", nlohmann::json::array()}};
    for (const auto& [key, value] : header.items()) EXPECT_EQ(info[key], value) << key;
    ASSERT_EQ(info["markers"].size(), 2u);
    EXPECT_EQ(info["markers"][0],
              (nlohmann::json{{"id", 10}, {"position", 20}, {"name", "Intro"}, {"number", 1}}));
    EXPECT_EQ(info["markers"][1]["name"], "\xE2\x80\xA2 end");
    EXPECT_FALSE(info["markers"][1].contains("number"));
    EXPECT_EQ(info["loops"],
              (nlohmann::json::array({{{"id", 1}, {"start", 50}, {"end", 150}, {"type", 1}}})));
    ASSERT_TRUE(info.contains("sampler"));
    EXPECT_EQ(info["sampler"]["baseNote"], 60);
    EXPECT_EQ(info["sampler"]["highVelocity"], 127);
}

TEST(InfoCommand, NoSamplerWithoutInstrumentChunkAndPlainTextByDefault) {
    TempDir dir;
    WriteFile(dir, "plain.aif", false);
    const CommandResult json = Quillgen(dir, "info --json '" + dir.File("plain.aif") + "'");
    ASSERT_EQ(json.exitStatus, 0) << json.err;
    const auto info = nlohmann::json::parse(json.out, nullptr, false);
    EXPECT_FALSE(info.contains("sampler"));
    EXPECT_EQ(info["loops"], nlohmann::json::array());

    const CommandResult text = Quillgen(dir, "info '" + dir.File("plain.aif") + "'");
    ASSERT_EQ(text.exitStatus, 0) << text.err;
    EXPECT_NE(text.out.find("AIFF"), std::string::npos);
    EXPECT_NE(text.out.find("96000"), std::string::npos);
    EXPECT_NE(text.out.find("Intro"), std::string::npos);
}

// Names the engine cannot carry (longer than 63 bytes, or outside Mac Roman) are still
// inspected, and nothing is left behind in the temporary folder.
TEST(InfoCommand, OpensFilesWhoseNamesTheEngineCannotCarry) {
    TempDir dir;
    WriteFile(dir, "plain.aif", false);
    for (const std::string& name :
         {std::string(80, 'n') + ".aif", std::string("\xe6\xb8\xac\xe5\xae\x9a tone.aif")}) {
        std::filesystem::copy_file(dir.File("plain.aif"), dir.File(name));
        const CommandResult run = Quillgen(dir, "info --json '" + dir.File(name) + "'");
        ASSERT_EQ(run.exitStatus, 0) << name << ": " << run.err;
        const auto info = nlohmann::json::parse(run.out, nullptr, false);
        EXPECT_EQ(info["frames"], 300) << name;
        EXPECT_EQ(info["path"], dir.File(name));
        EXPECT_EQ(info["regions"], nlohmann::json::array()) << name;
    }
}

enum class Made { Bytes, Nothing, Fifo, Folder, BelowAFile };

struct Unreadable {
    const char* label;
    const char* name;
    Made made;
    std::vector<std::uint8_t> bytes;
    const char* reason;
};

class InfoCommandUnreadable : public ::testing::TestWithParam<Unreadable> {};

// One line naming the path and why it cannot be read, in the system's words where the system
// refused.
TEST_P(InfoCommandUnreadable, OneLineOnStderrAndExitStatusOne) {
    const Unreadable& c = GetParam();
    TempDir dir;
    const std::string path = dir.File(c.name);
    if (c.made == Made::Bytes) ASSERT_TRUE(WriteFileBytes(path, c.bytes));
    if (c.made == Made::Fifo) ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    if (c.made == Made::Folder) ASSERT_TRUE(std::filesystem::create_directory(path));
    if (c.made == Made::BelowAFile) ASSERT_TRUE(WriteFileBytes(dir.File("file"), {1}));
    const CommandResult run = Quillgen(dir, "info --json '" + path + "'");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, InfoCommandUnreadable,
    ::testing::Values(
        Unreadable{"missing", "missing.aif", Made::Nothing, {}, "No such file or directory"},
        Unreadable{"below_a_file", "file/x.aif", Made::BelowAFile, {}, "Not a directory"},
        Unreadable{"fifo", "fifo.aif", Made::Fifo, {}, "not a regular file"},
        Unreadable{"folder", "folder.aif", Made::Folder, {}, "Is a directory"},
        Unreadable{"text",
                   "text.aif",
                   Made::Bytes,
                   {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '\n'},
                   "is not an AIFF or WAVE file"},
        Unreadable{
            "short", "short.aif", Made::Bytes, {'F', 'O', 'R', 'M'}, "is not an AIFF or WAVE file"},
        Unreadable{
            "nocomm",
            "nocomm.aif",
            Made::Bytes,
            {'F', 'O', 'R', 'M', 0, 0, 0, 12, 'A', 'I', 'F', 'F', 'J', 'U', 'N', 'K', 0, 0, 0, 0},
            StatusText(kErrNoCOMMChunk)}),
    [](const ::testing::TestParamInfo<Unreadable>& info) { return std::string(info.param.label); });

// A 1 kHz sine on each channel at 48 kHz, whole periods, written through the engine.
void WriteSines(const TempDir& dir, const std::string& name, std::int16_t bits,
                const std::vector<double>& amplitudes) {
    const FSSpec fileRef = dir.Spec(name);
    CAIFFFile file;
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    const auto channels = std::int16_t(amplitudes.size());
    ASSERT_EQ(file.Create(channels, bits, 48000.0f, nullptr, 0, nullptr), kNoErr);
    std::int32_t frames = 4800;
    std::vector<double> samples;
    for (std::int32_t f = 0; f < frames; ++f)
        for (double amplitude : amplitudes)
            samples.push_back(amplitude * std::sin(2.0 * M_PI * 1000.0 * f / 48000.0));
    double* block = samples.data();
    ASSERT_EQ(file.Write(0, &frames, &block), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
}

struct LevelCase {
    const char* label;
    std::int16_t bits;
    std::vector<double> decibels; // per channel; below -200: silence
};

class InfoLevels : public ::testing::TestWithParam<LevelCase> {};

// A sine's peak is its level and its RMS level 3.01 dB below; silence has neither.
TEST_P(InfoLevels, PeakAndRmsPerChannel) {
    const LevelCase& c = GetParam();
    TempDir dir;
    std::vector<double> amplitudes;
    for (double db : c.decibels)
        amplitudes.push_back(db < -200.0 ? 0.0 : std::pow(10.0, db / 20.0));
    WriteSines(dir, "sine.aif", c.bits, amplitudes);
    const CommandResult run = Quillgen(dir, "info --json --levels '" + dir.File("sine.aif") + "'");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto levels = nlohmann::json::parse(run.out, nullptr, false)["levels"];
    ASSERT_EQ(levels.size(), c.decibels.size()) << run.out;
    for (std::size_t k = 0; k < c.decibels.size(); ++k) {
        if (c.decibels[k] < -200.0) {
            EXPECT_EQ(levels[k], (nlohmann::json{{"peak", nullptr}, {"rms", nullptr}}));
            continue;
        }
        EXPECT_NEAR(levels[k]["peak"].get<double>(), c.decibels[k], 0.011) << k;
        EXPECT_NEAR(levels[k]["rms"].get<double>(), c.decibels[k] - 3.0103, 0.011) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, InfoLevels,
    ::testing::Values(LevelCase{"tone16", 16, {-10.0}}, LevelCase{"tone24", 24, {-10.0}},
                      LevelCase{"silence", 16, {-999.0}}, LevelCase{"stereo", 24, {-6.0, -20.0}}),
    [](const ::testing::TestParamInfo<LevelCase>& info) { return std::string(info.param.label); });

TEST(InfoCommand, UsageErrorsExitWithTwo) {
    TempDir dir;
    EXPECT_EQ(Quillgen(dir, "info").exitStatus, 2);
    EXPECT_EQ(Quillgen(dir, "info --no-such-option x.aif").exitStatus, 2);
    EXPECT_EQ(Quillgen(dir, "info a.aif b.aif").exitStatus, 2);
}

} // namespace

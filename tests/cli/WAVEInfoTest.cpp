// quillgen info on the WAVE files this program writes: markers, regions and the bext fields.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>

#include "formats/CBWFLinearFile.h"
#include "support/TempDir.h"

namespace {

// The command's standard output and exit status.
std::string Capture(const std::string& command, int* exitStatus) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    std::size_t n;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int raw = pipe ? ::pclose(pipe) : -1;
    *exitStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

nlohmann::json InfoJson(const TempDir& dir, const std::string& file, int* exitStatus) {
    const std::string command = "XDG_CONFIG_HOME='" + dir.File("config") +
                                "' '" QUILLGEN_PATH "' info --json '" + dir.File(file) +
                                "' 2>/dev/null";
    return nlohmann::json::parse(Capture(command, exitStatus), nullptr, false);
}

// A mono 16-bit file of 1000 frames with a marker and a region, as either WAVE class writes it.
void Write(const TempDir& dir, const std::string& name, bool broadcast) {
    CBWFLinearFile bwf;
    CWAVEFile wave;
    CWAVEFile& file = broadcast ? bwf : wave;
    const FSSpec fileRef = dir.Spec(name);
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    std::uint8_t specifics[256] = {0};
    ASSERT_EQ(file.Create(1, 16, 48000.0f, specifics, 0, nullptr), kNoErr);
    std::vector<double> samples(1000, 0.125);
    double* block = samples.data();
    std::int32_t count = 1000;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    SFTMarker marker{0, 250, {5, 'S', 't', 'a', 'r', 't'}, kMarkerTypeOrdinary, -1};
    ASSERT_EQ(file.AddMarker(&marker), kNoErr);
    SFTRegion region{0, 100, 900, 100, 0, {3, 'M', 'i', 'd'}};
    ASSERT_EQ(file.AddRegion(&region), kNoErr);
    file.SetTimeStamp(3723 * 48000);
    ASSERT_EQ(file.Close(), kNoErr);
}

class WAVEInfo : public ::testing::TestWithParam<bool> {};

TEST_P(WAVEInfo, ShowsMarkersRegionsAndBroadcastFields) {
    const bool broadcast = GetParam();
    TempDir dir;
    Write(dir, "f.wav", broadcast);
    int status = -1;
    const nlohmann::json info = InfoJson(dir, "f.wav", &status);
    ASSERT_EQ(status, 0);
    ASSERT_FALSE(info.is_discarded());
    EXPECT_EQ(info["format"], broadcast ? "BWF" : "WAVE");
    EXPECT_EQ(info["frames"], 1000);
    ASSERT_EQ(info["markers"].size(), 1u);
    EXPECT_EQ(info["markers"][0]["position"], 250);
    EXPECT_EQ(info["markers"][0]["name"], "Start");
    ASSERT_EQ(info["regions"].size(), 1u);
    EXPECT_EQ(info["regions"][0]["start"], 100);
    EXPECT_EQ(info["regions"][0]["end"], 900);
    // The region's name lives only in the Broadcast WAVE region chunk.
    EXPECT_EQ(info["regions"][0]["name"], broadcast ? "Mid" : "Region nmbr 1");
    if (!broadcast) {
        EXPECT_FALSE(info.contains("bext"));
        return;
    }
    const auto& bext = info["bext"];
    EXPECT_EQ(bext["description"], "");
    EXPECT_EQ(bext["originator"], "Ziro Dudavo");
    EXPECT_EQ(bext["originatorReference"], "Kestrelbay - Quillwavecaster");
    EXPECT_EQ(bext["originationDate"], "2004:00:00");
    EXPECT_EQ(bext["originationTime"], "01:02:03");
    EXPECT_EQ(bext["timeReference"], 3723 * 48000);
    EXPECT_EQ(bext["version"], 0);
}

INSTANTIATE_TEST_SUITE_P(WAVEAndBWF, WAVEInfo, ::testing::Bool());

// Forms of WAVE that info does not read are named in its message, with the path.
struct RefusedCase {
    const char* name;
    const char* command; // makes the file at "{}"
    const char* says;
};
class WAVEInfoRefuses : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(WAVEInfoRefuses, SaysWhatTheFileIs) {
    TempDir dir;
    const std::string path = dir.File(std::string(GetParam().name) + ".wav");
    std::string make = GetParam().command;
    make.replace(make.find("{}"), 2, "'" + path + "'");
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    int exitStatus = 0;
    const std::string output =
        Capture("XDG_CONFIG_HOME='" + dir.File("config") + "' '" QUILLGEN_PATH "' info '" + path +
                    "' 2>&1 >/dev/null",
                &exitStatus);
    EXPECT_EQ(exitStatus, 1);
    EXPECT_NE(output.find("'" + path + "' is " + GetParam().says), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    FloatAndRF64, WAVEInfoRefuses,
    ::testing::Values(
        RefusedCase{"float", "sox -n -r 8000 -e floating-point -b 32 -c 1 {} synth 0.05 sine 440",
                    "a 32-bit floating-point WAVE file"},
        RefusedCase{"double", "ffmpeg -v error -f lavfi -i sine=d=0.05 -ac 6 -c:a pcm_f64le -y {}",
                    "a 64-bit floating-point WAVE file"},
        RefusedCase{"rf64", "ffmpeg -v error -f lavfi -i sine=d=0.05 -rf64 always -y {}",
                    "an RF64 file"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// quillgen info: what AIFF, WAVE and Broadcast WAVE files written through the engine hold and
// their levels; one line and exit status 1 for a file it cannot read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

using namespace quillgen_test;
using testing::HasSubstr;
using json = nlohmann::json;

namespace {

// quillgen info with `args`, its preferences in the folder "config" of `dir`.
Outcome Info(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "info");
    return Quillgen(dir.Path(), args, 0, dir.File("config")).Wait();
}

json InfoJson(const TempDir& dir, const std::string& path) {
    const Outcome run = Info(dir, {"--json", "--levels", path});
    EXPECT_EQ(run.exit, 0) << run.err;
    return json::parse(run.out, nullptr, false);
}

// Starts `name` in `file`: 4800 frames at 48 kHz, on each channel a 1 kHz sine at its level in
// dB (below -200: silence).
void Start(CSoundFile& file, const TempDir& dir, const std::string& name, std::int16_t bits,
           const std::vector<double>& levels) {
    const FSSpec fileRef = dir.Spec(name);
    std::uint8_t specifics[256] = {0};
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(std::int16_t(levels.size()), bits, 48000.0f, specifics, 0, nullptr),
              kNoErr);
    std::vector<double> samples;
    for (int f = 0; f < 4800; ++f)
        for (double db : levels)
            samples.push_back(db < -200 ? 0.0
                                        : std::pow(10.0, db / 20.0) * std::sin(M_PI * f / 24.0));
    double* block = samples.data();
    std::int32_t count = 4800;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
}

void AddMarker(CSoundFile& file, std::int32_t id, std::int32_t position, const std::string& name,
               std::int16_t number = -1) {
    SFTMarker marker{
        id, position, {}, number < 0 ? kMarkerTypeOrdinary : kMarkerTypeNumbered, number};
    marker.name[0] = std::uint8_t(name.size());
    std::memcpy(marker.name + 1, name.data(), name.size());
    ASSERT_EQ(file.AddMarker(&marker), kNoErr);
}

// A sine's peak is its level and its RMS level 3.01 dB below.
void ExpectSineLevels(const json& shown, double level) {
    EXPECT_NEAR(shown["peak"].get<double>(), level, 0.011);
    EXPECT_NEAR(shown["rms"].get<double>(), level - 3.0103, 0.011);
}

TEST(InfoCommand, ShowsWhatAnAIFFFileHolds) {
    TempDir dir;
    CAIFFFile file;
    Start(file, dir, "tone.aif", 24, {-6.0, -999.0});
    AddMarker(file, 10, 20, "Intro", 4);
    AddMarker(file, 11, 299, "\xA5 end"); // a Mac Roman bullet
    SFTLoop loop{1, 50, 150, 1};
    ASSERT_EQ(file.AddLoop(&loop), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
    // Told to process the whole file when it has no regions, the readers still show none.
    std::filesystem::create_directories(dir.File("config/quillwavecaster"));
    std::ofstream(dir.File("config/quillwavecaster/preferences.json"))
        << R"({"Process File If No Regions": true})";
    const json info = InfoJson(dir, dir.File("tone.aif"));
    json expected = json::parse(R"({"format": "AIFF", "channels": 2, "bits": 24,
        "sampleRate": 48000, "frames": 4800, "regions": [],
        "markers": [{"id": 10, "position": 20, "name": "Intro", "number": 1},
                    {"id": 11, "position": 299, "name": "\u2022 end"}],
        "loops": [{"id": 1, "start": 50, "end": 150, "type": 1}]})");
    expected["path"] = dir.File("tone.aif");
    for (const auto& [key, value] : expected.items())
        EXPECT_EQ(info[key], value) << key;
    EXPECT_EQ(info["sampler"]["baseNote"], 60);
    ASSERT_EQ(info["levels"].size(), 2u);
    ExpectSineLevels(info["levels"][0], -6.0);
    EXPECT_EQ(info["levels"][1], json::parse(R"({"peak": null, "rms": null})")); // silence

    const Outcome text = Info(dir, {dir.File("tone.aif")});
    EXPECT_EQ(text.exit, 0);
    for (const char* shown : {"AIFF", "48000", "Intro"})
        EXPECT_THAT(text.out, HasSubstr(shown));
    // Names the engine cannot carry (longer than 63 bytes, or outside Mac Roman) are read too.
    for (const std::string& name :
         {std::string(80, 'n') + ".aif", std::string("\xe6\xb8\xac.aif")}) {
        std::filesystem::copy_file(dir.File("tone.aif"), dir.File(name));
        EXPECT_EQ(InfoJson(dir, dir.File(name))["frames"], 4800) << name;
    }
}

class WAVEInfo : public testing::TestWithParam<bool> {};

TEST_P(WAVEInfo, ShowsMarkersRegionsAndBroadcastFields) {
    const bool broadcast = GetParam();
    TempDir dir;
    CBWFLinearFile bwf;
    CWAVEFile wave;
    CWAVEFile& file = broadcast ? bwf : wave;
    Start(file, dir, "f.wav", 16, {-10.0});
    AddMarker(file, 0, 250, "Start");
    SFTRegion mid{1, 100, 900, 100, 0, {3, 'M', 'i', 'd'}};
    ASSERT_EQ(file.AddRegion(&mid), kNoErr);
    file.SetTimeStamp(3723 * 48000);
    ASSERT_EQ(file.Close(), kNoErr);
    const json info = InfoJson(dir, dir.File("f.wav"));
    EXPECT_EQ(info["format"], broadcast ? "BWF" : "WAVE");
    EXPECT_EQ(info["bits"], 16);
    EXPECT_EQ(info["markers"], json::parse(R"([{"id": 0, "position": 250, "name": "Start"}])"));
    // The region's name lives only in the Broadcast WAVE region chunk.
    json region = json::parse(R"([{"id": 1, "start": 100, "end": 900, "sync": 100}])");
    region[0]["name"] = broadcast ? "Mid" : "Region nmbr 1";
    EXPECT_EQ(info["regions"], region);
    ASSERT_EQ(info["levels"].size(), 1u);
    ExpectSineLevels(info["levels"][0], -10.0);
    const json bext = json::parse(R"({"description": "", "originator": "Ziro Dudavo",
        "originatorReference": "Kestrelbay - Quillwavecaster", "originationDate": "2004:00:00",
        "originationTime": "01:02:03", "timeReference": 178704000, "version": 0})");
    EXPECT_EQ(info.value("bext", json()), broadcast ? bext : json());
}

INSTANTIATE_TEST_SUITE_P(Formats, WAVEInfo, testing::Bool(),
                         [](const auto& info) { return info.param ? "BWF" : "WAVE"; });

struct Unreadable {
    const char* name;
    const char* make; // a shell command that makes the file at {}
    const char* reason;
};

class InfoUnreadable : public testing::TestWithParam<Unreadable> {};

// One line naming the path and why it cannot be read, in the system's words where the system
// refused.
TEST_P(InfoUnreadable, OneLineOnStandardErrorAndExitStatus1) {
    TempDir dir;
    const std::string path = dir.File(GetParam().name);
    std::string make = GetParam().make;
    make.replace(make.find("{}"), 2, "'" + path + "'");
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const Outcome run = Info(dir, {path});
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, HasSubstr("'" + path + "'"));
    EXPECT_THAT(run.err, HasSubstr(GetParam().reason));
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Files, InfoUnreadable,
    testing::Values(
        Unreadable{"missing.aif", "true {}", "No such file or directory"},
        Unreadable{"fifo.aif", "mkfifo {}", "not a regular file"},
        Unreadable{"folder.aif", "mkdir {}", "Is a directory"},
        Unreadable{"text.aif", "echo 'hello world!' > {}", "is not an AIFF or WAVE file"},
        Unreadable{"nocomm.aif", "printf 'FORM\\0\\0\\0\\14AIFFJUNK\\0\\0\\0\\0' > {}",
                   StatusText(kErrNoCOMMChunk)},
        Unreadable{"float.wav",
                   "sox -n -r 8000 -e floating-point -b 32 -c 1 {} synth 0.05 sine 440",
                   "is a 32-bit floating-point WAVE file"},
        Unreadable{"double.wav",
                   "ffmpeg -v error -f lavfi -i sine=d=0.05 -ac 6 -c:a pcm_f64le -y {}",
                   "is a 64-bit floating-point WAVE file"},
        Unreadable{"rf64.wav", "ffmpeg -v error -f lavfi -i sine=d=0.05 -rf64 always -y {}",
                   "is an RF64 file"}),
    [](const auto& info) {
        const std::string name = info.param.name;
        return name.substr(0, name.find('.'));
    });

} // namespace

// quillgen info: what a file written through the engine holds, its markers and loops as stored,
// and each channel's levels.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>

#include "formats/CAIFFFile.h"
#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

using namespace quillgen_test;
using json = nlohmann::json;

namespace {

// A 24-bit stereo AIFF file, 4800 frames at 48 kHz: a 1 kHz sine at -6 dB, then silence; a
// numbered marker whose number is not its id, and one named in Mac Roman.
TEST(InfoCommand, ShowsWhatAnAIFFFileHolds) {
    TempDir dir;
    CAIFFFile file;
    const FSSpec fileRef = dir.Spec("tone.aif");
    std::uint8_t specifics[256] = {0};
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(2, 24, 48000.0f, specifics, 0, nullptr), kNoErr);
    std::vector<double> samples(9600, 0.0);
    for (int f = 0; f < 4800; ++f)
        samples[2 * f] = std::pow(10.0, -6.0 / 20.0) * std::sin(M_PI * f / 24.0);
    double* block = samples.data();
    std::int32_t count = 4800;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    for (SFTMarker marker :
         {SFTMarker{10, 20, {5, 'I', 'n', 't', 'r', 'o'}, kMarkerTypeNumbered, 4},
          SFTMarker{11, 299, {5, 0xA5, ' ', 'e', 'n', 'd'}, kMarkerTypeOrdinary, -1}})
        ASSERT_EQ(file.AddMarker(&marker), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
    const Outcome run = RunQuillgen(dir.Path(), "info --json --levels tone.aif");
    ASSERT_EQ(run.exit, 0) << run.err;
    json info = json::parse(run.out);
    // A sine's peak is its level and its RMS level 3.01 dB below.
    EXPECT_NEAR(info["levels"][0]["peak"].get<double>(), -6.0, 0.011);
    EXPECT_NEAR(info["levels"][0]["rms"].get<double>(), -6.0 - 3.0103, 0.011);
    // AES17 reads a sine's RMS level as its peak level.
    EXPECT_NEAR(info["levels"][0]["rmsAes17"].get<double>(), -6.0, 0.011);
    EXPECT_NEAR(info["levels"][0]["truePeak"].get<double>(), -6.0, 0.05);
    // 0.1 s is too short for a 400 ms loudness block.
    EXPECT_EQ(info["loudness"], json::parse(R"({"integrated": null, "range": 0.0})"));
    info["levels"][0] = nullptr;
    info.erase("loudness");
    EXPECT_EQ(info, json::parse(R"({"path": "tone.aif", "format": "AIFF", "channels": 2, "bits": 24,
        "sampleRate": 48000, "frames": 4800, "regions": [], "loops": [],
        "markers": [{"id": 10, "position": 20, "name": "Intro", "number": 1},
                    {"id": 11, "position": 299, "name": "\u2022 end"}],
        "levels": [null, {"peak": null, "rms": null, "rmsAes17": null, "truePeak": null}]})"));
}

// A tone written with 32-bit float samples: info names them in the format line and reads their
// levels; a float file's peak of full scale is exactly 0 dBFS.
TEST(InfoCommand, ShowsAFloatFile) {
    TempDir dir;
    const Outcome made = RunQuillgen(dir.Path(), "tone --format bwf --bits 32f --level 0 --length "
                                                 "0.1 --freq 1000 --rate 48000 --no-announce "
                                                 "--quiet -o f.wav");
    ASSERT_EQ(made.exit, 0) << made.err;
    const Outcome run = RunQuillgen(dir.Path(), "info --levels f.wav");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("  format       BWF float\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  bits         32\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("    channel 1       0.00             0.01      -3.01           0.00\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  loudness     too short to measure (under 0.4 s)\n"),
              std::string::npos)
        << run.out;
}

} // namespace

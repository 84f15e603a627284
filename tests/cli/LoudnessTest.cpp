// Loudness and true peak as quillgen info measures them beside ffmpeg's ebur128 filter, noise
// written at a loudness, and the label files of the markers.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ebur128.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "support/QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

using namespace quillgen_test;
using json = nlohmann::json;
namespace fs = std::filesystem;

namespace {

bool HaveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// The only sound file below `dir`.
std::string SoundFile(const std::string& dir) {
    std::string found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".wav" || extension == ".aif") found = entry.path().string();
    }
    return found;
}

struct FfmpegLoudness {
    double integrated = NAN;
    double truePeak = NAN; // the largest of all channels
};

// ffmpeg's summary of its ebur128 filter with true peaks.
FfmpegLoudness MeasureWithFfmpeg(const std::string& path) {
    const std::string command =
        "ffmpeg -nostats -hide_banner -i '" + path + "' -af ebur128=peak=true -f null - 2>&1";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    const std::string summary = text.substr(std::min(text.find("Summary:"), text.size()));
    FfmpegLoudness result;
    std::smatch match;
    if (std::regex_search(summary, match, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)")))
        result.integrated = std::stod(match[1]);
    if (std::regex_search(summary, match, std::regex(R"(Peak:\s+(-?[0-9.]+) dBFS)")))
        result.truePeak = std::stod(match[1]);
    return result;
}

json Info(const std::string& path) {
    const Outcome run = RunQuillgen(".", "info --json --levels " + path);
    EXPECT_EQ(run.exit, 0) << run.err;
    return run.exit == 0 ? json::parse(run.out) : json();
}

double LargestTruePeak(const json& info) {
    double largest = -INFINITY;
    for (const auto& level : info["levels"])
        if (!level["truePeak"].is_null())
            largest = std::max(largest, level["truePeak"].get<double>());
    return largest;
}

struct Signal {
    const char* line;        // what quillgen writes
    double expectedLoudness; // LUFS; NaN when only ffmpeg's figure counts
};

class AgreesWithFfmpeg : public testing::TestWithParam<Signal> {};

// Integrated loudness within 0.1 LU and true peak within 0.3 dB of ffmpeg's; a noise written at
// a loudness measures it within 0.1 LU.
TEST_P(AgreesWithFfmpeg, LoudnessAndTruePeak) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const Outcome written = RunQuillgen(dir.Path(), std::string(GetParam().line) + " --quiet");
    ASSERT_EQ(written.exit, 0) << written.err;
    const std::string path = SoundFile(dir.Path());
    const json ours = Info(path);
    ASSERT_TRUE(ours["loudness"]["integrated"].is_number()) << ours.dump();
    const double integrated = ours["loudness"]["integrated"].get<double>();
    const FfmpegLoudness theirs = MeasureWithFfmpeg(path);
    EXPECT_NEAR(integrated, theirs.integrated, 0.1);
    EXPECT_NEAR(LargestTruePeak(ours), theirs.truePeak, 0.3);
    if (!std::isnan(GetParam().expectedLoudness)) {
        EXPECT_NEAR(integrated, GetParam().expectedLoudness, 0.1);
        EXPECT_NEAR(theirs.integrated, GetParam().expectedLoudness, 0.1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, AgreesWithFfmpeg,
    testing::Values(Signal{"tone --freq 997 --level -3 --length 5 --rate 48000 -o out", NAN},
                    Signal{"noise --length 20 --format bwf -o out", NAN},
                    Signal{"phase-check --layout 5.1 --interleaved --format bwf -o out", NAN},
                    // EBU Tech 3343's reference noise, announced and not.
                    Signal{"noise --band 500-2000 --loudness -23 --length 20 -o out", -23.0},
                    Signal{"noise --band 500-2000 --loudness -23 --length 20 --no-announce -o out",
                           -23.0}),
    [](const testing::TestParamInfo<Signal>& info) { return CaseName(info.param.line); });

// The loudness the refusal names as the highest is taken, and measures as asked.
TEST(NoiseLoudness, TakesTheHighestLoudnessItNamesAndNoMore) {
    TempDir dir;
    const Outcome refused =
        RunQuillgen(dir.Path(), "noise --loudness 0 --length 5 --no-announce --quiet");
    EXPECT_EQ(refused.exit, 2);
    std::smatch match;
    ASSERT_TRUE(std::regex_search(refused.err, match,
                                  std::regex(R"(highest loudness it takes is (-[0-9.]+) LUFS)")))
        << refused.err;
    EXPECT_TRUE(Files(dir.Path()).empty());
    const std::string highest = match[1];
    const Outcome taken = RunQuillgen(dir.Path(), "noise --loudness " + highest +
                                                      " --length 5 --no-announce --quiet -o n");
    ASSERT_EQ(taken.exit, 0) << taken.err;
    const json info = Info(dir.File("n.aif"));
    EXPECT_NEAR(info["loudness"]["integrated"].get<double>(), std::stod(highest), 0.1);
    EXPECT_LT(info["levels"][0]["peak"].get<double>(), 0.0);
}

// The integrated loudness of the frames [from, to) of a mono file, as libebur128 measures them.
double BurstLoudness(const std::string& path, std::int64_t from, std::int64_t to) {
    SF_INFO format{};
    const std::vector<int> samples = SndfileSamples(path, &format);
    EXPECT_EQ(format.channels, 1);
    std::vector<double> burst;
    for (std::int64_t f = from; f < to && f < std::int64_t(samples.size()); ++f)
        burst.push_back(samples[std::size_t(f)] / 2147483648.0);
    ebur128_state* meter = ebur128_init(1, unsigned(format.samplerate), EBUR128_MODE_I);
    ebur128_add_frames_double(meter, burst.data(), burst.size());
    double loudness = NAN;
    ebur128_loudness_global(meter, &loudness);
    ebur128_destroy(&meter);
    return loudness;
}

// Every speaker's burst of a level check, between its noise's markers, measures the loudness as
// one channel.
TEST(NoiseLoudness, LevelCheckBurstsMeasureTheLoudness) {
    TempDir dir;
    const Outcome run =
        RunQuillgen(dir.Path(), "level-check --layout 5.1 --loudness -26 --length 3 "
                                "--no-announce-speakers --quiet -o set");
    ASSERT_EQ(run.exit, 0) << run.err;
    int bursts = 0;
    for (const auto& entry : fs::directory_iterator(dir.File("set"))) {
        const json info = Info(entry.path().string());
        std::map<std::string, std::int64_t> at;
        for (const auto& marker : info["markers"])
            at[marker["name"].get<std::string>()] = marker["position"].get<std::int64_t>();
        for (const auto& [name, start] : at) {
            if (!at.count("End " + name)) continue;
            ++bursts;
            EXPECT_NEAR(BurstLoudness(entry.path().string(), start, at["End " + name]), -26.0, 0.1)
                << entry.path() << " " << name;
        }
    }
    EXPECT_EQ(bursts, 6);
}

class Labels : public testing::TestWithParam<const char*> {};

// The label file beside the sound file holds its markers, as info reads them, to the frame, and
// nothing else is left in the folder.
TEST_P(Labels, MatchTheMarkersOfTheFile) {
    TempDir dir;
    const Outcome run =
        RunQuillgen(dir.Path(), std::string(GetParam()) + " --labels --quiet -o out");
    ASSERT_EQ(run.exit, 0) << run.err;
    const std::string sound = SoundFile(dir.Path());
    const json info = Info(sound);
    const double rate = info["sampleRate"].get<double>();
    std::ifstream labels(dir.File("out.txt"));
    ASSERT_TRUE(labels) << "no out.txt";
    std::vector<std::pair<std::int64_t, std::string>> expected, found;
    for (const auto& marker : info["markers"])
        expected.emplace_back(marker["position"].get<std::int64_t>(), marker["name"]);
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::string line; std::getline(labels, line);) {
        std::smatch match;
        ASSERT_TRUE(
            std::regex_match(line, match, std::regex(R"(([0-9]+\.[0-9]{6})\t\1\t([^\t]*))")))
            << line;
        found.emplace_back(std::llround(std::stod(match[1]) * rate), match[2]);
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(found, expected);
    EXPECT_EQ(Files(dir.Path()).size(), 2u); // the sound file and its labels
}

INSTANTIATE_TEST_SUITE_P(Jobs, Labels,
                         testing::Values("tone --length 2", "sweep --length 3 --format bwf",
                                         "full-sweep --length 3 --no-announce", "noise --length 2",
                                         "lineup glits --length 4"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return CaseName(info.param);
                         });

} // namespace

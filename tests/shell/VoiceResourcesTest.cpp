// Checks the shipped voice samples and speaker table: every name the announcements and the
// phase check put in resolves to a usable recording, the recordings share one loudness and
// carry no silence of their own, and the speaker table has the shape the phase check's step
// counts are built on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "soundfile/ByteOrder.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 48000.0;

fs::path ResourcesDir() {
    const char* env = std::getenv("QUILL_RESOURCES");
    return (env && *env) ? fs::path(env) : fs::path(QUILL_SOURCE_RESOURCES);
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Headerless signed 16-bit big-endian samples; an odd last byte is not a sample.
std::vector<std::int16_t> ReadSample(const std::string& name) {
    const auto bytes = ReadBytes(ResourcesDir() / (name + ".sample"));
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(byteorder::LoadBE16(&bytes[2 * i]));
    return samples;
}

double ToDBFS(double magnitude) { return 20.0 * std::log10(magnitude / 32768.0); }

nlohmann::json ReadSpeakerTable() {
    std::ifstream in(ResourcesDir() / "speakers.json");
    return nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
}

// Names the number reading, the tone and sweep announcements and the phase check use.
std::vector<std::string> FixedNames() {
    std::vector<std::string> names;
    for (int i = 0; i <= 15; ++i) names.push_back(std::to_string(i));
    for (int t = 2; t <= 9; ++t) names.push_back(std::to_string(t) + "0");
    for (const char* n : {"100", "1000", "Teen", "Point", "Minus", "Plus", "Hertz", "KiloHertz", "At",
                          "Decibel", "SamplingRate", "Linear", "SineSweep", "PhaseAndChannelCheck",
                          "GoodbyeNice", "InPhase+noise", "OutOfPhase+noise"})
        names.push_back(n);
    return names;
}

// The fixed names plus every voice sample the speaker table lists, each once.
std::vector<std::string> AllNames() {
    std::vector<std::string> names = FixedNames();
    std::set<std::string> seen(names.begin(), names.end());
    const auto table = ReadSpeakerTable();
    if (table.is_object())
        for (const auto& [speaker, list] : table.items())
            if (list.is_array())
                for (const auto& v : list)
                    if (v.is_string() && seen.insert(v.get<std::string>()).second)
                        names.push_back(v.get<std::string>());
    return names;
}

// Gtest test names allow only letters, digits and underscores.
std::string ParamName(const testing::TestParamInfo<std::string>& info) {
    std::string s = "n_" + info.param;
    for (char& c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

class VoiceSample : public testing::TestWithParam<std::string> {};

TEST_P(VoiceSample, IsWholeSamplesAtOneLoudnessAndTrimmed) {
    const fs::path path = ResourcesDir() / (GetParam() + ".sample");
    ASSERT_TRUE(fs::is_regular_file(path)) << path;
    const auto size = fs::file_size(path);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(size % 2, 0u) << "a half sample at the end";

    const auto samples = ReadSample(GetParam());
    int peak = 0;
    for (std::int16_t v : samples) peak = std::max(peak, std::abs(int(v)));
    ASSERT_GT(peak, 0) << "silent recording";
    EXPECT_GE(ToDBFS(peak), -6.0);
    EXPECT_LE(ToDBFS(peak), -1.0);

    // Announcements join samples back to back: silence at either end would show up as a
    // gap in the middle of a number ("seven ... teen").
    const int quiet = int(32768.0 * std::pow(10.0, -45.0 / 20.0));
    const auto loud = [&](std::int16_t v) { return std::abs(int(v)) > quiet; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud) - samples.begin();
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud) - samples.rbegin();
    const double limit = 0.030 * kRate;
    EXPECT_LE(first, limit) << "leading silence of " << first / kRate << " s";
    EXPECT_LE(last, limit) << "trailing silence of " << last / kRate << " s";
}

INSTANTIATE_TEST_SUITE_P(Resources, VoiceSample, testing::ValuesIn(AllNames()), ParamName);

TEST(VoiceSamples, NoiseSamplesEndInTheSameLoudBurst) {
    const auto in = ReadSample("InPhase+noise");
    const auto out = ReadSample("OutOfPhase+noise");
    std::size_t common = 0;
    while (common < in.size() && common < out.size() &&
           in[in.size() - 1 - common] == out[out.size() - 1 - common])
        ++common;
    EXPECT_GE(common, std::size_t(2.0 * kRate)) << "shared tail of " << common / kRate << " s";
    EXPECT_LT(common, std::min(in.size(), out.size())) << "the spoken phrases should differ";

    double energy = 0.0;
    for (std::size_t i = in.size() - common; i < in.size(); ++i) energy += double(in[i]) * in[i];
    const double rms = std::sqrt(energy / double(std::max<std::size_t>(common, 1)));
    EXPECT_GT(ToDBFS(rms), -25.0) << "the burst is too quiet to check polarity by ear";
}

// The phase check's fixed step counts assume one voice sample for each main speaker and two
// for each of the others.
TEST(SpeakerTable, ListsEverySpeakerWithTheExpectedNumberOfSamples) {
    const auto table = ReadSpeakerTable();
    ASSERT_TRUE(table.is_object()) << "speakers.json is not a JSON object";
    const std::map<std::string, std::size_t> expected = {
        {"L", 1},   {"C", 1},   {"R", 1},   {"Ls", 1},  {"Rs", 1},  {"LFE", 1},
        {"Lc", 2},  {"Rc", 2},  {"Cs", 2},  {"LSB", 2}, {"RSB", 2}, {"Lw", 2},
        {"Rw", 2},  {"Lh", 2},  {"Rh", 2},  {"S", 2}};
    for (const auto& [speaker, count] : expected) {
        ASSERT_TRUE(table.contains(speaker)) << speaker;
        const auto& list = table[speaker];
        ASSERT_TRUE(list.is_array()) << speaker;
        EXPECT_EQ(list.size(), count) << speaker;
        for (const auto& v : list)
            EXPECT_TRUE(v.is_string() && !v.get<std::string>().empty()) << speaker << ": " << v;
    }
    for (const auto& [speaker, list] : table.items())
        EXPECT_TRUE(expected.contains(speaker)) << "no layout has a speaker named " << speaker;
}

} // namespace

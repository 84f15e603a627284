// The shipped voice samples and speaker table the announcements and the phase check are built
// from.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "shell/Resources.h"
#include "soundfile/ByteOrder.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

fs::path ShippedResources() {
    const char* env = std::getenv("QUILL_RESOURCES");
    return (env && *env) ? fs::path(env) : fs::path(QUILL_SOURCE_RESOURCES);
}

// Headerless signed 16-bit big-endian samples.
std::vector<std::int16_t> ReadSample(const std::string& name, std::size_t* bytes) {
    const std::vector<std::uint8_t> raw = ReadFileBytes(ShippedResources() / (name + ".sample"));
    *bytes = raw.size();
    std::vector<std::int16_t> samples(raw.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(byteorder::LoadBE16(&raw[2 * i]));
    return samples;
}

nlohmann::json ReadSpeakerTable() {
    const auto table = DictionaryFromFile(ShippedResources() / "speakers.json");
    return table ? *table : nlohmann::json();
}

} // namespace

// The phase check's fixed step counts assume one voice sample for each main speaker, two for
// the older others and three for the immersive layouts' side, rear and top speakers.
TEST(ShippedVoice, SpeakerTableListsEverySpeakerWithItsNumberOfSamples) {
    const auto table = ReadSpeakerTable();
    const std::map<std::string, std::size_t> expected = {
        {"L", 1},   {"C", 1},   {"R", 1},   {"Ls", 1},  {"Rs", 1},  {"LFE", 1}, {"Lc", 2},
        {"Rc", 2},  {"Cs", 2},  {"LSB", 2}, {"RSB", 2}, {"Lw", 2},  {"Rw", 2},  {"Lh", 2},
        {"Rh", 2},  {"S", 2},   {"Lss", 3}, {"Rss", 3}, {"Lrs", 3}, {"Rrs", 3}, {"Ltf", 3},
        {"Rtf", 3}, {"Ltm", 3}, {"Rtm", 3}, {"Ltr", 3}, {"Rtr", 3}};
    ASSERT_EQ(table.size(), expected.size());
    for (const auto& [speaker, count] : expected)
        EXPECT_EQ(table.value(speaker, nlohmann::json::array()).size(), count) << speaker;
}

// Every name the announcements and the phase check put in is a recording of whole samples at
// one loudness without silence of its own: announcements join samples back to back, and
// silence at either end would show up as a gap in the middle of a number ("seven ... teen").
TEST(ShippedVoice, EverySampleIsWholeTrimmedAndAtOneLoudness) {
    std::set<std::string> names{"100",
                                "1000",
                                "Teen",
                                "Point",
                                "Minus",
                                "Plus",
                                "Hertz",
                                "KiloHertz",
                                "At",
                                "Decibel",
                                "SamplingRate",
                                "Linear",
                                "SineSweep",
                                "PhaseAndChannelCheck",
                                "GoodbyeNice",
                                "InPhase+noise",
                                "OutOfPhase+noise"};
    for (int i = 0; i <= 15; ++i)
        names.insert(std::to_string(i));
    for (int t = 2; t <= 9; ++t)
        names.insert(std::to_string(t) + "0");
    const nlohmann::json table = ReadSpeakerTable();
    for (const auto& [speaker, list] : table.items())
        for (const auto& v : list)
            names.insert(v.is_string() ? v.get<std::string>() : "");
    const int quiet = int(32768.0 * std::pow(10.0, -45.0 / 20.0)), edge = int(0.030 * 48000);
    const auto loud = [&](std::int16_t v) { return std::abs(int(v)) > quiet; };
    const auto dBFS = [](int peak) { return 20.0 * std::log10(peak / 32768.0); };
    for (const std::string& name : names) {
        std::size_t bytes = 0;
        const auto samples = ReadSample(name, &bytes);
        EXPECT_EQ(bytes % 2, 0u) << name << ": a half sample at the end";
        int peak = 0;
        for (std::int16_t v : samples)
            peak = std::max(peak, std::abs(int(v)));
        ASSERT_GT(peak, 0) << name << ": missing or silent";
        EXPECT_TRUE(dBFS(peak) >= -6.0 && dBFS(peak) <= -1.0) << name << ": " << dBFS(peak);
        EXPECT_LE(std::find_if(samples.begin(), samples.end(), loud) - samples.begin(), edge)
            << name << ": leading silence";
        EXPECT_LE(std::find_if(samples.rbegin(), samples.rend(), loud) - samples.rbegin(), edge)
            << name << ": trailing silence";
    }
}

// Resources: lookups that stay inside the resource folder, and the shipped voice samples and
// speaker table the announcements and the phase check are built from.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include <gtest/gtest.h>

#include "shell/Resources.h"
#include "soundfile/ByteOrder.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRate = 48000.0;

// Points resource lookups at a folder of its own for the lifetime of the object.
class ResourceFolder {
public:
    ResourceFolder() {
        if (const char* saved = std::getenv("QUILL_RESOURCES")) previous = saved;
        setenv("QUILL_RESOURCES", dir.Path().c_str(), 1);
    }
    ~ResourceFolder() {
        previous ? setenv("QUILL_RESOURCES", previous->c_str(), 1) : unsetenv("QUILL_RESOURCES");
    }
    void Put(const std::string& leaf, const std::string& bytes) const {
        std::ofstream(dir.File(leaf), std::ios::binary) << bytes;
    }
    TempDir dir;

private:
    std::optional<std::string> previous;
};

fs::path ShippedResources() {
    const char* env = std::getenv("QUILL_RESOURCES");
    return (env && *env) ? fs::path(env) : fs::path(QUILL_SOURCE_RESOURCES);
}

// Headerless signed 16-bit big-endian samples.
std::vector<std::int16_t> ReadSample(const std::string& name, std::uintmax_t* bytes = nullptr) {
    const std::vector<std::uint8_t> raw = ReadFileBytes(ShippedResources() / (name + ".sample"));
    if (bytes) *bytes = raw.size();
    std::vector<std::int16_t> samples(raw.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(byteorder::LoadBE16(&raw[2 * i]));
    return samples;
}

double ToDBFS(double magnitude) { return 20.0 * std::log10(magnitude / 32768.0); }

nlohmann::json ReadSpeakerTable() {
    std::ifstream in(ShippedResources() / "speakers.json");
    return nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
}

} // namespace

TEST(Resources, OnlyRegularFilesDirectlyInTheFolderAreFound) {
    ResourceFolder folder;
    folder.Put("one.sample", "ab");
    fs::create_directory(folder.dir.File("folder.sample"));
    fs::create_directory(folder.dir.File("sub"));
    folder.Put("sub/inner.sample", "x");
    EXPECT_EQ(PathForResource("one", "sample"), folder.dir.File("one.sample"));
    struct { std::string name, type; } refused[] = {
        {"one", "plist"}, {"folder", "sample"}, {"sub/inner", "sample"}, {"../etc/passwd", ""},
        {"..", ""}, {"", "sample"}, {"inner", "sample/../../x"},
        {std::string("one\0x", 5), "sample"}};
    for (const auto& r : refused) EXPECT_FALSE(PathForResource(r.name, r.type)) << r.name;
}

TEST(Resources, ContentsAreByteForByteAndOnlyAJsonObjectIsADictionary) {
    ResourceFolder folder;
    const std::string bytes("\0\x01\xff\n\r\0end", 9);
    folder.Put("raw.sample", bytes);
    auto contents = ContentsOfFile(folder.dir.File("raw.sample"));
    ASSERT_TRUE(contents);
    EXPECT_EQ(std::string(contents->begin(), contents->end()), bytes);
    EXPECT_FALSE(ContentsOfFile(folder.dir.File("missing")));
    EXPECT_FALSE(ContentsOfFile(folder.dir.Path()));
    for (const auto& [text, isDictionary] :
         {std::pair{R"({"stereo": ["L", "R"]})", true}, std::pair{"[1]", false},
          std::pair{"{\"a\": ", false}, std::pair{"<?xml version=\"1.0\"?><plist/>", false}}) {
        folder.Put("speakers.plist", text);
        EXPECT_EQ(DictionaryFromFile(folder.dir.File("speakers.plist")).has_value(), isDictionary)
            << text;
    }
}

// The phase check's fixed step counts assume one voice sample for each main speaker and two
// for each of the others.
TEST(ShippedVoice, SpeakerTableListsEverySpeakerWithItsNumberOfSamples) {
    const auto table = ReadSpeakerTable();
    ASSERT_TRUE(table.is_object()) << "speakers.json is not a JSON object";
    const std::map<std::string, std::size_t> expected = {
        {"L", 1},  {"C", 1},  {"R", 1},   {"Ls", 1},  {"Rs", 1}, {"LFE", 1}, {"Lc", 2}, {"Rc", 2},
        {"Cs", 2}, {"LSB", 2}, {"RSB", 2}, {"Lw", 2}, {"Rw", 2}, {"Lh", 2},  {"Rh", 2}, {"S", 2}};
    EXPECT_EQ(table.size(), expected.size());
    for (const auto& [speaker, count] : expected) {
        ASSERT_TRUE(table.contains(speaker) && table[speaker].is_array()) << speaker;
        EXPECT_EQ(table[speaker].size(), count) << speaker;
    }
}

// Every name the announcements and the phase check put in is a recording of whole samples at
// one loudness without silence of its own: announcements join samples back to back, and
// silence at either end would show up as a gap in the middle of a number ("seven ... teen").
TEST(ShippedVoice, EverySampleIsWholeTrimmedAndAtOneLoudness) {
    std::vector<std::string> names;
    for (int i = 0; i <= 15; ++i) names.push_back(std::to_string(i));
    for (int t = 2; t <= 9; ++t) names.push_back(std::to_string(t) + "0");
    for (const char* n : {"100", "1000", "Teen", "Point", "Minus", "Plus", "Hertz", "KiloHertz",
                          "At", "Decibel", "SamplingRate", "Linear", "SineSweep",
                          "PhaseAndChannelCheck", "GoodbyeNice", "InPhase+noise", "OutOfPhase+noise"})
        names.push_back(n);
    const nlohmann::json table = ReadSpeakerTable();
    for (const auto& [speaker, list] : table.items())
        for (const auto& v : list) names.push_back(v.is_string() ? v.get<std::string>() : "");
    const int quiet = int(32768.0 * std::pow(10.0, -45.0 / 20.0));
    const auto loud = [&](std::int16_t v) { return std::abs(int(v)) > quiet; };
    for (const std::string& name : std::set<std::string>(names.begin(), names.end())) {
        std::uintmax_t bytes = 0;
        const auto samples = ReadSample(name, &bytes);
        EXPECT_EQ(bytes % 2, 0u) << name << ": a half sample at the end";
        int peak = 0;
        for (std::int16_t v : samples) peak = std::max(peak, std::abs(int(v)));
        if (peak == 0) {
            ADD_FAILURE() << name << ": missing or silent";
            continue;
        }
        EXPECT_GE(ToDBFS(peak), -6.0) << name;
        EXPECT_LE(ToDBFS(peak), -1.0) << name;
        const auto first = std::find_if(samples.begin(), samples.end(), loud) - samples.begin();
        const auto last = std::find_if(samples.rbegin(), samples.rend(), loud) - samples.rbegin();
        EXPECT_LE(first, 0.030 * kRate) << name << ": leading silence";
        EXPECT_LE(last, 0.030 * kRate) << name << ": trailing silence";
    }
}

TEST(ShippedVoice, NoiseSamplesEndInTheSameLoudBurst) {
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
    EXPECT_GT(ToDBFS(std::sqrt(energy / double(std::max<std::size_t>(common, 1)))), -25.0)
        << "the burst is too quiet to check polarity by ear";
}

// Announcements written into real files, heard back through bursts of distinct lengths, and
// single insertions of the shipped voices.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "formats/TxSoundFile.h"
#include "jobs/Announcer.h"
#include "jobs/AnnounceTestVoices.h"
#include "jobs/JobProgress.h"
#include "jobs/JobTestSupport.h"
#include "support/TempDir.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "soundfile/ByteOrder.h"
#include "synth/SampleRateConverter.h"

namespace {

using Words = std::vector<std::string>;

constexpr std::uint32_t kAIFF = byteorder::FourCC("AIFF");

const Words kAllVoiceNames = {
    "0",     "1",       "2",         "3",          "4",      "5",      "6",     "7",
    "8",     "9",       "10",        "11",         "12",     "13",     "14",    "15",
    "20",    "30",      "40",        "50",         "60",     "70",     "80",    "90",
    "100",   "1000",    "Teen",      "Point",      "Minus",  "Plus",   "Hertz", "KiloHertz",
    "At",    "Decibel", "SamplingRate", "Linear",  "SineSweep", "End"};

struct Failure {
    std::string name, reason;
};

// One job's worth of announcing: settings, progress, a converter table and a voice set.
class AnnouncerTest : public testing::Test {
protected:
    void SetUp() override { settings.setLevel_from(0.0), settings.setLevel_to(0.0); }
    void TearDown() override { freeSincTable(); }

    void Prepare(double rate, std::int32_t outputType,
                 Announcer::SampleLookup lookup = nullptr) {
        settings.setSampleRate(rate);
        options.setOutputType(outputType);
        ASSERT_EQ(InitPolyPhase(rate, 48000.0), 0);
        announcer = std::make_unique<Announcer>(
            settings, options, progress, lookup ? lookup : voices.Lookup(),
            [this](const std::string& name, const std::string& reason) {
                failures.push_back({name, reason});
            });
    }

    std::unique_ptr<TxSoundFile> NewFile(const std::string& leaf, int bits = 16) {
        auto file = TxSoundFile::initWithType(kAIFF, folder.File(leaf), 1, bits,
                                              static_cast<float>(settings.sampleRate()), true,
                                              nullptr);
        EXPECT_NE(file, nullptr);
        return file;
    }

    std::vector<double> Samples(std::unique_ptr<TxSoundFile>& file) {
        std::string path = file->path();
        file.reset();
        return ReadWithLibsndfile(path).samples;
    }

    TempDir folder;
    TempDir voiceFolder;
    BurstVoices voices{voiceFolder.Path(), kAllVoiceNames};
    Settings settings;
    SaveOptions options;
    JobProgress progress;
    std::vector<Failure> failures;
    std::unique_ptr<Announcer> announcer;
};

struct AnnouncementCase {
    std::int32_t outputType;
    double freqFrom, freqTo, levelFrom, levelTo;
    Words heard;
};

class AnnouncementInFile : public AnnouncerTest,
                           public testing::WithParamInterface<AnnouncementCase> {};

// The file shows every voice sample in order, with the pauses at their lengths, and the
// announcement's result is the frame at which what follows it starts.
TEST_P(AnnouncementInFile, HoldsTheSpokenSequenceAndEndsWhereTheSignalStarts) {
    const auto& c = GetParam();
    Prepare(48000.0, c.outputType);
    settings.setFreq_from(c.freqFrom);
    settings.setFreq_to(c.freqTo);
    settings.setLevel_from(c.levelFrom);
    settings.setLevel_to(c.levelTo);
    auto file = NewFile("announced.aif");
    std::int32_t frames = announcer->announceVivuZira(*file);
    EXPECT_EQ(frames, file->pos());
    // A marker burst where the signal would start.
    announcer->putSampleIntoFileFlipPhase("End", *file, false);
    Words expected = c.heard;
    expected.push_back("End");
    std::vector<double> samples = Samples(file);
    EXPECT_EQ(voices.Transcript(samples), expected);
    auto heard = voices.Listen(samples);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().start, frames);
    EXPECT_TRUE(failures.empty());
    EXPECT_FALSE(progress.error);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AnnouncementInFile,
    testing::Values(
        AnnouncementCase{kOutputTestTone, 1000.0, 1000.0, -10.0, -10.0,
                         {"1", "1000", "Hertz", "At", "Minus", "10", "Point", "0", "Decibel",
                          "pause 24000", "40", "8", "Point", "0", "KiloHertz", "SamplingRate",
                          "pause 48000"}},
        AnnouncementCase{kOutputFullSweep, 5.0, 24000.0, -3.5, -3.5,
                         {"20", "Hertz", "2", "20", "4", "1000", "Hertz", "Linear", "SineSweep",
                          "At", "Minus", "3", "Point", "Minus", "5", "Decibel", "pause 24000",
                          "40", "8", "Point", "0", "KiloHertz", "SamplingRate", "pause 48000"}},
        AnnouncementCase{kOutputCustomSweep, 20.0, 16000.0, -40.0, -6.0,
                         {"20", "Hertz", "2", "6", "Teen", "1000", "Hertz", "Linear", "SineSweep",
                          "At", "Minus", "40", "Point", "0", "Decibel", "2", "pause 9600",
                          "Minus", "6", "Point", "0", "Decibel", "pause 24000", "40", "8",
                          "1000", "Hertz", "SamplingRate", "pause 48000"}},
        AnnouncementCase{kOutputPhaseCheck, 1000.0, 1000.0, 0.0, 0.0, {"pause 48000"}}));

// Missing or unreadable voices shorten the announcement, never its pauses; each one is
// reported once, with the system's reason for a file that cannot be read, and the job's error
// flag is set.
TEST_F(AnnouncerTest, MissingVoicesLeaveOnlyThePausesAndAreReportedOnce) {
    TempDir empty;
    BurstVoices none(empty.Path(), {});
    const std::string gone = empty.File("gone.sample");
    Prepare(44100.0, kOutputCustomSweep,
            [&, lookup = none.Lookup()](const std::string& name) -> std::optional<std::string> {
                if (name == "Linear") return gone;
                return lookup(name);
            });
    settings.setFreq_from(100.0);
    settings.setFreq_to(1000.0);
    auto file = NewFile("silent.aif");
    // 0.2 s, 0.5 s and 1.0 s at 44100 Hz.
    EXPECT_EQ(announcer->announceVivuZira(*file), 8820 + 22050 + 44100);
    EXPECT_EQ(file->pos(), 8820 + 22050 + 44100);
    EXPECT_TRUE(progress.error);
    EXPECT_EQ(progress.step, 0u);
    std::vector<std::string> reasons;
    for (const auto& failure : failures) {
        EXPECT_EQ(failure.name, "QUILException");
        reasons.push_back(failure.reason);
    }
    // "1" "100" ... "1" "1000": the repeated names are not reported again.
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(std::adjacent_find(reasons.begin(), reasons.end()), reasons.end());
    EXPECT_NE(std::find(reasons.begin(), reasons.end(), "could not find sample 'Hertz'"),
              reasons.end());
    EXPECT_NE(std::find(reasons.begin(), reasons.end(),
                        "could not read sample data from file 'Linear' ('" + gone +
                            "'): No such file or directory"),
              reasons.end());
}

// A whole sample goes in, converted to the file's rate: n samples at 48000 Hz become
// trunc(n * rate / 48000) frames. The lowest rates stretch the converter's reach furthest.
class InsertionLength : public AnnouncerTest, public testing::WithParamInterface<double> {};

TEST_P(InsertionLength, FollowsTheRateRatio) {
    const double rate = GetParam();
    std::ofstream(voiceFolder.Path() + "/HalfSecond.sample", std::ios::binary)
        << std::string(48000, '\x11');
    Prepare(rate, kOutputTestTone);
    auto file = NewFile("half.aif");
    auto expected = static_cast<std::int32_t>(24000.0 * rate / 48000.0);
    EXPECT_EQ(announcer->putSampleIntoFileFlipPhase("HalfSecond", *file, false), expected);
    EXPECT_EQ(file->pos(), expected);
    EXPECT_EQ(static_cast<std::int64_t>(Samples(file).size()), expected);
    EXPECT_TRUE(failures.empty());
}

INSTANTIATE_TEST_SUITE_P(Rates, InsertionLength,
                         testing::Values(8000.0, 11025.0, 44100.0, 48000.0, 96000.0, 384000.0));

// A voice sample file as full-scale fractions.
std::vector<double> RawVoice(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<double> samples;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto value = static_cast<std::int16_t>(
            byteorder::LoadBE16(reinterpret_cast<const std::uint8_t*>(bytes.data() + i)));
        samples.push_back(value / 32768.0);
    }
    return samples;
}

// With the application's own voices: the voice plays at the louder of the two levels, one
// frame late at 48000 Hz, and flipping the phase gives exactly the negative.
TEST_F(AnnouncerTest, ShippedVoicePlaysAtTheLouderLevelAndFlipsExactly) {
    settings.setLevel_from(-20.0);
    settings.setLevel_to(-6.0);
    const std::string shipped = QUILL_SOURCE_RESOURCES;
    Prepare(48000.0, kOutputTestTone, [&](const std::string& name) -> std::optional<std::string> {
        return shipped + "/" + name + ".sample";
    });
    std::vector<double> raw = RawVoice(shipped + "/Hertz.sample");
    ASSERT_GT(raw.size(), 1000u);

    // 16 bits: the word is x * 32768 truncated toward zero, the same either side of zero.
    auto upright = NewFile("upright.aif");
    auto flipped = NewFile("flipped.aif");
    EXPECT_EQ(announcer->putSampleIntoFileFlipPhase("Hertz", *upright, false),
              static_cast<std::int32_t>(raw.size()));
    EXPECT_EQ(announcer->putSampleIntoFileFlipPhase("Hertz", *flipped, true),
              static_cast<std::int32_t>(raw.size()));
    std::vector<double> up = Samples(upright);
    std::vector<double> down = Samples(flipped);
    ASSERT_EQ(up.size(), raw.size());
    ASSERT_EQ(down.size(), raw.size());
    const double gain = std::pow(10.0, -6.0 / 20.0);
    double peak = 0.0;
    for (std::size_t k = 1; k < up.size(); ++k) {
        ASSERT_NEAR(up[k], raw[k - 1] * gain, 1.0 / 32768.0) << "frame " << k;
        ASSERT_EQ(down[k], -up[k]) << "frame " << k;
        peak = std::max(peak, std::fabs(up[k]));
    }
    EXPECT_GT(peak, 0.05);
    EXPECT_TRUE(failures.empty());
}

} // namespace

// Announcements: the rules that turn numbers into voice sample names, and announcements written
// into real files, heard back through bursts of distinct lengths and the shipped voices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "formats/TxSoundFile.h"
#include "jobs/Announcer.h"
#include "jobs/JobProgress.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "soundfile/ByteOrder.h"
#include "support/AnnouncementTestVoices.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"
#include "synth/SampleRateConverter.h"

namespace {

using Words = std::vector<std::string>;

// Writes down what would be spoken; every name takes 10 frames.
class RecordingSpeech : public Speech {
  public:
    Words spoken;
    std::int32_t Say(const std::string& name) override {
        spoken.push_back(name);
        return 10;
    }
    std::int32_t Pause(double) override { return 0; }
};

struct NumberCase {
    double value;
    int decimals; // 0: spoken as an integer
    bool plus;
    Words names;
};

class SpokenNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(SpokenNumber, NamesInOrder) {
    const auto& c = GetParam();
    RecordingSpeech speech;
    std::int32_t frames =
        c.decimals == 0 ? speech::SpeakInt(static_cast<std::int32_t>(c.value), speech, c.plus)
                        : speech::SpeakDouble(c.value, c.decimals, speech, c.plus);
    EXPECT_EQ(speech.spoken, c.names);
    EXPECT_EQ(frames, 10 * static_cast<std::int32_t>(c.names.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SpokenNumber,
    testing::Values(
        NumberCase{0, 0, true, {"0"}}, NumberCase{15, 0, false, {"15"}},
        NumberCase{16, 0, false, {"6", "Teen"}}, NumberCase{99, 0, false, {"90", "9"}},
        NumberCase{110, 0, false, {"1", "100", "10"}},
        NumberCase{117, 0, false, {"1", "100", "7", "Teen"}},
        NumberCase{1001, 0, false, {"1", "1000", "1"}},
        NumberCase{44100, 0, false, {"40", "4", "1000", "1", "100"}},
        NumberCase{192000, 0, false, {"1", "100", "90", "2", "1000"}},
        NumberCase{12, 0, true, {"Plus", "12"}}, NumberCase{-1000, 0, true, {"Minus", "1", "1000"}},
        NumberCase{-10.5, 1, true, {"Minus", "10", "Point", "Minus", "5"}},
        // Binary fractions a hair below the typed digit still speak that digit.
        NumberCase{-2.3, 1, true, {"Minus", "2", "Point", "Minus", "3"}},
        NumberCase{8.1, 1, false, {"8", "Point", "1"}},
        // Two decimals: hundredths as one number, reduced by ten when they end in zero.
        NumberCase{44.1, 2, false, {"40", "4", "Point", "1"}},
        NumberCase{12.25, 2, false, {"12", "Point", "20", "5"}},
        NumberCase{22.05, 2, false, {"20", "2", "Point", "5"}},
        // Other counts speak each pass of ten whole, not reduced.
        NumberCase{1.25, 3, false, {"1", "Point", "2", "20", "5", "2", "100", "50"}}),
    [](const testing::TestParamInfo<NumberCase>& info) {
        std::ostringstream text;
        text << info.param.value;
        std::string name = info.param.decimals == 0
                               ? "Int_"
                               : "Decimals" + std::to_string(info.param.decimals) + "_";
        for (char c : text.str())
            name += c == '-' ? "Minus" : c == '.' ? "Point" : std::string(1, c);
        return name + (info.param.plus ? "_Signed" : "");
    });

// One job's worth of announcing: settings, progress, a converter table and a burst voice set.
class AnnouncerTest : public testing::Test {
  protected:
    void TearDown() override { freeSincTable(); }

    void Prepare(double rate, std::int32_t outputType, Announcer::SampleLookup lookup = nullptr) {
        settings.setSampleRate(rate);
        options.setOutputType(outputType);
        ASSERT_EQ(InitPolyPhase(rate, 48000.0), 0);
        announcer = std::make_unique<Announcer>(
            settings, options, progress, lookup ? lookup : voices.Lookup(),
            [this](const std::string& name, const std::string& reason) {
                reports.push_back(name + ": " + reason);
            });
    }

    std::unique_ptr<TxSoundFile> NewFile(const std::string& leaf) {
        auto file = TxSoundFile::initWithType(byteorder::FourCC("AIFF"), folder.File(leaf), 1, 16,
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

    TempDir folder, voiceFolder;
    BurstVoices voices{voiceFolder.Path(),
                       {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "20", "40",
                        "100", "1000", "Teen", "Point", "Minus", "Hertz", "KiloHertz", "At",
                        "Decibel", "SamplingRate", "Linear", "SineSweep", "End"}};
    Settings settings;
    SaveOptions options;
    JobProgress progress;
    Words reports;
    std::unique_ptr<Announcer> announcer;
};

struct AnnouncementCase {
    const char* name;
    std::int32_t outputType;
    double freqFrom, freqTo, levelFrom, levelTo;
    Words heard;
};

class AnnouncementInFile : public AnnouncerTest,
                           public testing::WithParamInterface<AnnouncementCase> {};

// Every voice in order with the pauses at their lengths (0.2 s, 0.5 s, 1 s at 48000 Hz); the
// result is the frame at which what follows starts.
TEST_P(AnnouncementInFile, HoldsTheSpokenSequenceAndEndsWhereTheSignalStarts) {
    const auto& c = GetParam();
    settings.setFreq_from(c.freqFrom);
    settings.setFreq_to(c.freqTo);
    settings.setLevel_from(c.levelFrom);
    settings.setLevel_to(c.levelTo);
    Prepare(48000.0, c.outputType);
    auto file = NewFile("announced.aif");
    std::int32_t frames = announcer->announceVivuZira(*file);
    EXPECT_EQ(frames, file->pos());
    announcer->putSampleIntoFileFlipPhase("End", *file, false); // where the signal would start
    Words expected = c.heard;
    expected.push_back("End");
    std::vector<double> samples = Samples(file);
    EXPECT_EQ(voices.Transcript(samples), expected);
    auto heard = voices.Listen(samples);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().start, frames);
    EXPECT_TRUE(reports.empty());
    EXPECT_FALSE(progress.error);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AnnouncementInFile,
    testing::Values(
        AnnouncementCase{"Tone", kOutputTestTone, 1000.0, 1000.0, -10.0, -10.0,
                         {"1", "1000", "Hertz", "At", "Minus", "10", "Point", "0", "Decibel",
                          "pause 24000", "40", "8", "Point", "0", "KiloHertz", "SamplingRate",
                          "pause 48000"}},
        AnnouncementCase{"FullSweep", kOutputFullSweep, 5.0, 24000.0, -3.5, -3.5,
                         {"20", "Hertz", "2", "20", "4", "1000", "Hertz", "Linear", "SineSweep",
                          "At", "Minus", "3", "Point", "Minus", "5", "Decibel", "pause 24000",
                          "40", "8", "Point", "0", "KiloHertz", "SamplingRate", "pause 48000"}},
        AnnouncementCase{"CustomSweep", kOutputCustomSweep, 20.0, 16000.0, -40.0, -6.0,
                         {"20", "Hertz", "2", "6", "Teen", "1000", "Hertz", "Linear", "SineSweep",
                          "At", "Minus", "40", "Point", "0", "Decibel", "2", "pause 9600",
                          "Minus", "6", "Point", "0", "Decibel", "pause 24000", "40", "8",
                          "1000", "Hertz", "SamplingRate", "pause 48000"}},
        AnnouncementCase{"PhaseCheck", kOutputPhaseCheck, 1000.0, 1000.0, 0.0, 0.0,
                         {"pause 48000"}}),
    [](const testing::TestParamInfo<AnnouncementCase>& info) { return info.param.name; });

// Missing or unreadable voices shorten the announcement, never its pauses; each is reported
// once, with the system's reason for a file that cannot be read.
TEST_F(AnnouncerTest, MissingVoicesLeaveOnlyThePausesAndAreReportedOnce) {
    TempDir empty;
    const std::string gone = empty.File("gone.sample");
    Prepare(44100.0, kOutputCustomSweep,
            [&](const std::string& name) -> std::optional<std::string> {
                if (name == "Linear") return gone;
                return std::nullopt;
            });
    settings.setFreq_from(100.0);
    settings.setFreq_to(1000.0);
    auto file = NewFile("silent.aif");
    EXPECT_EQ(announcer->announceVivuZira(*file), 8820 + 22050 + 44100);
    EXPECT_EQ(file->pos(), 8820 + 22050 + 44100);
    EXPECT_TRUE(progress.error);
    EXPECT_EQ(progress.step, 0u);
    Words sorted = reports;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()); // "1" comes twice
    EXPECT_NE(std::find(reports.begin(), reports.end(),
                        "QUILException: could not find sample 'Hertz'"),
              reports.end());
    EXPECT_NE(std::find(reports.begin(), reports.end(),
                        "QUILException: could not read sample data from file 'Linear' ('" + gone +
                            "'): No such file or directory"),
              reports.end());
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
    EXPECT_EQ(static_cast<std::int64_t>(Samples(file).size()), expected);
    EXPECT_TRUE(reports.empty());
}

INSTANTIATE_TEST_SUITE_P(Rates, InsertionLength,
                         testing::Values(8000.0, 11025.0, 96000.0, 384000.0));

// A shipped voice plays at the louder of the two levels, one frame late at 48000 Hz, and
// flipping the phase gives exactly the negative.
TEST_F(AnnouncerTest, ShippedVoicePlaysAtTheLouderLevelAndFlipsExactly) {
    settings.setLevel_from(-20.0);
    settings.setLevel_to(-6.0);
    const std::string shipped = QUILL_SOURCE_RESOURCES;
    Prepare(48000.0, kOutputTestTone, [&](const std::string& name) -> std::optional<std::string> {
        return shipped + "/" + name + ".sample";
    });
    std::ifstream in(shipped + "/Hertz.sample", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<double> raw;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        raw.push_back(static_cast<std::int16_t>(byteorder::LoadBE16(
                          reinterpret_cast<const std::uint8_t*>(bytes.data() + i))) /
                      32768.0);
    ASSERT_GT(raw.size(), 1000u);

    auto upright = NewFile("upright.aif");
    auto flipped = NewFile("flipped.aif");
    EXPECT_EQ(announcer->putSampleIntoFileFlipPhase("Hertz", *upright, false),
              static_cast<std::int32_t>(raw.size()));
    EXPECT_EQ(announcer->putSampleIntoFileFlipPhase("Hertz", *flipped, true),
              static_cast<std::int32_t>(raw.size()));
    std::vector<double> up = Samples(upright), down = Samples(flipped);
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
    EXPECT_TRUE(reports.empty());
}

} // namespace

// Announcements: the rules that turn numbers into voice sample names, and announcements written
// into a file, heard back through voices told apart by their lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "formats/TxSoundFile.h"
#include "jobs/JobProgress.h"
#include "jobs/SaveOptions.h"
#include "soundfile/ByteOrder.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"
#include "synth/SampleRateConverter.h"

namespace {

// Writes down what would be spoken, between spaces; every name takes 10 frames.
struct RecordingSpeech : Speech {
    std::string spoken;
    std::int32_t Say(const std::string& name) override {
        spoken += (spoken.empty() ? "" : " ") + name;
        return 10;
    }
    std::int32_t Pause(double) override { return 0; }
};

enum class Reading { integer, decimal, quantity };

struct NumberCase {
    const char* name;
    Reading reading;
    double value;
    int decimals;
    bool plus;
    const char* spoken;
};
class SpokenNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(SpokenNumber, NamesInOrder) {
    const auto& c = GetParam();
    RecordingSpeech speech;
    std::int32_t frames = 0;
    switch (c.reading) {
    case Reading::integer:
        frames = speech::SpeakInt(std::int32_t(c.value), speech, c.plus);
        break;
    case Reading::decimal:
        frames = speech::SpeakDouble(c.value, c.decimals, speech, c.plus);
        break;
    case Reading::quantity:
        frames = speech::SpeakQuantity(c.value, c.decimals, speech);
        break;
    }
    EXPECT_EQ(speech.spoken, c.spoken);
    EXPECT_EQ(frames, 10 * std::int32_t(Split(c.spoken).size()));
}

constexpr auto kInt = Reading::integer;
constexpr auto kDec = Reading::decimal;
constexpr auto kQty = Reading::quantity;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rules, SpokenNumber, testing::Values(
    NumberCase{"ZeroIsSpoken", kInt, 0, 0, true, "0"},
    NumberCase{"HundredAndTeen", kInt, 117, 0, false, "1 100 7 Teen"},
    NumberCase{"PlusWhenAsked", kInt, 12, 0, true, "Plus 12"},
    // Levels: the sign once and in front, the decimals as they are.
    NumberCase{"WholeLevel", kDec, -10, 2, true, "Minus 10 Point 0"},
    NumberCase{"HalfBelowZero", kDec, -0.5, 2, true, "Minus 0 Point 5"},
    NumberCase{"NegativeWithDecimal", kDec, -10.5, 2, true, "Minus 10 Point 5"},
    NumberCase{"TwoDecimals", kDec, -18.25, 2, true, "Minus 8 Teen Point 2 5"},
    NumberCase{"RoundsToZeroWithoutSign", kDec, -0.004, 2, true, "0 Point 0"},
    NumberCase{"RoundsAtTheLastDecimal", kDec, 2.996, 2, true, "Plus 3 Point 0"},
    // Binary fractions a hair below the typed digit still speak that digit.
    NumberCase{"JustBelowTheDigit", kDec, 8.1, 1, false, "8 Point 1"},
    NumberCase{"NegativeJustBelowTheDigit", kDec, -2.3, 1, true, "Minus 2 Point 3"},
    NumberCase{"NotANumber", kDec, std::nan(""), 2, true, "0 Point 0"},
    // Rates in kilohertz: every hertz, with the zeros between.
    NumberCase{"WholeKiloHertz", kDec, 48.0, 3, false, "40 8 Point 0"},
    NumberCase{"OneDecimalKiloHertz", kDec, 44.1, 3, false, "40 4 Point 1"},
    NumberCase{"ZeroBeforeTheHundredths", kDec, 22.05, 3, false, "20 2 Point 0 5"},
    NumberCase{"ThousandthsKiloHertz", kDec, 11.025, 3, false, "11 Point 0 2 5"},
    // Frequencies: whole ones as integers, the others with their decimals.
    NumberCase{"ThirdOctaveFrequency", kQty, 31.5, 2, false, "30 1 Point 5"},
    NumberCase{"Thousand", kQty, 1000, 2, false, "1 1000"},
    NumberCase{"TwelveThousandFiveHundred", kQty, 12500, 2, false, "12 1000 5 100"},
    NumberCase{"WholeAfterRounding", kQty, 996.999, 2, false, "9 100 90 7"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct ToneCase {
    const char* name;
    double freq, level, rate;
    const char* spoken;
};
class SpokenTone : public testing::TestWithParam<ToneCase> {};

// A tone names its frequency, level and rate as the file holds them.
TEST_P(SpokenTone, SaysWhatTheFileHolds) {
    const auto& c = GetParam();
    RecordingSpeech speech;
    speech::AnnounceVivuZira(ToneSettings(c.freq, c.level, 1.0, c.rate), kOutputTestTone, speech);
    EXPECT_EQ(speech.spoken, c.spoken);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Values, SpokenTone, testing::Values(
    ToneCase{"AsBefore", 1000, -10, 44100,
        "1 1000 Hertz At Minus 10 Point 0 Decibel 40 4 Point 1 KiloHertz SamplingRate"},
    ToneCase{"Fractions", 31.5, -0.5, 22050,
        "30 1 Point 5 Hertz At Minus 0 Point 5 Decibel 20 2 Point 0 5 KiloHertz SamplingRate"},
    ToneCase{"FullScaleAtEleven", 20, 0, 11025,
        "20 Hertz At 0 Point 0 Decibel 11 Point 0 2 5 KiloHertz SamplingRate"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct AnnouncementCase {
    const char* name;
    std::int32_t outputType;
    double freqFrom, freqTo, levelFrom, levelTo;
    const char* missing; // a voice left out
    const char* heard;   // "(n)": n silent frames
};
class AnnouncementInFile : public testing::TestWithParam<AnnouncementCase> {};

// Every voice in order at the louder of the two levels, with the pauses at their lengths (0.2 s,
// 0.5 s, 1 s); the result is the frame where the signal that follows starts. A missing voice
// leaves the pauses and is reported once.
TEST_P(AnnouncementInFile, HoldsTheSpokenSequenceAndEndsWhereTheSignalStarts) {
    const auto& c = GetParam();
    TempDir folder;
    BurstVoices voices(folder.Path(),
                       "0 1 2 3 4 5 6 7 8 9 10 20 40 100 1000 Teen Point Minus "
                       "Hertz KiloHertz At Decibel SamplingRate Linear SineSweep End");
    std::filesystem::remove(folder.File(std::string(c.missing) + ".sample"));
    Settings settings = ToneSettings(c.freqFrom, c.levelFrom, 1.0, 48000.0);
    settings.setFreq_to(c.freqTo);
    settings.setLevel_to(c.levelTo);
    SaveOptions options;
    options.setOutputType(c.outputType);
    JobProgress progress;
    std::string reports;
    Announcer announcer(settings, options, progress, voices.Lookup(),
                        [&](const std::string&, const std::string& reason) { reports += reason; });
    ASSERT_EQ(InitPolyPhase(48000.0, 48000.0), 0);
    auto file = TxSoundFile::initWithType(byteorder::FourCC("AIFF"), folder.File("a.aif"), 1, 16,
                                          48000.0f, true, nullptr);
    ASSERT_TRUE(file);
    const std::int32_t frames = announcer.announceVivuZira(*file);
    EXPECT_EQ(frames, file->pos());
    announcer.putSampleIntoFileFlipPhase("End", *file, false); // where the signal would start
    file.reset();

    const std::vector<double> samples = ReadWithLibsndfile(folder.File("a.aif")).samples;
    freeSincTable();
    EXPECT_EQ(voices.Transcript(samples), std::string(c.heard) + " End");
    double loudest = 0.0;
    for (double sample : samples)
        loudest = std::max(loudest, std::fabs(sample));
    EXPECT_NEAR(loudest, 0.5 * std::pow(10.0, std::max(c.levelFrom, c.levelTo) / 20.0), 1e-4);
    EXPECT_EQ(reports, *c.missing ? "could not find sample '" + std::string(c.missing) + "'" : "");
    EXPECT_EQ(progress.error, *c.missing != '\0');
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Kinds, AnnouncementInFile, testing::Values(
    AnnouncementCase{"Tone", kOutputTestTone, 1000, 1000, -10, -10, "",
        "1 1000 Hertz At Minus 10 Point 0 Decibel (24000) 40 8 Point 0 KiloHertz SamplingRate (48000)"},
    AnnouncementCase{"FullSweep", kOutputFullSweep, 5, 24000, -3.5, -3.5, "",
        "20 Hertz 2 20 4 1000 Hertz Linear SineSweep At Minus 3 Point 5 Decibel (24000) "
        "40 8 Point 0 KiloHertz SamplingRate (48000)"},
    AnnouncementCase{"CustomSweepWithoutHertz", kOutputCustomSweep, 20, 16000, -40, -6, "Hertz",
        "20 2 6 Teen 1000 Linear SineSweep At Minus 40 Point 0 Decibel 2 (9600) Minus 6 Point 0 "
        "Decibel (24000) 40 8 1000 SamplingRate (48000)"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace

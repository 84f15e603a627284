#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "jobs/JobLimits.h"
#include "support/JobsTestSupport.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"

using nlohmann::json;

TEST(Settings, DictionaryRoundTripKeepsEveryField) {
    Settings s = ToneSettings(20.5, -40.0, 12.25, 96000.0);
    s.setFreq_to(19000.0);
    s.setLevel_to(-3.5);
    s.setChannelSetup(5);
    s.setSilence(0.5);
    s.setNumRepeats(7);
    s.setAnnounce(false);
    json d = s.dictionary();
    EXPECT_TRUE(d["freq_from"].is_number_float());
    EXPECT_TRUE(d["channelSetup"].is_number_integer());
    EXPECT_TRUE(d["announce"].is_boolean());
    EXPECT_EQ(d, Settings::FromDictionary(d).dictionary());
}

TEST(Settings, MissingOrUnusableKeysReadAsZero) {
    Settings s = Settings::FromDictionary(json{{"freq_from", "loud"}, {"numRepeats", 1e300}});
    EXPECT_EQ(s.freq_from(), 0.0);
    EXPECT_EQ(s.length(), 0.0);
    EXPECT_EQ(s.numRepeats(), std::numeric_limits<std::int32_t>::max());
    EXPECT_FALSE(s.announce());
    EXPECT_FALSE(Settings::FromDictionary(json::array()).announce());
}

TEST(SaveOptions, RestoringKeepsKindAndFormatButNotFileType) {
    SaveOptions o = SaveOptions::FromDictionary(json{{"Kind", 2}, {"FileType", 1}, {"Format", 2}});
    EXPECT_EQ(o.outputType(), 2);
    EXPECT_EQ(o.dataFormat(), 2);
    EXPECT_EQ(o.wordLength(), 24);
    EXPECT_EQ(o.fileType(), 0);
    EXPECT_EQ(SaveOptions::FromDictionary(json::object()).dataFormat(), 0);
}

struct DerivedCase {
    std::int32_t fileType, dataFormat;
    int wordLength;
    std::uint32_t realFileType;
};
class SaveOptionsDerived : public testing::TestWithParam<DerivedCase> {};
TEST_P(SaveOptionsDerived, WordLengthAndType) {
    SaveOptions o;
    o.setFileType(GetParam().fileType);
    o.setDataFormat(GetParam().dataFormat);
    EXPECT_EQ(o.wordLength(), GetParam().wordLength);
    EXPECT_EQ(o.realFileType(), GetParam().realFileType);
}
INSTANTIATE_TEST_SUITE_P(Codes, SaveOptionsDerived,
                         testing::Values(DerivedCase{0, 0, 16, 0x41494646},
                                         DerivedCase{1, 1, 16, 0x42574C4E},
                                         DerivedCase{2, 2, 24, 0x41494646},
                                         DerivedCase{-1, -1, 24, 0x41494646}));

struct LimitCase {
    const char* what;
    Settings settings;
    std::optional<JobValue> refused;
};
class JobLimitsCheck : public testing::TestWithParam<LimitCase> {};
TEST_P(JobLimitsCheck, RefusesTheFirstValueOutOfRange) {
    auto violation = CheckJobSettings(GetParam().settings, SaveOptions());
    ASSERT_EQ(violation.has_value(), GetParam().refused.has_value()) << GetParam().what;
    if (violation) {
        EXPECT_EQ(violation->value, *GetParam().refused) << GetParam().what;
    }
}
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
INSTANTIATE_TEST_SUITE_P(
    Values, JobLimitsCheck,
    testing::Values(
        LimitCase{"default tone", ToneSettings(1000, -10, 10, 44100), {}},
        LimitCase{"edges", ToneSettings(192000, 0, 1.0 / 384000, 384000), {}},
        LimitCase{"lowest level", ToneSettings(1, -120, 1, 8000), {}},
        LimitCase{"rate low", ToneSettings(1000, -10, 10, 7999), JobValue::sampleRate},
        LimitCase{"rate NaN", ToneSettings(1000, -10, 10, kNaN), JobValue::sampleRate},
        LimitCase{"above half rate", ToneSettings(22050.5, -10, 10, 44100), JobValue::freqFrom},
        LimitCase{"zero frequency", ToneSettings(0, -10, 10, 44100), JobValue::freqFrom},
        LimitCase{"under 1 Hz", ToneSettings(0.5, -10, 10, 44100), JobValue::freqFrom},
        LimitCase{"level above 0", ToneSettings(1000, 0.01, 10, 44100), JobValue::levelFrom},
        LimitCase{"level -inf", ToneSettings(1000, -kInf, 10, 44100), JobValue::levelFrom},
        LimitCase{"under one frame", ToneSettings(1000, -10, 1e-6, 44100), JobValue::length},
        LimitCase{"length inf", ToneSettings(1000, -10, kInf, 44100), JobValue::length},
        LimitCase{"length NaN", ToneSettings(1000, -10, kNaN, 44100), JobValue::length}));

// The longest length named in the message is accepted, and a little more is refused, for
// both size conventions and both word lengths.
struct LongestCase {
    std::int32_t fileType, dataFormat;
    double rate;
    std::int64_t sizeLimit;
};
class JobLimitsLongest : public testing::TestWithParam<LongestCase> {};
TEST_P(JobLimitsLongest, FileStaysWithinItsSizeFields) {
    SaveOptions o;
    o.setFileType(GetParam().fileType);
    o.setDataFormat(GetParam().dataFormat);
    std::int32_t most = MaxSignalFrames(o.realFileType(), o.wordLength());
    EXPECT_LT(std::int64_t{most} * (o.wordLength() / 8) + 4096, GetParam().sizeLimit);
    EXPECT_LE(most, 0x7FFFFFFF);
    auto violation = CheckJobSettings(ToneSettings(1000, -10, 1e9, GetParam().rate), o);
    ASSERT_TRUE(violation);
    auto at = violation->accepted.find("at most ");
    ASSERT_NE(at, std::string::npos) << violation->accepted;
    double longest = std::stod(violation->accepted.substr(at + 8));
    EXPECT_FALSE(CheckJobSettings(ToneSettings(1000, -10, longest, GetParam().rate), o));
    EXPECT_TRUE(CheckJobSettings(ToneSettings(1000, -10, longest + 1, GetParam().rate), o));
    EXPECT_GT(longest * GetParam().rate, most - GetParam().rate / 50);
}
INSTANTIATE_TEST_SUITE_P(Formats, JobLimitsLongest,
                         testing::Values(LongestCase{0, 1, 48000, 0x7FFFFFFFLL},
                                         LongestCase{0, 2, 44100, 0x7FFFFFFFLL},
                                         LongestCase{1, 1, 8000, 0xFFFFFFFFLL},
                                         LongestCase{1, 2, 384000, 0xFFFFFFFFLL}));

// A value out of range, clamped into the range a front end is offered, is one the job accepts:
// the ranges and the check cannot drift apart.
struct RangeCase {
    const char* what;
    JobValue value;
    double outside;
};
class JobLimitsRange : public testing::TestWithParam<RangeCase> {};
TEST_P(JobLimitsRange, ClampedValueIsAccepted) {
    const double rate = 48000;
    SaveOptions o;
    Settings s = ToneSettings(1000, -10, 10, rate);
    auto apply = [&](double v) {
        switch (GetParam().value) {
        case JobValue::sampleRate:
            s.setSampleRate(v);
            break;
        case JobValue::freqFrom:
            s.setFreq_from(v);
            break;
        case JobValue::levelFrom:
            s.setLevel_from(v);
            break;
        case JobValue::length:
            s.setLength(v);
            break;
        case JobValue::silence:
            s.setSilence(v);
            break;
        default:
            s.setNumRepeats(static_cast<std::int32_t>(v));
            break;
        }
    };
    ValueRange range = GetParam().value == JobValue::sampleRate  ? SampleRateRange()
                       : GetParam().value == JobValue::freqFrom  ? FrequencyRange(rate)
                       : GetParam().value == JobValue::levelFrom ? LevelRange()
                       : GetParam().value == JobValue::length    ? LengthRange(rate, o)
                       : GetParam().value == JobValue::silence   ? SilenceRange()
                                                                 : RepeatsRange();
    if (GetParam().value == JobValue::silence || GetParam().value == JobValue::numRepeats)
        o.setOutputType(kOutputPhaseCheck);
    apply(GetParam().outside);
    auto refused = CheckJobSettings(s, o);
    ASSERT_TRUE(refused) << GetParam().what;
    EXPECT_EQ(refused->value, GetParam().value) << GetParam().what;
    EXPECT_FALSE(range.Contains(GetParam().outside)) << GetParam().what;
    apply(range.Clamp(GetParam().outside));
    EXPECT_FALSE(CheckJobSettings(s, o)) << GetParam().what;
}
INSTANTIATE_TEST_SUITE_P(Values, JobLimitsRange,
                         testing::Values(RangeCase{"rate", JobValue::sampleRate, 1e6},
                                         RangeCase{"frequency low", JobValue::freqFrom, 0.25},
                                         RangeCase{"frequency high", JobValue::freqFrom, 99999},
                                         RangeCase{"frequency NaN", JobValue::freqFrom, kNaN},
                                         RangeCase{"level", JobValue::levelFrom, -500},
                                         RangeCase{"length", JobValue::length, 1e9},
                                         RangeCase{"silence", JobValue::silence, -1},
                                         RangeCase{"repeats", JobValue::numRepeats, 101}));

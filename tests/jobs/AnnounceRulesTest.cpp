// The number rules of the announcements, followed name by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/Announcer.h"

namespace {

using Names = std::vector<std::string>;

// Writes down what would be spoken; every name takes 10 frames, so the returned counts can be
// checked too. The announcements themselves are heard back from files elsewhere.
class RecordingSpeech : public Speech {
public:
    Names spoken;
    std::int32_t Say(const std::string& name) override {
        spoken.push_back(name);
        return 10;
    }
    std::int32_t Pause(double) override {
        ADD_FAILURE() << "numbers have no pauses";
        return 0;
    }
};

std::int32_t FramesOf(const Names& names) { return 10 * static_cast<std::int32_t>(names.size()); }

struct IntCase {
    std::int32_t value;
    bool plus;
    Names expected;
};

class SpeakIntTest : public testing::TestWithParam<IntCase> {};

TEST_P(SpeakIntTest, SpeaksTheNamesInOrder) {
    RecordingSpeech speech;
    std::int32_t frames = speech::SpeakInt(GetParam().value, speech, GetParam().plus);
    EXPECT_EQ(speech.spoken, GetParam().expected);
    EXPECT_EQ(frames, FramesOf(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SpeakIntTest,
    testing::Values(
        IntCase{0, false, {"0"}}, IntCase{10, false, {"10"}}, IntCase{13, false, {"13"}},
        IntCase{15, false, {"15"}}, IntCase{16, false, {"6", "Teen"}},
        IntCase{19, false, {"9", "Teen"}}, IntCase{20, false, {"20"}},
        IntCase{99, false, {"90", "9"}}, IntCase{100, false, {"1", "100"}},
        IntCase{101, false, {"1", "100", "1"}}, IntCase{110, false, {"1", "100", "10"}},
        IntCase{117, false, {"1", "100", "7", "Teen"}},
        IntCase{999, false, {"9", "100", "90", "9"}}, IntCase{1000, false, {"1", "1000"}},
        IntCase{1001, false, {"1", "1000", "1"}},
        IntCase{44100, false, {"40", "4", "1000", "1", "100"}},
        IntCase{96000, false, {"90", "6", "1000"}},
        IntCase{192000, false, {"1", "100", "90", "2", "1000"}},
        IntCase{12, true, {"Plus", "12"}}, IntCase{-12, false, {"Minus", "12"}},
        IntCase{-1000, false, {"Minus", "1", "1000"}}));

// The most negative value has no positive twin in 32 bits; its magnitude must still come out.
TEST(SpeakInt, MostNegativeValueKeepsItsMagnitude) {
    RecordingSpeech speech;
    speech::SpeakInt(-2147483647 - 1, speech, true);
    ASSERT_GE(speech.spoken.size(), 5u);
    EXPECT_EQ(speech.spoken.front(), "Minus");
    EXPECT_EQ(Names(speech.spoken.end() - 4, speech.spoken.end()),
              (Names{"6", "100", "40", "8"}));
}

TEST(SpeakHundreds, ZeroSaysNothing) {
    RecordingSpeech speech;
    EXPECT_EQ(speech::SpeakHundreds(0, speech), 0);
    EXPECT_TRUE(speech.spoken.empty());
}

struct DoubleCase {
    double value;
    std::int32_t decimals;
    bool plus;
    Names expected;
};

class SpeakDoubleTest : public testing::TestWithParam<DoubleCase> {};

TEST_P(SpeakDoubleTest, SpeaksWholePartPointAndDecimals) {
    RecordingSpeech speech;
    const auto& c = GetParam();
    std::int32_t frames = speech::SpeakDouble(c.value, c.decimals, speech, c.plus);
    EXPECT_EQ(speech.spoken, c.expected);
    EXPECT_EQ(frames, FramesOf(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SpeakDoubleTest,
    testing::Values(
        DoubleCase{-10.0, 1, true, {"Minus", "10", "Point", "0"}},
        DoubleCase{-10.5, 1, true, {"Minus", "10", "Point", "Minus", "5"}},
        DoubleCase{3.5, 1, true, {"Plus", "3", "Point", "5"}},
        DoubleCase{0.0, 1, true, {"0", "Point", "0"}},
        // Binary fractions a hair below the typed digit still speak that digit.
        DoubleCase{-2.3, 1, true, {"Minus", "2", "Point", "Minus", "3"}},
        DoubleCase{-119.8, 1, true, {"Minus", "1", "100", "9", "Teen", "Point", "Minus", "8"}},
        DoubleCase{44.1, 2, false, {"40", "4", "Point", "1"}},
        DoubleCase{22.05, 2, false, {"20", "2", "Point", "5"}},
        DoubleCase{12.25, 2, false, {"12", "Point", "20", "5"}},
        DoubleCase{192.0, 2, false, {"1", "100", "90", "2", "Point", "0"}},
        // Other counts speak single digits, not reduced between passes.
        DoubleCase{1.25, 3, false, {"1", "Point", "2", "20", "5", "2", "100", "50"}}));

// Every integer rate the command line accepts is spoken in kilohertz with the digits of its
// decimal form: r = 8000 ... 384000 gives "<r / 1000>" "Point" "<hundredths>".
TEST(SpeakDouble, EveryIntegerRateSpeaksItsOwnDecimals) {
    for (std::int32_t rate = 8000; rate <= 384000; rate += 10) {
        RecordingSpeech spoken, expected;
        speech::SpeakDouble(rate / 1000.0, 2, spoken, false);
        speech::SpeakInt(rate / 1000, expected, false);
        expected.Say("Point");
        std::int32_t hundredths = rate % 1000 / 10;
        speech::SpeakInt(hundredths % 10 == 0 ? hundredths / 10 : hundredths, expected, false);
        ASSERT_EQ(spoken.spoken, expected.spoken) << "rate " << rate;
    }
}

} // namespace

#include "synth/Levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

TEST(Levels, DecibelsAndAmplitude) {
    EXPECT_DOUBLE_EQ(dB2Amp(-20.0), 0.1);
    EXPECT_EQ(dB2Amp(-10000.0), 0.0);
    EXPECT_DOUBLE_EQ(Amp2dB(-0.5), Amp2dB(0.5));
    EXPECT_NEAR(Amp2dB(dB2Amp(-37.25)), -37.25, 1e-12);
    EXPECT_EQ(Amp2dB(0.0), -HUGE_VAL);
}

enum class Style { Precise, ShortWithLevel, Short };

struct LabelCase {
    Style style;
    double freq;
    double dB;
    const char* expected;
};

std::string Label(Style style, double freq, double dB) {
    char text[kLabelTextSize];
    std::memset(text, 'x', sizeof text);
    int stored = 0;
    switch (style) {
    case Style::Precise: stored = FreqWithAmpsprintf(text, freq, dB); break;
    case Style::ShortWithLevel: stored = E24WithAmpsprintf(text, freq, dB); break;
    case Style::Short: stored = E24sprintf(text, freq); break;
    }
    EXPECT_EQ(stored, static_cast<int>(std::strlen(text)));
    return text;
}

class LabelTest : public testing::TestWithParam<LabelCase> {};

TEST_P(LabelTest, Text) {
    const LabelCase& c = GetParam();
    EXPECT_EQ(Label(c.style, c.freq, c.dB), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LabelTest,
    testing::Values(
        LabelCase{Style::Precise, 20.0, -20.0, "20.000 Hz/-20.000 dB"},
        LabelCase{Style::Precise, 1000.0, -10.0, "1.000 kHz/-10.000 dB"},
        // The row is chosen on the exact value, before rounding for print.
        LabelCase{Style::Precise, 999.9999, -3.0, "1000.000 Hz/-3.000 dB"},
        LabelCase{Style::Precise, 250.5, -1.5, "250.500 Hz/-1.500 dB"},
        LabelCase{Style::Precise, 192000.0, 0.0, "192.000 kHz/0.000 dB"},
        LabelCase{Style::Precise, 2500000.0, 0.0, "2.500 MHz/0.000 dB"},
        LabelCase{Style::Precise, -5.0, 0.0, "-5.000 Hz/0.000 dB"},
        LabelCase{Style::Precise, NAN, 0.0, "nan MHz/0.000 dB"},
        LabelCase{Style::Short, 4700.0, 0.0, "4.7 kHz"},
        LabelCase{Style::Short, 100.0, 0.0, "100 Hz"},
        LabelCase{Style::Short, 8.2, 0.0, "8.2 Hz"},
        LabelCase{Style::Short, 99.6, 0.0, "100 Hz"},
        LabelCase{Style::Short, 220.00000000000003, 0.0, "220 Hz"},
        LabelCase{Style::Short, 2200000.0, 0.0, "2.2 MHz"},
        LabelCase{Style::Short, 47000000.0, 0.0, "47 MHz"},
        LabelCase{Style::ShortWithLevel, 1500.0, -6.0, "1.5 kHz/-6.00 dB"},
        LabelCase{Style::ShortWithLevel, 33.0, -120.0, "33 Hz/-120.00 dB"}));

TEST(Levels, ExtremeValuesAreCutToTheBuffer) {
    char text[32];
    std::memset(text, 'x', sizeof text);
    const int stored = FreqWithAmpsprintf(text, 1e300, -1e300, sizeof text);
    EXPECT_EQ(stored, 31);
    EXPECT_EQ(std::strlen(text), 31u);
    EXPECT_EQ(E24sprintf(text, 5.0, 1), 0);
    EXPECT_STREQ(text, "");
}

} // namespace

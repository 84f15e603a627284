// The label texts of markers and announcements.
#include "synth/Levels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

enum class Style { Precise, ShortWithLevel, Short };

struct LabelCase {
    Style style;
    double freq, dB;
    const char* expected;
};

class LabelTest : public testing::TestWithParam<LabelCase> {};

// Each text is the row of its frequency range; the count returned is what was stored.
TEST_P(LabelTest, Text) {
    const LabelCase& c = GetParam();
    char text[kLabelTextSize];
    std::memset(text, 'x', sizeof text);
    const int stored = c.style == Style::Precise ? FreqWithAmpsprintf(text, c.freq, c.dB)
                       : c.style == Style::Short ? E24sprintf(text, c.freq)
                                                 : E24WithAmpsprintf(text, c.freq, c.dB);
    EXPECT_EQ(stored, static_cast<int>(std::strlen(text)));
    EXPECT_STREQ(text, c.expected);
}

const LabelCase kLabels[] = {
    {Style::Precise, 20.0, -20.0, "20.000 Hz/-20.000 dB"},
    {Style::Precise, 1000.0, -10.0, "1.000 kHz/-10.000 dB"},
    // The row is chosen on the exact value, before rounding for print.
    {Style::Precise, 999.9999, -3.0, "1000.000 Hz/-3.000 dB"},
    {Style::Precise, 2500000.0, 0.0, "2.500 MHz/0.000 dB"},
    {Style::Short, 8.2, 0.0, "8.2 Hz"},
    {Style::Short, 99.6, 0.0, "100 Hz"},
    {Style::Short, 220.00000000000003, 0.0, "220 Hz"},
    {Style::Short, 4700.0, 0.0, "4.7 kHz"},
    {Style::Short, 2200000.0, 0.0, "2.2 MHz"},
    {Style::Short, 47000000.0, 0.0, "47 MHz"},
    {Style::ShortWithLevel, 33.0, -120.0, "33 Hz/-120.00 dB"},
    {Style::ShortWithLevel, 1500.0, -6.0, "1.5 kHz/-6.00 dB"},
};
INSTANTIATE_TEST_SUITE_P(Levels, LabelTest, testing::ValuesIn(kLabels));

} // namespace

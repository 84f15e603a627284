#include "synth/Levels.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

double dB2Amp(double dB) {
    return std::pow(10.0, dB / 20.0);
}

double Amp2dB(double amplitude) {
    return 20.0 * std::log10(std::fabs(amplitude));
}

namespace {

// One row of a label table: frequencies below `bound` (and not matched by an earlier row)
// are divided by `divisor` and printed with `format`.
struct LabelRow {
    double bound;
    double divisor;
    const char* format;
};

// The first row whose bound the frequency lies below; the last row for anything else (the
// highest frequencies, and a frequency that is not a number). Rows are chosen on the exact
// value, so 99.6 takes the "below 100" row and prints as 100.
template <std::size_t N> const LabelRow& ChooseRow(const LabelRow (&rows)[N], double freq) {
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (freq < rows[i].bound) return rows[i];
    return rows[N - 1];
}

// snprintf that reports what it stored, not what it would have liked to store.
int FormatLabel(char* text, std::size_t size, const char* format, ...) {
    if (text == nullptr || size == 0) return 0;
    va_list args;
    va_start(args, format);
    const int wanted = std::vsnprintf(text, size, format, args);
    va_end(args);
    if (wanted < 0) {
        text[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(wanted) < size ? wanted : static_cast<int>(size - 1);
}

constexpr double kInfinity = HUGE_VAL;

constexpr LabelRow kPreciseWithLevel[] = {
    {100.0, 1.0, "%2.3lf Hz/%3.3lf dB"},
    {1000.0, 1.0, "%3.3lf Hz/%3.3lf dB"},
    {100000.0, 1000.0, "%2.3lf kHz/%3.3lf dB"},
    {1000000.0, 1000.0, "%3.3lf kHz/%3.3lf dB"},
    {kInfinity, 1000000.0, "%2.3lf MHz/%3.3lf dB"},
};

constexpr LabelRow kShortWithLevel[] = {
    {10.0, 1.0, "%2.1lf Hz/%3.2lf dB"},
    {100.0, 1.0, "%2.0lf Hz/%3.2lf dB"},
    {1000.0, 1.0, "%3.0lf Hz/%3.2lf dB"},
    {10000.0, 1000.0, "%2.1lf kHz/%3.2lf dB"},
    {100000.0, 1000.0, "%2.0lf kHz/%3.2lf dB"},
    {1000000.0, 1000.0, "%3.0lf kHz/%3.2lf dB"},
    {10000000.0, 1000000.0, "%2.1lf MHz/%3.2lf dB"},
    {kInfinity, 1000000.0, "%2.0lf MHz/%3.2lf dB"},
};

constexpr LabelRow kShort[] = {
    {10.0, 1.0, "%2.1lf Hz"},
    {100.0, 1.0, "%2.0lf Hz"},
    {1000.0, 1.0, "%3.0lf Hz"},
    {10000.0, 1000.0, "%2.1lf kHz"},
    {100000.0, 1000.0, "%2.0lf kHz"},
    {1000000.0, 1000.0, "%3.0lf kHz"},
    {10000000.0, 1000000.0, "%2.1lf MHz"},
    {kInfinity, 1000000.0, "%2.0lf MHz"},
};

} // namespace

int FreqWithAmpsprintf(char* text, double freq, double dB, std::size_t size) {
    const LabelRow& row = ChooseRow(kPreciseWithLevel, freq);
    return FormatLabel(text, size, row.format, freq / row.divisor, dB);
}

int E24WithAmpsprintf(char* text, double freq, double dB, std::size_t size) {
    const LabelRow& row = ChooseRow(kShortWithLevel, freq);
    return FormatLabel(text, size, row.format, freq / row.divisor, dB);
}

int E24sprintf(char* text, double freq, std::size_t size) {
    const LabelRow& row = ChooseRow(kShort, freq);
    return FormatLabel(text, size, row.format, freq / row.divisor);
}

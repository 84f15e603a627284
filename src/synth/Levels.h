#pragma once
// Decibels and linear amplitude, and the texts that name the markers of tone and sweep files.
//
// The label functions pick unit (Hz, kHz, MHz) and decimals from the size of the frequency:
// the precise style prints three decimals (start and end of a signal), the short style two
// significant digits (preferred-number frequencies such as 2.2, 47 or 680).

#include <cstddef>

// Room a label buffer must offer. Ordinary frequencies and levels need at most 23 characters;
// extreme values are cut to fit rather than overrunning the caller's buffer.
inline constexpr std::size_t kLabelTextSize = 64;

// amplitude = 10^(dB / 20)
double dB2Amp(double dB);
// level = 20 log10(|amplitude|); the sign of the amplitude is ignored.
double Amp2dB(double amplitude);

// Each writes a zero-terminated label into `text` (at most `size` bytes, terminator included)
// and returns the number of characters stored.
// Precise frequency and level: "20.000 Hz/-20.000 dB", "1.000 kHz/0.000 dB".
int FreqWithAmpsprintf(char* text, double freq, double dB, std::size_t size = kLabelTextSize);
// Short frequency and level: "1.5 kHz/-6.00 dB".
int E24WithAmpsprintf(char* text, double freq, double dB, std::size_t size = kLabelTextSize);
// Short frequency: "4.7 kHz", "47 Hz", "8.2 Hz".
int E24sprintf(char* text, double freq, std::size_t size = kLabelTextSize);

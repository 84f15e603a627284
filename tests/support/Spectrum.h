#pragma once
// Spectra for the signal tests: a radix-2 FFT, averaged (Welch) power spectra and band powers.

#include <cstddef>
#include <vector>

// The Hann-windowed power spectrum of `x`, averaged over its whole segments of `segment`
// samples (a power of two); bin k lies at k * rate / segment.
std::vector<double> AveragedSpectrum(const std::vector<double>& x, std::size_t segment);

// The summed power from `low` to `high` Hz; a bin on an edge counts by its part inside.
double BandPower(const std::vector<double>& spectrum, double rate, double low, double high);

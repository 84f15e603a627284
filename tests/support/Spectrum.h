#pragma once
// Spectra for the signal tests: a radix-2 FFT, averaged (Welch) power spectra and band powers,
// complex spectra and FFT convolution.

#include <complex>
#include <cstddef>
#include <vector>

// The smallest power of two at least n (1 for n = 0).
std::size_t PowerOfTwoAtLeast(std::size_t n);

// The complex spectrum of `x`, cut or zero-padded to `size` samples (a power of two): bins 0 to
// size / 2, bin k at k * rate / size, unnormalised (a unit impulse has magnitude 1).
std::vector<std::complex<double>> Spectrum(const std::vector<double>& x, std::size_t size);

// The linear convolution of a and b, a.size() + b.size() - 1 samples (none when either is
// empty), by FFT.
std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b);

// The Hann-windowed power spectrum of `x`, averaged over its whole segments of `segment`
// samples (a power of two); bin k lies at k * rate / segment.
std::vector<double> AveragedSpectrum(const std::vector<double>& x, std::size_t segment);

// The summed power from `low` to `high` Hz; a bin on an edge counts by its part inside.
double BandPower(const std::vector<double>& spectrum, double rate, double low, double high);

#include "support/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>

namespace {

// In place, forward (e^-i) with twiddles from one table, exact at every stage.
void Transform(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    std::vector<std::complex<double>> twiddles(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k)
        twiddles[k] = std::polar(1.0, -2.0 * M_PI * double(k) / double(n));
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const std::size_t stride = n / length;
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> w = twiddles[k * stride];
                const std::complex<double> u = a[start + k];
                const std::complex<double> v = a[start + k + length / 2] * w;
                a[start + k] = u + v;
                a[start + k + length / 2] = u - v;
            }
        }
    }
}

std::vector<double> Power(std::vector<std::complex<double>>& a) {
    Transform(a);
    std::vector<double> power(a.size() / 2 + 1);
    for (std::size_t k = 0; k < power.size(); ++k)
        power[k] = std::norm(a[k]);
    return power;
}

} // namespace

std::size_t PowerOfTwoAtLeast(std::size_t n) {
    std::size_t size = 1;
    while (size < n)
        size <<= 1;
    return size;
}

std::vector<std::complex<double>> Spectrum(const std::vector<double>& x, std::size_t size) {
    std::vector<std::complex<double>> a(size);
    std::copy_n(x.begin(), std::min(x.size(), size), a.begin());
    Transform(a);
    a.resize(size / 2 + 1);
    return a;
}

std::vector<double> Convolve(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.empty() || b.empty()) return {};
    const std::size_t length = a.size() + b.size() - 1;
    const std::size_t size = PowerOfTwoAtLeast(length);
    std::vector<std::complex<double>> A(size), B(size);
    std::copy(a.begin(), a.end(), A.begin());
    std::copy(b.begin(), b.end(), B.begin());
    Transform(A);
    Transform(B);
    // The inverse transform as the forward one of the conjugate.
    for (std::size_t k = 0; k < size; ++k)
        A[k] = std::conj(A[k] * B[k]);
    Transform(A);
    std::vector<double> y(length);
    for (std::size_t i = 0; i < length; ++i)
        y[i] = A[i].real() / double(size);
    return y;
}

std::vector<double> AveragedSpectrum(const std::vector<double>& x, std::size_t segment) {
    std::vector<double> sum(segment / 2 + 1, 0.0);
    std::vector<std::complex<double>> a(segment);
    std::size_t segments = 0;
    for (std::size_t start = 0; start + segment <= x.size(); start += segment, ++segments) {
        for (std::size_t i = 0; i < segment; ++i)
            a[i] = x[start + i] * 0.5 * (1.0 - std::cos(2.0 * M_PI * double(i) / double(segment)));
        const std::vector<double> power = Power(a);
        for (std::size_t k = 0; k < sum.size(); ++k)
            sum[k] += power[k];
    }
    for (double& value : sum)
        value /= double(segments > 0 ? segments : 1);
    return sum;
}

double BandPower(const std::vector<double>& spectrum, double rate, double low, double high) {
    const double binWidth = rate / (2.0 * double(spectrum.size() - 1));
    double total = 0.0;
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        // The part of the bin's width inside the band, so that the edges do not round.
        const double from = std::max(low, (double(k) - 0.5) * binWidth);
        const double to = std::min(high, (double(k) + 0.5) * binWidth);
        if (to > from) total += spectrum[k] * (to - from) / binWidth;
    }
    return total;
}

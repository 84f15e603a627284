#include "support/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>

namespace {

void Transform(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * M_PI / double(length);
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> w = std::polar(1.0, angle * double(k));
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

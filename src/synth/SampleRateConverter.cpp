#include "synth/SampleRateConverter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>
#include <vector>

#include "synth/PolyphaseKernel.h"

namespace {

// The ratio and table of the running job: process-wide, used by one worker at a time.
std::int32_t p = 1;
std::int32_t q = 1;
std::unique_ptr<float[]> gSincTable;
std::uint32_t gSincTableLength = 0;

constexpr std::int64_t kZeroCrossingsPerSide = 24;

// Integer part of a rate; anything that has none in 32 bits counts as 0 (no usable rate).
std::int32_t WholeRate(double rate) {
    if (!(rate > -2147483649.0 && rate < 2147483648.0)) return 0;
    return static_cast<std::int32_t>(rate);
}

bool UsableRate(double rate) {
    return std::isfinite(rate) && rate > 0.0;
}

// Number of output samples for n input samples, held to what a 32-bit count can carry.
std::uint32_t OutputLength(std::uint32_t n, double inputRate, double outputRate) {
    const double length = static_cast<double>(n) * outputRate / inputRate;
    if (!(length > 0.0)) return 0;
    if (length >= 4294967295.0) return 4294967295u;
    return static_cast<std::uint32_t>(length);
}

double* AllocateOutput(std::uint32_t length) {
    // Never ask for zero bytes, so that null always means "out of memory".
    const std::size_t elements = std::max<std::size_t>(length, 1);
    return static_cast<double*>(std::malloc(elements * sizeof(double)));
}

} // namespace

void InitPQ(double outputRate, double inputRate) {
    std::int32_t P = WholeRate(outputRate);
    std::int32_t Q = WholeRate(inputRate);
    // Lowest terms; gcd is 0 only when both are 0.
    const std::int32_t divisor = std::gcd(P, Q);
    if (divisor > 1) {
        P /= divisor;
        Q /= divisor;
    }
    p = P;
    q = Q;
}

void GetPQ(std::int32_t* P, std::int32_t* Q) {
    if (P != nullptr) *P = p;
    if (Q != nullptr) *Q = q;
}

Status InitSincTablePPh(std::int32_t P, std::int32_t Q) {
    gSincTable.reset();
    if (P <= 0 || Q <= 0) return kErrBadSignalParameter;
    // Converting down moves the cutoff to the output's Nyquist rate and scales the taps so
    // that a constant keeps its level.
    const double gain = P < Q ? static_cast<double>(P) / Q : 1.0;
    const std::int64_t M = std::max(P, Q);
    const std::int64_t L = kZeroCrossingsPerSide * M;

    gSincTableLength = static_cast<std::uint32_t>(std::min<std::int64_t>(L, 0xFFFFFFFF));
    if (L > std::numeric_limits<std::uint32_t>::max()) return kErrMemoryFull;
    gSincTable.reset(new (std::nothrow) float[static_cast<std::size_t>(L)]);
    if (!gSincTable) return kErrMemoryFull;

    // Taps in double, stored as floats. The arguments advance by addition, one step per entry;
    // the sinc has a zero crossing every M entries, the window (the falling half of a Hann
    // window) reaches 0 one entry past the end.
    const double twoPi = 6.283185307179586;
    const double pi = 3.141592653589793;
    const double sincStep = twoPi / static_cast<double>(2 * M);
    const double windowStep = pi / static_cast<double>(L);
    double x = sincStep;
    double theta = 0.0;
    for (std::int64_t i = 0; i < L; ++i) {
        double tap = gain;
        if (i > 0) {
            tap = std::sin(x) * gain / x;
            x += sincStep;
        }
        gSincTable[i] = static_cast<float>((std::cos(theta) * 0.5 + 0.5) * tap);
        theta += windowStep;
    }
    return kNoErr;
}

int InitPolyPhase(double outputRate, double inputRate) {
    InitPQ(outputRate, inputRate);
    return InitSincTablePPh(p, q);
}

void freeSincTable() {
    gSincTable.reset();
}

const float* GetSincTable() {
    return gSincTable.get();
}

std::uint32_t GetSincTableLength() {
    return gSincTableLength;
}

std::uint32_t PolyphaseLength(std::uint32_t count, double inputRate, double outputRate) {
    if (!UsableRate(inputRate) || !UsableRate(outputRate)) return 0;
    return OutputLength(count, inputRate, outputRate);
}

namespace {

// One output of the conversion, one tap at a time: the outputs whose filter reaches past the
// signal's ends, where each sum covers only the taps that meet a signal sample.
double EdgeSum(const double* window, std::int64_t windowStart, std::int64_t first, std::int64_t end,
               std::int64_t i0, std::int64_t phase) {
    auto input = [&](std::int64_t i) { return window[i - windowStart]; };
    const std::int64_t P = p;
    const std::int64_t L = gSincTableLength;
    const float* h = gSincTable.get();
    double acc = 0.0;
    // Right side: taps (j + 1) P - phase on input[i0 + j].
    for (std::int64_t j = std::max<std::int64_t>(0, first - i0); i0 + j < end; ++j) {
        const std::int64_t index = (j + 1) * P - phase;
        if (index >= L) break;
        acc += static_cast<double>(h[index]) * input(i0 + j);
    }
    // Left side: taps phase + j P on input[i0 - 1 - j].
    for (std::int64_t j = std::max<std::int64_t>(0, i0 - end); i0 - 1 - j >= first; ++j) {
        const std::int64_t index = phase + j * P;
        if (index >= L) break;
        acc += static_cast<double>(h[index]) * input(i0 - 1 - j);
    }
    return acc;
}

} // namespace

void PolyphaseReach(std::uint32_t count, std::uint32_t from, std::uint32_t length,
                    std::int64_t* low, std::int64_t* high) {
    const std::int64_t P = std::max(p, 1), Q = std::max(q, 1), L = gSincTableLength;
    const std::int64_t first = kPolyPhaseLeadIn, end = first + count;
    const std::int64_t lastOutput = std::int64_t(from) + std::max<std::int64_t>(length, 1) - 1;
    *low = std::clamp(first + std::int64_t(from) * Q / P - ((L - 1) / P + 1), first, end);
    *high = std::clamp(first + lastOutput * Q / P + (L - 1 + P - 1) / P, first, end);
    if (*high < *low) *high = *low;
}

bool PolyphaseRange(const double* window, std::int64_t windowStart, std::uint32_t count,
                    std::uint32_t from, std::uint32_t length, double* output) {
    if (!gSincTable || p <= 0 || q <= 0 || (count > 0 && window == nullptr)) return false;
    const std::int64_t P = p;
    const std::int64_t Q = q;
    const std::int64_t L = gSincTableLength;
    const float* h = gSincTable.get();
    // The signal occupies [first, end) of the input; nothing else is read.
    const std::int64_t first = kPolyPhaseLeadIn;
    const std::int64_t end = first + count;

    // Output k sits at input position i0 - 1 + phase / P with i0 = first + floor(k * Q / P)
    // and phase = k * Q mod P, both in integers. Outputs k, k + P, k + 2P, ... share their
    // phase, hence their taps, and lie Q input samples apart: they are summed together.
    std::vector<double> right, left, sums;
    for (std::int64_t r = 0; r < std::min<std::int64_t>(P, length); ++r) {
        const std::int64_t k0 = std::int64_t(from) + r;
        const std::int64_t i0 = first + k0 * Q / P;
        const std::int64_t phase = k0 * Q % P;
        const std::int64_t lanes = (std::int64_t(length) - r + P - 1) / P;
        // Taps per side, and the outputs whose filter lies wholly within the signal.
        const std::int64_t rightCount = (L - 1 + phase) / P;
        const std::int64_t leftCount = (L - 1 - phase) / P + 1;
        const std::int64_t lowest = first + leftCount, highest = end - rightCount;
        const std::int64_t mFrom =
            std::clamp<std::int64_t>(i0 >= lowest ? 0 : (lowest - i0 + Q - 1) / Q, 0, lanes);
        const std::int64_t mTo =
            highest < i0 ? 0 : std::clamp<std::int64_t>((highest - i0) / Q + 1, mFrom, lanes);
        for (std::int64_t m = 0; m < lanes; ++m) {
            if (m == mFrom && mTo > mFrom) {
                right.resize(std::size_t(rightCount));
                left.resize(std::size_t(leftCount));
                for (std::int64_t j = 0; j < rightCount; ++j)
                    right[std::size_t(j)] = static_cast<double>(h[(j + 1) * P - phase]);
                for (std::int64_t j = 0; j < leftCount; ++j)
                    left[std::size_t(j)] = static_cast<double>(h[phase + j * P]);
                sums.resize(std::size_t(mTo - mFrom));
                PhaseSums(right.data(), right.size(), left.data(), left.size(),
                          window + (i0 + mFrom * Q - windowStart), Q, sums.size(), sums.data());
                for (std::int64_t n = mFrom; n < mTo; ++n)
                    output[r + n * P] = sums[std::size_t(n - mFrom)];
                m = mTo - 1;
                continue;
            }
            output[r + m * P] = EdgeSum(window, windowStart, first, end, i0 + m * Q, phase);
        }
    }
    return true;
}

double* src_polyphase(const double* input, std::uint32_t* count, double inputRate,
                      double outputRate) {
    if (count == nullptr || !gSincTable || p <= 0 || q <= 0) return nullptr;
    if (!UsableRate(inputRate) || !UsableRate(outputRate)) return nullptr;
    const std::uint32_t n = *count;
    if (n > 0 && input == nullptr) return nullptr;

    const std::uint32_t outLength = OutputLength(n, inputRate, outputRate);
    double* output = AllocateOutput(outLength);
    if (output == nullptr) return nullptr;
    PolyphaseRange(input, 0, n, 0, outLength, output);
    *count = outLength;
    return output;
}

double* src_lin(const double* input, std::uint32_t* count, double inputRate, double outputRate) {
    if (count == nullptr || !UsableRate(inputRate) || !UsableRate(outputRate)) return nullptr;
    const std::uint32_t n = *count;
    if (n > 0 && input == nullptr) return nullptr;

    const std::uint32_t outLength = OutputLength(n, inputRate, outputRate);
    double* output = AllocateOutput(outLength);
    if (output == nullptr) return nullptr;

    const double step = inputRate / outputRate;
    double x = 0.0;
    for (std::uint32_t k = 0; k < outLength; ++k) {
        const double whole = std::trunc(x);
        if (whole + 1.0 < static_cast<double>(n)) {
            const std::size_t i = static_cast<std::size_t>(whole);
            output[k] = input[i] - (input[i] - input[i + 1]) * (x - whole);
        } else {
            output[k] = input[n - 1];
        }
        x += step;
    }
    *count = outLength;
    return output;
}

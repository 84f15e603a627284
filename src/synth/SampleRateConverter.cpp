#include "synth/SampleRateConverter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numeric>

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

bool UsableRate(double rate) { return std::isfinite(rate) && rate > 0.0; }

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

void freeSincTable() { gSincTable.reset(); }

const float* GetSincTable() { return gSincTable.get(); }

std::uint32_t GetSincTableLength() { return gSincTableLength; }

double* src_polyphase(const double* input, std::uint32_t* count, double inputRate,
                      double outputRate) {
    if (count == nullptr || !gSincTable || p <= 0 || q <= 0) return nullptr;
    if (!UsableRate(inputRate) || !UsableRate(outputRate)) return nullptr;
    const std::uint32_t n = *count;
    if (n > 0 && input == nullptr) return nullptr;

    const std::uint32_t outLength = OutputLength(n, inputRate, outputRate);
    double* output = AllocateOutput(outLength);
    if (output == nullptr) return nullptr;

    const std::int64_t P = p;
    const std::int64_t Q = q;
    const std::int64_t L = gSincTableLength;
    const float* h = gSincTable.get();
    // The signal occupies [first, end) of the input; nothing else is read.
    const std::int64_t first = kPolyPhaseLeadIn;
    const std::int64_t end = first + n;

    // Output k sits at input position i0 - 1 + phase / P with i0 = first + floor(k * Q / P).
    // Both are kept in integers: a running double sum of Q / P drifts below the exact whole
    // positions and would pick the wrong input sample whenever phase returns to 0.
    std::int64_t i0 = first;
    std::int64_t phase = 0;
    for (std::uint32_t k = 0; k < outLength; ++k) {
        double acc = 0.0;
        // Right side: taps (j + 1) P - phase on input[i0 + j].
        for (std::int64_t j = std::max<std::int64_t>(0, first - i0); i0 + j < end; ++j) {
            const std::int64_t index = (j + 1) * P - phase;
            if (index >= L) break;
            acc += static_cast<double>(h[index]) * input[i0 + j];
        }
        // Left side: taps phase + j P on input[i0 - 1 - j].
        for (std::int64_t j = std::max<std::int64_t>(0, i0 - end); i0 - 1 - j >= first; ++j) {
            const std::int64_t index = phase + j * P;
            if (index >= L) break;
            acc += static_cast<double>(h[index]) * input[i0 - 1 - j];
        }
        output[k] = acc;

        phase += Q;
        i0 += phase / P;
        phase %= P;
    }
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

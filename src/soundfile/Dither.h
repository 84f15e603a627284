#pragma once
// Triangular (TPDF) dither for the write conversion, and the pseudo-random sequence behind it
// and behind the noise generator. Both are fixed by their seed on every machine and build, so
// a file written twice with the same choices has the same bytes.

#include <cstdint>

#include "soundfile/SampleCoding.h"

// xoshiro256** seeded through splitmix64: fast, 2^256 - 1 period, no standard-library
// distribution in between (their output may differ between library versions).
class RandomSequence {
  public:
    explicit RandomSequence(std::uint64_t seed) {
        for (auto& word : state) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotated(state[1] * 5, 7) * 9;
        const std::uint64_t t = state[1] << 17;
        state[2] ^= state[0];
        state[3] ^= state[1];
        state[1] ^= state[2];
        state[0] ^= state[3];
        state[2] ^= t;
        state[3] = Rotated(state[3], 45);
        return result;
    }

    // Uniform in [0, 1), 53 bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  private:
    static std::uint64_t Rotated(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t state[4];
};

// The seed a dithered file's dither starts from.
inline constexpr std::uint64_t kDitherSeed = 0x51D17E5EEDull;

// Dither of +-1 LSB with a triangular distribution (the difference of two uniform values),
// added to each sample before it is rounded to the file's word length. The rounding error then
// no longer depends on the signal: it is white noise of 1/4 LSB^2 (1/12 from the rounding and
// 2/12 from the dither) instead of harmonics of the signal.
class TpdfDither {
  public:
    explicit TpdfDither(std::uint64_t seed = kDitherSeed) : random(seed) {}
    // The next dither value in LSB, in (-1, 1).
    double Next() { return random.Uniform() - random.Uniform(); }

  private:
    RandomSequence random;
};

// The buffer sample for `x` (full scale +-1.0) with dither, in `coding`: x scaled to the word
// of the coding's width, plus the dither, rounded to the nearest code and held to the word's range.
// Rounding (not the truncation of the undithered conversion) keeps the error centred on zero for
// both signs, so no distortion is left for the dither to hide. A floating-point coding stores x
// as it is, without dither.
void StoreDitheredSample(SampleCoding coding, std::uint8_t* p, double x, TpdfDither& dither);

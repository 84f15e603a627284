#pragma once
// How samples lie in a sample buffer. The buffer holds the file's own bytes, so that a refill
// or a flush moves bytes without touching them; the conversions between 64-bit float samples
// (full scale +-1.0) and those bytes happen in one pass, in loops specialised per coding.
//
// Writing: the integer code of sample x at a word of b bits is trunc(x * 2^(b-1)), saturated to
// the word's range; a NaN is 0. A 3-byte sample keeps the top three bytes of the 32-bit code
// trunc(x * 2^31), that is the code shifted right by 8 (rounding toward minus infinity).
// Reading: the signed value / 2^(b-1).
//
// Floating-point samples are the value itself as an IEEE 754 single: nothing is clipped, a NaN
// is stored as 0, and values beyond the single's range become infinities. A NaN read (from a
// file of another writer) is 0 as well.

#include <cstddef>
#include <cstdint>

enum class SampleCoding : std::uint8_t {
    Signed8,   // two's complement bytes
    Unsigned8, // offset binary: silence is 0x80
    Little16,
    Big16,
    Little24,
    Big24,
    Little32,
    Big32,
    Little24In32,  // 4-byte little-endian words carrying a 24-bit sample in their low 3 bytes
    LittleFloat32, // IEEE 754 single precision, little-endian; full scale +-1.0
};

// Whether the coding holds floating-point values rather than integer codes.
constexpr bool IsFloatCoding(SampleCoding coding) {
    return coding == SampleCoding::LittleFloat32;
}

// The coding of `bytes`-wide samples (1..4) in the given byte order; 8-bit samples signed.
SampleCoding CodingFor(std::int16_t bytes, bool bigEndian);
// Bytes of one sample in the coding.
std::int16_t CodingBytes(SampleCoding coding);
// The byte value of silence (0x80 for offset binary, else 0).
std::uint8_t SilenceByte(SampleCoding coding);

// Stores `count` samples from values[0..count-1] at out, out + stride, ... (stride in bytes).
void EncodeSamples(SampleCoding coding, const double* values, std::size_t count, std::uint8_t* out,
                   std::size_t stride);
// Adds `count` samples into those stored at out, out + stride, ...: 3-byte and floating-point
// samples in floating point (values[k] becomes the sum, which is stored as a write would);
// other widths as integer codes, wrapping at the word's width.
void MixSamples(SampleCoding coding, double* values, std::size_t count, std::uint8_t* out,
                std::size_t stride);
// Loads `count` samples from in, in + stride, ... into values[0..count-1].
void DecodeSamples(SampleCoding coding, const std::uint8_t* in, std::size_t stride,
                   std::size_t count, double* values);
void DecodeSamples(SampleCoding coding, const std::uint8_t* in, std::size_t stride,
                   std::size_t count, float* values);

// The 32-bit integer codes trunc(x * 2^31), saturated (a NaN is 0), of `count` samples. Every
// coding's write code follows from this one: EncodeCodes stores what EncodeSamples would.
void SampleCodes(const double* values, std::size_t count, std::int32_t* codes);
// Stores the samples that `count` codes stand for, contiguously; with `negate`, those of the
// negated samples (exact unless a code is saturated: the largest or smallest 32-bit value).
// A floating-point coding stores code / 2^31.
void EncodeCodes(SampleCoding coding, const std::int32_t* codes, std::size_t count, bool negate,
                 std::uint8_t* out);

// One sample's signed value at the coding's width (a 24-in-32 word as the signed value of its
// low 3 bytes), and the reverse for the integer code of a write. A floating-point sample's
// value is its 32-bit code (saturated), and a stored value stands for value / 2^31.
std::int32_t LoadSample(SampleCoding coding, const std::uint8_t* p);
void StoreSample(SampleCoding coding, std::uint8_t* p, std::int32_t value);

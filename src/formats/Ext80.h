#pragma once
// The 80-bit IEEE 754 double-extended number in which an AIFF common chunk stores its sample
// rate, and the conversions between it and the engine's doubles.

#include <cstdint>

// An extended value as its three fields, in the host's representation. Packed so that the
// big-endian form made by DblToExt80_be is exactly the 10 bytes a file holds.
struct [[gnu::packed]] Float80 {
    std::uint16_t signExponent; // bit 15: sign; bits 0-14: exponent biased by 16383
    std::uint32_t mantissaHigh; // mantissa bits 63-32; bit 63 is the explicit integer bit
    std::uint32_t mantissaLow;  // mantissa bits 31-0
};
static_assert(sizeof(Float80) == 10, "Float80 must occupy the 10 bytes of its file form");

// Encodes a double. Every finite double is encoded without loss in the normalised form (the
// integer bit set); zero gives all-zero fields, infinities and NaNs the exponent field 32767.
Float80 DblToExt80(double x);

// The same value with its 10 bytes in memory in file order: signExponent, mantissaHigh,
// mantissaLow, each most significant byte first. No value changes.
Float80 DblToExt80_be(Float80 v);

// Decodes a value in the host's representation by its arithmetic value: an exponent field of 0
// gives a tiny or zero result, values beyond the double range give an infinity.
double Ext80ToDbl(Float80 v);

// Assembles a value in the host's representation from the 10 bytes of its file form.
Float80 Ext80FromBytes(const std::uint8_t* bytes);

// Stores a value given in the host's representation as the 10 bytes of its file form.
void Ext80ToBytes(Float80 v, std::uint8_t* bytes);

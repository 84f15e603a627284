#include "formats/Ext80.h"

#include "soundfile/ByteOrder.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kExponentBias = 16383;
constexpr std::uint16_t kSignBit = 0x8000;
constexpr std::uint16_t kExponentMask = 0x7FFF;

} // namespace

Float80 DblToExt80(double x) {
    Float80 v{0, 0, 0};
    std::uint16_t sign = 0;
    if (x < 0) { // a NaN is not negative
        sign = kSignBit;
        x = -x;
    }
    if (std::isnan(x)) {
        v.signExponent = kExponentMask;
        v.mantissaHigh = 0xC0000000u; // integer bit and quiet bit
        return v;
    }
    if (std::isinf(x)) {
        v.signExponent = std::uint16_t(sign | kExponentMask);
        v.mantissaHigh = 0x80000000u;
        return v;
    }
    if (x == 0) return v;
    // The mantissa is taken from the double's bits rather than through logarithms: exact for
    // every finite value, subnormal doubles included, and no float-to-integer overflow.
    int exponent = 0;
    const double fraction =
        std::frexp(x, &exponent); // x = fraction * 2^exponent, fraction in [0.5, 1)
    const auto mantissa = std::uint64_t(std::ldexp(fraction, 64));
    v.signExponent = std::uint16_t(sign | std::uint16_t(exponent - 1 + kExponentBias));
    v.mantissaHigh = std::uint32_t(mantissa >> 32);
    v.mantissaLow = std::uint32_t(mantissa);
    return v;
}

Float80 DblToExt80_be(Float80 v) {
    std::uint8_t bytes[sizeof(Float80)];
    Ext80ToBytes(v, bytes);
    Float80 be;
    std::memcpy(&be, bytes, sizeof be);
    return be;
}

double Ext80ToDbl(Float80 v) {
    const double s = (v.signExponent & kSignBit) ? -1.0 : 1.0;
    const int e = v.signExponent & kExponentMask;
    // Each mantissa half converts to double exactly; ldexp scales without rounding, so only
    // the final sum rounds.
    return s * std::ldexp(double(v.mantissaHigh), e - kExponentBias - 31) +
           s * std::ldexp(double(v.mantissaLow), e - kExponentBias - 63);
}

Float80 Ext80FromBytes(const std::uint8_t* bytes) {
    return Float80{byteorder::LoadBE16(bytes), byteorder::LoadBE32(bytes + 2),
                   byteorder::LoadBE32(bytes + 6)};
}

void Ext80ToBytes(Float80 v, std::uint8_t* bytes) {
    byteorder::StoreBE16(bytes, v.signExponent);
    byteorder::StoreBE32(bytes + 2, v.mantissaHigh);
    byteorder::StoreBE32(bytes + 6, v.mantissaLow);
}

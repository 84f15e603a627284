#include "soundfile/Dither.h"

#include <cmath>

void StoreDitheredSample(SampleCoding coding, std::uint8_t* p, double x, TpdfDither& dither) {
    // A floating-point sample has no word to round to: it is stored as it is.
    if (IsFloatCoding(coding)) {
        EncodeSamples(coding, &x, 1, p, std::size_t(CodingBytes(coding)));
        return;
    }
    const double fullScale = std::ldexp(1.0, CodingBytes(coding) * 8 - 1);
    const double v = std::floor(x * fullScale + dither.Next() + 0.5);
    std::int32_t word;
    if (std::isnan(v))
        word = 0;
    else if (v >= fullScale)
        word = static_cast<std::int32_t>(fullScale - 1.0);
    else if (v <= -fullScale)
        word = static_cast<std::int32_t>(-fullScale);
    else
        word = static_cast<std::int32_t>(v);
    StoreSample(coding, p, word);
}

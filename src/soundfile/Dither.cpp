#include "soundfile/Dither.h"

#include <cmath>

#include "soundfile/CSoundFile.h"

void StoreDitheredSample(std::uint8_t* p, std::int16_t bytes, double x, TpdfDither& dither) {
    const double fullScale = std::ldexp(1.0, bytes * 8 - 1);
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
    StoreBufferSample(p, bytes, word);
}

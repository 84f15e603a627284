#include "soundfile/SampleCoding.h"

#include <bit>
#include <cstdint>

#include "soundfile/ByteOrder.h"
#include "soundfile/CpuClones.h"

namespace {

// The conversion loops are inlined all the way into the public functions, so that each clone
// of those (see CpuClones.h) holds its own vector code.
#if defined(__GNUC__)
#define QUILL_INLINE __attribute__((always_inline)) inline
#define QUILL_INLINE_LAMBDA __attribute__((always_inline))
#else
#define QUILL_INLINE inline
#define QUILL_INLINE_LAMBDA
#endif

// Wraps `value` to a signed integer of `bits` bits.
constexpr std::int32_t WrapToBits(std::int64_t value, int bits) {
    const std::uint64_t mask = (std::uint64_t(1) << bits) - 1;
    std::uint64_t v = std::uint64_t(value) & mask;
    if (v & (std::uint64_t(1) << (bits - 1))) v |= ~mask;
    return static_cast<std::int32_t>(static_cast<std::int64_t>(v));
}

// The integer code of a write at `Bits` (8, 16, 24 or 32): a saturating truncation without
// branches, so that the loops around it vectorise. Clamping to [low, high] before truncating
// gives what truncating and then saturating gives, since high and low are whole numbers.
template <int Bits> QUILL_INLINE std::int32_t WordCode(double x) {
    constexpr int kScaleBits = Bits == 24 ? 32 : Bits;
    constexpr double kScale = double(std::uint64_t(1) << (kScaleBits - 1));
    constexpr double kLow = -kScale;
    constexpr double kHigh = kScale - 1.0;
    double v = x * kScale;
    v = v == v ? v : 0.0;
    v = v < kLow ? kLow : v;
    v = v > kHigh ? kHigh : v;
    const auto word = static_cast<std::int32_t>(v);
    return Bits == 24 ? (word >> 8) : word;
}

// One coding: Load gives the signed sample value at its width, Store takes it; CodeBits is the
// width of a write's integer code and of a read's scale.
template <int Bytes, bool Big, bool Offset = false, bool In32 = false> struct Codec {
    static constexpr bool kFloat = false;
    static constexpr int kBytes = Bytes;
    static constexpr int kCodeBits = In32 ? 24 : Bytes * 8;
    static constexpr double kReadScale = 1.0 / double(std::uint64_t(1) << (kCodeBits - 1));

    QUILL_INLINE static std::int32_t Load(const std::uint8_t* p) {
        using namespace byteorder;
        if constexpr (Bytes == 1) {
            return Offset ? std::int32_t(p[0]) - 0x80 : std::int32_t(std::int8_t(p[0]));
        } else if constexpr (Bytes == 2) {
            return std::int16_t(Big ? LoadBE16(p) : LoadLE16(p));
        } else if constexpr (Bytes == 3) {
            return WrapToBits(Big ? LoadBE24(p) : LoadLE24(p), 24);
        } else {
            const std::uint32_t word = Big ? LoadBE32(p) : LoadLE32(p);
            return In32 ? WrapToBits(word & 0xFFFFFF, 24) : std::int32_t(word);
        }
    }
    QUILL_INLINE static void Store(std::uint8_t* p, std::int32_t value) {
        using namespace byteorder;
        const auto v = std::uint32_t(value);
        if constexpr (Bytes == 1) {
            p[0] = std::uint8_t(Offset ? v + 0x80 : v);
        } else if constexpr (Bytes == 2) {
            Big ? StoreBE16(p, std::uint16_t(v)) : StoreLE16(p, std::uint16_t(v));
        } else if constexpr (Bytes == 3) {
            Big ? StoreBE24(p, v) : StoreLE24(p, v);
        } else {
            Big ? StoreBE32(p, v) : StoreLE32(p, v);
        }
    }
    // The value a write stores for x.
    QUILL_INLINE static std::int32_t Code(double x) { return WordCode<kCodeBits>(x); }
    // What a read makes of a loaded value.
    QUILL_INLINE static double Value(std::int32_t loaded) { return loaded * kReadScale; }
};

// IEEE singles, little-endian. The loops move values through LoadValue and StoreValue; Load and
// Store give the 32-bit code view that LoadSample and StoreSample offer for every coding.
struct FloatCodec {
    static constexpr bool kFloat = true;
    static constexpr int kBytes = 4;
    static constexpr int kCodeBits = 32;

    QUILL_INLINE static float LoadValue(const std::uint8_t* p) {
        return std::bit_cast<float>(byteorder::LoadLE32(p));
    }
    // No clipping: the value as it is, a NaN as silence.
    QUILL_INLINE static void StoreValue(std::uint8_t* p, double x) {
        x = x == x ? x : 0.0;
        byteorder::StoreLE32(p, std::bit_cast<std::uint32_t>(static_cast<float>(x)));
    }
    QUILL_INLINE static std::int32_t Load(const std::uint8_t* p) {
        return WordCode<32>(LoadValue(p));
    }
    QUILL_INLINE static void Store(std::uint8_t* p, std::int32_t value) {
        StoreValue(p, double(value) * 0x1p-31);
    }
};

// Contiguous samples get their own instance of each loop: a constant stride lets the compiler
// vectorise the conversion.
template <class C, bool Packed>
QUILL_INLINE void EncodeLoop(const double* values, std::size_t count, std::uint8_t* out,
                             std::size_t stride) {
    const std::size_t step = Packed ? std::size_t(C::kBytes) : stride;
    if constexpr (C::kFloat) {
        for (std::size_t k = 0; k < count; ++k)
            C::StoreValue(out + k * step, values[k]);
    } else if constexpr (Packed && C::kBytes >= 2) {
        // Codes first, a run at a time, then their bytes: two loops that each vectorise,
        // where one loop doing both would not.
        constexpr std::size_t kRun = 256;
        std::int32_t codes[kRun];
        for (std::size_t first = 0; first < count; first += kRun) {
            const std::size_t n = count - first < kRun ? count - first : kRun;
            for (std::size_t k = 0; k < n; ++k)
                codes[k] = C::Code(values[first + k]);
            std::uint8_t* run = out + first * C::kBytes;
            for (std::size_t k = 0; k < n; ++k)
                C::Store(run + k * C::kBytes, codes[k]);
        }
    } else {
        for (std::size_t k = 0; k < count; ++k)
            C::Store(out + k * step, C::Code(values[k]));
    }
}

template <class C, class T, bool Packed>
QUILL_INLINE void DecodeLoop(const std::uint8_t* in, std::size_t stride, std::size_t count,
                             T* values) {
    const std::size_t step = Packed ? std::size_t(C::kBytes) : stride;
    for (std::size_t k = 0; k < count; ++k) {
        if constexpr (C::kFloat) {
            const float value = C::LoadValue(in + k * step);
            values[k] = value == value ? T(value) : T(0); // a NaN is silence
        } else {
            const std::int32_t loaded = C::Load(in + k * step);
            if constexpr (sizeof(T) == sizeof(float))
                values[k] = float(loaded) * float(C::kReadScale);
            else
                values[k] = C::Value(loaded);
        }
    }
}

template <class C>
QUILL_INLINE void MixLoop(double* values, std::size_t count, std::uint8_t* out,
                          std::size_t stride) {
    for (std::size_t k = 0; k < count; ++k) {
        std::uint8_t* p = out + k * stride;
        if constexpr (C::kFloat) {
            const float stored = C::LoadValue(p);
            values[k] += stored == stored ? stored : 0.0f;
            C::StoreValue(p, values[k]);
        } else if constexpr (C::kBytes == 3) {
            values[k] += C::Value(C::Load(p));
            C::Store(p, C::Code(values[k]));
        } else {
            const std::int64_t sum = std::int64_t(C::Load(p)) + C::Code(values[k]);
            C::Store(p, WrapToBits(sum, C::kCodeBits));
        }
    }
}

// The write code at C's width from the 32-bit code: truncating the quotient of an integer
// truncation is truncating the quotient, so this is C::Code of the sample; 3-byte samples and
// 24-in-32 words keep the top three bytes, as C::Code does.
template <class C> std::int32_t CodeFrom32(std::int32_t code) {
    if constexpr (C::kCodeBits == 24) return code >> 8;
    if constexpr (C::kCodeBits == 32) return code;
    return code / (std::int32_t(1) << (32 - C::kCodeBits));
}

// Calls `f` with a value of the Codec type of `coding`.
template <class F> QUILL_INLINE void WithCodec(SampleCoding coding, F&& f) {
    switch (coding) {
    case SampleCoding::Signed8:
        return f(Codec<1, false>{});
    case SampleCoding::Unsigned8:
        return f(Codec<1, false, true>{});
    case SampleCoding::Little16:
        return f(Codec<2, false>{});
    case SampleCoding::Big16:
        return f(Codec<2, true>{});
    case SampleCoding::Little24:
        return f(Codec<3, false>{});
    case SampleCoding::Big24:
        return f(Codec<3, true>{});
    case SampleCoding::Little32:
        return f(Codec<4, false>{});
    case SampleCoding::Big32:
        return f(Codec<4, true>{});
    case SampleCoding::Little24In32:
        return f(Codec<4, false, false, true>{});
    case SampleCoding::LittleFloat32:
        return f(FloatCodec{});
    }
}

} // namespace

SampleCoding CodingFor(std::int16_t bytes, bool bigEndian) {
    switch (bytes) {
    case 1:
        return SampleCoding::Signed8;
    case 2:
        return bigEndian ? SampleCoding::Big16 : SampleCoding::Little16;
    case 3:
        return bigEndian ? SampleCoding::Big24 : SampleCoding::Little24;
    default:
        return bigEndian ? SampleCoding::Big32 : SampleCoding::Little32;
    }
}

std::int16_t CodingBytes(SampleCoding coding) {
    std::int16_t bytes = 0;
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA { bytes = decltype(codec)::kBytes; });
    return bytes;
}

std::uint8_t SilenceByte(SampleCoding coding) {
    return coding == SampleCoding::Unsigned8 ? 0x80 : 0x00;
}

QUILL_CPU_CLONES
void EncodeSamples(SampleCoding coding, const double* values, std::size_t count, std::uint8_t* out,
                   std::size_t stride) {
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA {
        using C = decltype(codec);
        if (stride == C::kBytes)
            EncodeLoop<C, true>(values, count, out, stride);
        else
            EncodeLoop<C, false>(values, count, out, stride);
    });
}

void MixSamples(SampleCoding coding, double* values, std::size_t count, std::uint8_t* out,
                std::size_t stride) {
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA {
        MixLoop<decltype(codec)>(values, count, out, stride);
    });
}

void DecodeSamples(SampleCoding coding, const std::uint8_t* in, std::size_t stride,
                   std::size_t count, double* values) {
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA {
        using C = decltype(codec);
        if (stride == C::kBytes)
            DecodeLoop<C, double, true>(in, stride, count, values);
        else
            DecodeLoop<C, double, false>(in, stride, count, values);
    });
}

void DecodeSamples(SampleCoding coding, const std::uint8_t* in, std::size_t stride,
                   std::size_t count, float* values) {
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA {
        DecodeLoop<decltype(codec), float, false>(in, stride, count, values);
    });
}

void SampleCodes(const double* values, std::size_t count, std::int32_t* codes) {
    for (std::size_t k = 0; k < count; ++k)
        codes[k] = WordCode<32>(values[k]);
}

QUILL_CPU_CLONES
void EncodeCodes(SampleCoding coding, const std::int32_t* codes, std::size_t count, bool negate,
                 std::uint8_t* out) {
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA {
        using C = decltype(codec);
        for (std::size_t k = 0; k < count; ++k) {
            std::int32_t code = codes[k];
            if (negate) code = code == INT32_MIN ? INT32_MAX : -code;
            if constexpr (C::kFloat)
                C::Store(out + k * C::kBytes, code);
            else
                C::Store(out + k * C::kBytes, CodeFrom32<C>(code));
        }
    });
}

std::int32_t LoadSample(SampleCoding coding, const std::uint8_t* p) {
    std::int32_t value = 0;
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA { value = decltype(codec)::Load(p); });
    return value;
}

void StoreSample(SampleCoding coding, std::uint8_t* p, std::int32_t value) {
    WithCodec(coding, [&](auto codec) QUILL_INLINE_LAMBDA { decltype(codec)::Store(p, value); });
}

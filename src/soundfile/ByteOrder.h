#pragma once
// Byte-order helpers: every multi-byte field of a file or of the sample buffer is loaded and
// stored through these, never by ad-hoc shifting.

#include <cstdint>

namespace byteorder {

// A four-character code, first character in the most significant byte: FourCC("FORM").
constexpr std::uint32_t FourCC(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

inline std::uint16_t LoadBE16(const std::uint8_t* p) {
    return std::uint16_t((p[0] << 8) | p[1]);
}
inline std::uint32_t LoadBE24(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
}
inline std::uint32_t LoadBE32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           p[3];
}
inline std::uint64_t LoadBE64(const std::uint8_t* p) {
    return (std::uint64_t(LoadBE32(p)) << 32) | LoadBE32(p + 4);
}
inline std::uint16_t LoadLE16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLE24(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t LoadLE64(const std::uint8_t* p) {
    return std::uint64_t(LoadLE32(p)) | (std::uint64_t(LoadLE32(p + 4)) << 32);
}

inline void StoreBE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}
inline void StoreBE24(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 16);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v);
}
inline void StoreBE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}
inline void StoreBE64(std::uint8_t* p, std::uint64_t v) {
    StoreBE32(p, std::uint32_t(v >> 32));
    StoreBE32(p + 4, std::uint32_t(v));
}
inline void StoreLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
inline void StoreLE24(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}
inline void StoreLE64(std::uint8_t* p, std::uint64_t v) {
    StoreLE32(p, std::uint32_t(v));
    StoreLE32(p + 4, std::uint32_t(v >> 32));
}

} // namespace byteorder

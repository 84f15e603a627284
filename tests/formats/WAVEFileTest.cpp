// The Broadcast WAVE header and region chunk (bext fields, cues, labels and regions as read
// back: InteropTest), and the WAVE format chunks read or refused.
#include <gtest/gtest.h>

#include "formats/CBWFLinearFile.h"
#include "support/FormatsTestSupport.h"

namespace {

// 32-bit little-endian words as bytes.
std::string Words(std::initializer_list<std::uint32_t> words) {
    std::string text;
    for (std::uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            text += char(w >> (8 * i));
    return text;
}

using WAVEFile = FormatsTest;

// The fixed 910-byte Broadcast WAVE header, the regn chunk after the data (per record: two zero
// fields, start, end, sync, the file's and the region's time stamps, the name), then cues.
TEST_F(WAVEFile, BroadcastHeaderAndRegionChunk) {
    Specimen specimen{FileKind::BWF, 1, 16, 48000.0f, 6000};
    specimen.regions = {MakeRegion(1000, 5000, "Verse")};
    const Bytes bytes = SpecimenBytes(dir, specimen);
    const auto text = [&](std::size_t at, int n) {
        return std::string(&bytes[at], &bytes[at] + n);
    };
    EXPECT_EQ(text(8, 8) + text(878, 4) + text(902, 4), "WAVEbextfmt data");
    EXPECT_EQ(text(910 + 12000, 74),
              "regn" + Words({92, 1, 0, 0, 0, 0, 1000, 0, 5000, 0, 1000, 0, 0, 0, 0, 0}) +
                  "\x05Verse");
    EXPECT_EQ(ChunkAt(bytes, "cue "), 910 + 12000 + 100);
}

// Format chunks patched after writing: what is refused, with which status.
struct Patch {
    const char* what;
    std::int64_t offset;
    Bytes bytes;
    Status expected;
    bool extensible = false; // a stereo file with the 40-byte format chunk, data at 68
};
using WAVEPatched = FormatsTestWith<Patch>;

TEST_P(WAVEPatched, OpensToTheExpectedStatus) {
    const Patch& p = GetParam();
    Specimen specimen{FileKind::WAVE, std::int16_t(p.extensible ? 2 : 1), 16, 44100.0f, 100};
    if (p.extensible) specimen.channelMask = 0x3;
    Bytes bytes = SpecimenBytes(dir, specimen);
    std::copy(p.bytes.begin(), p.bytes.end(), bytes.begin() + p.offset);
    CWAVEFile file;
    EXPECT_EQ(OpenBytes(dir, &file, bytes), p.expected) << p.what;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, WAVEPatched,
    ::testing::Values(
        Patch{"Float16", 20, {3, 0}, kErrNotPCM}, Patch{"ValidBits12", 38, {12, 0}, kNoErr, true},
        Patch{"BlockAlign2", 32, {2, 0}, kErrMalformedFile, true},
        // Block align, bits, extension size, valid bits, mask, sub-format.
        Patch{"Float32", 32, {8, 0, 32, 0, 22, 0, 32, 0, 3, 0, 0, 0, 3, 0}, kNoErr, true},
        Patch{"Float64", 32, {16, 0, 64, 0, 22, 0, 64, 0, 3, 0, 0, 0, 3, 0}, kErrFloat64WAVE, true},
        // Without ds64 the 32-bit sizes stand.
        Patch{"RF64", 0, {'R', 'F', '6', '4'}, kNoErr},
        Patch{
            "BW64ShortDs64",
            0,
            {'B', 'W', '6', '4', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'd', 's', '6', '4', 16, 0, 0, 0},
            kErrMalformedFile},
        Patch{"TwelveBits", 34, {12, 0}, kErrNotSupported},
        Patch{"NoDataChunk", 36, {'j', 'u', 'n', 'k'}, kErrNoDataChunk},
        Patch{"StreamingRIFFSize", 4, {0xFF, 0xFF, 0xFF, 0xFF}, kNoErr}),
    [](const auto& info) { return std::string(info.param.what); });

} // namespace

// CWAVEFile and CBWFLinearFile: cue points, labels and regions, the Broadcast WAVE header and
// region chunk (its bext fields: InteropTest), and the format chunks they read or refuse.
#include <gtest/gtest.h>

#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FormatsTestSupport.h"

namespace {

std::string Text(const Bytes& b, std::int64_t at, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}
// 32-bit little-endian words as bytes.
std::string Words(std::initializer_list<std::uint32_t> words) {
    std::string text;
    for (std::uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            text += char(w >> (8 * i));
    return text;
}

using WAVEFile = FormatsTest;

// Cue points for markers and regions, a labl per marker (even names padded), an ltxt per
// region; read back, the region gets a numbered name.
TEST_F(WAVEFile, CuePointsLabelsAndRegions) {
    Specimen specimen{FileKind::WAVE, 1, 16, 44100.0f, 4000};
    specimen.markers = {MakeMarker(0, 10, "Intr"), MakeMarker(1, 20, "Outro")};
    specimen.regions = {MakeRegion(1000, 3000, "Chorus")};
    const Bytes bytes = SpecimenBytes(dir, specimen);
    // After the data: the cue chunk (count; per point ID, frame, "data", chunk start, block
    // start, frame) and the LIST of labl (ID, name) and ltxt (ID, frames, "rgn ", zeros).
    std::string expected = "cue " + Words({76, 3});
    for (std::uint32_t i = 0, frames[] = {10, 20, 1000}; i < 3; ++i)
        expected += Words({i, frames[i]}) + "data" + Words({0, 0, frames[i]});
    expected += "LIST" + Words({68}) + "adtllabl" + Words({9, 0}) + std::string("Intr\0\0", 6) +
                "labl" + Words({10, 1}) + std::string("Outro\0", 6) + "ltxt" +
                Words({20, 2, 2000}) + "rgn " + Words({0, 0});
    EXPECT_EQ(Text(bytes, 44 + 8000, bytes.size() - 44 - 8000), expected);

    CWAVEFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    SFTMarker m;
    ASSERT_EQ(file.GetIndMarker(1, &m), kNoErr);
    EXPECT_EQ(std::make_tuple(int(m.id), int(m.position), NameOf(m.name)),
              std::make_tuple(1, 20, std::string("Outro")));
    SFTRegion r;
    ASSERT_EQ(file.GetNumRegions(), 1);
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::make_tuple(r.id, r.start, r.end, r.sync, NameOf(r.name)),
              std::make_tuple(2, 1000, 3000, 1000, std::string("Region nmbr 2")));
}

// The fixed 910-byte Broadcast WAVE header, the regn chunk after the data (per record: two
// zero fields, start, end, sync, the file's and the region's time stamps, the name), cues after.
TEST_F(WAVEFile, BroadcastHeaderAndRegionChunk) {
    Specimen specimen{FileKind::BWF, 1, 16, 48000.0f, 6000};
    specimen.regions = {MakeRegion(1000, 5000, "Verse")};
    specimen.markers = {MakeMarker(0, 10, "A"), MakeMarker(1, 20, "B")};
    const Bytes bytes = SpecimenBytes(dir, specimen);
    EXPECT_EQ(Text(bytes, 8, 8) + Text(bytes, 878, 4) + Text(bytes, 902, 4), "WAVEbextfmt data");
    const std::int64_t regn = 910 + 12000;
    ASSERT_EQ(Text(bytes, regn, 4), "regn");
    EXPECT_EQ(Text(bytes, regn + 4, 64) + Text(bytes, regn + 68, 6),
              Words({92, 1, 0, 0, 0, 0, 1000, 0, 5000, 0, 1000, 0, 0, 0, 0, 0}) + "\x05Verse");
    EXPECT_EQ(ChunkAt(bytes, "cue ", false), regn + 100);

    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    EXPECT_EQ(file.GetFType(), byteorder::FourCC("BWLN"));
    EXPECT_EQ(file.GetNumMarkers(), 0); // cue points are not read by this class
    SFTRegion r;
    ASSERT_EQ(file.GetNumRegions(), 1);
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::make_tuple(r.id, r.start, r.end, NameOf(r.name)),
              std::make_tuple(1, 1000, 5000, std::string("Verse")));
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
        Patch{"Float16", 20, {3, 0}, kErrNotPCM},
        Patch{"ExtensionTooShort", 36, {21, 0}, kErrMalformedFile, true},
        Patch{"ValidBitsOver16", 38, {17, 0}, kErrMalformedFile, true},
        Patch{"ValidBits12", 38, {12, 0}, kNoErr, true},
        Patch{"BlockAlign2", 32, {2, 0}, kErrMalformedFile, true},
        Patch{"ForeignGUID", 50, {0x11}, kErrNotPCM, true},
        // Block align, bits, extension size, valid bits, mask, sub-format.
        Patch{"Float32", 32, {8, 0, 32, 0, 22, 0, 32, 0, 3, 0, 0, 0, 3, 0}, kErrFloat32WAVE, true},
        Patch{"PlainFloat64",
              20,
              {3, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x20, 0x62, 5, 0, 8, 0, 64, 0},
              kErrFloat64WAVE},
        Patch{"RF64", 0, {'R', 'F', '6', '4'}, kErrRF64},
        Patch{"NoChannels", 22, {0, 0}, kErrMalformedFile},
        Patch{"TwelveBits", 34, {12, 0}, kErrNotSupported},
        Patch{"NoFmtChunk", 12, {'j', 'u', 'n', 'k'}, kErrNoFmtChunk},
        Patch{"NoDataChunk", 36, {'j', 'u', 'n', 'k'}, kErrNoDataChunk},
        Patch{"NegativeChunkSize", 16, {0, 0, 0, 0x80}, kErrNegativeChunkSize},
        Patch{"StreamingRIFFSize", 4, {0xFF, 0xFF, 0xFF, 0xFF}, kNoErr}),
    [](const auto& info) { return std::string(info.param.what); });

} // namespace

// CWAVEFile and CBWFLinearFile: the bytes they write (little-endian, 8-bit samples unsigned;
// Broadcast WAVE with a fixed 910-byte header), cue points, labels and regions, and the format
// chunks they read or refuse.
#include <gtest/gtest.h>

#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

std::uint32_t LE32(const Bytes& b, std::int64_t at) {
    return byteorder::LoadLE32(b.data() + at);
}
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

class WAVEFileTest : public ::testing::Test {
  protected:
    ReaderPreferences preferences;
    TempDir dir;
};

// Cue points for markers and regions, a labl per marker (even names padded), an ltxt per
// region; read back, the region gets a numbered name.
TEST_F(WAVEFileTest, CuePointsLabelsAndRegions) {
    Specimen specimen{FileKind::WAVE, 1, 16, 44100.0f, 4000};
    specimen.markers = {MakeMarker(0, 10, "Intr"), MakeMarker(1, 20, "Outro")};
    specimen.regions = {MakeRegion(1000, 3000, "Chorus")};
    const Bytes bytes = SpecimenBytes(dir, specimen);
    // After the data: the cue chunk (count; per point ID, frame, "data", chunk start, block
    // start, frame) and the LIST of labl (ID, name) and ltxt (ID, frames, "rgn ", zeros).
    std::string expected = "cue " + Words({76, 3});
    const std::uint32_t frames[] = {10, 20, 1000};
    for (std::uint32_t i = 0; i < 3; ++i)
        expected += Words({i, frames[i]}) + "data" + Words({0, 0, frames[i]});
    expected += "LIST" + Words({68}) + "adtllabl" + Words({9, 0}) + std::string("Intr\0\0", 6) +
                "labl" + Words({10, 1}) + std::string("Outro\0", 6) + "ltxt" +
                Words({20, 2, 2000}) + "rgn " + Words({0, 0});
    EXPECT_EQ(Text(bytes, 44 + 8000, bytes.size() - 44 - 8000), expected);

    CWAVEFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    ASSERT_EQ(file.GetNumMarkers(), 2);
    SFTMarker m;
    ASSERT_EQ(file.GetIndMarker(1, &m), kNoErr);
    EXPECT_EQ(std::make_tuple(int(m.id), int(m.position), NameOf(m.name), int(m.type)),
              std::make_tuple(1, 20, std::string("Outro"), int(kMarkerTypeOrdinary)));
    ASSERT_EQ(file.GetNumRegions(), 1);
    SFTRegion r;
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::make_tuple(r.id, r.start, r.end, r.sync, NameOf(r.name)),
              std::make_tuple(2, 1000, 3000, 1000, std::string("Region nmbr 2")));
    file.Close();
    std::int16_t regions = -1;
    CWAVEFile offline;
    const FSSpec fileRef = dir.Spec("in.snd");
    ASSERT_EQ(offline.ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(offline.GetOfflineInfo(&regions), kNoErr);
    EXPECT_EQ(regions, 1);
    EXPECT_FALSE(offline.IsOpen());
}

// The fixed header of a Broadcast WAVE file, the bext fields at their offsets, and the regn
// chunk after the data.
TEST_F(WAVEFileTest, BroadcastHeaderBextFieldsAndRegions) {
    Specimen specimen{FileKind::BWF, 1, 16, 48000.0f, 6000};
    specimen.regions = {MakeRegion(1000, 5000, "Verse")};
    specimen.markers = {MakeMarker(0, 10, "A"), MakeMarker(1, 20, "B")};
    const Bytes bytes = SpecimenBytes(dir, specimen);
    EXPECT_EQ(Text(bytes, 8, 8) + Text(bytes, 878, 4) + Text(bytes, 902, 4), "WAVEbextfmt data");
    EXPECT_EQ(std::make_pair(LE32(bytes, 16), LE32(bytes, 906)), std::make_pair(858u, 12000u));
    const std::int64_t bext = 20; // the chunk's data
    EXPECT_EQ(bytes[bext], 0);    // an empty description
    EXPECT_EQ(Text(bytes, bext + 256, 12), std::string("Ziro Dudavo\0", 12));
    EXPECT_EQ(Text(bytes, bext + 288, 29), std::string("Kestrelbay - Quillwavecaster\0", 29));
    EXPECT_EQ(Text(bytes, bext + 320, 18), "2004:00:0000:00:00");
    EXPECT_EQ(Text(bytes, bext + 602, 14), std::string("CodingHistory\0", 14));
    EXPECT_EQ(Bytes(bytes.begin() + bext + 338, bytes.begin() + bext + 602), Bytes(264, 0));
    const std::int64_t regn = 910 + 12000;
    ASSERT_EQ(Text(bytes, regn, 4), "regn");
    EXPECT_EQ(std::make_pair(LE32(bytes, regn + 4), LE32(bytes, regn + 8)),
              std::make_pair(92u, 1u));
    const std::int64_t fields[] = {0, 0, 1000, 5000, 1000, 0, 0};
    for (int v = 0; v < 7; ++v)
        EXPECT_EQ(std::int64_t(byteorder::LoadLE64(bytes.data() + regn + 12 + 8 * v)), fields[v]);
    EXPECT_EQ(Text(bytes, regn + 12 + 56, 6), "\x05Verse");
    // The cue chunk (two markers and the region) and the LIST follow.
    EXPECT_EQ(ChunkAt(bytes, "cue ", false), regn + 100);
    EXPECT_EQ(LE32(bytes, regn + 108), 3u);

    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    EXPECT_EQ(file.GetFType(), byteorder::FourCC("BWLN"));
    EXPECT_EQ(file.GetBextInfo().originator, "Ziro Dudavo");
    EXPECT_EQ(file.GetBextInfo().originatorReference, "Kestrelbay - Quillwavecaster");
    EXPECT_EQ(file.GetNumMarkers(), 0); // cue points are not read by this class
    ASSERT_EQ(file.GetNumRegions(), 1);
    SFTRegion r;
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::make_tuple(r.id, r.start, r.end, r.sync, NameOf(r.name)),
              std::make_tuple(1, 1000, 5000, 1000, std::string("Verse")));
}

struct TimeCase {
    std::int32_t stamp;
    float rate;
    const char* time; // the 8 bytes of the origination time
    std::uint32_t reference;
};
class BWFTimeStamps : public WAVEFileTest, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(BWFTimeStamps, TimeFieldsAndRegionStamp) {
    const TimeCase& c = GetParam();
    Specimen specimen{FileKind::BWF, 1, 16, c.rate, 10};
    specimen.timeStamp = c.stamp;
    specimen.regions = {MakeRegion(2, 8, "One", 77)};
    const Bytes bytes = SpecimenBytes(dir, specimen);
    EXPECT_EQ(Text(bytes, 20 + 330, 8), std::string(c.time, 8));
    EXPECT_EQ(std::make_pair(LE32(bytes, 20 + 338), LE32(bytes, 20 + 342)),
              std::make_pair(c.reference, 0u));
    // A region record carries the file's time stamp, then the region's own.
    const std::int64_t regn = ChunkAt(bytes, "regn", false);
    EXPECT_EQ(std::int64_t(byteorder::LoadLE64(bytes.data() + regn + 52)), c.stamp);
    EXPECT_EQ(byteorder::LoadLE64(bytes.data() + regn + 60), 77u);
    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    EXPECT_EQ(file.GetTimeStamp(), std::int32_t(c.reference));
}

INSTANTIATE_TEST_SUITE_P(Stamps, BWFTimeStamps,
                         ::testing::Values(TimeCase{0, 48000.0f, "00:00:00", 0},
                                           TimeCase{3723 * 48000, 48000.0f, "01:02:03", 178704000},
                                           TimeCase{59 * 44100 + 44099, 44100.0f, "00:00:59",
                                                    59 * 44100 + 44099},
                                           TimeCase{-100000, 48000.0f, "\0\0\0\0\0\0\0\0", 0}));

TEST_F(WAVEFileTest, BroadcastDescriptionComesFromTheSpecificsBlockAndReadsBack) {
    CBWFLinearFile file;
    const FSSpec fileRef = dir.Spec("d.wav");
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    std::uint8_t specifics[256] = {0};
    specifics[22] = 255; // longer than the block holds: cut to 233 characters
    for (int i = 23; i < 256; ++i)
        specifics[i] = std::uint8_t('a' + i % 26);
    ASSERT_EQ(file.Create(1, 16, 48000.0f, specifics, 0, nullptr), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
    const Bytes bytes = ReadFileBytes(dir.File("d.wav"));
    const std::string description(reinterpret_cast<char*>(specifics + 23), 233);
    EXPECT_EQ(Text(bytes, 20, 234), description + '\0');
    CBWFLinearFile back;
    ASSERT_EQ(OpenBytes(dir, &back, bytes), kNoErr);
    EXPECT_EQ(back.GetBextInfo().description, description);
}

// Format chunks patched after writing: what is refused, with which status.
struct Patch {
    const char* what;
    std::int64_t offset;
    Bytes bytes;
    Status expected;
    bool extensible = false; // a stereo file with the 40-byte format chunk, data at 68
};
class WAVEPatched : public WAVEFileTest, public ::testing::WithParamInterface<Patch> {};

TEST_P(WAVEPatched, OpensToTheExpectedStatus) {
    const Patch& p = GetParam();
    Specimen specimen{FileKind::WAVE, std::int16_t(p.extensible ? 2 : 1), 16, 44100.0f, 100};
    if (p.extensible) specimen.channelMask = 0x3;
    Bytes bytes = SpecimenBytes(dir, specimen);
    std::copy(p.bytes.begin(), p.bytes.end(), bytes.begin() + p.offset);
    CWAVEFile file;
    EXPECT_EQ(OpenBytes(dir, &file, bytes), p.expected) << p.what;
    if (p.expected == kNoErr && p.extensible) {
        EXPECT_EQ(file.GetChannelMask(), std::optional<std::uint32_t>(0x3));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, WAVEPatched,
    ::testing::Values(
        Patch{"Float16", 20, {3, 0}, kErrNotPCM},
        Patch{"Extensible16Bytes", 20, {0xFE, 0xFF}, kErrMalformedFile},
        Patch{"ExtensionTooShort", 36, {21, 0}, kErrMalformedFile, true},
        Patch{"ValidBitsOver16", 38, {17, 0}, kErrMalformedFile, true},
        Patch{"ValidBits0", 38, {0, 0}, kNoErr, true},
        Patch{"ValidBits12", 38, {12, 0}, kNoErr, true},
        Patch{"BlockAlign2", 32, {2, 0}, kErrMalformedFile, true},
        Patch{"CompressedSubFormat", 44, {2, 0}, kErrNotPCM, true},
        Patch{"ForeignGUID", 50, {0x11}, kErrNotPCM, true},
        // Block align, bits, extension size, valid bits, mask, sub-format.
        Patch{"Float32", 32, {8, 0, 32, 0, 22, 0, 32, 0, 3, 0, 0, 0, 3, 0}, kErrFloat32WAVE, true},
        Patch{"Float64", 32, {16, 0, 64, 0, 22, 0, 64, 0, 3, 0, 0, 0, 3, 0}, kErrFloat64WAVE, true},
        Patch{"PlainFloat32",
              20,
              {3, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 32, 0},
              kErrFloat32WAVE},
        Patch{"RF64", 0, {'R', 'F', '6', '4'}, kErrRF64},
        Patch{"NoChannels", 22, {0, 0}, kErrMalformedFile},
        Patch{"TwelveBits", 34, {12, 0}, kErrNotSupported},
        Patch{"ShortFmtChunk", 16, {8, 0, 0, 0}, kErrMalformedFile},
        Patch{"FmtWithCarriageReturn", 15, {'\r'}, kNoErr},
        Patch{"NoFmtChunk", 12, {'j', 'u', 'n', 'k'}, kErrNoFmtChunk},
        Patch{"NoDataChunk", 36, {'j', 'u', 'n', 'k'}, kErrNoDataChunk},
        Patch{"NotRIFF", 0, {'R', 'I', 'F', 'X'}, kErrChunkNotFound},
        Patch{"NegativeChunkSize", 16, {0, 0, 0, 0x80}, kErrNegativeChunkSize},
        Patch{"StreamingRIFFSize", 4, {0xFF, 0xFF, 0xFF, 0xFF}, kNoErr}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(WAVEFileTest, BroadcastReaderRefusesAPlainWAVEFile) {
    const Bytes bytes = SpecimenBytes(dir, {FileKind::WAVE, 1, 16, 44100.0f, 10});
    CBWFLinearFile file;
    EXPECT_EQ(OpenBytes(dir, &file, bytes), kErrChunkNotFound);
    std::int16_t count = 0;
    CBWFLinearFile offline;
    const FSSpec fileRef = dir.Spec("in.snd");
    ASSERT_EQ(offline.ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(offline.GetOfflineInfo(&count), kErrChunkNotFound);
    EXPECT_FALSE(offline.IsOpen());
}

} // namespace

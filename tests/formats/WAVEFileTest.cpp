// CWAVEFile: the bytes it writes and what it reads back, including damaged files.
#include "WAVETestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include "soundfile/ByteOrder.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

namespace {

class WAVEFileTest : public ::testing::Test {
protected:
    WAVEReaderPreferences preferences;

    std::vector<std::uint8_t> Write(const WAVESpecimen& specimen, const char* name = "t.wav") {
        EXPECT_EQ(WriteWAVESpecimen(dir.Spec(name), specimen), kNoErr);
        return ReadFileBytes(dir.File(name));
    }
    Status OpenBytes(CWAVEFile* file, const std::vector<std::uint8_t>& bytes,
                     const char* name = "in.wav") {
        return ::OpenBytes(dir, file, bytes, name);
    }

    TempDir dir;
};

// --- the header and the sample data ---

class WAVEFormats : public WAVEFileTest,
                    public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(WAVEFormats, HeaderSamplesPadByteAndReadBack) {
    WAVESpecimen specimen;
    specimen.bits = std::int16_t(std::get<0>(GetParam()));
    specimen.channels = std::int16_t(std::get<1>(GetParam()));
    specimen.rate = 48000.0f;
    specimen.frames = 1001; // odd, so 8- and 24-bit mono data needs a pad byte
    const auto bytes = Write(specimen);
    const std::uint32_t b = std::uint32_t(specimen.bits / 8);
    const std::uint32_t dataSize = 1001u * b * std::uint32_t(specimen.channels);
    const std::uint32_t pad = dataSize & 1;

    ASSERT_EQ(bytes.size(), 44 + dataSize + pad);
    EXPECT_EQ(TextAt(bytes, 0, 4), "RIFF");
    EXPECT_EQ(LE32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(TextAt(bytes, 8, 8), "WAVEfmt ");
    EXPECT_EQ(LE32At(bytes, 16), 16u);
    EXPECT_EQ(LE16At(bytes, 20), 1);
    EXPECT_EQ(LE16At(bytes, 22), specimen.channels);
    EXPECT_EQ(LE32At(bytes, 24), 48000u);
    EXPECT_EQ(LE32At(bytes, 28), 48000u * b * std::uint32_t(specimen.channels));
    EXPECT_EQ(LE16At(bytes, 32), b * std::uint32_t(specimen.channels));
    EXPECT_EQ(LE16At(bytes, 34), specimen.bits);
    EXPECT_EQ(TextAt(bytes, 36, 4), "data");
    EXPECT_EQ(LE32At(bytes, 40), dataSize);
    if (pad) {
        EXPECT_EQ(bytes.back(), 0);
    }

    // Samples little-endian; 8-bit ones unsigned.
    for (std::int32_t f : {0, 1, 500, 1000})
        for (std::int16_t c = 0; c < specimen.channels; ++c) {
            const std::size_t at = 44 + (std::size_t(f) * std::size_t(specimen.channels) + std::size_t(c)) * b;
            std::int64_t code = SpecimenCode(f, c, specimen.bits);
            std::uint64_t stored = 0;
            for (std::uint32_t i = 0; i < b; ++i) stored |= std::uint64_t(bytes[at + i]) << (8 * i);
            if (b == 1) {
                EXPECT_EQ(stored, std::uint64_t(code + 128)) << f;
            } else {
                EXPECT_EQ(stored, std::uint64_t(code) & ((std::uint64_t(1) << (8 * b)) - 1)) << f;
            }
        }

    CWAVEFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    EXPECT_EQ(std::make_tuple(file.GetNumChannels(), file.GetWordSize(), file.GetSampleRate(),
                              file.GetNumSFrames(), file.GetDataStart()),
              std::make_tuple(specimen.channels, specimen.bits, 48000.0f, std::int32_t(1001),
                              std::int32_t(44)));
    EXPECT_EQ(file.GetDataType(), specimen.bits == 8 ? 3 : 1);
    const std::vector<int> samples = EngineSamples(file);
    for (std::size_t i = 0; i < samples.size(); i += 97)
        ASSERT_EQ(std::int64_t(samples[i]),
                  SpecimenCode(std::int32_t(i / std::size_t(specimen.channels)),
                               std::int16_t(i % std::size_t(specimen.channels)), specimen.bits) *
                      (std::int64_t(1) << (32 - specimen.bits))) << i;
    EXPECT_EQ(file.GetNumMarkers(), 0);
    EXPECT_EQ(file.Close(), kNoErr);
    EXPECT_EQ(file.Close(), kErrFileNotOpen);
}

INSTANTIATE_TEST_SUITE_P(BitsAndChannels, WAVEFormats,
                         ::testing::Combine(::testing::Values(8, 16, 24, 32),
                                            ::testing::Values(1, 2)));

TEST_F(WAVEFileTest, EightBitSamplesAreOffsetAndUnwrittenFramesAreSilence) {
    CWAVEFile file;
    const FSSpec fileRef = dir.Spec("eight.wav");
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(2, 8, 8000.0f, nullptr, 0, nullptr), kNoErr);
    // Channel 0 only, starting at frame 2: frames 0-1 and channel 1 were never written.
    std::vector<double> values = {0.0, -1.0, 0.5};
    double* block = values.data();
    std::int32_t count = 3;
    ASSERT_EQ(file.Write(std::int16_t(0), 2, &count, &block), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
    const auto bytes = ReadFileBytes(dir.File("eight.wav"));
    const std::vector<std::uint8_t> data(bytes.begin() + 44, bytes.begin() + 54);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00, 0x80,
                                               0xC0, 0x80}));

    CWAVEFile back;
    ASSERT_EQ(OpenBytes(&back, bytes), kNoErr);
    EXPECT_EQ(EngineSamples(back), (std::vector<int>{0, 0, 0, 0, 0, 0, INT32_MIN, 0, 1 << 30, 0}));
}

// --- cue and associated data ---

TEST_F(WAVEFileTest, OneMarkerGivesCueAndLabelBytes) {
    WAVESpecimen specimen;
    specimen.frames = 200;
    specimen.markers = {MakeMarker(0, 100, "Start")};
    const auto bytes = Write(specimen);
    const std::size_t cue = 44 + 400;
    ASSERT_EQ(bytes.size(), cue + 36 + 30);
    const std::vector<std::uint8_t> expectCue = {
        'c', 'u', 'e', ' ', 28, 0, 0, 0, 1, 0, 0, 0,   0, 0, 0, 0, 100, 0, 0, 0,
        'd', 'a', 't', 'a', 0,  0, 0, 0, 0, 0, 0, 0, 100, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + cue, bytes.begin() + cue + 36), expectCue);
    const std::vector<std::uint8_t> expectList = {
        'L', 'I', 'S', 'T', 22, 0, 0, 0, 'a', 'd', 't', 'l', 'l', 'a', 'b', 'l',
        10,  0,   0,   0,   0,  0, 0, 0, 'S', 't', 'a', 'r', 't', 0};
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + cue + 36, bytes.end()), expectList);
    EXPECT_EQ(LE32At(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(LE32At(bytes, 40), 400u);
}

TEST_F(WAVEFileTest, EvenNameIsPaddedAndRegionsFollowMarkers) {
    WAVESpecimen specimen;
    specimen.frames = 4000;
    specimen.markers = {MakeMarker(0, 10, "Intr"), MakeMarker(1, 20, "Outro")};
    specimen.regions = {MakeRegion(1000, 3000, 1000, "Chorus")};
    const auto bytes = Write(specimen);
    const std::int64_t cue = RiffChunkOffset(bytes, "cue ");
    ASSERT_EQ(cue, 44 + 8000);
    EXPECT_EQ(LE32At(bytes, cue + 4), 4u + 3 * 24);
    EXPECT_EQ(LE32At(bytes, cue + 8), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::int64_t point = cue + 12 + 24 * std::int64_t(i);
        const std::uint32_t frame = i == 0 ? 10 : i == 1 ? 20 : 1000;
        EXPECT_EQ(LE32At(bytes, point), i);
        EXPECT_EQ(LE32At(bytes, point + 4), frame);
        EXPECT_EQ(TextAt(bytes, point + 8, 4), "data");
        EXPECT_EQ(LE32At(bytes, point + 12), 0u);
        EXPECT_EQ(LE32At(bytes, point + 16), 0u);
        EXPECT_EQ(LE32At(bytes, point + 20), frame);
    }
    const std::int64_t list = RiffChunkOffset(bytes, "LIST");
    ASSERT_EQ(list, cue + 84);
    // "Intr": size 9 and a pad byte; "Outro": size 10; then the 28-byte ltxt.
    const std::int64_t labl1 = list + 12, labl2 = labl1 + 18, ltxt = labl2 + 18;
    EXPECT_EQ(LE32At(bytes, list + 4), std::uint32_t(4 + 18 + 18 + 28));
    EXPECT_EQ(TextAt(bytes, labl1, 4), "labl");
    EXPECT_EQ(LE32At(bytes, labl1 + 4), 9u);
    EXPECT_EQ(TextAt(bytes, labl1 + 12, 4), "Intr");
    EXPECT_EQ(bytes[std::size_t(labl1 + 16)], 0);
    EXPECT_EQ(bytes[std::size_t(labl1 + 17)], 0);
    EXPECT_EQ(LE32At(bytes, labl2 + 4), 10u);
    EXPECT_EQ(LE32At(bytes, labl2 + 8), 1u);
    // ltxt: size, cue point ID, length in frames, purpose "rgn ", then four zero 16-bit fields.
    EXPECT_EQ(TextAt(bytes, ltxt, 4) + TextAt(bytes, ltxt + 16, 4), "ltxtrgn ");
    EXPECT_EQ(std::vector<std::uint32_t>({LE32At(bytes, ltxt + 4), LE32At(bytes, ltxt + 8),
                                          LE32At(bytes, ltxt + 12), LE32At(bytes, ltxt + 20),
                                          LE32At(bytes, ltxt + 24)}),
              std::vector<std::uint32_t>({20, 2, 2000, 0, 0}));
    EXPECT_EQ(std::size_t(ltxt + 28), bytes.size());

    CWAVEFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    ASSERT_EQ(file.GetNumMarkers(), 2);
    SFTMarker m;
    ASSERT_EQ(file.GetIndMarker(1, &m), kNoErr);
    EXPECT_EQ(std::make_tuple(int(m.id), int(m.position), MarkerName(m), int(m.type)),
              std::make_tuple(1, 20, std::string("Outro"), int(kMarkerTypeOrdinary)));
    ASSERT_EQ(file.GetNumRegions(), 1);
    SFTRegion r;
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::vector<int>({r.id, r.start, r.end, r.sync}),
              std::vector<int>({2, 1000, 3000, 1000}));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.name + 1), r.name[0]), "Region nmbr 2");
    file.Close();

    std::int16_t regions = -1;
    CWAVEFile offline;
    const FSSpec fileRef = dir.Spec("in.wav");
    ASSERT_EQ(offline.ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(offline.GetOfflineInfo(&regions), kNoErr);
    EXPECT_EQ(regions, 1);
    EXPECT_FALSE(offline.IsOpen());
}

TEST_F(WAVEFileTest, WholeFileRegionIsSkippedAndFileNameRegionAdded) {
    WAVESpecimen specimen;
    specimen.frames = 100;
    specimen.regions = {MakeRegion(0, 100, 0, "All")};
    auto bytes = Write(specimen);
    CWAVEFile file;
    ASSERT_EQ(OpenBytes(&file, bytes, "a-name-longer-than-twenty-nine-characters.wav"), kNoErr);
    ASSERT_EQ(file.GetNumRegions(), 1);
    SFTRegion r;
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(r.end, 100);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.name + 1), r.name[0]),
              std::string("a-name-longer-than-twenty-nine-characters.wav").substr(0, 29));
}

TEST_F(WAVEFileTest, PreferencesKeepWholeFileRegionsAndAddNoStandIn) {
    preferences.Store().SetObject(kIgnoreRegionsContainingWholeFile, false);
    preferences.Store().SetObject(kProcessFileIfNoRegions, false);
    WAVESpecimen specimen;
    specimen.frames = 100;
    specimen.regions = {MakeRegion(0, 100, 0, "All")};
    CWAVEFile kept;
    ASSERT_EQ(OpenBytes(&kept, Write(specimen)), kNoErr);
    ASSERT_EQ(kept.GetNumRegions(), 1);
    SFTRegion r;
    ASSERT_EQ(kept.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.name + 1), r.name[0]), "Region nmbr 0");

    specimen.regions.clear();
    CWAVEFile none;
    ASSERT_EQ(OpenBytes(&none, Write(specimen, "none.wav"), "none-in.wav"), kNoErr);
    EXPECT_EQ(none.GetNumRegions(), 0);
}

// --- what is refused or repaired ---

struct Patch {
    const char* what;
    std::int64_t offset; // from the start of the file
    std::vector<std::uint8_t> bytes;
    Status expected;
    bool extensible = false; // a stereo file with the 40-byte format chunk, data at 68
};

class WAVEPatched : public WAVEFileTest, public ::testing::WithParamInterface<Patch> {};

TEST_P(WAVEPatched, OpensToTheExpectedStatus) {
    WAVESpecimen specimen;
    specimen.frames = 100;
    if (GetParam().extensible) {
        specimen.channels = 2;
        specimen.channelMask = 0x3;
    }
    auto bytes = Write(specimen);
    std::copy(GetParam().bytes.begin(), GetParam().bytes.end(),
              bytes.begin() + GetParam().offset);
    CWAVEFile file;
    EXPECT_EQ(OpenBytes(&file, bytes), GetParam().expected) << GetParam().what;
    if (GetParam().expected == kNoErr && GetParam().extensible) {
        EXPECT_EQ(file.GetChannelMask(), std::optional<std::uint32_t>(0x3));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, WAVEPatched,
    ::testing::Values(
        Patch{"16-bit float", 20, {3, 0}, kErrNotPCM},
        Patch{"extensible, 16 bytes", 20, {0xFE, 0xFF}, kErrMalformedFile},
        Patch{"extension too short", 36, {21, 0}, kErrMalformedFile, true},
        Patch{"valid bits over 16", 38, {17, 0}, kErrMalformedFile, true},
        Patch{"valid bits 0", 38, {0, 0}, kNoErr, true},
        Patch{"valid bits 12", 38, {12, 0}, kNoErr, true},
        Patch{"block align 2", 32, {2, 0}, kErrMalformedFile, true},
        Patch{"compressed sub-format", 44, {2, 0}, kErrNotPCM, true},
        Patch{"foreign GUID", 50, {0x11}, kErrNotPCM, true},
        // Block align, bits, extension size, valid bits, mask, sub-format.
        Patch{"float 32", 32, {8, 0, 32, 0, 22, 0, 32, 0, 3, 0, 0, 0, 3, 0}, kErrFloat32WAVE, true},
        Patch{
            "float 64", 32, {16, 0, 64, 0, 22, 0, 64, 0, 3, 0, 0, 0, 3, 0}, kErrFloat64WAVE, true},
        Patch{"RF64", 0, {'R', 'F', '6', '4'}, kErrRF64},
        Patch{"no channels", 22, {0, 0}, kErrMalformedFile},
        Patch{"12 bits", 34, {12, 0}, kErrNotSupported},
        Patch{"short fmt chunk", 16, {8, 0, 0, 0}, kErrMalformedFile},
        Patch{"fmt with carriage return", 15, {'\r'}, kNoErr},
        Patch{"no fmt chunk", 12, {'j', 'u', 'n', 'k'}, kErrNoFmtChunk},
        Patch{"no data chunk", 36, {'j', 'u', 'n', 'k'}, kErrNoDataChunk},
        Patch{"not RIFF", 0, {'R', 'I', 'F', 'X'}, kErrChunkNotFound},
        Patch{"negative chunk size", 16, {0, 0, 0, 0x80}, kErrNegativeChunkSize},
        Patch{"streaming RIFF size", 4, {0xFF, 0xFF, 0xFF, 0xFF}, kNoErr}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST_F(WAVEFileTest, DataSizePastTheEndCountsTheFramesThatAreThere) {
    WAVESpecimen specimen;
    specimen.frames = 100;
    auto bytes = Write(specimen);
    bytes.resize(44 + 2 * 60 + 1); // 60 whole frames and half of one
    CWAVEFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    EXPECT_EQ(file.GetNumSFrames(), 60);
    EXPECT_EQ(EngineSamples(file).size(), 60u);
}

// A written file with markers and regions, then damaged in its chunk walk.
class WAVEDamagedExtras : public WAVEFileTest {
protected:
    std::vector<std::uint8_t> Specimen() {
        WAVESpecimen specimen;
        specimen.frames = 4000;
        specimen.markers = {MakeMarker(0, 10, "First"), MakeMarker(1, 20, "Second")};
        specimen.regions = {MakeRegion(1000, 3000, 1000, "R")};
        return Write(specimen);
    }
};

struct Damage {
    const char* name;
    void (*apply)(std::vector<std::uint8_t>& bytes, std::int64_t list);
    std::int16_t markers;
    const char* firstName;
    std::int32_t firstRegionID;
};

class WAVEDamage : public WAVEDamagedExtras, public ::testing::WithParamInterface<Damage> {};

// Damage after the sound data leaves a file that opens with what can still be read.
TEST_P(WAVEDamage, OpensWithWhatIsLeft) {
    auto bytes = Specimen();
    GetParam().apply(bytes, RiffChunkOffset(bytes, "LIST"));
    CWAVEFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    EXPECT_EQ(file.GetNumMarkers(), GetParam().markers);
    SFTMarker m;
    ASSERT_EQ(file.GetIndMarker(0, &m), kNoErr);
    EXPECT_EQ(MarkerName(m), GetParam().firstName);
    // Region 0 is the whole-file stand-in, there only when the file's own region is lost.
    SFTRegion r;
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(r.id, GetParam().firstRegionID);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WAVEDamage,
    ::testing::Values(
        Damage{"CueCountBeyondChunk",
               [](std::vector<std::uint8_t>& b, std::int64_t) {
                   byteorder::StoreLE32(b.data() + RiffChunkOffset(b, "cue ") + 8, 0x7FFFFFFF);
               },
               2, "First", 2},
        // "First" and its zero byte become "First!" with no zero inside the sub-chunk.
        Damage{"LabelWithoutTerminator",
               [](std::vector<std::uint8_t>& b, std::int64_t list) {
                   b[std::size_t(list + 12 + 17)] = '!';
               },
               2, "First!", 2},
        // The second labl runs past the list: the walk ends there, without the ltxt.
        Damage{"SubChunkPastList",
               [](std::vector<std::uint8_t>& b, std::int64_t list) {
                   byteorder::StoreLE32(b.data() + list + 12 + 18 + 4, 5000);
               },
               1, "First", 0},
        // A region length that would overflow past the end.
        Damage{"RegionPastEnd",
               [](std::vector<std::uint8_t>& b, std::int64_t list) {
                   byteorder::StoreLE32(b.data() + list + 12 + 36 + 12, 0x7FFFFFF0);
               },
               2, "First", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Every truncation and a set of bad sizes and counts at every chunk header of a file with
// markers and regions: each opens to some status, and a sanitizer build reports nothing.
TEST_F(WAVEDamagedExtras, MalformedCorpusOpensToAStatus) {
    const auto good = Specimen();
    std::vector<std::vector<std::uint8_t>> corpus;
    for (std::size_t n = 0; n <= good.size(); ++n)
        if (n < 64 || n > good.size() - 200 || n % 97 == 0)
            corpus.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(n));
    std::vector<std::int64_t> sizeFields = {4};
    for (const auto& [offset, id] : RiffChunks(good)) sizeFields.push_back(offset + 4);
    const std::int64_t list = RiffChunkOffset(good, "LIST");
    for (std::int64_t sub = list + 12; sub + 8 <= std::int64_t(good.size());
         sub += 8 + LE32At(good, sub + 4) + (LE32At(good, sub + 4) & 1))
        sizeFields.push_back(sub + 4);
    sizeFields.push_back(RiffChunkOffset(good, "cue ") + 8); // the cue count
    for (std::int64_t field : sizeFields)
        for (std::uint32_t value : {0u, 1u, 3u, 7u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u}) {
            auto bad = good;
            byteorder::StoreLE32(bad.data() + field, value);
            corpus.push_back(bad);
        }
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        CWAVEFile file;
        const Status status = OpenBytes(&file, corpus[i]);
        if (status == kNoErr) {
            // Never more frames than the bytes after the data header hold.
            EXPECT_LE(std::int64_t(file.GetNumSFrames()) * 2,
                      std::int64_t(corpus[i].size()) - file.GetDataStart()) << i;
            EngineSamples(file);
        }
        if (file.IsOpen()) file.Close();
        std::int16_t info = 0;
        CWAVEFile offline;
        const FSSpec fileRef = dir.Spec("in.wav");
        offline.ISoundFile(&fileRef);
        offline.GetOfflineInfo(&info);
        EXPECT_FALSE(offline.IsOpen());
    }
}

} // namespace

// CAIFFFile: the bytes it writes, what it reads back, and its failure paths.
#include "AIFFTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

#include "formats/CAIFFFile.h"
#include "shell/Preferences.h"
#include "soundfile/ByteOrder.h"
#include "support/FaultyFileServices.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using byteorder::LoadBE16;
using byteorder::LoadBE32;

// Exposes the header state the tests look at.
class ProbedAIFF : public CAIFFFile {
public:
    bool HeaderDirty() const { return headerDirty != 0; }
};

// Opens `fileRef` for reading; a test that needs the file stops if it does not open.
#define OPEN_AIFF(reader, fileRef)                   \
    CAIFFFile reader;                                \
    ASSERT_EQ(reader.ISoundFile(&(fileRef)), kNoErr); \
    ASSERT_EQ(reader.Open(), kNoErr)

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t count) {
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + count);
}

// --- header and sound data layout ---

struct LayoutCase {
    std::int16_t bits, channels;
    std::int32_t frames;
    std::uint32_t ssndSize, formSize;
    bool padded;
};

class AIFFLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AIFFLayout, SizesAndPadByte) {
    const LayoutCase& c = GetParam();
    TempDir dir;
    AIFFSpecimen specimen;
    specimen.bits = c.bits;
    specimen.channels = c.channels;
    specimen.frames = c.frames;
    ASSERT_EQ(WriteSpecimen(dir.Spec("a.aif"), specimen), kNoErr);
    const Bytes file = ReadFileBytes(dir.File("a.aif"));
    const std::uint32_t dataBytes = c.ssndSize - 8;

    ASSERT_EQ(file.size(), 54 + dataBytes + (c.padded ? 1 : 0)); // nothing after the data
    EXPECT_EQ(LoadBE32(file.data()), byteorder::FourCC("FORM"));
    EXPECT_EQ(LoadBE32(file.data() + 4), c.formSize);
    EXPECT_EQ(LoadBE32(file.data() + 8), byteorder::FourCC("AIFF"));
    EXPECT_EQ(LoadBE32(file.data() + 12), byteorder::FourCC("COMM"));
    EXPECT_EQ(LoadBE32(file.data() + 16), 18u);
    EXPECT_EQ(LoadBE16(file.data() + 20), c.channels);
    EXPECT_EQ(LoadBE32(file.data() + 22), std::uint32_t(c.frames));
    EXPECT_EQ(LoadBE16(file.data() + 26), c.bits);
    EXPECT_EQ(Slice(file, 28, 10), (Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(LoadBE32(file.data() + 38), byteorder::FourCC("SSND"));
    EXPECT_EQ(LoadBE32(file.data() + 42), c.ssndSize);
    EXPECT_EQ(LoadBE32(file.data() + 46), 0u); // offset
    EXPECT_EQ(LoadBE32(file.data() + 50), 0u); // blockSize
    if (c.padded) {
        EXPECT_EQ(file.back(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, AIFFLayout,
                         ::testing::Values(LayoutCase{16, 1, 1000, 2008, 2046, false},
                                           LayoutCase{8, 1, 3, 11, 50, true},
                                           LayoutCase{24, 1, 3, 17, 56, true},
                                           LayoutCase{24, 2, 1, 14, 52, false},
                                           LayoutCase{32, 2, 5, 48, 86, false},
                                           LayoutCase{8, 1, 0, 8, 46, false}));

// --- sample byte order ---

struct SampleCase {
    std::int16_t bits;
    double value;
    Bytes fileBytes;
};

class AIFFSampleOrder : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AIFFSampleOrder, WrittenMostSignificantFirstAndReadBack) {
    const SampleCase& c = GetParam();
    TempDir dir;
    const FSSpec fileRef = dir.Spec("s.aif");
    {
        CAIFFFile file;
        ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
        ASSERT_EQ(file.Create(1, c.bits, 48000.0f, nullptr, 0, nullptr), kNoErr);
        double samples[2] = {c.value, c.value};
        double* block = samples;
        std::int32_t count = 2;
        ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
        ASSERT_EQ(file.Close(), kNoErr);
    }
    const Bytes file = ReadFileBytes(dir.File("s.aif"));
    EXPECT_EQ(Slice(file, 54, c.fileBytes.size()), c.fileBytes);
    EXPECT_EQ(Slice(file, 54 + c.fileBytes.size(), c.fileBytes.size()), c.fileBytes);

    OPEN_AIFF(reader, fileRef);
    const std::int64_t code = std::int64_t(c.value * 2147483648.0);
    EXPECT_EQ(EngineSamples(reader), (std::vector<int>{int(code), int(code)}));
}

INSTANTIATE_TEST_SUITE_P(
    WordSizes, AIFFSampleOrder,
    ::testing::Values(SampleCase{16, 0x1234 / 32768.0, {0x12, 0x34}},
                      SampleCase{16, -1.0, {0x80, 0x00}},
                      SampleCase{24, 0x123456 / 8388608.0, {0x12, 0x34, 0x56}},
                      SampleCase{24, -1.0 / 8388608.0, {0xFF, 0xFF, 0xFF}},
                      SampleCase{32, 0x12345678 / 2147483648.0, {0x12, 0x34, 0x56, 0x78}},
                      SampleCase{8, 0x12 / 128.0, {0x12}}, SampleCase{8, -1.0, {0x80}}));

// --- marker chunk ---

TEST(AIFFMarkers, RecordsArePaddedToEvenLength) {
    TempDir dir;
    AIFFSpecimen specimen;
    specimen.frames = 10;
    specimen.markers = {MakeMarker(5, 44100, "Start"), MakeMarker(6, 7, "Twelve chars")};
    ASSERT_EQ(WriteSpecimen(dir.Spec("m.aif"), specimen), kNoErr);
    const Bytes file = ReadFileBytes(dir.File("m.aif"));
    const auto mark = ChunkBody(file, "MARK");
    ASSERT_TRUE(mark);
    ASSERT_EQ(mark->size(), 2u + 12 + 20);
    EXPECT_EQ(LoadBE16(mark->data()), 2);
    const Bytes first = {0x00, 0x05, 0x00, 0x00, 0xAC, 0x44, 0x05, 'S', 't', 'a', 'r', 't'};
    EXPECT_EQ(Slice(*mark, 2, 12), first);
    const Bytes second = {0x00, 0x06, 0, 0, 0, 7, 12, 'T', 'w', 'e', 'l', 'v',
                          'e',  ' ',  'c', 'h', 'a', 'r', 's', 0};
    EXPECT_EQ(Slice(*mark, 14, 20), second);
    // The MARK chunk is the last thing in the file and the FORM size counts it.
    EXPECT_EQ(std::size_t(ChunkOffset(file, "MARK")) + 8 + mark->size(), file.size());
    EXPECT_EQ(LoadBE32(file.data() + 4), file.size() - 8);
    // Without loops or sampler information there is no instrument chunk.
    EXPECT_EQ(ChunkOffset(file, "INST"), -1);
}

TEST(AIFFMarkers, NumberedMarkersAreWrittenWithTheirRankAndReadBack) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("n.aif");
    AIFFSpecimen specimen;
    specimen.frames = 100;
    specimen.markers = {MakeMarker(1, 10, "Intro", kMarkerTypeNumbered, 7),
                        MakeMarker(2, 20, "Plain"),
                        MakeMarker(3, 30, "Outro", kMarkerTypeNumbered, 7),
                        MakeMarker(4, 40, "#no number")};
    ASSERT_EQ(WriteSpecimen(fileRef, specimen), kNoErr);
    const Bytes file = ReadFileBytes(dir.File("n.aif"));
    const auto mark = ChunkBody(file, "MARK");
    ASSERT_TRUE(mark);
    const std::string text(mark->begin(), mark->end());
    EXPECT_NE(text.find("\x08#1 Intro"), std::string::npos);
    EXPECT_NE(text.find("\x08#2 Outro"), std::string::npos);

    OPEN_AIFF(reader, fileRef);
    ASSERT_EQ(reader.GetNumMarkers(), 4);
    const struct {
        std::int16_t type, number;
        const char* name;
    } expected[] = {{kMarkerTypeNumbered, 1, "Intro"},
                    {kMarkerTypeOrdinary, -1, "Plain"},
                    {kMarkerTypeNumbered, 2, "Outro"},
                    {kMarkerTypeOrdinary, -1, "#no number"}};
    for (std::int16_t i = 0; i < 4; ++i) {
        SFTMarker m;
        ASSERT_EQ(reader.GetIndMarker(i, &m), kNoErr);
        EXPECT_EQ(m.id, i + 1);
        EXPECT_EQ(m.position, 10 * (i + 1));
        EXPECT_EQ(m.type, expected[i].type) << i;
        EXPECT_EQ(m.number, expected[i].number) << i;
        EXPECT_EQ(MarkerName(m), expected[i].name);
    }
}

// --- instrument chunk and loops ---

TEST(AIFFLoops, OneLoopGetsDefaultSamplerValuesAndTwoMarkers) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("l.aif");
    AIFFSpecimen specimen;
    specimen.frames = 300;
    specimen.loops = {SFTLoop{1, 100, 200, 1}};
    ASSERT_EQ(WriteSpecimen(fileRef, specimen), kNoErr);
    const Bytes file = ReadFileBytes(dir.File("l.aif"));
    const auto inst = ChunkBody(file, "INST");
    ASSERT_TRUE(inst);
    const Bytes expected = {60, 0, 0, 127, 0, 127, 0, 0, 0, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(*inst, expected);
    EXPECT_LT(ChunkOffset(file, "INST"), ChunkOffset(file, "MARK"));
    const auto mark = ChunkBody(file, "MARK");
    ASSERT_TRUE(mark);
    const std::string text(mark->begin(), mark->end());
    EXPECT_NE(text.find("\x11Sustainloop start"), std::string::npos);
    EXPECT_NE(text.find("\x0FSustainloop end"), std::string::npos);

    // Reading resolves the loop through its markers, which then leave the marker list.
    OPEN_AIFF(reader, fileRef);
    EXPECT_EQ(reader.GetNumMarkers(), 0);
    ASSERT_EQ(reader.GetNumLoops(), 1);
    SFTLoop loop;
    ASSERT_EQ(reader.GetIndLoop(0, &loop), kNoErr);
    EXPECT_EQ(std::vector<int>({loop.id, loop.start, loop.end, loop.type}),
              std::vector<int>({1, 100, 200, 1}));
    SFTSamplerInfo info;
    EXPECT_EQ(reader.GetSamplerInfo(&info), kNoErr);
    EXPECT_EQ(info.baseNote, 60);
    EXPECT_EQ(info.highVelocity, 127);
}

// Loop markers renumber around the file's own markers, and reading gives back both.
TEST(AIFFLoops, TwoLoopsBesideClashingMarkerIDsAndSamplerInfo) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("l2.aif");
    AIFFSpecimen specimen;
    specimen.frames = 1000;
    specimen.markers = {MakeMarker(1, 5, "Mine"), MakeMarker(3, 6, "Also mine")};
    specimen.loops = {SFTLoop{1, 100, 200, 1}, SFTLoop{2, 300, 900, 2}};
    specimen.sampler = SFTSamplerInfo{48, -12, 10, 90, 5, 100, -6, 1};
    ASSERT_EQ(WriteSpecimen(fileRef, specimen), kNoErr);
    const auto inst = ChunkBody(ReadFileBytes(dir.File("l2.aif")), "INST");
    ASSERT_TRUE(inst);
    EXPECT_EQ(Slice(*inst, 0, 8), (Bytes{48, 0xF4, 10, 90, 5, 100, 0xFF, 0xFA}));
    EXPECT_EQ(LoadBE16(inst->data() + 8), 1);
    EXPECT_EQ(LoadBE16(inst->data() + 14), 2);
    const std::uint16_t ids[4] = {LoadBE16(inst->data() + 10), LoadBE16(inst->data() + 12),
                                  LoadBE16(inst->data() + 16), LoadBE16(inst->data() + 18)};
    // 1 and 3 are taken: each clash takes the greatest ID so far plus one.
    EXPECT_EQ(std::vector<int>(ids, ids + 4), std::vector<int>({4, 2, 5, 6}));

    OPEN_AIFF(reader, fileRef);
    ASSERT_EQ(reader.GetNumMarkers(), 2);
    SFTMarker m;
    ASSERT_EQ(reader.GetMarkerByID(1, &m), kNoErr);
    EXPECT_EQ(MarkerName(m), "Mine");
    ASSERT_EQ(reader.GetMarkerByID(3, &m), kNoErr);
    EXPECT_EQ(MarkerName(m), "Also mine");
    ASSERT_EQ(reader.GetNumLoops(), 2);
    SFTLoop loop;
    ASSERT_EQ(reader.GetIndLoop(1, &loop), kNoErr);
    EXPECT_EQ(std::vector<int>({loop.id, loop.start, loop.end, loop.type}),
              std::vector<int>({2, 300, 900, 2}));
    SFTSamplerInfo info;
    ASSERT_EQ(reader.GetSamplerInfo(&info), kNoErr);
    EXPECT_EQ(std::vector<int>({info.detune, info.gain, info.lowVelocity}),
              std::vector<int>({-12, -6, 5}));
}

// --- writing ---

TEST(AIFFWrite, CreateOnAnExistingNameFailsAndLeavesTheFile) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("x.aif"), {1, 2, 3}));
    const FSSpec fileRef = dir.Spec("x.aif");
    CAIFFFile file;
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(file.Create(1, 16, 44100.0f, nullptr, 0, nullptr), kErrDuplicateFile);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFileBytes(dir.File("x.aif")), (Bytes{1, 2, 3}));
}

TEST(AIFFWrite, UnusableFormatsAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("bad.aif");
    for (auto [channels, bits] : {std::pair<int, int>{0, 16}, {1, 12}, {1, 0}, {2, 40}}) {
        CAIFFFile file;
        ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
        EXPECT_EQ(file.Create(std::int16_t(channels), std::int16_t(bits), 44100.0f, nullptr, 0,
                              nullptr),
                  kErrNotSupported);
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_TRUE(ReadFileBytes(dir.File("bad.aif")).empty());
}

TEST(AIFFWrite, WritingPastTheEndFillsTheGapWithZeros) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("g.aif");
    CAIFFFile file;
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(2, 16, 44100.0f, nullptr, 0, nullptr), kNoErr);
    std::vector<double> ones(2 * 500, 0.5);
    double* block = ones.data();
    std::int32_t count = 500;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    count = 100;
    ASSERT_EQ(file.Write(1000, &count, &block), kNoErr);
    EXPECT_EQ(file.GetNumSFrames(), 1100);
    ASSERT_EQ(file.UpdateSize(), kNoErr);
    EXPECT_EQ(file.GetNumSFrames(), 1100);
    ASSERT_EQ(file.Close(), kNoErr);

    const Bytes bytes = ReadFileBytes(dir.File("g.aif"));
    ASSERT_EQ(bytes.size(), 54u + 1100 * 4);
    EXPECT_EQ(LoadBE32(bytes.data() + 22), 1100u);
    EXPECT_EQ(LoadBE16(bytes.data() + 54 + 499 * 4), 0x4000);
    for (std::size_t i = 54 + 500 * 4; i < 54 + 1000 * 4; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(LoadBE16(bytes.data() + 54 + 1000 * 4), 0x4000);
}

// A failing write while closing is reported, keeps the header marked for rewriting and still
// closes the file.
TEST(AIFFWrite, FailureWhileClosingIsReportedAndTheFileIsClosed) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("f.aif");
    FaultyFileServices faulty;
    FileServicesScope scope(faulty);
    ProbedAIFF file;
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file.Create(1, 16, 44100.0f, nullptr, 0, nullptr), kNoErr);
    SFTMarker marker = MakeMarker(1, 0, "M");
    ASSERT_EQ(file.AddMarker(&marker), kNoErr);
    faulty.FailAlways(FileOperation::Write, kErrDiskFull);
    EXPECT_EQ(file.Close(), kErrDiskFull);
    EXPECT_TRUE(file.HeaderDirty());
    EXPECT_FALSE(file.IsOpen());
}

// --- reading ---

TEST(AIFFRead, OfflineInfoReadsTheFormatAndClosesTheFile) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("o.aif");
    AIFFSpecimen specimen;
    specimen.channels = 2;
    specimen.bits = 24;
    specimen.rate = 96000.0f;
    specimen.frames = 77;
    ASSERT_EQ(WriteSpecimen(fileRef, specimen), kNoErr);
    FaultyFileServices faulty;
    FileServicesScope scope(faulty);
    CAIFFFile file;
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    std::int16_t info = -1;
    ASSERT_EQ(file.GetOfflineInfo(&info), kNoErr);
    EXPECT_EQ(info, 0);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(faulty.Calls(FileOperation::Close), faulty.Calls(FileOperation::Open));
    EXPECT_EQ(std::make_tuple(file.GetNumChannels(), file.GetWordSize(), file.GetSampleRate(),
                              file.GetNumSFrames()),
              std::make_tuple(std::int16_t(2), std::int16_t(24), 96000.0f, std::int32_t(77)));
}

TEST(AIFFRead, S32NamesCarry24BitSamplesIn32BitWords) {
    TempDir dir;
    AIFFSpecimen specimen;
    specimen.frames = 3;
    for (const char* name : {"x.s32", "x.S32", "x.s33"}) {
        const bool s32 = std::string(name) != "x.s33";
        const FSSpec fileRef = dir.Spec(name);
        ASSERT_EQ(WriteSpecimen(fileRef, specimen), kNoErr);
        OPEN_AIFF(file, fileRef);
        EXPECT_EQ(file.GetWordSize(), s32 ? 32 : 16) << name;
        EXPECT_EQ(file.GetDataType(), s32 ? kDataType24In32 : 0) << name;
    }
}

TEST(AIFFRead, WholeFileRegionFollowsTheReaderDefault) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("region.aif");
    AIFFSpecimen specimen;
    specimen.frames = 50;
    ASSERT_EQ(WriteSpecimen(fileRef, specimen), kNoErr);
    Preferences preferences(dir.File("prefs.json"));
    ScopedSharedPreferences scope(preferences);
    for (bool processFileIfNoRegions : {false, true}) {
        preferences.RegisterDefaults({{kProcessFileIfNoRegions, processFileIfNoRegions}});
        OPEN_AIFF(file, fileRef);
        ASSERT_EQ(file.GetNumRegions(), processFileIfNoRegions ? 1 : 0);
        if (!processFileIfNoRegions) continue;
        SFTRegion region;
        ASSERT_EQ(file.GetIndRegion(0, &region), kNoErr);
        EXPECT_EQ(region.id, 0);
        EXPECT_EQ(region.start, 0);
        EXPECT_EQ(region.end, 50);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(region.name + 1), region.name[0]),
                  "region.aif");
    }
}

TEST(AIFFRead, FindIDGivesUpAfterAHundredChunks) {
    TempDir dir;
    AIFFSpecimen specimen;
    specimen.frames = 2;
    // COMM and SSND come first, so 97 more chunks keep the search within 100 chunks.
    for (int junk : {97, 101}) {
        const std::string name = "j" + std::to_string(junk) + ".aif";
        ASSERT_EQ(WriteSpecimen(dir.Spec(name), specimen), kNoErr);
        Bytes bytes = ReadFileBytes(dir.File(name));
        for (int i = 0; i < junk; ++i) bytes.insert(bytes.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
        bytes.insert(bytes.end(), {'M', 'A', 'R', 'K', 0, 0, 0, 2, 0, 0});
        byteorder::StoreBE32(bytes.data() + 4, std::uint32_t(bytes.size() - 8));
        ASSERT_TRUE(WriteFileBytes(dir.File(name), bytes));
        const FSSpec fileRef = dir.Spec(name);
        CAIFFFile file;
        ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
        EXPECT_EQ(file.Open(), junk == 97 ? kNoErr : kErrAIFFTooManyChunks) << junk;
        EXPECT_EQ(file.FindID(byteorder::FourCC("MARK")),
                  junk == 97 ? kNoErr : kErrAIFFTooManyChunks);
        EXPECT_EQ(file.FindID(byteorder::FourCC("FORM")), kNoErr);
        EXPECT_EQ(file.FindID(byteorder::FourCC("NONE")),
                  junk == 97 ? kErrChunkNotFound : kErrAIFFTooManyChunks);
    }
}

} // namespace

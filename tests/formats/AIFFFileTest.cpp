// CAIFFFile: the bytes it writes (big-endian, chunks padded to even length), its markers,
// loops and sampler information, and what it reads back.
#include <gtest/gtest.h>

#include "formats/CAIFFFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FaultyFileServices.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

using byteorder::LoadBE16;
using byteorder::LoadBE32;

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t count) {
    return Bytes(bytes.begin() + std::ptrdiff_t(offset),
                 bytes.begin() + std::ptrdiff_t(offset + count));
}
std::optional<Bytes> Body(const Bytes& file, const char* id) {
    const std::int64_t at = ChunkAt(file, id, true);
    if (at < 0) return std::nullopt;
    return Slice(file, std::size_t(at) + 8, LoadBE32(file.data() + at + 4));
}

#define OPEN_AIFF(reader, fileRef)                    \
    CAIFFFile reader;                                 \
    ASSERT_EQ(reader.ISoundFile(&(fileRef)), kNoErr); \
    ASSERT_EQ(reader.Open(), kNoErr)

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
    const Bytes file = SpecimenBytes(dir, {FileKind::AIFF, c.channels, c.bits, 44100.0f, c.frames});
    ASSERT_EQ(file.size(), 46 + c.ssndSize + (c.padded ? 1 : 0)); // nothing after the data
    EXPECT_EQ(Slice(file, 0, 4), (Bytes{'F', 'O', 'R', 'M'}));
    EXPECT_EQ(LoadBE32(file.data() + 4), c.formSize);
    EXPECT_EQ(Slice(file, 8, 12), (Bytes{'A', 'I', 'F', 'F', 'C', 'O', 'M', 'M', 0, 0, 0, 18}));
    EXPECT_EQ(LoadBE16(file.data() + 20), c.channels);
    EXPECT_EQ(LoadBE32(file.data() + 22), std::uint32_t(c.frames));
    EXPECT_EQ(LoadBE16(file.data() + 26), c.bits);
    EXPECT_EQ(Slice(file, 28, 10), (Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(LoadBE32(file.data() + 38), byteorder::FourCC("SSND"));
    EXPECT_EQ(LoadBE32(file.data() + 42), c.ssndSize);
    EXPECT_EQ(Slice(file, 46, 8), Bytes(8, 0)); // offset and block size
    if (c.padded) EXPECT_EQ(file.back(), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, AIFFLayout,
                         ::testing::Values(LayoutCase{16, 1, 1000, 2008, 2046, false},
                                           LayoutCase{8, 1, 3, 11, 50, true},
                                           LayoutCase{24, 1, 3, 17, 56, true},
                                           LayoutCase{24, 2, 1, 14, 52, false},
                                           LayoutCase{32, 2, 5, 48, 86, false},
                                           LayoutCase{8, 1, 0, 8, 46, false}));

struct SampleCase {
    std::int16_t bits;
    double value;
    Bytes fileBytes;
};
class AIFFSampleOrder : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AIFFSampleOrder, MostSignificantByteFirstAndReadBack) {
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
    const std::size_t n = c.fileBytes.size();
    EXPECT_EQ(Slice(file, 54, n), c.fileBytes);
    EXPECT_EQ(Slice(file, 54 + n, n), c.fileBytes);
    OPEN_AIFF(reader, fileRef);
    const int code = int(std::int64_t(c.value * 2147483648.0));
    EXPECT_EQ(EngineSamples(reader), (std::vector<int>{code, code}));
}

INSTANTIATE_TEST_SUITE_P(
    WordSizes, AIFFSampleOrder,
    ::testing::Values(SampleCase{16, 0x1234 / 32768.0, {0x12, 0x34}},
                      SampleCase{16, -1.0, {0x80, 0x00}},
                      SampleCase{24, 0x123456 / 8388608.0, {0x12, 0x34, 0x56}},
                      SampleCase{24, -1.0 / 8388608.0, {0xFF, 0xFF, 0xFF}},
                      SampleCase{32, 0x12345678 / 2147483648.0, {0x12, 0x34, 0x56, 0x78}},
                      SampleCase{8, 0x12 / 128.0, {0x12}}, SampleCase{8, -1.0, {0x80}}));

TEST(AIFFMarkers, RecordsArePaddedAndNumberedMarkersGetTheirRank) {
    TempDir dir;
    Specimen specimen{FileKind::AIFF, 1, 16, 44100.0f, 100};
    specimen.markers = {MakeMarker(1, 44100, "Start"),
                        MakeMarker(2, 7, "Twelve chars"),
                        MakeMarker(3, 30, "Intro", kMarkerTypeNumbered, 7),
                        MakeMarker(4, 40, "Outro", kMarkerTypeNumbered, 7),
                        MakeMarker(5, 50, "#no number")};
    const Bytes file = SpecimenBytes(dir, specimen, "m.aif");
    const auto mark = Body(file, "MARK");
    ASSERT_TRUE(mark);
    EXPECT_EQ(LoadBE16(mark->data()), 5);
    EXPECT_EQ(Slice(*mark, 2, 12), (Bytes{0, 1, 0, 0, 0xAC, 0x44, 5, 'S', 't', 'a', 'r', 't'}));
    EXPECT_EQ(Slice(*mark, 14, 20), (Bytes{0, 2, 0, 0, 0, 7, 12, 'T', 'w', 'e', 'l', 'v', 'e',
                                           ' ', 'c', 'h', 'a', 'r', 's', 0}));
    EXPECT_EQ(Slice(*mark, 40, 9), (Bytes{8, '#', '1', ' ', 'I', 'n', 't', 'r', 'o'}));
    // The MARK chunk ends the file, the FORM size counts it, and no INST chunk is written.
    EXPECT_EQ(std::size_t(ChunkAt(file, "MARK", true)) + 8 + mark->size(), file.size());
    EXPECT_EQ(LoadBE32(file.data() + 4), file.size() - 8);
    EXPECT_EQ(ChunkAt(file, "INST", true), -1);

    const FSSpec fileRef = dir.Spec("m.aif");
    OPEN_AIFF(reader, fileRef);
    ASSERT_EQ(reader.GetNumMarkers(), 5);
    const struct {
        std::int16_t type, number;
        const char* name;
    } expected[] = {{kMarkerTypeOrdinary, -1, "Start"},     {kMarkerTypeOrdinary, -1, "Twelve chars"},
                    {kMarkerTypeNumbered, 1, "Intro"},      {kMarkerTypeNumbered, 2, "Outro"},
                    {kMarkerTypeOrdinary, -1, "#no number"}};
    for (std::int16_t i = 0; i < 5; ++i) {
        SFTMarker m;
        ASSERT_EQ(reader.GetIndMarker(i, &m), kNoErr);
        EXPECT_EQ(std::make_tuple(int(m.id), m.position, m.type, m.number, NameOf(m.name)),
                  std::make_tuple(i + 1, specimen.markers[std::size_t(i)].position,
                                  expected[i].type, expected[i].number,
                                  std::string(expected[i].name)));
    }
}

// Loops are written as an INST chunk whose loops refer to markers added for them; reading
// resolves them back, and the loop markers leave the marker list.
struct LoopCase {
    const char* name;
    std::vector<SFTLoop> loops;
    std::optional<SFTSamplerInfo> sampler;
    Bytes instStart;                  // the sampler fields, 8 bytes
    std::vector<int> loopFields;      // play mode, begin and end marker IDs of each loop
};
class AIFFLoops : public ::testing::TestWithParam<LoopCase> {};

TEST_P(AIFFLoops, InstrumentChunkAndReadBack) {
    const LoopCase& c = GetParam();
    TempDir dir;
    Specimen specimen{FileKind::AIFF, 1, 16, 44100.0f, 1000};
    specimen.markers = {MakeMarker(1, 5, "Mine"), MakeMarker(3, 6, "Also mine")};
    specimen.loops = c.loops;
    specimen.sampler = c.sampler;
    const Bytes file = SpecimenBytes(dir, specimen, "l.aif");
    const auto inst = Body(file, "INST");
    ASSERT_TRUE(inst);
    ASSERT_EQ(inst->size(), 20u);
    EXPECT_EQ(Slice(*inst, 0, 8), c.instStart);
    std::vector<int> fields;
    for (std::size_t i = 8; i < 20; i += 2) fields.push_back(LoadBE16(inst->data() + i));
    EXPECT_EQ(fields, c.loopFields);
    EXPECT_LT(ChunkAt(file, "INST", true), ChunkAt(file, "MARK", true));

    const FSSpec fileRef = dir.Spec("l.aif");
    OPEN_AIFF(reader, fileRef);
    EXPECT_EQ(reader.GetNumMarkers(), 2);
    SFTMarker m;
    ASSERT_EQ(reader.GetMarkerByID(3, &m), kNoErr);
    EXPECT_EQ(NameOf(m.name), "Also mine");
    ASSERT_EQ(reader.GetNumLoops(), std::int16_t(c.loops.size()));
    for (std::int16_t i = 0; i < reader.GetNumLoops(); ++i) {
        SFTLoop loop;
        ASSERT_EQ(reader.GetIndLoop(i, &loop), kNoErr);
        const SFTLoop& w = c.loops[std::size_t(i)];
        EXPECT_EQ(std::vector<int>({loop.id, loop.start, loop.end, loop.type}),
                  std::vector<int>({w.id, w.start, w.end, w.type}));
    }
    SFTSamplerInfo info, written = c.sampler.value_or(SFTSamplerInfo{60, 0, 0, 127, 0, 127, 0, 1});
    ASSERT_EQ(reader.GetSamplerInfo(&info), kNoErr);
    EXPECT_EQ(std::vector<int>({info.baseNote, info.detune, info.lowNote, info.highNote,
                                info.lowVelocity, info.highVelocity, info.gain}),
              std::vector<int>({written.baseNote, written.detune, written.lowNote, written.highNote,
                                written.lowVelocity, written.highVelocity, written.gain}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AIFFLoops,
    ::testing::Values(
        // Default sampler values; the loop's start marker takes ID 4, as 1 is taken.
        LoopCase{"OneLoopDefaults", {SFTLoop{1, 100, 200, 1}}, std::nullopt,
                 Bytes{60, 0, 0, 127, 0, 127, 0, 0}, {1, 4, 2, 0, 0, 0}},
        // IDs 1 and 3 are taken: each clash takes the greatest ID so far plus one.
        LoopCase{"TwoLoopsAndSamplerInfo",
                 {SFTLoop{1, 100, 200, 1}, SFTLoop{2, 300, 900, 2}},
                 SFTSamplerInfo{48, -12, 10, 90, 5, 100, -300, 1},
                 Bytes{48, 0xF4, 10, 90, 5, 100, 0xFE, 0xD4}, {1, 4, 2, 2, 5, 6}}),
    [](const auto& info) { return std::string(info.param.name); });

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
    std::vector<double> halves(2 * 500, 0.5);
    double* block = halves.data();
    std::int32_t count = 500;
    ASSERT_EQ(file.Write(0, &count, &block), kNoErr);
    count = 100;
    ASSERT_EQ(file.Write(1000, &count, &block), kNoErr);
    ASSERT_EQ(file.UpdateSize(), kNoErr);
    EXPECT_EQ(file.GetNumSFrames(), 1100);
    ASSERT_EQ(file.Close(), kNoErr);

    const Bytes bytes = ReadFileBytes(dir.File("g.aif"));
    ASSERT_EQ(bytes.size(), 54u + 1100 * 4);
    EXPECT_EQ(LoadBE32(bytes.data() + 22), 1100u);
    EXPECT_EQ(LoadBE16(bytes.data() + 54 + 499 * 4), 0x4000);
    EXPECT_EQ(Slice(bytes, 54 + 500 * 4, 500 * 4), Bytes(500 * 4, 0));
    EXPECT_EQ(LoadBE16(bytes.data() + 54 + 1000 * 4), 0x4000);
}

TEST(AIFFRead, OfflineInfoReadsTheFormatAndClosesTheFile) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("o.aif");
    ASSERT_EQ(WriteSpecimen(fileRef, {FileKind::AIFF, 2, 24, 96000.0f, 77}), kNoErr);
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
    for (const char* name : {"x.s32", "x.S32", "x.s33"}) {
        const bool s32 = std::string(name) != "x.s33";
        const FSSpec fileRef = dir.Spec(name);
        ASSERT_EQ(WriteSpecimen(fileRef, {FileKind::AIFF, 1, 16, 44100.0f, 3}), kNoErr);
        OPEN_AIFF(file, fileRef);
        EXPECT_EQ(file.GetWordSize(), s32 ? 32 : 16) << name;
        EXPECT_EQ(file.GetDataType(), s32 ? kDataType24In32 : 0) << name;
    }
}

TEST(AIFFRead, ChunkSearchGivesUpAfterAHundredChunks) {
    TempDir dir;
    // COMM and SSND come first, so 97 more chunks keep the search within 100 chunks.
    for (int junk : {97, 101}) {
        const std::string name = "j" + std::to_string(junk) + ".aif";
        Bytes bytes = SpecimenBytes(dir, {FileKind::AIFF, 1, 16, 44100.0f, 2}, name.c_str());
        for (int i = 0; i < junk; ++i) bytes.insert(bytes.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
        bytes.insert(bytes.end(), {'M', 'A', 'R', 'K', 0, 0, 0, 2, 0, 0});
        byteorder::StoreBE32(bytes.data() + 4, std::uint32_t(bytes.size() - 8));
        CAIFFFile file;
        const Status expected = junk == 97 ? kNoErr : kErrAIFFTooManyChunks;
        EXPECT_EQ(OpenBytes(dir, &file, bytes, name.c_str()), expected) << junk;
        EXPECT_EQ(file.FindID(byteorder::FourCC("MARK")), expected);
        EXPECT_EQ(file.FindID(byteorder::FourCC("FORM")), kNoErr);
        EXPECT_EQ(file.FindID(byteorder::FourCC("NONE")),
                  junk == 97 ? kErrChunkNotFound : kErrAIFFTooManyChunks);
    }
}

} // namespace

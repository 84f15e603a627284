// CAIFFFile: the bytes it writes (big-endian, chunks padded to even length), its markers,
// loops and sampler information, and what it reads back.
#include <gtest/gtest.h>

#include "formats/CAIFFFile.h"
#include "soundfile/ByteOrder.h"
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

#define OPEN_AIFF(reader, fileRef)                                                                 \
    CAIFFFile reader;                                                                              \
    ASSERT_EQ(reader.ISoundFile(&(fileRef)), kNoErr);                                              \
    ASSERT_EQ(reader.Open(), kNoErr)

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

// Numbered markers are written with their rank in the name ("#1 Intro") and read back as
// numbered; a name that only looks numbered stays ordinary. Without loops no INST is written.
TEST(AIFFMarkers, NumberedMarkersGetTheirRank) {
    TempDir dir;
    Specimen specimen{FileKind::AIFF, 1, 16, 44100.0f, 100};
    specimen.markers = {
        MakeMarker(1, 10, "Intro", kMarkerTypeNumbered, 7), MakeMarker(2, 20, "Plain"),
        MakeMarker(3, 30, "Outro", kMarkerTypeNumbered, 7), MakeMarker(4, 40, "#no number")};
    const Bytes file = SpecimenBytes(dir, specimen, "m.aif");
    const auto mark = Body(file, "MARK");
    ASSERT_TRUE(mark);
    EXPECT_EQ(Slice(*mark, 2, 16),
              (Bytes{0, 1, 0, 0, 0, 10, 8, '#', '1', ' ', 'I', 'n', 't', 'r', 'o', 0}));
    EXPECT_EQ(ChunkAt(file, "INST", true), -1);
    const FSSpec fileRef = dir.Spec("m.aif");
    OPEN_AIFF(reader, fileRef);
    ASSERT_EQ(reader.GetNumMarkers(), 4);
    const std::tuple<std::int16_t, std::int16_t, std::string> expected[] = {
        {kMarkerTypeNumbered, 1, "Intro"},
        {kMarkerTypeOrdinary, -1, "Plain"},
        {kMarkerTypeNumbered, 2, "Outro"},
        {kMarkerTypeOrdinary, -1, "#no number"}};
    for (std::int16_t i = 0; i < 4; ++i) {
        SFTMarker m;
        ASSERT_EQ(reader.GetIndMarker(i, &m), kNoErr);
        EXPECT_EQ(std::make_tuple(int(m.id), m.position), std::make_tuple(i + 1, 10 * (i + 1)));
        EXPECT_EQ(std::make_tuple(m.type, m.number, NameOf(m.name)), expected[i]);
    }
}

// Loops are written as an INST chunk whose loops refer to markers added for them; reading
// resolves them back, and the loop markers leave the marker list.
struct LoopCase {
    const char* name;
    std::vector<SFTLoop> loops;
    std::optional<SFTSamplerInfo> sampler;
    Bytes instStart;             // the sampler fields, 8 bytes
    std::vector<int> loopFields; // play mode, begin and end marker IDs of each loop
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
    for (std::size_t i = 8; i < 20; i += 2)
        fields.push_back(LoadBE16(inst->data() + i));
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
        LoopCase{"OneLoopDefaults",
                 {SFTLoop{1, 100, 200, 1}},
                 std::nullopt,
                 Bytes{60, 0, 0, 127, 0, 127, 0, 0},
                 {1, 4, 2, 0, 0, 0}},
        // IDs 1 and 3 are taken: each clash takes the greatest ID so far plus one.
        LoopCase{"TwoLoopsAndSamplerInfo",
                 {SFTLoop{1, 100, 200, 1}, SFTLoop{2, 300, 900, 2}},
                 SFTSamplerInfo{48, -12, 10, 90, 5, 100, -300, 1},
                 Bytes{48, 0xF4, 10, 90, 5, 100, 0xFE, 0xD4},
                 {1, 4, 2, 2, 5, 6}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AIFFWrite, UnusableFormatsAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const FSSpec fileRef = dir.Spec("bad.aif");
    for (auto [channels, bits] : {std::pair<int, int>{0, 16}, {1, 12}, {1, 0}, {2, 40}}) {
        CAIFFFile file;
        ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
        EXPECT_EQ(
            file.Create(std::int16_t(channels), std::int16_t(bits), 44100.0f, nullptr, 0, nullptr),
            kErrNotSupported);
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_TRUE(ReadFileBytes(dir.File("bad.aif")).empty());
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

} // namespace

// CAIFFFile: big-endian samples and numbered markers, and what it reads back (loops and sampler
// information: InteropTest).
#include <gtest/gtest.h>

#include "formats/CAIFFFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

// The body of the first chunk `id` (empty when there is none).
Bytes Body(const Bytes& file, const char* id) {
    const std::int64_t at = ChunkAt(file, id, true);
    if (at < 0) return {};
    return Bytes(file.begin() + at + 8, file.begin() + at + 8 + byteorder::LoadBE32(&file[at + 4]));
}

struct SampleCase {
    std::int16_t bits;
    double value;
    Bytes fileBytes; // one sample as stored
};
using AIFFSampleOrder = FormatsTestWith<SampleCase>;

TEST_P(AIFFSampleOrder, MostSignificantByteFirstAndReadBack) {
    const auto& [bits, value, fileBytes] = GetParam();
    auto file = NewSoundFile(FileKind::AIFF);
    const FSSpec fileRef = dir.Spec("s.aif");
    ASSERT_EQ(file->ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file->Create(1, bits, 48000.0f, nullptr, 0, nullptr), kNoErr);
    double samples[2] = {value, value}, *block = samples;
    std::int32_t count = 2;
    ASSERT_EQ(file->Write(0, &count, &block), kNoErr);
    ASSERT_EQ(file->Close(), kNoErr);
    const Bytes bytes = ReadFileBytes(dir.File("s.aif"));
    Bytes twice = fileBytes;
    twice.insert(twice.end(), fileBytes.begin(), fileBytes.end());
    EXPECT_EQ(Bytes(bytes.begin() + 54, bytes.begin() + 54 + std::ptrdiff_t(twice.size())), twice);
    CAIFFFile reader;
    ASSERT_EQ(OpenBytes(dir, &reader, bytes), kNoErr);
    const int code = int(std::int64_t(value * 2147483648.0));
    EXPECT_EQ(EngineSamples(reader), (std::vector<int>{code, code}));
}

INSTANTIATE_TEST_SUITE_P(
    WordSizes, AIFFSampleOrder,
    ::testing::Values(SampleCase{8, -1.0, {0x80}}, SampleCase{16, 0x1234 / 32768.0, {0x12, 0x34}},
                      SampleCase{24, 0x123456 / 8388608.0, {0x12, 0x34, 0x56}},
                      SampleCase{24, -1.0 / 8388608.0, {0xFF, 0xFF, 0xFF}},
                      SampleCase{32, 0x12345678 / 2147483648.0, {0x12, 0x34, 0x56, 0x78}}));

using AIFFFile = FormatsTest;

// Numbered markers are written with their rank in the name ("#1 Intro") and read back as
// numbered; a name that only looks numbered stays ordinary. Without loops no INST is written.
TEST_F(AIFFFile, NumberedMarkersGetTheirRank) {
    Specimen specimen{FileKind::AIFF, 1, 16, 44100.0f, 100};
    specimen.markers = {
        MakeMarker(1, 10, "Intro", kMarkerTypeNumbered, 7), MakeMarker(2, 20, "Plain"),
        MakeMarker(3, 30, "Outro", kMarkerTypeNumbered, 7), MakeMarker(4, 40, "#no number")};
    const Bytes bytes = SpecimenBytes(dir, specimen, "m.aif");
    const Bytes mark = Body(bytes, "MARK");
    ASSERT_GE(mark.size(), 18u);
    EXPECT_EQ(Bytes(mark.begin() + 2, mark.begin() + 18),
              (Bytes{0, 1, 0, 0, 0, 10, 8, '#', '1', ' ', 'I', 'n', 't', 'r', 'o', 0}));
    EXPECT_EQ(ChunkAt(bytes, "INST", true), -1);
    CAIFFFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    ASSERT_EQ(file.GetNumMarkers(), 4);
    const std::tuple<std::int16_t, std::int16_t, std::string> expected[] = {
        {kMarkerTypeNumbered, 1, "Intro"},
        {kMarkerTypeOrdinary, -1, "Plain"},
        {kMarkerTypeNumbered, 2, "Outro"},
        {kMarkerTypeOrdinary, -1, "#no number"}};
    for (std::int16_t i = 0; i < 4; ++i) {
        SFTMarker m;
        ASSERT_EQ(file.GetIndMarker(i, &m), kNoErr);
        EXPECT_EQ(std::make_tuple(m.type, m.number, NameOf(m.name)), expected[i]);
    }
}

} // namespace

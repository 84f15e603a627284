// CAIFFFile: samples most significant byte first, and numbered markers; what it reads back
// (loops and sampler information: InteropTest).
#include <gtest/gtest.h>

#include "formats/CAIFFFile.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

using AIFFFile = FormatsTest;

TEST_F(AIFFFile, SamplesMostSignificantByteFirstAndReadBack) {
    const std::tuple<std::int16_t, double, Bytes> cases[] = {
        {8, -1.0, {0x80}},
        {16, 0x1234 / 32768.0, {0x12, 0x34}},
        {24, -1.0 / 8388608.0, {0xFF, 0xFF, 0xFF}},
        {32, 0x12345678 / 2147483648.0, {0x12, 0x34, 0x56, 0x78}}};
    for (const auto& [bits, value, stored] : cases) {
        const std::string name = std::to_string(bits);
        auto file = NewSoundFile(FileKind::AIFF);
        const FSSpec fileRef = dir.Spec(name);
        ASSERT_EQ(file->ISoundFile(&fileRef), kNoErr);
        ASSERT_EQ(file->Create(1, bits, 48000.0f, nullptr, 0, nullptr), kNoErr);
        double samples[2] = {value, value}, *block = samples;
        std::int32_t count = 2;
        ASSERT_EQ(file->Write(0, &count, &block), kNoErr);
        ASSERT_EQ(file->Close(), kNoErr);
        const Bytes bytes = ReadFileBytes(dir.File(name));
        Bytes twice = stored;
        twice.insert(twice.end(), stored.begin(), stored.end());
        EXPECT_EQ(Bytes(bytes.begin() + 54, bytes.begin() + 54 + std::ptrdiff_t(twice.size())),
                  twice);
        CAIFFFile reader;
        ASSERT_EQ(OpenBytes(dir, &reader, bytes), kNoErr);
        const int code = int(std::int64_t(value * 2147483648.0));
        EXPECT_EQ(EngineSamples(reader), (std::vector<int>{code, code})) << name;
    }
}

// Numbered markers are written with their rank in the name ("#1 Intro") and read back as
// numbered; a name that only looks numbered stays ordinary.
TEST_F(AIFFFile, NumberedMarkersGetTheirRank) {
    Specimen specimen{FileKind::AIFF, 1, 16, 44100.0f, 100};
    specimen.markers = {MakeMarker(1, 10, "Intro", kMarkerTypeNumbered, 7),
                        MakeMarker(2, 20, "#no number"),
                        MakeMarker(3, 30, "Outro", kMarkerTypeNumbered, 7)};
    const Bytes bytes = SpecimenBytes(dir, specimen, "m.aif");
    const std::int64_t mark = ChunkAt(bytes, "MARK", true);
    ASSERT_GT(mark, 0);
    EXPECT_EQ(Bytes(bytes.begin() + mark + 10, bytes.begin() + mark + 26),
              (Bytes{0, 1, 0, 0, 0, 10, 8, '#', '1', ' ', 'I', 'n', 't', 'r', 'o', 0}));
    CAIFFFile file;
    ASSERT_EQ(OpenBytes(dir, &file, bytes), kNoErr);
    std::string read;
    SFTMarker m;
    for (std::int16_t i = 0; file.GetIndMarker(i, &m) == kNoErr; ++i)
        read +=
            std::to_string(m.type) + " " + std::to_string(m.number) + " " + NameOf(m.name) + ";";
    EXPECT_EQ(read, "1 1 Intro;2 -1 #no number;1 2 Outro;"); // type 1: numbered, 2: ordinary
}

} // namespace

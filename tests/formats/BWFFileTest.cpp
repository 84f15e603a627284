// CBWFLinearFile: the 910-byte header, the bext and regn chunks, and what it reads back.
#include "WAVETestSupport.h"

#include <gtest/gtest.h>

#include "soundfile/ByteOrder.h"
#include "support/FaultyFileServices.h"
#include "support/TempDir.h"

namespace {

class BWFFileTest : public ::testing::Test {
protected:
    WAVEReaderPreferences preferences;

    std::vector<std::uint8_t> Write(WAVESpecimen specimen, const char* name = "b.wav") {
        specimen.broadcast = true;
        EXPECT_EQ(WriteWAVESpecimen(dir.Spec(name), specimen), kNoErr);
        return ReadFileBytes(dir.File(name));
    }
    Status OpenBytes(CSoundFile* file, const std::vector<std::uint8_t>& bytes) {
        return ::OpenBytes(dir, file, bytes);
    }

    TempDir dir;
};

TEST_F(BWFFileTest, SixteenBitMonoSecondHasTheFixedLayout) {
    WAVESpecimen specimen;
    specimen.rate = 48000.0f;
    specimen.frames = 48000;
    const auto bytes = Write(specimen);
    ASSERT_EQ(bytes.size(), 96922u);
    EXPECT_EQ(LE32At(bytes, 4), 96914u);
    EXPECT_EQ(TextAt(bytes, 8, 8), "WAVEbext");
    EXPECT_EQ(LE32At(bytes, 16), 858u);
    EXPECT_EQ(TextAt(bytes, 878, 4), "fmt ");
    EXPECT_EQ(LE32At(bytes, 878 + 12), 48000u);
    EXPECT_EQ(TextAt(bytes, 902, 4), "data");
    EXPECT_EQ(LE32At(bytes, 906), 96000u);
    EXPECT_EQ(TextAt(bytes, 96910, 4), "regn");
    EXPECT_EQ(LE32At(bytes, 96914), 4u);
    EXPECT_EQ(LE32At(bytes, 96918), 0u);

    // The bext fields at their offsets in the chunk (chunk at 12).
    const std::int64_t bext = 12;
    EXPECT_EQ(bytes[bext + 8], 0); // empty description
    EXPECT_EQ(TextAt(bytes, bext + 264, 12), std::string("Ziro Dudavo\0", 12));
    EXPECT_EQ(TextAt(bytes, bext + 296, 29), std::string("Kestrelbay - Quillwavecaster\0", 29));
    EXPECT_EQ(TextAt(bytes, bext + 328, 10), "2004:00:00");
    EXPECT_EQ(TextAt(bytes, bext + 338, 8), "00:00:00");
    EXPECT_EQ(LE32At(bytes, bext + 346), 0u);
    EXPECT_EQ(LE16At(bytes, bext + 354), 0);
    EXPECT_EQ(TextAt(bytes, bext + 610, 14), std::string("CodingHistory\0", 14));
    for (std::int64_t i = bext + 356; i < bext + 610; ++i) ASSERT_EQ(bytes[std::size_t(i)], 0) << i;
    EXPECT_EQ(bytes[bext + 865], 0);

    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    EXPECT_EQ(file.GetDataStart(), 910);
    EXPECT_EQ(file.GetNumSFrames(), 48000);
    EXPECT_EQ(file.GetFType(), byteorder::FourCC("BWLN"));
    EXPECT_EQ(file.GetBextInfo().originator, "Ziro Dudavo");
    EXPECT_EQ(file.GetBextInfo().originatorReference, "Kestrelbay - Quillwavecaster");
    EXPECT_TRUE(file.IsTimeStampValid());
}

struct TimeCase {
    std::int32_t stamp;
    float rate;
    const char* time; // the 8 bytes of OriginationTime
    std::uint32_t reference;
};

class BWFTimeStamps : public BWFFileTest, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(BWFTimeStamps, TimeFieldsAndRegionStampAtClose) {
    WAVESpecimen specimen;
    specimen.rate = GetParam().rate;
    specimen.frames = 10;
    specimen.timeStamp = GetParam().stamp;
    specimen.regions = {MakeRegion(2, 8, 2, "One", 77)};
    const auto bytes = Write(specimen);
    EXPECT_EQ(TextAt(bytes, 12 + 338, 8), std::string(GetParam().time, 8));
    EXPECT_EQ(LE32At(bytes, 12 + 346), GetParam().reference);
    EXPECT_EQ(LE32At(bytes, 12 + 350), 0u);
    // The first region record carries the file's time stamp, then the region's own.
    const std::int64_t regn = RiffChunkOffset(bytes, "regn");
    EXPECT_EQ(std::int64_t(byteorder::LoadLE64(bytes.data() + regn + 12 + 40)), GetParam().stamp);
    EXPECT_EQ(byteorder::LoadLE64(bytes.data() + regn + 12 + 48), 77u);

    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    EXPECT_EQ(file.GetTimeStamp(), std::int32_t(GetParam().reference));
}

INSTANTIATE_TEST_SUITE_P(
    Stamps, BWFTimeStamps,
    ::testing::Values(TimeCase{0, 48000.0f, "00:00:00", 0},
                      TimeCase{3723 * 48000, 48000.0f, "01:02:03", 178704000},
                      TimeCase{59 * 44100 + 44099, 44100.0f, "00:00:59", 59 * 44100 + 44099},
                      TimeCase{-100000, 48000.0f, "\0\0\0\0\0\0\0\0", 0},
                      TimeCase{-2000000, 48000.0f, "\0\0\0\0\0\0\0\0", 0}));

TEST_F(BWFFileTest, RegionRecordAndReadBackWithIdOne) {
    WAVESpecimen specimen;
    specimen.frames = 6000;
    specimen.regions = {MakeRegion(1000, 5000, 1000, "Verse")};
    specimen.markers = {MakeMarker(0, 10, "A"), MakeMarker(1, 20, "B")};
    const auto bytes = Write(specimen);
    const std::int64_t regn = 910 + 12000;
    ASSERT_EQ(TextAt(bytes, regn, 4), "regn");
    EXPECT_EQ(LE32At(bytes, regn + 4), 92u);
    EXPECT_EQ(LE32At(bytes, regn + 8), 1u);
    const std::int64_t values[7] = {0, 0, 1000, 5000, 1000, 0, 0};
    for (int v = 0; v < 7; ++v)
        EXPECT_EQ(std::int64_t(byteorder::LoadLE64(bytes.data() + regn + 12 + 8 * v)), values[v]);
    EXPECT_EQ(bytes[std::size_t(regn + 12 + 56)], 5);
    EXPECT_EQ(TextAt(bytes, regn + 12 + 57, 5), "Verse");
    // The cue chunk (two markers and the region) and the LIST follow the regn chunk.
    EXPECT_EQ(RiffChunkOffset(bytes, "cue "), regn + 100);
    EXPECT_EQ(LE32At(bytes, regn + 100 + 8), 3u);
    EXPECT_EQ(TextAt(bytes, RiffChunkOffset(bytes, "LIST") + 12, 4), "labl");

    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), kNoErr);
    EXPECT_EQ(file.GetNumMarkers(), 0); // the cue points are not read by this class
    ASSERT_EQ(file.GetNumRegions(), 1);
    SFTRegion r;
    ASSERT_EQ(file.GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::vector<int>({r.id, r.start, r.end, r.sync}),
              std::vector<int>({1, 1000, 5000, 1000}));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.name + 1), r.name[0]), "Verse");
    file.Close();

    std::int16_t count = -1;
    CBWFLinearFile offline;
    const FSSpec fileRef = dir.Spec("in.wav");
    ASSERT_EQ(offline.ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(offline.GetOfflineInfo(&count), kNoErr);
    EXPECT_EQ(count, 1);
}

TEST_F(BWFFileTest, DescriptionComesFromTheSpecificsBlock) {
    CBWFLinearFile file;
    const FSSpec fileRef = dir.Spec("d.wav");
    ASSERT_EQ(file.ISoundFile(&fileRef), kNoErr);
    std::uint8_t specifics[256] = {0};
    specifics[22] = 255; // longer than the block holds: cut to 233 characters
    for (int i = 23; i < 256; ++i) specifics[i] = std::uint8_t('a' + i % 26);
    ASSERT_EQ(file.Create(1, 16, 48000.0f, specifics, 0, nullptr), kNoErr);
    ASSERT_EQ(file.Close(), kNoErr);
    const auto bytes = ReadFileBytes(dir.File("d.wav"));
    EXPECT_EQ(TextAt(bytes, 20, 233), TextAt(std::vector<std::uint8_t>(specifics, specifics + 256), 23, 233));
    EXPECT_EQ(bytes[20 + 233], 0);
}

TEST_F(BWFFileTest, PlainWAVEIsRefused) {
    WAVESpecimen specimen;
    specimen.frames = 10;
    ASSERT_EQ(WriteWAVESpecimen(dir.Spec("plain.wav"), specimen), kNoErr);
    CBWFLinearFile file;
    EXPECT_EQ(OpenBytes(&file, ReadFileBytes(dir.File("plain.wav"))), kErrChunkNotFound);
    file.Close();
    std::int16_t count = 0;
    CBWFLinearFile offline;
    const FSSpec fileRef = dir.Spec("plain.wav");
    ASSERT_EQ(offline.ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(offline.GetOfflineInfo(&count), kErrChunkNotFound);
    EXPECT_FALSE(offline.IsOpen());
}

// Failures while writing, for both classes: reported, and the file is closed all the same.
class WAVEWriteFailures : public BWFFileTest, public ::testing::WithParamInterface<bool> {
protected:
    std::unique_ptr<CWAVEFile> NewFile() const {
        if (GetParam()) return std::make_unique<CBWFLinearFile>();
        return std::make_unique<CWAVEFile>();
    }
};

TEST_P(WAVEWriteFailures, CloseReportsAFailedWriteAndStillCloses) {
    FaultyFileServices faulty;
    FileServicesScope scope(faulty);
    auto file = NewFile();
    const FSSpec fileRef = dir.Spec("f.wav");
    ASSERT_EQ(file->ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file->Create(1, 16, 8000.0f, nullptr, 0, nullptr), kNoErr);
    SFTMarker marker = MakeMarker(0, 0, "M");
    ASSERT_EQ(file->AddMarker(&marker), kNoErr);
    faulty.FailAlways(FileOperation::Write, kErrDiskFull);
    EXPECT_EQ(file->Close(), kErrDiskFull);
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(file->Close(), kErrFileNotOpen);
}

TEST_P(WAVEWriteFailures, CreateOnAnExistingNameFails) {
    ASSERT_TRUE(WriteFileBytes(dir.File("x.wav"), {1, 2, 3}));
    auto file = NewFile();
    const FSSpec fileRef = dir.Spec("x.wav");
    ASSERT_EQ(file->ISoundFile(&fileRef), kNoErr);
    EXPECT_EQ(file->Create(1, 16, 8000.0f, nullptr, 0, nullptr), kErrDuplicateFile);
    EXPECT_EQ(ReadFileBytes(dir.File("x.wav")).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(WAVEAndBWF, WAVEWriteFailures, ::testing::Bool());

class BWFDamaged : public BWFFileTest {
protected:
    std::vector<std::uint8_t> Specimen() {
        WAVESpecimen specimen;
        specimen.frames = 100;
        specimen.regions = {MakeRegion(10, 20, 10, "a"), MakeRegion(30, 40, 30, "b")};
        return Write(specimen);
    }
};

struct Damage {
    const char* name;
    void (*apply)(std::vector<std::uint8_t>&);
    Status expected;
    std::int16_t regions; // when it opens
};

class BWFDamage : public BWFDamaged, public ::testing::WithParamInterface<Damage> {};

TEST_P(BWFDamage, OpensToTheExpectedStatusAndRegions) {
    auto bytes = Specimen();
    GetParam().apply(bytes);
    CBWFLinearFile file;
    ASSERT_EQ(OpenBytes(&file, bytes), GetParam().expected);
    if (GetParam().expected == kNoErr) {
        EXPECT_EQ(file.GetNumRegions(), GetParam().regions);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BWFDamage,
    ::testing::Values(
        // The records that are there are read.
        Damage{"RegionCountBeyondChunk",
               [](std::vector<std::uint8_t>& b) {
                   byteorder::StoreLE32(b.data() + RiffChunkOffset(b, "regn") + 8, 1000);
               },
               kNoErr, 2},
        // A region that ends past the file only sets the time stamp.
        Damage{"RegionEndPastFile",
               [](std::vector<std::uint8_t>& b) {
                   byteorder::StoreLE64(b.data() + RiffChunkOffset(b, "regn") + 12 + 24, 5000);
               },
               kNoErr, 1},
        // A JUNK chunk takes the rest of the old bext, so the chunk walk stays intact.
        Damage{"ShortBext",
               [](std::vector<std::uint8_t>& b) {
                   byteorder::StoreLE32(b.data() + 16, 300);
                   std::copy_n("JUNK", 4, b.begin() + 12 + 8 + 300);
                   byteorder::StoreLE32(b.data() + 12 + 8 + 304, 858 - 300 - 8);
               },
               kErrMalformedFile, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BWFDamaged, MalformedCorpusOpensToAStatus) {
    const auto good = Specimen();
    std::vector<std::vector<std::uint8_t>> corpus;
    const auto chunks = RiffChunks(good);
    for (const auto& [offset, id] : chunks)
        for (std::int64_t delta : {-1, 0, 4, 8, 9, 20, 100, 346, 350, 602})
            if (offset + delta >= 0 && offset + delta <= std::int64_t(good.size()))
                corpus.emplace_back(good.begin(), good.begin() + offset + delta);
    for (const auto& [offset, id] : chunks)
        for (std::int64_t field : {offset + 4, offset + 8})
            for (std::uint32_t value : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
                auto bad = good;
                byteorder::StoreLE32(bad.data() + field, value);
                corpus.push_back(bad);
            }
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        CBWFLinearFile file;
        if (OpenBytes(&file, corpus[i]) == kNoErr) {
            EXPECT_LE(file.GetNumRegions(), 2) << i;
        }
        if (file.IsOpen()) file.Close();
    }
}

} // namespace

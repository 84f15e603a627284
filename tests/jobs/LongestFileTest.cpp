// The longest signal the limits accept is one the engine writes completely, with every size
// field right, for each format and word length at the highest rate; and neither the limits nor
// the writer let a file grow past what its size fields describe. The files are sparse: the
// frames before the last block are silence the file system never stores.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "formats/SoundFileFactory.h"
#include "jobs/JobLimits.h"
#include "jobs/SaveOptions.h"
#include "soundfile/ByteOrder.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"
#include "synth/SweepGenerator.h"
#include "synth/SweepMarkers.h"

namespace {

constexpr double kRate = 384000.0;
constexpr std::int32_t kTailFrames = 2 * kSweepBlockFrames;

struct LongestCase {
    std::int32_t fileType, dataFormat;
};

class LongestFile : public testing::TestWithParam<LongestCase> {
protected:
    LongestFile() {
        options.setOutputType(kOutputCustomSweep);
        options.setFileType(GetParam().fileType);
        options.setDataFormat(GetParam().dataFormat);
    }
    bool IsWAVE() const { return options.realFileType() == byteorder::FourCC("BWLN"); }
    std::int64_t LargestFile() const {
        return IsWAVE() ? wavelayout::kMaxRIFFFileSize : kMaxAIFFFileSize;
    }
    std::int64_t HeaderSize() const {
        return IsWAVE() ? bwflayout::kBWFHeaderSize : kAIFFHeaderSize;
    }
    std::unique_ptr<CSoundFile> Create(const char* name) {
        auto file = CreateSoundFile(options.realFileType());
        FSSpec fileRef = dir.Spec(name);
        EXPECT_EQ(file->ISoundFile(&fileRef), kNoErr);
        unsigned char specifics[256] = {0};
        EXPECT_EQ(file->Create(1, std::int16_t(options.wordLength()), float(kRate), specifics, 0,
                               nullptr),
                  kNoErr);
        return file;
    }
    // A marker at frame 0 with a name of the longest length.
    static SFTMarker LongNamedMarker() {
        SFTMarker marker{};
        marker.name[0] = kSFTMaxNameLength;
        std::fill(marker.name + 1, marker.name + 1 + kSFTMaxNameLength, 'x');
        return marker;
    }

    SaveOptions options;
    TempDir dir;
};

TEST_P(LongestFile, IsWrittenWholeAndOneFrameMoreIsRefused) {
    const std::int32_t most = MaxSignalFrames(options.realFileType(), options.wordLength());
    const std::int64_t bytes = options.wordLength() / 8;
    EXPECT_FALSE(CheckSignalLength((most + 0.5) / kRate, kRate, options));
    EXPECT_TRUE(CheckSignalLength((most + 1.5) / kRate, kRate, options));

    // The last blocks of the signal, then as many markers with names of the longest length as
    // a signal ever gets.
    auto file = Create("longest");
    ASSERT_EQ(GenerateSweep(file.get(), most - kTailFrames, (kTailFrames + 0.5) / kRate, kRate,
                            -10.0, -10.0, 20.0, 20000.0, true),
              kNoErr);
    ASSERT_EQ(file->GetNumSFrames(), most);
    for (SFTMarker marker = LongNamedMarker(); file->GetNumMarkers() < kMaxSignalMarkers;)
        ASSERT_EQ(file->AddMarker(&marker), kNoErr);
    ASSERT_EQ(file->Close(), kNoErr);

    const std::string path = dir.File("longest");
    const auto size = std::int64_t(std::filesystem::file_size(path));
    // Within the largest file, and the limits keep no more room than the chunks take.
    EXPECT_LE(size, LargestFile());
    EXPECT_LT(LargestFile() - size, 1024);
    std::vector<std::uint8_t> header(static_cast<std::size_t>(HeaderSize()));
    std::ifstream(path, std::ios::binary)
        .read(reinterpret_cast<char*>(header.data()), std::streamsize(header.size()));
    using namespace byteorder;
    const std::uint8_t* h = header.data();
    if (IsWAVE()) {
        EXPECT_EQ(LoadLE32(h + 4), std::uint32_t(size - 8));
        EXPECT_EQ(LoadLE32(h + bwflayout::kBWFHeaderSize - 4), std::uint32_t(most * bytes));
    } else {
        EXPECT_EQ(LoadBE32(h + 4), std::uint32_t(size - 8));
        EXPECT_EQ(LoadBE32(h + 22), std::uint32_t(most)); // COMM frames
        EXPECT_EQ(LoadBE32(h + 42), std::uint32_t(most * bytes + 8));
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_LT(std::int64_t(info.st_blocks) * 512, 64 << 20) << "the file is not sparse";

    // Read back past 2 GiB: the frame count, and the markers that follow the data.
    std::unique_ptr<CSoundFile> reader = IsWAVE() ? std::unique_ptr<CSoundFile>(new CWAVEFile)
                                                  : CreateSoundFile(byteorder::FourCC("AIFF"));
    FSSpec fileRef = dir.Spec("longest");
    ASSERT_EQ(reader->ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(reader->Open(), kNoErr);
    EXPECT_EQ(reader->GetNumSFrames(), most);
    EXPECT_EQ(reader->GetNumMarkers(), kMaxSignalMarkers);
    SF_INFO sfInfo{};
    Sndfile sndfile(sf_open(path.c_str(), SFM_READ, &sfInfo));
    ASSERT_TRUE(sndfile) << sf_strerror(nullptr);
    EXPECT_EQ(sfInfo.frames, most);

    // The writer itself refuses a frame that would end past the largest file, and a close whose
    // chunks would carry the file past it.
    auto edge = Create("edge");
    const auto past = std::int32_t((LargestFile() - HeaderSize()) / bytes);
    double sample = 0.25, *block = &sample;
    std::int32_t count = 1;
    EXPECT_EQ(edge->Write(std::int16_t(0), past, &count, &block), kErrFileTooLarge);
    count = 1;
    EXPECT_EQ(edge->Write(std::int16_t(0), past - 1, &count, &block), kNoErr);
    SFTMarker marker = LongNamedMarker();
    ASSERT_EQ(edge->AddMarker(&marker), kNoErr);
    EXPECT_EQ(edge->Close(), kErrFileTooLarge);
}

INSTANTIATE_TEST_SUITE_P(FormatsAndWordLengths, LongestFile,
                         testing::Values(LongestCase{0, 1}, LongestCase{0, 2}, LongestCase{1, 1},
                                         LongestCase{1, 2}));

} // namespace

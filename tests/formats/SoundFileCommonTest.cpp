// Every format alike: it never overwrites a file, reports a failed write yet closes, reads
// unwritten samples as silence, and stands a region over the whole file in for missing ones.
#include <gtest/gtest.h>

#include "formats/OpenSoundFile.h"
#include "support/FaultyFileServices.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

class EveryFormat : public FormatsTestWith<FileKind> {
  protected:
    // A stereo file of this test's format created on `name`; `status` gets the status of Create.
    std::unique_ptr<CSoundFile> Created(const char* name, std::int16_t bits = 16) {
        auto file = NewSoundFile(GetParam());
        const FSSpec fileRef = dir.Spec(name);
        EXPECT_EQ(file->ISoundFile(&fileRef), kNoErr);
        status = file->Create(2, bits, 8000.0f, nullptr, 0, nullptr);
        return file;
    }
    Status status = kNoErr;
};

TEST_P(EveryFormat, CreateOnAnExistingNameFailsAndLeavesTheFile) {
    ASSERT_TRUE(WriteFileBytes(dir.File("x.snd"), {1, 2, 3}));
    EXPECT_FALSE(Created("x.snd")->IsOpen());
    EXPECT_EQ(status, kErrDuplicateFile);
    EXPECT_EQ(ReadFileBytes(dir.File("x.snd")), (Bytes{1, 2, 3}));
}

TEST_P(EveryFormat, CloseReportsAFailedWriteAndStillCloses) {
    FaultyFileServices faulty;
    FileServicesScope scope(faulty);
    auto file = Created("f.snd");
    faulty.FailAlways(FileOperation::Write, kErrDiskFull);
    EXPECT_EQ(file->Close(), kErrDiskFull);
    EXPECT_FALSE(file->IsOpen());
}

// A file made with file services of its own goes through them alone, from creating it to
// reading it back, while services that refuse everything are the current ones.
TEST_P(EveryFormat, AFileUsesTheServicesItWasMadeWith) {
    FaultyFileServices own, current;
    for (int op = 0; op < kFileOperationCount; ++op)
        current.FailAlways(FileOperation(op), kErrIO);
    FileServicesScope scope(current);
    const FSSpec fileRef = dir.Spec("own");
    unsigned char extension[] = "\x03snd";
    auto file = NewSoundFile(GetParam(), &own);
    ASSERT_EQ(file->ISoundFile(&fileRef), kNoErr);
    ASSERT_EQ(file->Create(1, 16, 8000.0f, nullptr, 1, extension), kNoErr);
    double values[] = {0.5, -0.25}, *block = values;
    std::int32_t count = 2;
    ASSERT_EQ(file->Write(0, &count, &block), kNoErr);
    SFTMarker marker = MakeMarker(1, 1, "m"); // so that closing writes chunks after the data
    ASSERT_EQ(file->AddMarker(&marker), kNoErr);
    ASSERT_EQ(file->Close(), kNoErr);

    const FSSpec written = file->GetFSSpec();
    auto offline = NewSoundFile(GetParam(), &own);
    std::int16_t info = 0;
    ASSERT_EQ(offline->ISoundFile(&written), kNoErr);
    EXPECT_EQ(offline->GetOfflineInfo(&info), kNoErr);
    std::unique_ptr<CSoundFile> back;
    ASSERT_EQ(OpenSoundFile(written, &back, own), kNoErr);
    EXPECT_EQ(EngineSamples(*back), (std::vector<int>{1 << 30, -(1 << 29)}));
    EXPECT_EQ(back->Close(), kNoErr);
    for (int op = 0; op < kFileOperationCount; ++op)
        EXPECT_EQ(current.Calls(FileOperation(op)), 0) << "operation " << op;
}

// Frames a write skips and channels never written read back as silence (in an 8-bit WAVE
// file, whose samples are offset, that is 0x80).
TEST_P(EveryFormat, UnwrittenFramesAndChannelsAreSilence) {
    for (const char* name : {"8", "16"}) {
        auto file = Created(name, std::int16_t(std::stoi(name)));
        double values[] = {-1.0, 0.5}, *block = values;
        std::int32_t count = 2;
        ASSERT_EQ(file->Write(std::int16_t(0), 1, &count, &block), kNoErr);
        count = 1;
        ASSERT_EQ(file->Write(std::int16_t(1), 5000, &count, &block), kNoErr);
        ASSERT_EQ(file->Close(), kNoErr);
        std::vector<int> expected(2 * 5001, 0);
        expected[2] = expected[2 * 5000 + 1] = INT32_MIN;
        expected[4] = 1 << 30;
        auto back = NewSoundFile(GetParam());
        ASSERT_EQ(OpenBytes(dir, back.get(), ReadFileBytes(dir.File(name))), kNoErr);
        EXPECT_EQ(EngineSamples(*back), expected) << name;
    }
}

// A file without regions gets region 0 over all of it, named after the file (cut to 31
// characters, 29 in a plain WAVE file), unless the preferences say otherwise when it is opened.
TEST_P(EveryFormat, WholeFileRegionStandsInForMissingRegions) {
    const std::string name(60, 'n');
    ASSERT_EQ(WriteSpecimen(dir.Spec(name), {GetParam(), 1, 16, 44100.0f, 50}), kNoErr);
    std::unique_ptr<CSoundFile> file;
    ASSERT_EQ(OpenSoundFile(dir.Spec(name), &file), kNoErr);
    SFTRegion r;
    ASSERT_EQ(file->GetNumRegions(), 1);
    ASSERT_EQ(file->GetIndRegion(0, &r), kNoErr);
    EXPECT_EQ(std::make_tuple(r.id, r.start, r.end, NameOf(r.name)),
              std::make_tuple(0, 0, 50, name.substr(0, GetParam() == FileKind::WAVE ? 29 : 31)));
    preferences.RegisterDefaults({{kProcessFileIfNoRegions, false}});
    ASSERT_EQ(OpenSoundFile(dir.Spec(name), &file), kNoErr);
    EXPECT_EQ(file->GetNumRegions(), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFormat,
                         ::testing::Values(FileKind::AIFF, FileKind::WAVE, FileKind::BWF));

} // namespace

// The job's sound file wrapper: its position through writes and skips, what it refuses to
// create, and a failed write raised with its reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/TxSoundFile.h"
#include "shell/QuillException.h"
#include "soundfile/ByteOrder.h"
#include "support/FaultyFileServices.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"

using byteorder::FourCC;

namespace {

class TxSoundFileOutput : public testing::TestWithParam<std::uint32_t> {
  protected:
    std::unique_ptr<TxSoundFile> Make(const std::string& path, bool forOutput = true) {
        return TxSoundFile::initWithType(GetParam(), path, 1, 16, 48000.0f, forOutput, nullptr);
    }
    TempDir folder;
};

TEST_P(TxSoundFileOutput, PositionFollowsWritesAndSkipsAndSkippedFramesAreSilent) {
    auto file = Make(folder.File("out"));
    ASSERT_TRUE(file);
    std::vector<double> block(1000, 0.25);
    file->write(0, block.data());
    EXPECT_EQ(file->pos(), 0);
    file->write(1000, block.data());
    EXPECT_EQ(file->advanceTime(0.5), 24000);
    EXPECT_EQ(file->advanceSamples(-500), -500);
    file->write(1000, block.data());
    EXPECT_EQ(file->pos(), 25500);
    EXPECT_EQ(file->advanceTime(-0.0001), -4);
    file->close();
    file->close(); // harmless
    file.reset();  // closes once more
    SoundFileView view = ReadWithLibsndfile(folder.File("out"));
    ASSERT_EQ(view.samples.size(), 25500u);
    EXPECT_EQ(view.samples[999], 0.25);
    EXPECT_EQ(view.samples[1000], 0.0);
    EXPECT_EQ(view.samples[24499], 0.0);
    EXPECT_EQ(view.samples[24500], 0.25);
}

// Not for output, in a missing folder, or over an existing file: nothing is made or taken over.
TEST_P(TxSoundFileOutput, CreatesOnlyANewFileForOutput) {
    auto notMade = Make(folder.File("not-made"), false);
    ASSERT_TRUE(notMade);
    notMade.reset();
    EXPECT_FALSE(std::filesystem::exists(folder.File("not-made")));
    EXPECT_FALSE(Make(folder.File("no/such/folder/f")));
    ASSERT_TRUE(Make(folder.File("taken")));
    EXPECT_FALSE(Make(folder.File("taken")));
}

TEST_P(TxSoundFileOutput, FailedWriteRaisesWithTheReasonAndKeepsPosition) {
    const std::string path = folder.File("faulty");
    FaultyFileServices faults;
    FileServicesScope scope(faults);
    auto file = Make(path);
    ASSERT_TRUE(file);
    std::vector<double> block(100, 0.5);
    file->write(100, block.data());
    faults.FailAlways(FileOperation::Write, kErrDiskFull);
    try {
        file->write(100, block.data());
        ADD_FAILURE() << "no exception";
    } catch (const QuillException& e) {
        EXPECT_EQ(e.name(), "TxSoundFileException");
        EXPECT_EQ(e.reason(), "could not write sample data into the file '" + path +
                                  "': no space left on the volume (error -34)");
    }
    EXPECT_EQ(file->pos(), 100);
    faults.Heal();
}

INSTANTIATE_TEST_SUITE_P(Formats, TxSoundFileOutput,
                         testing::Values(FourCC("AIFF"), FourCC("BWLN")),
                         [](const testing::TestParamInfo<std::uint32_t>& info) {
                             return info.param == FourCC("AIFF") ? "AIFF" : "BroadcastWave";
                         });

} // namespace

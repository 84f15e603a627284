#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/SoundFileFactory.h"
#include "formats/TxSoundFile.h"
#include "support/JobsTestSupport.h"
#include "shell/QuillException.h"
#include "soundfile/ByteOrder.h"
#include "support/FaultyFileServices.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using byteorder::FourCC;

struct ExtensionCase {
    std::uint32_t type;
    std::optional<std::string> extension;
    bool hasClass;
};
class TypeTable : public testing::TestWithParam<ExtensionCase> {};
TEST_P(TypeTable, ExtensionAndClassByType) {
    const auto& c = GetParam();
    EXPECT_EQ(TxSoundFile::extensionForType(TxSoundFile::typeKey(c.type)), c.extension);
    EXPECT_EQ(CreateSoundFile(c.type) != nullptr, c.hasClass);
}
INSTANTIATE_TEST_SUITE_P(Types, TypeTable,
                         testing::Values(ExtensionCase{FourCC("AIFF"), "aif", true},
                                         ExtensionCase{FourCC("BWLN"), "wav", true},
                                         ExtensionCase{FourCC("WAVE"), "wav", false},
                                         ExtensionCase{FourCC("Sd2f"), "sd2", false},
                                         ExtensionCase{FourCC(" paf"), "paf", false},
                                         ExtensionCase{FourCC("MP3 "), std::nullopt, false}));

class TxSoundFileOutput : public testing::TestWithParam<std::uint32_t> {
  protected:
    TempDir folder;
};

TEST_P(TxSoundFileOutput, PositionFollowsWritesAndSkips) {
    std::string path = folder.File("out");
    auto file = TxSoundFile::initWithType(GetParam(), path, 1, 16, 48000.0f, true, nullptr);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->path(), path);
    std::vector<double> block(1000, 0.25);
    file->write(0, block.data());
    EXPECT_EQ(file->pos(), 0);
    file->write(1000, block.data());
    EXPECT_EQ(file->advanceTime(0.5), 24000);
    EXPECT_EQ(file->advanceSamples(-500), -500);
    EXPECT_EQ(file->pos(), 24500);
    file->write(1000, block.data());
    EXPECT_EQ(file->pos(), 25500);
    EXPECT_EQ(file->advanceTime(-0.0001), -4);
    file->close();
    EXPECT_EQ(file->pos(), 0);
    file->close(); // harmless
    file.reset();  // closes once more
    SoundFileView view = ReadWithLibsndfile(path);
    EXPECT_EQ(view.frames, 25500);
    ASSERT_EQ(view.samples.size(), 25500u);
    EXPECT_DOUBLE_EQ(view.samples[999], 0.25);
    EXPECT_DOUBLE_EQ(view.samples[1000], 0.0); // skipped frames are silent
    EXPECT_DOUBLE_EQ(view.samples[24499], 0.0);
    EXPECT_DOUBLE_EQ(view.samples[24500], 0.25);
}

TEST_P(TxSoundFileOutput, NotForOutputCreatesNothing) {
    std::string path = folder.File("not-made");
    auto file = TxSoundFile::initWithType(GetParam(), path, 1, 16, 44100.0f, false, nullptr);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->soundFile()->IsOpen());
    file.reset();
    EXPECT_FALSE(fs::exists(path));
}

TEST_P(TxSoundFileOutput, FailedWriteRaisesAndKeepsPosition) {
    std::string path = folder.File("faulty");
    FaultyFileServices faults;
    FileServicesScope scope(faults);
    auto file = TxSoundFile::initWithType(GetParam(), path, 1, 16, 44100.0f, true, nullptr);
    ASSERT_TRUE(file);
    std::vector<double> block(100, 0.5);
    file->write(100, block.data());
    faults.FailAlways(FileOperation::Write, kErrDiskFull);
    try {
        file->write(100, block.data());
        FAIL() << "no exception";
    } catch (const QuillException& e) {
        EXPECT_EQ(e.name(), "TxSoundFileException");
        EXPECT_EQ(e.reason(), "could not write sample data into the file '" + path +
                                  "': no space left on the volume (error -34)");
    }
    EXPECT_EQ(file->pos(), 100);
    faults.Heal();
}

INSTANTIATE_TEST_SUITE_P(Formats, TxSoundFileOutput,
                         testing::Values(FourCC("AIFF"), FourCC("BWLN")));

TEST(TxSoundFile, CreationFailuresGiveNone) {
    TempDir folder;
    EXPECT_FALSE(TxSoundFile::initWithType(FourCC("WAVE"), folder.File("w"), 1, 16, 44100.0f, true,
                                           nullptr));
    EXPECT_FALSE(TxSoundFile::initWithType(FourCC("AIFF"), folder.File("no/such/folder/f"), 1, 16,
                                           44100.0f, true, nullptr));
    // An existing file is never taken over.
    std::string taken = folder.File("taken");
    ASSERT_TRUE(TxSoundFile::initWithType(FourCC("AIFF"), taken, 1, 16, 44100.0f, true, nullptr));
    EXPECT_FALSE(TxSoundFile::initWithType(FourCC("AIFF"), taken, 1, 16, 44100.0f, true, nullptr));
}

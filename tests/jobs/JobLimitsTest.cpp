// What a job refuses: the first value out of range, and a signal longer than its file can hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "formats/SoundFileFactory.h"
#include "jobs/JobLimits.h"
#include "jobs/SaveOptions.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"
#include "synth/SweepMarkers.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct LimitCase {
    const char* name;
    Settings settings;
    std::optional<JobValue> refused;
};
class JobLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(JobLimits, RefusesTheFirstValueOutOfRange) {
    auto violation = CheckJobSettings(GetParam().settings, SaveOptions());
    EXPECT_EQ(violation ? std::optional(violation->value) : std::nullopt, GetParam().refused);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Values, JobLimits, testing::Values(
    LimitCase{"Edges", ToneSettings(192000, 0, 1.0 / 384000, 384000), {}},
    LimitCase{"LowestLevelAndRate", ToneSettings(1, -120, 1, 8000), {}},
    LimitCase{"RateLow", ToneSettings(1000, -10, 10, 7999), JobValue::sampleRate},
    LimitCase{"RateNaN", ToneSettings(1000, -10, 10, kNaN), JobValue::sampleRate},
    LimitCase{"AboveHalfTheRate", ToneSettings(22050.5, -10, 10, 44100), JobValue::freqFrom},
    LimitCase{"Under1Hz", ToneSettings(0.5, -10, 10, 44100), JobValue::freqFrom},
    LimitCase{"LevelAbove0", ToneSettings(1000, 0.01, 10, 44100), JobValue::levelFrom},
    LimitCase{"LevelMinusInfinity", ToneSettings(1000, -kInf, 10, 44100), JobValue::levelFrom},
    LimitCase{"UnderOneFrame", ToneSettings(1000, -10, 1e-6, 44100), JobValue::length},
    LimitCase{"LengthNaN", ToneSettings(1000, -10, kNaN, 44100), JobValue::length}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The longest signal a format takes, with as many long-named markers as a signal gets, closes
// within what the file's size fields describe; one frame more is refused, and the writer refuses
// a frame past that size. (The file is sparse: the frames before the last are never stored.)
struct LongestCase {
    const char* name;
    std::int32_t fileType;
    std::int64_t largest;
};
class LongestSignal : public testing::TestWithParam<LongestCase> {};

TEST_P(LongestSignal, FitsTheFileAndOneFrameMoreIsRefused) {
    const double rate = 384000.0;
    SaveOptions options;
    options.setFileType(GetParam().fileType);
    options.setDataFormat(2);
    const std::int32_t most = MaxSignalFrames(options.realFileType(), options.wordLength());
    EXPECT_FALSE(CheckSignalLength((most + 0.5) / rate, rate, options));
    EXPECT_TRUE(CheckSignalLength((most + 1.5) / rate, rate, options));
    TempDir dir;
    FSSpec ref = dir.Spec("longest");
    unsigned char specifics[256] = {};
    auto file = CreateSoundFile(options.realFileType());
    ASSERT_EQ(file->ISoundFile(&ref), kNoErr);
    ASSERT_EQ(file->Create(1, 24, float(rate), specifics, 0, nullptr), kNoErr);
    double sample = 0.25, *block = &sample;
    std::int32_t count = 1;
    EXPECT_EQ(file->Write(0, std::int32_t(GetParam().largest / 3), &count, &block),
              kErrFileTooLarge);
    count = 1;
    ASSERT_EQ(file->Write(0, most - 1, &count, &block), kNoErr);
    SFTMarker marker{};
    marker.name[0] = kSFTMaxNameLength;
    std::fill(marker.name + 1, marker.name + 1 + kSFTMaxNameLength, 'x');
    while (file->GetNumMarkers() < kMaxSignalMarkers)
        ASSERT_EQ(file->AddMarker(&marker), kNoErr);
    ASSERT_EQ(file->Close(), kNoErr);
    EXPECT_LE(std::int64_t(std::filesystem::file_size(dir.File("longest"))), GetParam().largest);
}

INSTANTIATE_TEST_SUITE_P(Formats, LongestSignal,
                         testing::Values(LongestCase{"AIFF", kFileTypeAIFF, 0x7FFFFFFF},
                                         LongestCase{"BroadcastWave", kFileTypeBroadcastWave,
                                                     0xFFFFFFFF}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

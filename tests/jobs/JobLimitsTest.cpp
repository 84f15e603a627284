// The job's records and their limits: settings kept through their dictionary, the values a job
// refuses, the ranges offered to front ends, and the longest signal, which the engine writes
// completely with every size field right while neither the limits nor the writer let a file
// grow past what its size fields describe. (The longest files are sparse: the frames before
// the last blocks are silence the file system never stores.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "formats/SoundFileFactory.h"
#include "jobs/JobLimits.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "soundfile/ByteOrder.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"
#include "synth/SweepGenerator.h"
#include "synth/SweepMarkers.h"

using nlohmann::json;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Settings, DictionaryKeepsEveryFieldAndReadsUnusableKeysAsZero) {
    Settings s = ToneSettings(20.5, -40.0, 12.25, 96000.0);
    s.setFreq_to(19000.0);
    s.setLevel_to(-3.5);
    s.setChannelSetup(5);
    s.setSilence(0.5);
    s.setNumRepeats(7);
    json d = s.dictionary();
    EXPECT_TRUE(d["freq_from"].is_number_float());
    EXPECT_TRUE(d["channelSetup"].is_number_integer());
    EXPECT_EQ(d, Settings::FromDictionary(d).dictionary());
    Settings odd = Settings::FromDictionary(json{{"freq_from", "loud"}, {"numRepeats", 1e300}});
    EXPECT_EQ(odd.freq_from(), 0.0);
    EXPECT_EQ(odd.length(), 0.0);
    EXPECT_EQ(odd.numRepeats(), std::numeric_limits<std::int32_t>::max());
    EXPECT_FALSE(Settings::FromDictionary(json::array()).announce());
}

struct LimitCase {
    const char* what;
    Settings settings;
    std::optional<JobValue> refused;
};
class JobLimitsCheck : public testing::TestWithParam<LimitCase> {};
TEST_P(JobLimitsCheck, RefusesTheFirstValueOutOfRange) {
    auto violation = CheckJobSettings(GetParam().settings, SaveOptions());
    ASSERT_EQ(violation.has_value(), GetParam().refused.has_value()) << GetParam().what;
    if (violation) EXPECT_EQ(violation->value, *GetParam().refused) << GetParam().what;
}
INSTANTIATE_TEST_SUITE_P(
    Values, JobLimitsCheck,
    testing::Values(
        LimitCase{"edges", ToneSettings(192000, 0, 1.0 / 384000, 384000), {}},
        LimitCase{"lowest level and rate", ToneSettings(1, -120, 1, 8000), {}},
        LimitCase{"rate low", ToneSettings(1000, -10, 10, 7999), JobValue::sampleRate},
        LimitCase{"rate NaN", ToneSettings(1000, -10, 10, kNaN), JobValue::sampleRate},
        LimitCase{"above half rate", ToneSettings(22050.5, -10, 10, 44100), JobValue::freqFrom},
        LimitCase{"under 1 Hz", ToneSettings(0.5, -10, 10, 44100), JobValue::freqFrom},
        LimitCase{"level above 0", ToneSettings(1000, 0.01, 10, 44100), JobValue::levelFrom},
        LimitCase{"level -inf", ToneSettings(1000, -kInf, 10, 44100), JobValue::levelFrom},
        LimitCase{"under one frame", ToneSettings(1000, -10, 1e-6, 44100), JobValue::length},
        LimitCase{"length NaN", ToneSettings(1000, -10, kNaN, 44100), JobValue::length}));

// A value out of range, clamped into the range a front end is offered, is one the job accepts:
// the ranges and the check cannot drift apart.
struct RangeCase {
    JobValue value;
    double outside;
};
class JobLimitsRange : public testing::TestWithParam<RangeCase> {};
TEST_P(JobLimitsRange, ClampedValueIsAccepted) {
    const auto [value, outside] = GetParam();
    SaveOptions o;
    if (value == JobValue::silence || value == JobValue::numRepeats)
        o.setOutputType(kOutputPhaseCheck);
    Settings s = ToneSettings(1000, -10, 10, 48000);
    auto set = [&, value = value](double v) {
        if (value == JobValue::sampleRate) s.setSampleRate(v);
        if (value == JobValue::freqFrom) s.setFreq_from(v);
        if (value == JobValue::levelFrom) s.setLevel_from(v);
        if (value == JobValue::length) s.setLength(v);
        if (value == JobValue::silence) s.setSilence(v);
        if (value == JobValue::numRepeats) s.setNumRepeats(static_cast<std::int32_t>(v));
    };
    const ValueRange range = value == JobValue::sampleRate  ? SampleRateRange()
                             : value == JobValue::freqFrom  ? FrequencyRange(48000)
                             : value == JobValue::levelFrom ? LevelRange()
                             : value == JobValue::length    ? LengthRange(48000, o)
                             : value == JobValue::silence   ? SilenceRange()
                                                            : RepeatsRange();
    set(outside);
    auto refused = CheckJobSettings(s, o);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->value, value);
    set(range.Clamp(outside));
    EXPECT_FALSE(CheckJobSettings(s, o));
}
INSTANTIATE_TEST_SUITE_P(
    Values, JobLimitsRange,
    testing::Values(RangeCase{JobValue::sampleRate, 1e6}, RangeCase{JobValue::freqFrom, 0.25},
                    RangeCase{JobValue::freqFrom, 99999}, RangeCase{JobValue::levelFrom, -500},
                    RangeCase{JobValue::length, 1e9}, RangeCase{JobValue::silence, -1},
                    RangeCase{JobValue::numRepeats, 101}));

struct LongestCase {
    std::int32_t fileType, dataFormat;
};

class LongestFile : public testing::TestWithParam<LongestCase> {
  protected:
    static constexpr double kRate = 384000.0;
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
    // A marker with a name of the longest length.
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
    // The longest length a refusal names is accepted, and a second more is not.
    auto refusal = CheckJobSettings(ToneSettings(1000, -10, 1e9, kRate), options);
    ASSERT_TRUE(refusal);
    const std::string& accepted = refusal->accepted;
    const double longest = std::stod(accepted.substr(accepted.find("at most ") + 8));
    EXPECT_FALSE(CheckJobSettings(ToneSettings(1000, -10, longest, kRate), options));
    EXPECT_TRUE(CheckJobSettings(ToneSettings(1000, -10, longest + 1, kRate), options));

    // The last blocks of the signal, then as many long-named markers as a signal ever gets.
    constexpr std::int32_t kTailFrames = 2 * kSweepBlockFrames;
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
    EXPECT_LE(size, LargestFile());
    EXPECT_LT(LargestFile() - size, 1024); // the limits keep no more room than the chunks take
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_LT(std::int64_t(info.st_blocks) * 512, 64 << 20) << "the file is not sparse";
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
    // Read back past 2 GiB: the frame count, and the markers that follow the data.
    SoundFileView view = ReadWithLibsndfile(path, false);
    EXPECT_EQ(view.frames, most);
    EXPECT_EQ(view.markerCount, std::uint32_t(kMaxSignalMarkers));

    // The writer refuses a frame that would end past the largest file, and a close whose
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

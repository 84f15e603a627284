// Jobs: an announced tone read back with libsndfile against the closed-form tone; a tone, a sweep
// and a phase check stopped, or with each of their file calls failed in turn, over an earlier
// output; and what a job refuses: values out of range, a signal longer than its file can hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "formats/OpenSoundFile.h"
#include "formats/SoundFileFactory.h"
#include "jobs/AppController.h"
#include "jobs/JobLimits.h"
#include "jobs/PhaseCheck.h"
#include "shell/SharedFlags.h"
#include "support/FaultyFileServices.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"
#include "synth/SweepMarkers.h"

namespace fs = std::filesystem;
using testing::ElementsAre;

namespace {

// An announced tone in an AIFF file with the shipped voices: the announcement, a second of
// silence, then the tone, every sample within one 16-bit step of A sin(2 pi f n / rate), with
// markers at the start and where the tone starts and ends.
TEST(AnnouncedToneJob, WritesAnnouncementSilenceThenTheClosedFormTone) {
    const double rate = 44100.0, freq = 1000.0, level = -10.0;
    TempDir folder;
    RecordingDesktop desktop;
    AppController controller;
    controller.saveOptions().setOutputType(kOutputTestTone);
    controller.saveOptions().setFileType(kFileTypeAIFF);
    controller.settings() = ToneSettings(freq, level, 1.0, rate);
    controller.settings().setAnnounce(true);
    controller.generateFile(folder.File("tone"));
    EXPECT_FALSE(controller.progress().error) << testing::PrintToString(desktop.logLines);
    EXPECT_DOUBLE_EQ(controller.progress().percentage, 1.0);

    SoundFileView file = ReadWithLibsndfile(folder.File("tone.aif"));
    ASSERT_EQ(file.markers.size(), 3u);
    const std::int64_t start = file.markers[1];
    EXPECT_EQ(file.markers, (std::vector<std::int64_t>{0, start, start + 44100}));
    ASSERT_GT(start, 44100);
    ASSERT_EQ(std::int64_t(file.samples.size()), start + 44100);
    EXPECT_GT(*std::max_element(file.samples.begin(), file.samples.begin() + start - 44100), 0.01);
    EXPECT_TRUE(std::all_of(&file.samples[start - 44100], &file.samples[start], [](double v) {
        return v == 0.0;
    })) << "the second before the tone";
    for (std::int64_t n = 0; n < 44100; ++n)
        ASSERT_NEAR(file.samples[start + n],
                    std::pow(10.0, level / 20.0) * std::sin(2.0 * M_PI * freq * n / rate),
                    1.0 / 32768.0)
            << "frame " << n << " of the tone";
}

struct JobCase {
    const char* name;
    std::int32_t outputType, fileType;
    bool announce, interleaved;
};

// A job over an earlier output: a file at the target, or one file of an earlier set.
class JobOverEarlierOutput : public testing::TestWithParam<JobCase> {
  protected:
    JobOverEarlierOutput() {
        controller.saveOptions().setOutputType(GetParam().outputType);
        controller.saveOptions().setFileType(GetParam().fileType);
        controller.saveOptions().setInterleaved(GetParam().interleaved);
        controller.settings() = ToneSettings(1000, -10, 0.3, 8000);
        controller.settings().setFreq_to(3000);
        controller.settings().setAnnounce(GetParam().announce);
        controller.settings().setSilence(0.0);
        controller.settings().setNumRepeats(0);
        controller.setPhaseCheckFileName(PhaseCheckFileName(8000, 16, "Stereo"));
        target = earlier = controller.targetPath(folder.File("out"));
        if (IsSet()) earlier = (target = folder.File("set")) + "/8k_16b_PhaseChk.Stereo.L.aif";
    }
    bool IsSet() const { return GetParam().outputType == kOutputPhaseCheck; }

    void Run(FaultyFileServices& files) {
        fs::remove_all(folder.Path());
        fs::create_directories(fs::path(earlier).parent_path());
        std::ofstream(earlier) << "the earlier output";
        desktop.alerts = desktop.logLines = {};
        FileServicesScope scope(files);
        controller.generateFile(IsSet() ? target : folder.File("out"));
        EXPECT_TRUE(controller.progress().done);
    }
    void ExpectEarlierOutputAlone() {
        EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre(fs::path(target).filename()));
        std::ifstream in(earlier);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the earlier output");
    }
    std::vector<std::vector<double>> Output() {
        std::vector<std::vector<double>> samples;
        for (const auto& name : IsSet() ? FolderEntries(target) : std::vector<std::string>{""})
            samples.push_back(ReadWithLibsndfile(IsSet() ? target + "/" + name : target).samples);
        return samples;
    }

    TempDir folder;
    RecordingDesktop desktop;
    AppController controller;
    std::string target, earlier;
};

// A stopped job is reported as cancelled; a folder of the user's at the target fails the job.
// Either way what was there is left as it was.
TEST_P(JobOverEarlierOutput, StopAndAFolderOfTheUsersLeaveWhatWasThere) {
    FaultyFileServices files;
    shouldStop = 1;
    Run(files);
    EXPECT_TRUE(controller.progress().cancelled);
    EXPECT_FALSE(controller.progress().error);
    EXPECT_EQ(shouldStop, 0);
    EXPECT_TRUE(desktop.alerts.empty());
    ExpectEarlierOutputAlone();
    earlier = target + "/mix.wav";
    Run(files);
    EXPECT_TRUE(controller.progress().error);
    EXPECT_EQ(desktop.alerts.size(), 1u);
    ExpectEarlierOutputAlone();
}

// Each call of each kind a clean run makes, failed in turn: the job fails with its own alert and
// leaves the folder as it found it, or, when the call did not matter, ends with the clean run's
// output (an earlier set it could not remove may stay, named in the log).
TEST_P(JobOverEarlierOutput, EveryFailedCallIsReportedAndCostsNothing) {
    FaultyFileServices counting;
    Run(counting);
    ASSERT_FALSE(controller.progress().error) << testing::PrintToString(desktop.logLines);
    const auto clean = Output();
    ASSERT_FALSE(clean.empty() || clean[0].empty());
    int runs = 0;
    for (int op = 0; op < kFileOperationCount; ++op) {
        for (int k = 1; k <= counting.Calls(FileOperation(op)); ++k, ++runs) {
            SCOPED_TRACE("operation " + std::to_string(op) + " call " + std::to_string(k));
            FaultyFileServices faulty;
            faulty.FailAt(FileOperation(op), k,
                          op == int(FileOperation::Write) ? kErrDiskFull : kErrIO);
            Run(faulty);
            EXPECT_FALSE(controller.progress().cancelled);
            if (controller.progress().error) {
                EXPECT_THAT(desktop.alerts,
                            ElementsAre(IsSet() ? kSoundFilesAlertTitle : kSoundFileAlertTitle));
                ExpectEarlierOutputAlone();
                continue;
            }
            EXPECT_TRUE(desktop.alerts.empty());
            EXPECT_TRUE(Output() == clean) << "succeeded with other output";
            // Only an earlier set that could not be listed or removed may stay behind.
            EXPECT_TRUE(FolderEntries(folder.Path()).size() == 1 ||
                        op == int(FileOperation::Remove) || op == int(FileOperation::List));
        }
    }
    EXPECT_GT(runs, 20);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Jobs, JobOverEarlierOutput, testing::Values(
    JobCase{"AnnouncedAIFFTone", kOutputTestTone, kFileTypeAIFF, true, false},
    JobCase{"BroadcastWaveSweep", kOutputCustomSweep, kFileTypeBroadcastWave, false, false},
    JobCase{"PhaseCheck", kOutputPhaseCheck, kFileTypeAIFF, false, false},
    JobCase{"InterleavedPhaseCheck", kOutputPhaseCheck, kFileTypeBroadcastWave, false, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Each value out of range in turn, after one with every value at its edge: the first value out
// of range is the one refused.
TEST(JobLimits, RefuseTheFirstValueOutOfRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<Settings, std::optional<JobValue>> cases[] = {
        {ToneSettings(191999, 0, 1.0 / 384000, 384000), std::nullopt},
        {ToneSettings(1000, -10, 10, nan), JobValue::sampleRate},
        {ToneSettings(1000, -10, 10, 44100.5), JobValue::sampleRate},
        {ToneSettings(22050, -10, 10, 44100), JobValue::freqFrom}, // all its samples are zero
        {ToneSettings(1000, 0.01, 10, 44100), JobValue::levelFrom},
        {ToneSettings(1000, -10, nan, 44100), JobValue::length}};
    for (const auto& [settings, refused] : cases) {
        auto violation = CheckJobSettings(settings, SaveOptions());
        EXPECT_EQ(violation ? std::optional(violation->value) : std::nullopt, refused)
            << "case " << &refused - &cases[0].second;
    }
}

// The longest signal of a Broadcast WAVE file is the most frames the 32-bit positions reach;
// one frame more is refused. Such a job makes its file large, and that file, with as many
// long-named markers as a signal gets, closes as RF64 past 4 GiB; a file not made large refuses
// a frame past 4 GiB. (The files are sparse: only the last frame is stored.)
TEST(LongestSignal, FitsTheFileAndOneFrameMoreIsRefused) {
    const double rate = 384000.0;
    SaveOptions options;
    options.setFileType(kFileTypeBroadcastWave);
    options.setDataFormat(2);
    const std::int32_t most = MaxSignalFrames(options.realFileType(), options.wordLength());
    EXPECT_EQ(most, 0x7FFFFFFF);
    EXPECT_FALSE(CheckSignalLength((most + 0.5) / rate, rate, options));
    EXPECT_TRUE(CheckSignalLength((most + 1.5) / rate, rate, options));
    EXPECT_TRUE(WantsLargeFile(ToneSettings(1000, -10, most / rate, rate), options, 1));
    EXPECT_FALSE(WantsLargeFile(ToneSettings(1000, -10, 600, rate), options, 1));
    TempDir dir;
    unsigned char specifics[256] = {};
    double sample = 0.25, *block = &sample;
    std::int32_t count = 1;
    FSSpec smallRef = dir.Spec("small");
    auto small = CreateSoundFile(options.realFileType());
    ASSERT_EQ(small->ISoundFile(&smallRef), kNoErr);
    ASSERT_EQ(small->Create(1, 24, float(rate), specifics, 0, nullptr), kNoErr);
    EXPECT_EQ(small->Write(0, 0x55555555, &count, &block), kErrFileTooLarge); // ends past 4 GiB
    FSSpec ref = dir.Spec("longest");
    auto file = CreateSoundFile(options.realFileType());
    ASSERT_EQ(file->ISoundFile(&ref), kNoErr);
    file->SetLargeFile(true);
    ASSERT_EQ(file->Create(1, 24, float(rate), specifics, 0, nullptr), kNoErr);
    count = 1;
    ASSERT_EQ(file->Write(0, most - 1, &count, &block), kNoErr);
    SFTMarker marker{};
    marker.name[0] = kSFTMaxNameLength;
    std::fill(marker.name + 1, marker.name + 1 + kSFTMaxNameLength, 'x');
    while (file->GetNumMarkers() < kMaxSignalMarkers)
        ASSERT_EQ(file->AddMarker(&marker), kNoErr);
    ASSERT_EQ(file->Close(), kNoErr);
    EXPECT_GT(std::filesystem::file_size(dir.File("longest")), 0xFFFFFFFFu);
    std::unique_ptr<CSoundFile> back;
    ASSERT_EQ(OpenSoundFile(ref, &back), kNoErr);
    EXPECT_EQ(back->GetNumSFrames(), most);
    double last = 0;
    EXPECT_EQ(back->GetSample(0, most - 1, &last), kNoErr);
    EXPECT_EQ(last, 0.25);
}

} // namespace

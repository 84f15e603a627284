// Every file operation a job makes, made to fail in turn: for each kind of operation, the
// first, the second, ... up to the last call of that kind a clean run makes. A job either
// fails, tells the user with its own alert and leaves the folder as it found it (the earlier
// output untouched, nothing unfinished left), or, when the failed call did not matter,
// succeeds with output equal to the clean run's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jobs/AppController.h"
#include "jobs/PhaseCheck.h"
#include "shell/SharedFlags.h"
#include "support/FaultyFileServices.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

struct FaultJob {
    const char* name;
    std::int32_t outputType, fileType;
    bool announce;
};

class JobFaults : public testing::TestWithParam<FaultJob> {
  protected:
    JobFaults() {
        shouldStop = 0;
        controller.saveOptions().setOutputType(GetParam().outputType);
        controller.saveOptions().setFileType(GetParam().fileType);
        if (IsSet()) {
            Settings& s = controller.settings();
            s.setSampleRate(8000);
            s.setSilence(0.0);
            s.setChannelSetup(0);
            s.setNumRepeats(0);
            controller.setPhaseCheckFileName(PhaseCheckFileName(8000, 16, "Stereo"));
            target = folder.File("set");
            earlierFile = target + "/8k_16b_PhaseChk.Stereo.L.aif";
        } else {
            controller.settings() = ToneSettings(1000, -10, 0.3, 8000);
            controller.settings().setFreq_to(3000);
            target = earlierFile = controller.targetPath(folder.File("out"));
        }
        controller.settings().setAnnounce(GetParam().announce);
    }
    bool IsSet() const { return GetParam().outputType == kOutputPhaseCheck; }

    // The earlier output alone in the folder, then the job.
    void Run() {
        fs::remove_all(folder.Path());
        fs::create_directories(fs::path(earlierFile).parent_path());
        std::ofstream(earlierFile) << "the earlier output";
        desktop.alerts.clear();
        desktop.logLines.clear();
        controller.generateFile(IsSet() ? target : folder.File("out"));
    }

    // Samples of every file of the output, by name.
    std::vector<std::vector<double>> Output() {
        std::vector<std::vector<double>> samples;
        for (const auto& name : IsSet() ? FolderEntries(target) : std::vector<std::string>{""})
            samples.push_back(
                ReadWithLibsndfile(name.empty() ? target : target + "/" + name).samples);
        return samples;
    }

    TempDir folder;
    RecordingDesktop desktop;
    AppController controller;
    std::string target, earlierFile;
};

TEST_P(JobFaults, EveryFailedCallIsReportedAndCostsNothing) {
    const char* title = IsSet() ? kSoundFilesAlertTitle : kSoundFileAlertTitle;
    FaultyFileServices counting;
    {
        FileServicesScope scope(counting);
        Run();
    }
    ASSERT_FALSE(controller.progress().error) << testing::PrintToString(desktop.logLines);
    const auto clean = Output();
    ASSERT_FALSE(clean.empty());
    ASSERT_FALSE(clean[0].empty());

    int runs = 0;
    for (int op = 0; op < kFileOperationCount; ++op) {
        for (int k = 1; k <= counting.Calls(FileOperation(op)); ++k, ++runs) {
            const std::string which =
                "operation " + std::to_string(op) + " call " + std::to_string(k);
            FaultyFileServices faulty;
            faulty.FailAt(FileOperation(op), k,
                          FileOperation(op) == FileOperation::Write ? kErrDiskFull : kErrIO);
            {
                FileServicesScope scope(faulty);
                Run();
            }
            const JobProgress& progress = controller.progress();
            ASSERT_TRUE(progress.done) << which;
            EXPECT_FALSE(progress.cancelled) << which;
            std::vector<std::string> left = FolderEntries(folder.Path());
            if (progress.error) {
                EXPECT_FALSE(desktop.alerts.empty()) << which;
                for (const auto& alert : desktop.alerts) EXPECT_EQ(alert.first, title) << which;
                EXPECT_THAT(left, testing::ElementsAre(fs::path(target).filename())) << which;
                std::ifstream in(earlierFile);
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the earlier output")
                    << which;
                continue;
            }
            EXPECT_TRUE(desktop.alerts.empty()) << which;
            EXPECT_TRUE(Output() == clean) << which << " succeeded with other output";
            // Only the earlier set, when it could not be removed, may stay behind, named in
            // the log.
            if (left.size() > 1) {
                EXPECT_EQ(FileOperation(op), FileOperation::Remove) << which;
                ASSERT_EQ(left.size(), 2u) << which;
                EXPECT_THAT(desktop.logLines, testing::Contains(testing::HasSubstr(
                                                  left[0] == "set" ? left[1] : left[0])))
                    << which;
            }
        }
    }
    EXPECT_GT(runs, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, JobFaults,
    testing::Values(FaultJob{"AnnouncedAIFFTone", kOutputTestTone, kFileTypeAIFF, true},
                    FaultJob{"BroadcastWaveSweep", kOutputCustomSweep, kFileTypeBroadcastWave,
                             false},
                    FaultJob{"PhaseCheck", kOutputPhaseCheck, kFileTypeAIFF, false}),
    [](const testing::TestParamInfo<FaultJob>& info) { return info.param.name; });

} // namespace

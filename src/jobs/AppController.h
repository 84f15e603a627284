#pragma once
// AppController: the job controller behind the window and quillgen. It owns the job records,
// the speaker table and the progress state, and runs the tone and sweep job on a worker thread.
// The window half (tabs, save panel, progress sheet) lives with the user interface and drives
// the operations here.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/TxSoundFile.h"
#include "jobs/FailureTexts.h"
#include "jobs/JobProgress.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "shell/NotificationCenter.h"
#include "soundfile/Memory.h"

class AppController {
  public:
    // Declares the preference defaults that the file readers consult; runs once however often
    // it is called. The constructor calls it.
    static void initialize();

    // Default settings, the save options restored from the preferences, the progress
    // subscription and the speaker table.
    AppController();
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    Settings& settings() { return jobSettings; }
    SaveOptions& saveOptions() { return jobSaveOptions; }
    const nlohmann::json& speakers() const { return speakerTable; }
    JobProgress& progress() { return progressState; }

    // The proposed name of the output, by job kind; `layoutTitle` names the speaker layout of a
    // phase and channel check. None for an unknown kind.
    std::optional<std::string> fileName(const std::string& layoutTitle = {}) const;
    // The extension of the chosen file type ("aif" or "wav").
    std::string outputExtension() const;
    // The job writes a folder of files (a phase or level check, a line-up signal split into one
    // file per speaker) rather than one file.
    bool writesFolder() const;
    // The file a job for `chosenPath` writes: chosenPath + "." + extension (for a phase check,
    // the directory chosenPath itself).
    std::string targetPath(const std::string& chosenPath) const;
    // The extension a tone or sweep file gets instead of its type's own, as the user spelled
    // it ("aiff", "WAV"); empty gives the type's own again.
    void setTargetExtension(std::string extension) { targetExtension = std::move(extension); }

    // Keeps the save options in the preferences (done when the user confirms the save panel).
    void storeSaveOptions() const;
    // Clears the cancel flag and runs generateFile(chosenPath) on a new thread. The progress
    // state is reset before the thread starts, so a poller never sees the last job's `done`.
    // One job runs at a time in the process (all jobs share the cancel flag and the converter's
    // filter table): while one runs, nothing is started and the returned thread is not joinable.
    std::thread startJob(const std::string& chosenPath);
    // A job started by startJob, by any controller, has not yet returned.
    static bool jobRunning();

    // Worker: the whole job for the current kind; `done` is set when it returns. Jobs of
    // other controllers in the process wait for it to end before they start.
    void generateFile(const std::string& chosenPath);
    // Worker: the tone or sweep file for `chosenPath`.
    void makeVivuZiraFile(const std::string& chosenPath);
    // The channels of one output file and the WAVE channel mask it carries, if any.
    struct FileShape {
        int channels = 1;
        std::optional<std::uint32_t> channelMask;
        // The file type and word length when they are not the job's save options'.
        std::optional<SaveOptions> format;
    };
    // Worker: one file for `target`, filled by `fill` under a temporary name beside it and put
    // in its place once complete (nothing is put in place after a stop). A failure raised by
    // `fill` or met on the way is told to the user; the unfinished file is removed.
    void writeOneFile(const std::string& target, const FileShape& shape,
                      const std::function<void(TxSoundFile&)>& fill);
    // The Broadcast WAVE header block (256 zero bytes) for fileType 1, else an empty block.
    // Raises "QUILException" when it cannot be allocated.
    MemBlock specifics() const;
    static MemBlock specificsFor(const SaveOptions& options);
    // Creates directory/baseName.preExtension.extension for output; null (after telling the
    // user) when that fails.
    std::unique_ptr<TxSoundFile> createSoundFile(const std::string& baseName,
                                                 const std::string& preExtension,
                                                 const std::string& directory);
    // Creates directory/baseName.extension for output with one channel per speaker, and returns
    // one handle per speaker in `speakers`' order (InterleavedChannels places the channels);
    // empty (after telling the user) when that fails.
    std::vector<std::unique_ptr<TxSoundFile>>
    createInterleavedFiles(const std::string& baseName, const std::vector<std::string>& speakers,
                           const std::string& directory);
    // Worker: the inverse filter of the settings' sweep beside the sweep's file at `sweepPath`,
    // as a 32-bit float Broadcast WAVE file whose marker names where the sweep starts in its own
    // file (`sweepStart`, after the announcement).
    void writeInverseFilter(const std::string& sweepPath, std::int32_t sweepStart);
    // Speaks the parameters of the tone or sweep into `file` at its position; returns the
    // frames it took. Called by makeVivuZiraFile when `announce` is set.
    std::int32_t announceVivuZira(TxSoundFile& file);

    // Poster's thread: stores the fraction done that the generator reports.
    void handleProgressNotification(const std::any& object);
    // Main thread: asks the running job to stop at its next check.
    void stopWriting();

    const std::string& phaseCheckFileName() const { return phaseCheckName; }
    // The stem of the file names of a set from the current records: "48k_24b_PhaseChk.5.1".
    std::string speakerSetStem() const;
    void setPhaseCheckFileName(std::string name) { phaseCheckName = std::move(name); }

  private:
    // Worker: the noise of a noise file after its announcement, marked; a level whose peaks
    // would clip raises "QUILException" naming the highest level the noise takes.
    int GenerateNoiseFile(TxSoundFile& file, std::int32_t announcementFrames);
    // Tells the user about a failure: a log line and an alert that waits for dismissal.
    void reportFailure(const std::string& logLine, const std::string& reason, const char* title,
                       const char* message);
    // Runs `create` with the Broadcast WAVE header block; a failure is told to the user.
    template <typename Create> void ReportingFailures(Create create);
    std::unique_ptr<TxSoundFile> createTemporaryFile(const std::string& folder,
                                                     void* specificsBlock,
                                                     std::string* temporaryPath,
                                                     const FileShape& shape);

    Settings jobSettings;
    SaveOptions jobSaveOptions;
    JobProgress progressState;
    std::string phaseCheckName;
    std::string targetExtension;
    nlohmann::json speakerTable = nlohmann::json::object();
    std::unique_ptr<ScopedObserver> progressObserver;
};

#include "jobs/AppController.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>

#include "jobs/Announcer.h"
#include "jobs/JobLimits.h"
#include "jobs/PhaseCheck.h"
#include "shell/DesktopServices.h"
#include "shell/Preferences.h"
#include "shell/QuillException.h"
#include "shell/Resources.h"
#include "shell/SharedFlags.h"
#include "shell/TxFiles.h"
#include "synth/SampleRateConverter.h"
#include "synth/SweepGenerator.h"

namespace {

constexpr double kVoiceSampleRate = 48000.0;
constexpr std::size_t kSpecificsSize = 256;
constexpr int kTemporaryNameAttempts = 16;

std::string Formatted(const char* format, double a, double b, double c) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

[[noreturn]] void Raise(const std::string& reason) { throw QuillException(kQUILException, reason); }

// The folder part of a path, "" for a bare name (the current folder).
std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& leaf) {
    if (folder.empty()) return leaf;
    if (folder.back() == '/') return folder + leaf;
    return folder + "/" + leaf;
}

// "quilfile-" and twelve random hex digits: a name no other job picks.
std::string TemporaryLeafName() {
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}() ^
                                     (static_cast<std::uint64_t>(getpid()) << 32)};
    std::lock_guard lock(mutex);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%012llx",
                  static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFULL));
    return std::string(kTemporaryFileStem) + "-" + suffix;
}

// What lies at a path itself, symbolic links not followed.
std::filesystem::file_type EntryType(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type();
}

bool EntryExists(const std::string& path) {
    auto type = EntryType(path);
    return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
}

// Set from the start of a job by startJob until its worker returns.
std::atomic<bool> jobInProcess{false};

} // namespace

void AppController::initialize() {
    static std::once_flag once;
    std::call_once(once, [] { DeclareReaderDefaults(); });
}

AppController::AppController() {
    initialize();
    if (auto stored = Preferences::Shared().GetObject(kSaveOptionsKey))
        jobSaveOptions = SaveOptions::FromDictionary(*stored);
    progressObserver = std::make_unique<ScopedObserver>(
        kSweepGeneratorProgressNotification,
        [this](const std::string&, const std::any& object) { handleProgressNotification(object); });
    if (auto path = PathForResource("speakers", "json")) {
        if (auto table = DictionaryFromFile(*path); table && table->is_object())
            speakerTable = *table;
    }
}

AppController::~AppController() = default;

std::optional<std::string> AppController::fileName(const std::string& layoutTitle) const {
    const Settings& s = jobSettings;
    switch (jobSaveOptions.outputType()) {
    case kOutputTestTone:
        return Formatted("VivuZira %.0f Hz, %5.2f dB, %.0f sec", s.freq_to(), s.level_to(),
                         s.length());
    case kOutputFullSweep:
        return Formatted("Full Sweep %5.2f dB, %.1f kHz, %.0f sec", s.level_to(),
                         s.sampleRate() / 1000.0, s.length());
    case kOutputCustomSweep:
        return Formatted("Custom Sweep %.0f-%.0f Hz in %.0f sec", s.freq_from(), s.freq_to(),
                         s.length());
    case kOutputPhaseCheck:
        return "Phase Check for " + layoutTitle;
    default:
        return std::nullopt;
    }
}

std::string AppController::outputExtension() const {
    return TxSoundFile::extensionForType(TxSoundFile::typeKey(jobSaveOptions.realFileType()))
        .value_or("aif");
}

std::string AppController::targetPath(const std::string& chosenPath) const {
    // A phase check writes its files into the chosen directory itself.
    if (jobSaveOptions.outputType() == kOutputPhaseCheck) return chosenPath;
    return chosenPath + "." + outputExtension();
}

void AppController::storeSaveOptions() const {
    Preferences::Shared().SetObject(kSaveOptionsKey, jobSaveOptions.dictionary());
}

bool AppController::jobRunning() { return jobInProcess; }

std::thread AppController::startJob(const std::string& chosenPath) {
    if (jobInProcess.exchange(true)) return {};
    shouldStop = 0;
    progressState.Begin();
    return std::thread([this, chosenPath] {
        generateFile(chosenPath);
        jobInProcess = false;
    });
}

void AppController::generateFile(const std::string& chosenPath) {
    progressState.Begin();
    switch (jobSaveOptions.outputType()) {
    case kOutputTestTone:
    case kOutputFullSweep:
    case kOutputCustomSweep:
        makeVivuZiraFile(chosenPath);
        break;
    case kOutputPhaseCheck:
        makePhaseCheckFiles(*this, chosenPath);
        break;
    default:
        break;
    }
    progressState.done = true;
}

MemBlock AppController::specifics() const {
    MemBlock block;
    if (jobSaveOptions.fileType() == kFileTypeBroadcastWave &&
        block.Allocate(kSpecificsSize, true) != kNoErr)
        Raise("not enough memory for bwf specifics");
    return block;
}

std::unique_ptr<TxSoundFile> AppController::createTemporaryFile(const std::string& folder,
                                                                void* specificsBlock,
                                                                std::string* temporaryPath) {
    // The format's create refuses an existing name, so a file left by another run is never
    // reused or overwritten: such a name is skipped and another one tried.
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string candidate = Join(folder, TemporaryLeafName());
        if (EntryExists(candidate)) continue;
        auto file = TxSoundFile::initWithType(
            jobSaveOptions.realFileType(), candidate, 1, jobSaveOptions.wordLength(),
            static_cast<float>(jobSettings.sampleRate()), true, specificsBlock);
        if (file) {
            *temporaryPath = candidate;
            return file;
        }
        // A create that failed half-way may have left the file behind.
        if (EntryExists(candidate)) PathServices::Current().RemoveTree(candidate);
        return nullptr;
    }
    return nullptr;
}

void AppController::makeVivuZiraFile(const std::string& chosenPath) {
    const Settings& s = jobSettings;
    PathServices& files = PathServices::Current();
    std::string temporaryPath;
    bool keepTemporary = false;
    MemBlock specificsBlock;
    std::unique_ptr<TxSoundFile> file;
    bool sincTableMade = false;
    try {
        specificsBlock = specifics();
        int r = InitPolyPhase(s.sampleRate(), kVoiceSampleRate);
        sincTableMade = true;
        if (r != 0)
            QuillException::Raise(kQUILException,
                                  "could not create sinc table for polyphase sample rate "
                                  "conversion because of error %d",
                                  r);
        std::string target = targetPath(chosenPath);
        // Only a plain file is replaced: a folder or anything else there is left alone.
        if (EntryExists(target)) {
            if (EntryType(target) != std::filesystem::file_type::regular)
                Raise("'" + target + "' exists and is not a file, so it is not replaced");
            files.RemoveTree(target);
        }
        file = createTemporaryFile(FolderOf(chosenPath), specificsBlock.Data(), &temporaryPath);
        if (!file) Raise("could not create sound file");
        std::int32_t announcementFrames = s.announce() ? announceVivuZira(*file) : 0;
        // The announcement's length is known only once it is spoken: a signal that would no
        // longer fit is refused before any of it is written.
        if (auto violation =
                CheckSignalLength(s.length(), s.sampleRate(), jobSaveOptions, announcementFrames))
            Raise("the signal does not fit into the file; its length must be " +
                  violation->accepted);
        r = GenerateSweep(file->soundFile(), announcementFrames, s.length(), s.sampleRate(),
                          s.level_from(), s.level_to(), s.freq_from(), s.freq_to(), true);
        if (r != 0) QuillException::Raise(kQUILException, "error %d during GenerateSweep()", r);
        file->close();
        if (shouldStop != 0) {
            shouldStop = 0;
            progressState.cancelled = true;
        } else {
            if (!files.MoveFile(temporaryPath, target))
                Raise("could not move the finished file to '" + target + "'");
            keepTemporary = true; // it is the target now
            files.TellDesktop(target);
        }
    } catch (const QuillException& e) {
        progressState.error = true;
        reportFailure(e.LogLine(), kSoundFileAlertTitle,
                      kSoundFileAlertMessage);
    } catch (const std::exception& e) {
        progressState.error = true;
        reportFailure(std::string("std::exception thrown: ") + e.what() + " - ", kSoundFileAlertTitle, kSoundFileAlertMessage);
    }
    // The file is released before the header block it may still read when closing.
    file.reset();
    if (!temporaryPath.empty() && !keepTemporary) files.RemoveTree(temporaryPath);
    specificsBlock.Free();
    if (sincTableMade) freeSincTable();
}

std::unique_ptr<TxSoundFile> AppController::createSoundFile(const std::string& baseName,
                                                            const std::string& preExtension,
                                                            const std::string& directory) {
    MemBlock specificsBlock = specifics();
    std::unique_ptr<TxSoundFile> file;
    try {
        std::string path =
            directory + "/" + baseName + "." + preExtension + "." + outputExtension();
        file = TxSoundFile::initWithType(jobSaveOptions.realFileType(), path, 1,
                                         jobSaveOptions.wordLength(),
                                         static_cast<float>(jobSettings.sampleRate()), true,
                                         specificsBlock.Data());
    } catch (const QuillException& e) {
        reportFailure(e.LogLine(), kSoundFilesAlertTitle,
                      kSoundFilesAlertMessage);
    } catch (const std::exception& e) {
        reportFailure(std::string("std::exception thrown: ") + e.what() + " - ", kSoundFilesAlertTitle,
                      kSoundFilesAlertMessage);
    }
    // A file that was not made is the caller's to report.
    return file;
}

std::int32_t AppController::announceVivuZira(TxSoundFile& file) {
    return Announcer(jobSettings, jobSaveOptions, progressState).announceVivuZira(file);
}

void AppController::handleProgressNotification(const std::any& object) {
    if (const double* fraction = std::any_cast<double>(&object)) progressState.percentage = *fraction;
    else if (const float* single = std::any_cast<float>(&object)) progressState.percentage = *single;
}

void AppController::stopWriting() { shouldStop = 1; }

void AppController::reportFailure(const std::string& logLine, const char* title,
                                  const char* message) {
    DesktopServices& desktop = DesktopServices::Current();
    desktop.log(logLine);
    desktop.alert(title, message);
}

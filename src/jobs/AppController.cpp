#include "jobs/AppController.h"
#include "jobs/JobKinds.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>

#include "jobs/Announcer.h"
#include "jobs/JobLimits.h"
#include "jobs/Lineup.h"
#include "jobs/MeasurementSweepJob.h"
#include "jobs/OutputFiles.h"
#include "jobs/PhaseCheck.h"
#include "shell/DesktopServices.h"
#include "shell/Preferences.h"
#include "shell/QuillException.h"
#include "shell/Resources.h"
#include "shell/SharedFlags.h"
#include "shell/TxFiles.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/Dither.h"
#include "soundfile/FileServices.h"
#include "synth/MeasurementSweep.h"
#include "synth/NoiseGenerator.h"
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

[[noreturn]] void Raise(const std::string& reason) {
    throw QuillException(kQUILException, reason);
}

// Dithers what is written into `file` while it lives (nothing when `dither` is null).
class DitherScope {
  public:
    DitherScope(CSoundFile& file, TpdfDither* dither) : file(file) { file.SetDitherSource(dither); }
    ~DitherScope() { file.SetDitherSource(nullptr); }
    DitherScope(const DitherScope&) = delete;
    DitherScope& operator=(const DitherScope&) = delete;

  private:
    CSoundFile& file;
};

// Set from the start of a job by startJob until its worker returns.
std::atomic<bool> jobInProcess{false};

// Only a plain file is replaced: a folder or anything else at `target` is left alone.
void RefuseAnythingButAFileAt(const std::string& target) {
    EntryKind there = EntryKind::none;
    if (Status status = CurrentFileServices().Kind(target, false, &there); status != kNoErr)
        Raise("cannot look at '" + target + "': " + FileStatusText(status));
    if (there != EntryKind::none && there != EntryKind::file)
        Raise("'" + target + "' exists and is not a file, so it is not replaced");
}

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
    switch (JobKindFromStored(jobSaveOptions.outputType())) {
    case JobKind::testTone:
        return Formatted("VivuZira %.0f Hz, %5.2f dB, %.0f sec", s.freq_to(), s.level_to(),
                         s.length());
    case JobKind::fullSweep:
        return Formatted("Full Sweep %5.2f dB, %.1f kHz, %.0f sec", s.level_to(),
                         s.sampleRate() / 1000.0, s.length());
    case JobKind::customSweep:
        return Formatted("Custom Sweep %.0f-%.0f Hz in %.0f sec", s.freq_from(), s.freq_to(),
                         s.length());
    case JobKind::phaseCheck:
        return "Phase Check for " + layoutTitle;
    case JobKind::noise: {
        const NoiseParameters& noise = s.noise();
        std::string band = noise.Banded()
                               ? Formatted(" %.0f-%.0f Hz,", noise.bandLow, noise.bandHigh, 0.0)
                               : std::string();
        return NoiseColorName(noise.color) + std::string(" Noise") + band +
               Formatted(" %5.2f dB RMS, %.0f sec", noise.level, s.length(), 0.0);
    }
    case JobKind::levelCheck:
        return "Level Check for " + layoutTitle;
    case JobKind::lineup:
        return LineupFileName(s);
    default:
        return std::nullopt;
    }
}

bool AppController::writesFolder() const {
    const JobKind kind = JobKindFromStored(jobSaveOptions.outputType());
    return Describe(kind).speakerSet() ||
           (kind == JobKind::lineup && LineupWritesFolder(jobSettings));
}

std::string AppController::speakerSetStem() const {
    const double rate = jobSettings.sampleRate();
    const int bits = jobSaveOptions.wordLength();
    const std::string layout = LayoutFileTag(jobSettings.channelSetup());
    return JobKindFromStored(jobSaveOptions.outputType()) == JobKind::levelCheck
               ? LevelCheckFileName(rate, bits, layout)
               : PhaseCheckFileName(rate, bits, layout);
}

std::string AppController::outputExtension() const {
    return TxSoundFile::extensionForType(TxSoundFile::typeKey(jobSaveOptions.realFileType()))
        .value_or("aif");
}

std::string AppController::targetPath(const std::string& chosenPath) const {
    // A phase or level check writes its files into the chosen directory itself.
    if (writesFolder()) return chosenPath;
    return chosenPath + "." + (targetExtension.empty() ? outputExtension() : targetExtension);
}

void AppController::storeSaveOptions() const {
    Preferences::Shared().SetObject(kSaveOptionsKey, jobSaveOptions.dictionary());
}

bool AppController::jobRunning() {
    return jobInProcess;
}

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
    // The sample-rate converter's table is process-wide (built and freed by each job), so the
    // jobs of one process take turns.
    static std::mutex converterInUse;
    std::lock_guard turn(converterInUse);
    progressState.Begin();
    switch (JobKindFromStored(jobSaveOptions.outputType())) {
    case JobKind::testTone:
    case JobKind::fullSweep:
    case JobKind::customSweep:
    case JobKind::noise:
        makeVivuZiraFile(chosenPath);
        break;
    case JobKind::phaseCheck:
    case JobKind::levelCheck:
        makePhaseCheckFiles(*this, chosenPath);
        break;
    case JobKind::lineup:
        makeLineupFiles(*this, chosenPath);
        break;
    default:
        break;
    }
    progressState.done = true;
}

MemBlock AppController::specifics() const {
    return specificsFor(jobSaveOptions);
}

MemBlock AppController::specificsFor(const SaveOptions& options) {
    MemBlock block;
    if (options.fileType() == kFileTypeBroadcastWave &&
        block.Allocate(kSpecificsSize, true) != kNoErr)
        Raise("not enough memory for bwf specifics");
    return block;
}

std::unique_ptr<TxSoundFile> AppController::createTemporaryFile(const std::string& folder,
                                                                void* specificsBlock,
                                                                std::string* temporaryPath,
                                                                const FileShape& shape) {
    if (std::string problem = FolderProblem(folder); !problem.empty())
        Raise("cannot write into the folder '" + (folder.empty() ? "." : folder) + "': " + problem);
    // The format's create refuses an existing name, so a file of another run is never reused
    // or overwritten: such a name is skipped and another one tried.
    Status status = kErrDuplicateFile;
    std::string candidate;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && status == kErrDuplicateFile;
         ++attempt) {
        candidate = JoinPath(folder, TemporaryLeafName());
        const SaveOptions& options = shape.format ? *shape.format : jobSaveOptions;
        auto file = TxSoundFile::initWithType(
            options.realFileType(), candidate, shape.channels, options.soundFileWordLength(),
            static_cast<float>(jobSettings.sampleRate()), true, specificsBlock, &status,
            shape.channelMask, WantsLargeFile(jobSettings, options, shape.channels));
        if (file) {
            *temporaryPath = candidate;
            return file;
        }
    }
    const std::string reason = FileStatusText(status);
    // A create that failed half-way leaves the file behind; a name that was taken is not ours.
    // Removing a file that was never made fails harmlessly.
    if (status != kErrDuplicateFile) (void)CurrentFileServices().Remove(candidate);
    Raise("could not create the sound file '" + candidate + "': " + reason);
}

void AppController::writeOneFile(const std::string& target, const FileShape& shape,
                                 const std::function<void(TxSoundFile&)>& fill) {
    FileServices& files = CurrentFileServices();
    ClearFileError();
    std::string temporaryPath; // set while a file of this job lies under its temporary name
    MemBlock specificsBlock;
    std::unique_ptr<TxSoundFile> file;
    bool sincTableMade = false;
    try {
        specificsBlock = specificsFor(shape.format.value_or(jobSaveOptions));
        int r = InitPolyPhase(jobSettings.sampleRate(), kVoiceSampleRate);
        sincTableMade = true;
        if (r != 0)
            QuillException::Raise(kQUILException,
                                  "could not create sinc table for polyphase sample rate "
                                  "conversion because of error %d",
                                  r);
        RefuseAnythingButAFileAt(target);
        // The file at the target, if any, stays as it is until the new one is complete.
        file = createTemporaryFile(FolderOf(target), specificsBlock.Data(), &temporaryPath, shape);
        fill(*file);
        if (shouldStop != 0) {
            shouldStop = 0;
            progressState.cancelled = true;
        } else {
            file->close(); // flushed to the disk before it takes the target's place
            if (Status status = files.Rename(temporaryPath, target); status != kNoErr)
                Raise("could not move the finished file '" + temporaryPath + "' to '" + target +
                      "': " + FileStatusText(status));
            temporaryPath.clear(); // it is the target now
            PathServices::Current().TellDesktop(target);
        }
    } catch (const QuillException& e) {
        const QuillException named(e.name(), NamingTarget(e.reason(), target), e.userInfo());
        reportFailure(named.LogLine(), named.reason(), kSoundFileAlertTitle,
                      kSoundFileAlertMessage);
    } catch (const std::exception& e) {
        reportFailure(FailureLogLine("std::exception", e.what()), e.what(), kSoundFileAlertTitle,
                      kSoundFileAlertMessage);
    }
    // The file is released before the header block it may still read when closing.
    file.reset();
    if (!temporaryPath.empty()) {
        if (Status status = files.Remove(temporaryPath); status != kNoErr)
            DesktopServices::Current().log("could not remove the unfinished file '" +
                                           temporaryPath + "': " + FileStatusText(status));
    }
    specificsBlock.Free();
    if (sincTableMade) freeSincTable();
}

void AppController::makeVivuZiraFile(const std::string& chosenPath) {
    const Settings& s = jobSettings;
    const std::string target = targetPath(chosenPath);
    std::int32_t announcementFrames = 0;
    writeOneFile(target, FileShape{}, [&](TxSoundFile& file) {
        announcementFrames = s.announce() ? announceVivuZira(file) : 0;
        // The announcement's length is known only once it is spoken: a signal that would no
        // longer fit is refused before any of it is written.
        if (auto violation =
                CheckSignalLength(s.length(), s.sampleRate(), jobSaveOptions, announcementFrames))
            Raise("the signal does not fit into the file; its length must be " +
                  violation->accepted);
        // The announcement stays as spoken; only the signal is dithered.
        TpdfDither dither;
        DitherScope dithered(*file.soundFile(), jobSaveOptions.dither() ? &dither : nullptr);
        const bool noise = JobKindFromStored(jobSaveOptions.outputType()) == JobKind::noise;
        const bool measured = !noise && (s.measurement().synchronized || s.measurement().inverse);
        const int r = noise      ? GenerateNoiseFile(file, announcementFrames)
                      : measured ? WriteMeasurementSweep(file, announcementFrames, s, progressState)
                                 : GenerateSweep(file.soundFile(), announcementFrames, s.length(),
                                                 s.sampleRate(), s.level_from(), s.level_to(),
                                                 s.freq_from(), s.freq_to(), true);
        if (r != 0)
            Raise(StringWithFormat("error %d during %s() writing '%s': %s", r,
                                   noise ? "GenerateNoise" : "GenerateSweep", file.path().c_str(),
                                   FileStatusText(static_cast<Status>(r)).c_str()));
    });
    const bool written = !progressState.error && !progressState.cancelled;
    if (written && s.measurement().inverse) writeInverseFilter(target, announcementFrames);
}

void AppController::writeInverseFilter(const std::string& sweepPath, std::int32_t sweepStart) {
    const Settings& s = jobSettings;
    const std::string target = InverseFilterPath(sweepPath);
    // A file of its own: 32-bit float Broadcast WAVE, whatever the sweep's format.
    SaveOptions floatWave = jobSaveOptions;
    floatWave.setFileType(kFileTypeBroadcastWave);
    floatWave.setDataFormat(kDataFormatFloat32);
    const FileShape shape{1, std::nullopt, floatWave};
    writeOneFile(target, shape, [&](TxSoundFile& file) {
        const InverseFilter inverse = SweepInverse(MeasuredSweep(s), s.freq_from(), s.freq_to());
        if (inverse.impulseFrame < 0) Raise("the sweep has no inverse filter");
        constexpr std::size_t kBlock = 1 << 15;
        std::vector<double> block(kBlock);
        for (std::size_t from = 0; from < inverse.samples.size() && shouldStop == 0;
             from += kBlock) {
            const std::size_t count = std::min(kBlock, inverse.samples.size() - from);
            std::copy_n(inverse.samples.begin() + std::ptrdiff_t(from), count, block.begin());
            file.write(static_cast<std::uint32_t>(count), block.data());
        }
        SFTMarker marker{};
        marker.id = 1;
        marker.position = static_cast<std::int32_t>(inverse.impulseFrame);
        const std::string name = ImpulseMarkerName(sweepStart);
        marker.name[0] = static_cast<unsigned char>(name.size());
        std::memcpy(marker.name + 1, name.data(), name.size());
        marker.type = kMarkerTypeOrdinary;
        marker.number = -1;
        if (Status status = file.soundFile()->AddMarker(&marker); status != kNoErr)
            Raise("could not mark the impulse in '" + file.path() + "': " + FileStatusText(status));
    });
}

int AppController::GenerateNoiseFile(TxSoundFile& file, std::int32_t announcementFrames) {
    const Settings& s = jobSettings;
    // Marked first, as in a tone's file; the noise's own markers take the next IDs.
    if (announcementFrames > 0) {
        SFTMarker marker{};
        marker.id = 1;
        static const char kAnnouncement[] = "Announcement";
        marker.name[0] = sizeof kAnnouncement - 1;
        std::memcpy(marker.name + 1, kAnnouncement, sizeof kAnnouncement - 1);
        marker.type = kMarkerTypeOrdinary;
        if (Status status = file.soundFile()->AddMarker(&marker); status != kNoErr) return status;
    }
    NoiseSummary summary;
    int r = GenerateNoise(file.soundFile(), announcementFrames, s.length(), s.sampleRate(),
                          s.noise(), &summary);
    if (r == kErrNoiseWouldClip)
        Raise(StringWithFormat("at %.2f dB RMS the peaks of this noise would reach full scale "
                               "(crest factor %.2f dB); the highest level it takes is %.2f dB "
                               "RMS",
                               s.noise().level, summary.crestFactor, summary.highestLevel));
    return r;
}

template <typename Create> void AppController::ReportingFailures(Create create) {
    MemBlock specificsBlock = specifics();
    try {
        create(specificsBlock.Data());
    } catch (const QuillException& e) {
        reportFailure(e.LogLine(), e.reason(), kSoundFilesAlertTitle, kSoundFilesAlertMessage);
    } catch (const std::exception& e) {
        reportFailure(FailureLogLine("std::exception", e.what()), e.what(), kSoundFilesAlertTitle,
                      kSoundFilesAlertMessage);
    }
}

std::unique_ptr<TxSoundFile> AppController::createSoundFile(const std::string& baseName,
                                                            const std::string& preExtension,
                                                            const std::string& directory) {
    std::unique_ptr<TxSoundFile> file;
    ReportingFailures([&](void* specificsBlock) {
        std::string path =
            directory + "/" + baseName + "." + preExtension + "." + outputExtension();
        file = TxSoundFile::initWithType(
            jobSaveOptions.realFileType(), path, 1, jobSaveOptions.soundFileWordLength(),
            static_cast<float>(jobSettings.sampleRate()), true, specificsBlock, nullptr,
            std::nullopt, WantsLargeFile(jobSettings, jobSaveOptions, 1));
    });
    // A file that was not made is the caller's to report.
    return file;
}

std::vector<std::unique_ptr<TxSoundFile>>
AppController::createInterleavedFiles(const std::string& baseName,
                                      const std::vector<std::string>& speakers,
                                      const std::string& directory) {
    std::vector<std::unique_ptr<TxSoundFile>> files;
    ReportingFailures([&](void* specificsBlock) {
        const bool wave = jobSaveOptions.realFileType() == byteorder::FourCC("BWLN");
        std::optional<std::uint32_t> mask = wave ? std::optional<std::uint32_t>(0) : std::nullopt;
        const std::vector<TxSoundFile::Channel> channels =
            InterleavedChannels(speakers, wave ? &*mask : nullptr);
        files = TxSoundFile::initChannelsWithType(
            jobSaveOptions.realFileType(), directory + "/" + baseName + "." + outputExtension(),
            channels, jobSaveOptions.soundFileWordLength(),
            static_cast<float>(jobSettings.sampleRate()), specificsBlock, mask, nullptr,
            WantsLargeFile(jobSettings, jobSaveOptions, int(channels.size())));
    });
    return files;
}

std::int32_t AppController::announceVivuZira(TxSoundFile& file) {
    return Announcer(jobSettings, jobSaveOptions, progressState).announceVivuZira(file);
}

void AppController::handleProgressNotification(const std::any& object) {
    if (const double* fraction = std::any_cast<double>(&object))
        progressState.percentage = *fraction;
    else if (const float* single = std::any_cast<float>(&object))
        progressState.percentage = *single;
}

void AppController::stopWriting() {
    shouldStop = 1;
}

void AppController::reportFailure(const std::string& logLine, const std::string& reason,
                                  const char* title, const char* message) {
    // Set before the alert: a window that sees it shows no progress over the alert.
    progressState.error = true;
    LogAndAlert(logLine, reason, title, message);
}

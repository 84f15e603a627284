#include "jobs/PhaseCheck.h"
#include "jobs/JobKinds.h"

#include <algorithm>
#include <cstdio>
#include <regex>
#include <system_error>

#include "formats/TxSoundFile.h"
#include "jobs/AppController.h"
#include "jobs/JobProgress.h"
#include "jobs/OutputFiles.h"
#include "jobs/SaveOptions.h"
#include "jobs/SetFolder.h"
#include "jobs/Settings.h"
#include "shell/DesktopServices.h"
#include "shell/QuillException.h"
#include "shell/SharedFlags.h"
#include "soundfile/FileServices.h"
#include "synth/NoiseGenerator.h"
#include "synth/SampleRateConverter.h"

namespace {

// Brings every file up to the furthest position. Files normally stay in step by construction;
// this keeps them in step when one insertion wrote less than its twin (a failed write).
void KeepInStep(PhaseCheckFiles& files) {
    std::int32_t furthest = 0;
    for (const auto& file : files)
        furthest = std::max(furthest, file->pos());
    for (auto& file : files)
        file->advanceSamples(furthest - file->pos());
}

std::string SetFileName(double sampleRate, int wordLength, const char* kind,
                        const std::string& layoutTitle) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0fk_%db_%s.", sampleRate / 1000.0, wordLength, kind);
    return text + layoutTitle;
}

} // namespace

std::string PhaseCheckFileName(double sampleRate, int wordLength, const std::string& layoutTitle) {
    return SetFileName(sampleRate, wordLength, "PhaseChk", layoutTitle);
}

std::string LevelCheckFileName(double sampleRate, int wordLength, const std::string& layoutTitle) {
    return SetFileName(sampleRate, wordLength, "LevelChk", layoutTitle);
}

bool IsPhaseCheckFileName(const std::string& leafName) {
    static const std::regex pattern(
        R"(-?[0-9]+k_[0-9]+b_PhaseChk\.(.+\.[A-Za-z]+|Stereo|Quad|LCRS|[0-9]+\.[0-9]+(\.[0-9]+|-Surround)?)\.(aif|wav))");
    return std::regex_match(leafName, pattern);
}

bool IsLevelCheckFileName(const std::string& leafName) {
    static const std::regex pattern(
        R"(-?[0-9]+k_[0-9]+b_LevelChk\.(.+\.[A-Za-z]+|Stereo|Quad|LCRS|[0-9]+\.[0-9]+(\.[0-9]+|-Surround)?)\.(aif|wav))");
    return std::regex_match(leafName, pattern);
}

std::string SpeakerName(const std::string& path) {
    std::string leaf = path.substr(path.find_last_of('/') + 1);
    std::size_t extension = leaf.find_last_of('.');
    if (extension == std::string::npos) return {};
    leaf.resize(extension);
    std::size_t speaker = leaf.find_last_of('.');
    return speaker == std::string::npos ? std::string() : leaf.substr(speaker + 1);
}

std::string SpeakerOf(const TxSoundFile& file) {
    return file.channelName().empty() ? SpeakerName(file.path()) : file.channelName();
}

SpeakerSetWriter::SpeakerSetWriter(const Settings& settings, JobProgress& progress,
                                   Announcer& announcer, const nlohmann::json& speakers,
                                   std::string fileStem, FileMaker createSoundFile, FailureLog log,
                                   FailureAlert alert)
    : settings(settings), progress(progress), announcer(announcer), speakers(speakers),
      fileStem(std::move(fileStem)), createSoundFile(std::move(createSoundFile)),
      log(std::move(log)), alert(std::move(alert)) {
    if (!this->log)
        this->log = [](const std::string& name, const std::string& reason) {
            DesktopServices::Current().log(FailureLogLine(name, reason));
        };
    if (!this->alert)
        this->alert = [](const std::string& reason) {
            DesktopServices::Current().alert(kSoundFilesAlertTitle, kSoundFilesAlertMessage,
                                             reason);
        };
}

SetFolder SpeakerSetWriter::Folder(const std::string& directory) const {
    return SetFolder(
        directory, [this](const std::string& leaf) { return IsSetFileName(leaf); }, WriterName(),
        log);
}

void SpeakerSetWriter::makeSetFiles(const std::string& directory) {
    progress.step = 0;
    ClearFileError();
    {
        // An unfinished set goes when this scope ends; an earlier set at the chosen path stays
        // as it was.
        SetFolder set = Folder(directory);
        try {
            const std::string& building = set.begin();
            int status = InitPolyPhase(settings.sampleRate(), 48000.0);
            if (status != 0)
                throw QuillException(kQUILException,
                                     "could not create sinc table for polyphase sample rate "
                                     "conversion because of error " +
                                         std::to_string(status));
            RunLayout(settings.channelSetup(), building);
            set.finish();
        } catch (const QuillException& failure) {
            if (failure.name() == kQUILPhaseCheckStopException) {
                log(failure.name(), failure.reason());
                progress.cancelled = true;
                shouldStop = 0;
            } else {
                const std::string reason = NamingTarget(failure.reason(), directory);
                log(failure.name(), reason);
                progress.error = true;
                alert(reason);
            }
        }
    }
    freeSincTable();
}

QuillException SpeakerSetWriter::Stopped() {
    return QuillException(kQUILPhaseCheckStopException,
                          "User cancelled writing of phase check files.");
}

bool SpeakerSetWriter::holdsOnlyPhaseCheckFiles(const std::string& path) const {
    return Folder(path).holdsOnlyOwnFiles(path);
}

bool SpeakerSetWriter::emptyOutputDir(const std::string& path) {
    return Folder(path).removeOwnFolder(path);
}

void PhaseCheck::doStereo(const std::string& directory) {
    RunLayout(0, directory);
}
void PhaseCheck::doQuad(const std::string& directory) {
    RunLayout(1, directory);
}
void PhaseCheck::doLCRS(const std::string& directory) {
    RunLayout(2, directory);
}
void PhaseCheck::doFiveDotOne(const std::string& directory) {
    RunLayout(3, directory);
}
void PhaseCheck::doSixDotOne(const std::string& directory) {
    RunLayout(4, directory);
}
void PhaseCheck::doSevenDotOne(const std::string& directory) {
    RunLayout(5, directory);
}
void PhaseCheck::doTenDotTwo(const std::string& directory) {
    RunLayout(6, directory);
}

void SpeakerSetWriter::RunLayout(std::int32_t channelSetup, const std::string& directory) {
    const std::vector<std::string> speakerNames = LayoutSpeakers(channelSetup);
    if (speakerNames.empty()) return;
    progress.numsteps = PlannedSteps(speakerNames);
    PhaseCheckFiles files = openSpeakerFiles(speakerNames, directory);
    WriteSequence(files);
    for (auto& file : files)
        file->close();
}

PhaseCheckFiles SpeakerSetWriter::openSpeakerFiles(const std::vector<std::string>& speakerNames,
                                                   const std::string& directory) {
    PhaseCheckFiles files;
    if (createInterleaved) {
        files = createInterleaved(fileStem, speakerNames, directory);
        if (files.size() != speakerNames.size())
            throw QuillException(kQUILException,
                                 "could not create the interleaved sound file in '" + directory +
                                     "': " + LastFileErrorText());
        return files;
    }
    for (const auto& speaker : speakerNames) {
        std::unique_ptr<TxSoundFile> file = createSoundFile(fileStem, speaker, directory);
        if (!file)
            throw QuillException(kQUILException,
                                 "could not create the sound file for the speaker " + speaker +
                                     " in '" + directory + "': " + LastFileErrorText());
        files.push_back(std::move(file));
    }
    return files;
}

std::uint32_t SpeakerSetWriter::PlannedSteps(const std::vector<std::string>& speakerNames) const {
    auto samplesOf = [&](const std::string& speaker) {
        return static_cast<std::uint32_t>(SpeakerSamples(speaker).size());
    };
    const auto files = static_cast<std::uint32_t>(speakerNames.size());
    std::uint32_t steps = 2 * files; // opening and closing in every file
    if (settings.announce())
        for (const auto& speaker : speakerNames)
            steps += samplesOf(speaker);
    return steps + SequenceSteps(speakerNames);
}

std::uint32_t LevelCheck::SequenceSteps(const std::vector<std::string>& speakerNames) const {
    return static_cast<std::uint32_t>(speakerNames.size()); // a noise per speaker
}

std::uint32_t PhaseCheck::SequenceSteps(const std::vector<std::string>& speakerNames) const {
    std::uint32_t steps = 0;
    const auto repeats = static_cast<std::uint32_t>(std::max(settings.numRepeats(), 0));
    for (const auto& [a, b] : CheckedPairs(speakerNames, LayoutRings(settings.channelSetup())))
        steps += static_cast<std::uint32_t>(SpeakerSamples(speakerNames[a]).size() +
                                            SpeakerSamples(speakerNames[b]).size()) +
                 4 * repeats;
    return steps;
}

bool PhaseCheck::IsSetFileName(const std::string& leafName) const {
    return IsPhaseCheckFileName(leafName);
}

bool LevelCheck::IsSetFileName(const std::string& leafName) const {
    return IsLevelCheckFileName(leafName);
}

std::vector<std::string> SpeakerSetWriter::SpeakerSamples(const std::string& speaker) const {
    std::vector<std::string> names;
    if (!speakers.is_object()) return names;
    auto entry = speakers.find(speaker);
    if (entry == speakers.end() || !entry->is_array()) return names;
    for (const auto& name : *entry)
        if (name.is_string()) names.push_back(name.get<std::string>());
    return names;
}

void PhaseCheck::doPhaseCheckForList(PhaseCheckFiles& files) {
    putSampleIntoAllFilesFromArrayWithSilence(kPhaseCheckOpening, files, settings.silence());
    if (settings.announce()) announceAllSpeakersFromListWithSilence(files, settings.silence());
    putPhaseChecksIntoFilesFromArrayWithSilence(settings.numRepeats(), files, settings.silence());
    putSampleIntoAllFilesFromArrayWithSilence(kPhaseCheckClosing, files, settings.silence());
}

void SpeakerSetWriter::putSampleIntoAllFilesFromArrayWithSilence(const std::string& name,
                                                                 PhaseCheckFiles& files,
                                                                 double seconds) {
    for (auto& file : files)
        announcer.putSampleIntoFileFlipPhase(name, *file, false);
    KeepInStep(files);
    AdvanceAll(files, seconds);
}

void SpeakerSetWriter::putSampleIntoOneFileFromArrayWithSilence(const std::string& name,
                                                                std::size_t index,
                                                                PhaseCheckFiles& files,
                                                                double seconds) {
    if (index >= files.size()) return;
    const std::int32_t frames = announcer.putSampleIntoFileFlipPhase(name, *files[index], false);
    OthersSilentFor(index, frames, files, seconds);
}

void SpeakerSetWriter::OthersSilentFor(std::size_t index, std::int32_t frames,
                                       PhaseCheckFiles& files, double seconds) {
    if (shouldStop) {
        files.clear();
        throw Stopped();
    }
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (k != index) files[k]->advanceSamples(frames);
        files[k]->advanceTime(seconds);
    }
}

void LevelCheck::doLevelCheckForList(PhaseCheckFiles& files) {
    const double seconds = settings.silence();
    putSampleIntoAllFilesFromArrayWithSilence(kLevelCheckOpening, files, seconds);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (settings.announce()) {
            SpeakInto(SpeakerOf(*files[i]), i, files);
            AdvanceAll(files, seconds);
        }
        putNoiseIntoOneFileWithSilence(i, files, seconds);
    }
    putSampleIntoAllFilesFromArrayWithSilence(kPhaseCheckClosing, files, seconds);
}

void LevelCheck::putNoiseIntoOneFileWithSilence(std::size_t index, PhaseCheckFiles& files,
                                                double seconds) {
    if (index >= files.size()) return;
    // Through the file's own writing, as the voices go in; a failed write raises there.
    TxSoundFile& file = *files[index];
    const std::int32_t start = file.pos();
    NoiseSummary summary;
    auto write = [&file](std::int32_t, std::int32_t count, double* block) {
        file.write(static_cast<std::uint32_t>(count), block);
        return kNoErr;
    };
    int status = GenerateNoise(write, start, settings.length(), settings.sampleRate(),
                               settings.noise(), &summary);
    if (shouldStop) {
        files.clear();
        throw Stopped();
    }
    if (status == kErrNoiseWouldClip)
        throw QuillException(kQUILException,
                             StringWithFormat("at %.2f dB RMS the peaks of the noise would reach "
                                              "full scale; the highest level it takes is %.2f dB "
                                              "RMS",
                                              settings.noise().level, summary.highestLevel));
    if (status == kNoErr)
        status = AddNoiseMarkers(file.soundFile(), start, settings.noise(), summary);
    if (status != kNoErr)
        throw QuillException(kQUILException,
                             "could not write the noise into '" + file.path() +
                                 "': " + FileStatusText(static_cast<Status>(status)));
    ++progress.step;
    OthersSilentFor(index, summary.frames, files, seconds);
}

void SpeakerSetWriter::announceAllSpeakersFromListWithSilence(PhaseCheckFiles& files,
                                                              double seconds) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        SpeakInto(SpeakerOf(*files[i]), i, files);
        AdvanceAll(files, seconds);
    }
}

void PhaseCheck::putPhaseChecksIntoFilesFromArrayWithSilence(std::int32_t repeats,
                                                             PhaseCheckFiles& files,
                                                             double seconds) {
    std::vector<std::string> speakerNames;
    for (const auto& file : files)
        speakerNames.push_back(SpeakerOf(*file));
    for (const auto& [a, b] : CheckedPairs(speakerNames, LayoutRings(settings.channelSetup()))) {
        SpeakInto(speakerNames[a], a, files);
        AdvanceAll(files, seconds);
        SpeakInto(speakerNames[b], b, files);
        AdvanceAll(files, seconds);
        for (std::int32_t repeat = 0; repeat < repeats; ++repeat) {
            Burst(kInPhaseNoise, false, a, b, files, seconds);
            Burst(kOutOfPhaseNoise, true, a, b, files, seconds);
        }
    }
}

std::int32_t SpeakerSetWriter::SpeakInto(const std::string& speaker, std::size_t index,
                                         PhaseCheckFiles& files) {
    std::int32_t start = files[index]->pos();
    for (const auto& name : SpeakerSamples(speaker))
        putSampleIntoOneFileFromArrayWithSilence(name, index, files, 0.0);
    return files[index]->pos() - start;
}

void SpeakerSetWriter::AdvanceAll(PhaseCheckFiles& files, double seconds) {
    for (auto& file : files)
        file->advanceTime(seconds);
}

void PhaseCheck::Burst(const char* noise, bool invertSecond, std::size_t first, std::size_t second,
                       PhaseCheckFiles& files, double seconds) {
    std::int32_t frames = announcer.putSampleIntoFileFlipPhase(noise, *files[first], false);
    announcer.putSampleIntoFileFlipPhase(noise, *files[second], invertSecond);
    for (std::size_t k = 0; k < files.size(); ++k)
        if (k != first && k != second) files[k]->advanceSamples(frames);
    KeepInStep(files);
    AdvanceAll(files, seconds);
}

PhaseCheck::InterleavedMaker InterleavedMakerFor(AppController& controller) {
    if (!controller.saveOptions().interleaved()) return {};
    return [&controller](const std::string& baseName, const std::vector<std::string>& speakers,
                         const std::string& directory) {
        return controller.createInterleavedFiles(baseName, speakers, directory);
    };
}

void makePhaseCheckFiles(AppController& controller, const std::string& directory) {
    const nlohmann::json& speakers = controller.speakers();
    Announcer announcer(controller.settings(), controller.saveOptions(), controller.progress());
    auto create = [&controller](const std::string& baseName, const std::string& preExtension,
                                const std::string& folder) {
        return controller.createSoundFile(baseName, preExtension, folder);
    };
    std::unique_ptr<SpeakerSetWriter> job;
    if (JobKindFromStored(controller.saveOptions().outputType()) == JobKind::levelCheck)
        job = std::make_unique<LevelCheck>(controller.settings(), controller.progress(), announcer,
                                           speakers, controller.phaseCheckFileName(), create);
    else
        job = std::make_unique<PhaseCheck>(controller.settings(), controller.progress(), announcer,
                                           speakers, controller.phaseCheckFileName(), create);
    job->setInterleavedMaker(InterleavedMakerFor(controller));
    job->makeSetFiles(directory);
}

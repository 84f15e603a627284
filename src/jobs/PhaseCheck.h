#pragma once
// The phase and channel check, and the level check: one mono file per speaker of a layout,
// written in step into one output directory. Played together, one file per output channel,
// the phase check's files open with a spoken title, optionally name every speaker from that
// speaker alone, then give every pair of neighbouring speakers their names, an in-phase noise
// burst on both and the same burst with the second speaker inverted, and close with a spoken
// goodbye. The level check's open with their title, then play the calibration noise from every
// speaker in turn (named first when speakers are announced) while the others are silent, and
// close with the goodbye. Whatever one file receives, the others receive the same number of
// silent frames, so the files line up frame for frame.
// Either set can be written as one interleaved file, one channel per speaker: every handle
// of the set then writes its own channel of that file.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/TxSoundFile.h"
#include "jobs/Announcer.h"
#include "jobs/SetFolder.h"
#include "jobs/SpeakerLayouts.h"
#include "shell/QuillException.h"

class AppController;
class Settings;
class SaveOptions;
struct JobProgress;

// The output of one run, one handle per speaker in the layout's order: a mono file each, or
// each a channel of one interleaved file.
using PhaseCheckFiles = std::vector<std::unique_ptr<TxSoundFile>>;

// Voice samples of the sequence.
inline constexpr const char* kPhaseCheckOpening = "PhaseAndChannelCheck";
inline constexpr const char* kPhaseCheckClosing = "GoodbyeNice";
inline constexpr const char* kInPhaseNoise = "InPhase+noise";
inline constexpr const char* kOutOfPhaseNoise = "OutOfPhase+noise";
inline constexpr const char* kLevelCheckOpening = "LevelCheck";

// The stem every file name of a run starts with: "48k_24b_PhaseChk.5.1".
std::string PhaseCheckFileName(double sampleRate, int wordLength, const std::string& layoutTitle);
// The same for a level check: "48k_24b_LevelChk.5.1".
std::string LevelCheckFileName(double sampleRate, int wordLength, const std::string& layoutTitle);
// Whether a leaf name is one a phase check writes: <stem>.<speaker>.aif or .wav, or the
// interleaved <stem>.aif or .wav.
bool IsPhaseCheckFileName(const std::string& leafName);
// Whether a leaf name is one a level check writes.
bool IsLevelCheckFileName(const std::string& leafName);
// The speaker a file belongs to: ".../48k_24b_PhaseChk.5.1.L.wav" gives "L".
std::string SpeakerName(const std::string& path);
// The speaker of one handle of a set: its channel's name, else the speaker of its path.
std::string SpeakerOf(const TxSoundFile& file);

// What the phase check and the level check share: the set's folder, one handle per speaker
// (mono files or the channels of one interleaved file), the voices put into one file or all, and
// the silence that keeps the others in step. A subclass gives the sequence the files hold.
class SpeakerSetWriter {
  public:
    // Creates directory/baseName.preExtension.<extension> for output, or null (after telling
    // the user) when it cannot.
    using FileMaker = std::function<std::unique_ptr<TxSoundFile>(const std::string& baseName,
                                                                 const std::string& preExtension,
                                                                 const std::string& directory)>;
    // Writes one log line for a failure: the exception's name and reason.
    using FailureLog = std::function<void(const std::string& name, const std::string& reason)>;
    // Tells the user that the files could not be written and why, and waits for them.
    using FailureAlert = std::function<void(const std::string& reason)>;
    // Creates directory/baseName.<extension> with a channel per speaker and returns one handle
    // per speaker in `speakers`' order, or none (after telling the user) when it cannot.
    using InterleavedMaker = std::function<PhaseCheckFiles(const std::string& baseName,
                                                           const std::vector<std::string>& speakers,
                                                           const std::string& directory)>;

    // `speakers` maps a speaker name to the list of voice sample names that say it. `log` and
    // `alert` default to the desktop services' log line and the sound files alert.
    SpeakerSetWriter(const Settings& settings, JobProgress& progress, Announcer& announcer,
                     const nlohmann::json& speakers, std::string fileStem,
                     FileMaker createSoundFile, FailureLog log = {}, FailureAlert alert = {});
    virtual ~SpeakerSetWriter() = default;
    SpeakerSetWriter(const SpeakerSetWriter&) = delete;
    SpeakerSetWriter& operator=(const SpeakerSetWriter&) = delete;

    // The whole job into `directory`. The set is written into a folder of its own beside it
    // and takes its place only when every file is complete and closed. A directory already
    // there is replaced only when it holds nothing but files of this kind of set; otherwise the
    // job fails and leaves it as it is. After a failure or a cancel the unfinished set is
    // removed and an earlier set stays as it was. Builds the converter's table for the run and
    // frees it on every way out.
    void makeSetFiles(const std::string& directory);
    // Removes the directory at `path` with the set's files in it. Returns false, and removes
    // nothing, when it holds anything else or something other than a directory is there; true
    // when nothing is left at the path.
    bool emptyOutputDir(const std::string& path);
    // Nothing, or a directory of nothing but files of this kind of set, is at `path`.
    bool holdsOnlyPhaseCheckFiles(const std::string& path) const;

    // From now on the set is one interleaved file made by `maker`; an empty maker goes back to
    // one mono file per speaker.
    void setInterleavedMaker(InterleavedMaker maker) { createInterleaved = std::move(maker); }
    // The set of a run in `directory`: one handle per speaker, in the order of `speakerNames`.
    PhaseCheckFiles openSpeakerFiles(const std::vector<std::string>& speakerNames,
                                     const std::string& directory);

    // The sample into every file at the same position, then the silence in every file.
    void putSampleIntoAllFilesFromArrayWithSilence(const std::string& name, PhaseCheckFiles& files,
                                                   double seconds);
    // The sample into file `index` alone, silence of its length in the others, then the
    // silence in every file. A cancel is noticed here: the files are given up and
    // "QUILPhaseCheckStopException" is raised.
    void putSampleIntoOneFileFromArrayWithSilence(const std::string& name, std::size_t index,
                                                  PhaseCheckFiles& files, double seconds);
    // Every speaker's name from its own file, each followed by the silence.
    void announceAllSpeakersFromListWithSilence(PhaseCheckFiles& files, double seconds);

    // The samples (and noises) the sequence puts into `speakers`' files with the current
    // settings.
    std::uint32_t PlannedSteps(const std::vector<std::string>& speakers) const;

  protected:
    // What the files of a run hold, from the opening to the closing.
    virtual void WriteSequence(PhaseCheckFiles& files) = 0;
    // The steps of the sequence beyond the opening, the closing and the speakers' names.
    virtual std::uint32_t SequenceSteps(const std::vector<std::string>& speakers) const = 0;
    // Whether a leaf name is one of this kind of set's files.
    virtual bool IsSetFileName(const std::string& leafName) const = 0;
    // Who writes such sets, for messages: "a phase check".
    virtual const char* WriterName() const = 0;

    void RunLayout(std::int32_t channelSetup, const std::string& directory);
    std::vector<std::string> SpeakerSamples(const std::string& speaker) const;
    std::int32_t SpeakInto(const std::string& speaker, std::size_t index, PhaseCheckFiles& files);
    // `frames` went into the file at `index` alone: the others stay silent as long, then every
    // file is silent for `seconds`. A stop asked for meanwhile ends the job here.
    void OthersSilentFor(std::size_t index, std::int32_t frames, PhaseCheckFiles& files,
                         double seconds);
    void AdvanceAll(PhaseCheckFiles& files, double seconds);
    static QuillException Stopped();

    const Settings& settings;
    JobProgress& progress;
    Announcer& announcer;

  private:
    // The folder of a set of this kind at `directory`.
    SetFolder Folder(const std::string& directory) const;

    const nlohmann::json& speakers;
    std::string fileStem;
    FileMaker createSoundFile;
    InterleavedMaker createInterleaved;
    FailureLog log;
    FailureAlert alert;
};

// The phase and channel check: the opening, every speaker's name (when announced), the pair
// checks around each ring of the layout, the closing.
class PhaseCheck : public SpeakerSetWriter {
  public:
    using SpeakerSetWriter::SpeakerSetWriter;

    void makePhaseCheckFiles(const std::string& directory) { makeSetFiles(directory); }

    void doStereo(const std::string& directory);
    void doQuad(const std::string& directory);
    void doLCRS(const std::string& directory);
    void doFiveDotOne(const std::string& directory);
    void doSixDotOne(const std::string& directory);
    void doSevenDotOne(const std::string& directory);
    void doTenDotTwo(const std::string& directory);

    // Opening, speaker names (when announced), pair checks, closing.
    void doPhaseCheckForList(PhaseCheckFiles& files);
    // Every neighbour pair of every ring of the layout, except those touching LFE, LSB or RSB:
    // both names, then `repeats` times an in-phase burst on both and an out-of-phase burst
    // with the second speaker inverted.
    void putPhaseChecksIntoFilesFromArrayWithSilence(std::int32_t repeats, PhaseCheckFiles& files,
                                                     double seconds);

  protected:
    void WriteSequence(PhaseCheckFiles& files) override { doPhaseCheckForList(files); }
    std::uint32_t SequenceSteps(const std::vector<std::string>& speakers) const override;
    bool IsSetFileName(const std::string& leafName) const override;
    const char* WriterName() const override { return "a phase check"; }

  private:
    void Burst(const char* noise, bool invertSecond, std::size_t first, std::size_t second,
               PhaseCheckFiles& files, double seconds);
};

// The level check: the opening, then every speaker in turn plays the settings' noise (named
// first when speakers are announced) while the others are silent, the closing.
class LevelCheck : public SpeakerSetWriter {
  public:
    using SpeakerSetWriter::SpeakerSetWriter;

    // Opening, per speaker its name (when announced) and its noise, closing.
    void doLevelCheckForList(PhaseCheckFiles& files);
    // The settings' noise into file `index` alone, silence of its length in the others, then
    // the silence in every file. Noticing a cancel as putSampleIntoOneFileFromArrayWithSilence.
    void putNoiseIntoOneFileWithSilence(std::size_t index, PhaseCheckFiles& files, double seconds);

  protected:
    void WriteSequence(PhaseCheckFiles& files) override { doLevelCheckForList(files); }
    std::uint32_t SequenceSteps(const std::vector<std::string>& speakers) const override;
    bool IsSetFileName(const std::string& leafName) const override;
    const char* WriterName() const override { return "a level check"; }
};

// The interleaved file of the controller's save options when they ask for one, else none.
PhaseCheck::InterleavedMaker InterleavedMakerFor(AppController& controller);

// The phase check of the controller's records into `directory`, with its speaker table, file
// stem and file creation; what the controller runs for output type 3.
void makePhaseCheckFiles(AppController& controller, const std::string& directory);

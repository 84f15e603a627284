#pragma once
// Spoken announcements. There is no speech synthesis: every word and number part is a short
// recording (a voice sample, the resource "<name>.sample": headerless 16-bit big-endian mono at
// 48000 Hz), and an announcement is a row of voice samples and pauses written straight into the
// output file.
//
// The rules that turn numbers into voice sample names are written against `Speech`, so they can
// be followed name by name without a file; `Announcer` speaks them into a TxSoundFile.
// Every operation returns the number of frames by which it moved the file's position.

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "synth/NoiseGenerator.h"

class SaveOptions;
class Settings;
class TxSoundFile;
struct JobProgress;

// Where spoken parts go.
class Speech {
  public:
    virtual ~Speech() = default;
    // Inserts the voice sample `name`; the frames it took (0 when it could not be inserted).
    virtual std::int32_t Say(const std::string& name) = 0;
    // A silence of `seconds`; the frames skipped.
    virtual std::int32_t Pause(double seconds) = 0;
};

namespace speech {

// 1234 -> "1" "1000" "2" "100" "30" "4"; negatives start with "Minus", positives with "Plus"
// when `sayPlusIfPositive`; 0 is "0" whatever the sign flag says.
std::int32_t SpeakInt(std::int32_t value, Speech& into, bool sayPlusIfPositive);
// 0 to 999 without a joining word: 105 -> "1" "100" "5", 17 -> "7" "Teen"; 0 says nothing.
std::int32_t SpeakHundreds(std::int32_t value, Speech& into);
// The value rounded to `decimals` (1 to 9) places: the sign once in front ("Minus", or "Plus"
// when `sayPlusIfPositive`; none when it rounds to zero), the whole part, "Point", then the
// decimals digit by digit up to the last that is not zero, at least one: -0.5 -> "Minus" "0"
// "Point" "5", 48 -> "40" "8" "Point" "0", 22.05 -> "20" "2" "Point" "0" "5".
std::int32_t SpeakDouble(double value, std::int32_t decimals, Speech& into, bool sayPlusIfPositive);
// A frequency or rate: an integer when it rounds to one at `decimals` places, the value with its
// decimals otherwise (31.5 -> "30" "1" "Point" "5"); never a sign word for a positive value.
std::int32_t SpeakQuantity(double value, std::int32_t decimals, Speech& into);
// The places announcements speak: levels in dB, frequencies and rates in Hz, rates in kHz (all
// of their hertz).
constexpr std::int32_t kLevelDecimals = 2;
constexpr std::int32_t kHertzDecimals = 2;
constexpr std::int32_t kKiloHertzDecimals = 3;
// What a tone (outputType 0), full sweep (1), custom sweep (2) or noise (4) file opens with;
// any other kind gets a second of silence. The result is the frame at which the signal starts.
std::int32_t AnnounceVivuZira(const Settings& settings, std::int32_t outputType, Speech& into);

// The voice sample that names a noise: "PinkNoise" or "WhiteNoise".
const char* NoiseVoice(NoiseColor color);

// A double truncated toward zero into 32 bits, held to the range instead of overflowing.
std::int32_t TruncatedInt(double value);

} // namespace speech

// Inserts voice samples into output files at the job's output rate and level. The job must
// have run InitPolyPhase(sampleRate, 48000) before the first insertion.
class Announcer {
  public:
    // Where the voice sample `name` lives, or nothing when there is no such resource.
    using SampleLookup = std::function<std::optional<std::string>(const std::string& name)>;
    // Reports one failure that the job goes on from: the exception's name and its reason.
    using FailureReport = std::function<void(const std::string& name, const std::string& reason)>;

    // Reads the rate, levels, frequencies and job kind from the records when they are needed.
    // `lookup` defaults to the application's resources; `report` to a log line and the alert
    // of the job's kind (a phase check's, or a single file's).
    Announcer(const Settings& settings, const SaveOptions& saveOptions, JobProgress& progress,
              SampleLookup lookup = {}, FailureReport report = {});

    // Puts the whole voice sample into `file` at its position, at the louder of the job's two
    // levels, phase-inverted when `flipPhase`; counts one step. A sample that cannot be found,
    // read or converted sets the job's error flag and adds nothing; the user is told about it
    // the first time only, so that a voice missing from a long job does not stop it at every
    // use. A write into `file` that fails raises its TxSoundFileException: the file is broken.
    std::int32_t putSampleIntoFileFlipPhase(const std::string& name, TxSoundFile& file,
                                            bool flipPhase);
    std::int32_t speakIntIntoSayPlusIfPositive(std::int32_t value, TxSoundFile& file,
                                               bool sayPlusIfPositive);
    std::int32_t speakHundredsInto(std::int32_t value, TxSoundFile& file);
    std::int32_t speakDoubleUsingDecimalsIntoSayPlusIfPositive(double value, std::int32_t decimals,
                                                               TxSoundFile& file,
                                                               bool sayPlusIfPositive);
    std::int32_t announceVivuZira(TxSoundFile& file);

  private:
    class FileSpeech;
    void Failed(const std::string& name, const std::string& reason);
    // The bytes of the voice sample `name` (16-bit big-endian at 48000 Hz). Raises a
    // QuillException when it cannot be found or read.
    std::vector<std::uint8_t> VoiceBytes(const std::string& name) const;

    // Converts the voice sample `name` to the job's rate (inverted when `flipPhase`) and hands
    // it to `take` a piece at a time (the piece, its length and the whole length). Raises a
    // QuillException when that cannot be done.
    using PieceTaker = std::function<void(double*, std::uint32_t, std::uint32_t)>;
    void ConvertVoice(const std::string& name, bool flipPhase, const PieceTaker& take);

    // Samples converted or coded per step; a piece of doubles is this many times 8 bytes.
    static constexpr std::uint32_t kPiece = 16384;

    // Voice samples converted to the job's rate, as the 32-bit codes of their samples (from
    // which every word length's codes follow, inverted ones too), so that a sample said again
    // (a phase check says the same few hundreds of times) is copied instead of converted
    // again. The least recently said go first when the cache would hold more than kBudget.
    class VoiceCache {
      public:
        struct Entry {
            std::string name;
            std::vector<std::int32_t> codes;
            bool saturated; // a code at full scale: the inverted codes do not follow
        };
        static constexpr std::size_t kBudget = std::size_t(7) << 20;
        // The entry of `name`, now the most recently used; null when there is none.
        const Entry* Find(const std::string& name);
        // Drops the least recently used entries until `bytes` more fit; whether they do.
        bool MakeRoom(std::size_t bytes);
        // Keeps `voice` (null when it does not fit: then it is left as it was).
        const Entry* Keep(Entry&& voice);

      private:
        std::list<Entry> entries; // most recently used first
        std::size_t held = 0;
    };
    VoiceCache::Entry CodedVoice(const std::string& name);

    const Settings& settings;
    const SaveOptions& saveOptions;
    JobProgress& progress;
    SampleLookup lookup;
    FailureReport report;
    std::set<std::string> reported; // failures the user has been told about
    VoiceCache voices;
};

#include "jobs/Announcer.h"
#include "jobs/JobKinds.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "formats/TxSoundFile.h"
#include "jobs/FailureTexts.h"
#include "jobs/JobProgress.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"
#include "shell/DesktopServices.h"
#include "shell/QuillException.h"
#include "shell/Resources.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"
#include "soundfile/SampleCoding.h"
#include "synth/Levels.h"
#include "synth/SampleRateConverter.h"

namespace speech {

namespace {

std::string Digit(std::int64_t value) {
    return std::to_string(value);
}
std::string Tens(std::int64_t tens) {
    return std::to_string(tens) + "0";
}

// Decimals beyond this are not spoken: ten to its power times any 32-bit whole part stays well
// inside 64 bits.
constexpr std::int32_t kMostDecimals = 9;

std::int64_t PowerOfTen(std::int32_t exponent) {
    std::int64_t power = 1;
    for (std::int32_t i = 0; i < exponent; ++i)
        power *= 10;
    return power;
}

} // namespace

std::int32_t TruncatedInt(double value) {
    if (std::isnan(value)) return 0;
    value = std::trunc(value);
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

std::int32_t SpeakHundreds(std::int32_t value, Speech& into) {
    std::int32_t frames = 0;
    std::int32_t hundreds = value / 100;
    if (hundreds > 0) {
        frames += into.Say(Digit(hundreds));
        frames += into.Say("100");
    }
    std::int32_t rest = value % 100;
    std::int32_t tens = rest / 10;
    std::int32_t units = rest % 10;
    if (tens == 0) {
        if (units >= 1) frames += into.Say(Digit(units));
    } else if (tens == 1) {
        if (rest <= 15) {
            frames += into.Say(Digit(rest));
        } else {
            frames += into.Say(Digit(units));
            frames += into.Say("Teen");
        }
    } else if (tens >= 2) {
        frames += into.Say(Tens(tens));
        if (units >= 1) frames += into.Say(Digit(units));
    }
    return frames;
}

std::int32_t SpeakInt(std::int32_t value, Speech& into, bool sayPlusIfPositive) {
    if (value == 0) return into.Say("0");
    std::int32_t frames = 0;
    if (value < 0)
        frames += into.Say("Minus");
    else if (sayPlusIfPositive)
        frames += into.Say("Plus");
    // Widened so that the most negative value has a magnitude.
    std::int64_t magnitude = std::abs(static_cast<std::int64_t>(value));
    auto thousands = static_cast<std::int32_t>(magnitude / 1000);
    if (thousands > 0) {
        frames += SpeakHundreds(thousands, into);
        frames += into.Say("1000");
    }
    frames += SpeakHundreds(static_cast<std::int32_t>(magnitude % 1000), into);
    return frames;
}

std::int32_t SpeakDouble(double value, std::int32_t decimals, Speech& into,
                         bool sayPlusIfPositive) {
    decimals = std::clamp(decimals, 1, kMostDecimals);
    const std::int64_t scale = PowerOfTen(decimals);
    // The magnitude in units of the last decimal, rounded; 8.1 is 810 although 8.1 * 100 lies a
    // hair below it in binary.
    const double units = std::round(std::fabs(value) * static_cast<double>(scale));
    if (!(units < static_cast<double>(std::numeric_limits<std::int32_t>::max()) *
                      static_cast<double>(scale))) {
        // Not a number, or a whole part beyond 32 bits: that part held to the range.
        std::int32_t frames = SpeakInt(TruncatedInt(value), into, sayPlusIfPositive);
        frames += into.Say("Point");
        return frames + into.Say("0");
    }
    const auto magnitude = static_cast<std::int64_t>(units);
    std::int32_t frames = 0;
    // The sign once, in front; a value that rounds to zero has none.
    if (magnitude != 0 && value < 0)
        frames += into.Say("Minus");
    else if (magnitude != 0 && sayPlusIfPositive)
        frames += into.Say("Plus");
    frames += SpeakInt(static_cast<std::int32_t>(magnitude / scale), into, false);
    frames += into.Say("Point");
    // Every decimal up to the last that is not zero, and at least the first: 48.0, 44.1, 22.05.
    std::int64_t fraction = magnitude % scale;
    std::int32_t spoken = decimals;
    while (spoken > 1 && fraction % 10 == 0) {
        fraction /= 10;
        --spoken;
    }
    for (std::int64_t place = PowerOfTen(spoken - 1); place >= 1; place /= 10)
        frames += into.Say(Digit(fraction / place % 10));
    return frames;
}

std::int32_t SpeakQuantity(double value, std::int32_t decimals, Speech& into) {
    const double scale = static_cast<double>(PowerOfTen(std::clamp(decimals, 1, kMostDecimals)));
    const double rounded = std::round(value * scale) / scale;
    if (!std::isfinite(rounded) || rounded == std::trunc(rounded))
        return SpeakInt(TruncatedInt(rounded), into, false);
    return SpeakDouble(value, decimals, into, false);
}

namespace {

// Frequencies and rates in hertz: 1000 is "1" "1000", 31.5 is "30" "1" "Point" "5".
std::int32_t SpeakHertz(double value, Speech& into) {
    return SpeakQuantity(value, kHertzDecimals, into);
}

// The rest of a sweep's name once its start frequency is said.
std::int32_t SweepTo(double to, Speech& into) {
    std::int32_t frames = into.Say("Hertz");
    frames += into.Say("2");
    frames += SpeakHertz(to, into);
    frames += into.Say("Hertz");
    frames += into.Say("Linear");
    frames += into.Say("SineSweep");
    return frames;
}

std::int32_t AtLevel(double level, Speech& into) {
    std::int32_t frames = SpeakDouble(level, kLevelDecimals, into, true);
    frames += into.Say("Decibel");
    return frames;
}

// Tones, full sweeps and noises have one level, and name their rate in kilohertz. A noise's
// level is its RMS level.
std::int32_t AtLevelThenRateInKiloHertz(double level, bool rms, double sampleRate, Speech& into) {
    std::int32_t frames = into.Say("At");
    frames += AtLevel(level, into);
    if (rms) frames += into.Say("RMS");
    frames += into.Pause(0.5);
    frames += SpeakDouble(sampleRate / 1000.0, kKiloHertzDecimals, into, false);
    frames += into.Say("KiloHertz");
    frames += into.Say("SamplingRate");
    return frames;
}

std::int32_t AnnounceTone(const Settings& settings, Speech& into) {
    std::int32_t frames = SpeakHertz(settings.freq_from(), into);
    frames += into.Say("Hertz");
    frames += AtLevelThenRateInKiloHertz(settings.level_from(), false, settings.sampleRate(), into);
    return frames;
}

std::int32_t AnnounceFullSweep(const Settings& settings, Speech& into) {
    // A full sweep always starts at the low end, named by the fixed sample "20".
    std::int32_t frames = into.Say("20");
    frames += SweepTo(settings.freq_to(), into);
    frames += AtLevelThenRateInKiloHertz(settings.level_from(), false, settings.sampleRate(), into);
    return frames;
}

// A custom sweep names both levels, and its rate in hertz.
std::int32_t AnnounceCustomSweep(const Settings& settings, Speech& into) {
    std::int32_t frames = SpeakHertz(settings.freq_from(), into);
    frames += SweepTo(settings.freq_to(), into);
    frames += into.Say("At");
    frames += AtLevel(settings.level_from(), into);
    frames += into.Say("2");
    frames += into.Pause(0.2);
    frames += AtLevel(settings.level_to(), into);
    frames += into.Pause(0.5);
    frames += SpeakHertz(settings.sampleRate(), into);
    frames += into.Say("Hertz");
    frames += into.Say("SamplingRate");
    return frames;
}

std::int32_t AnnounceNoise(const Settings& settings, Speech& into) {
    const NoiseParameters& noise = settings.noise();
    std::int32_t frames = into.Say(NoiseVoice(noise.color));
    if (noise.Banded()) {
        frames += SpeakHertz(noise.bandLow, into);
        frames += into.Say("Hertz");
        frames += into.Say("2");
        frames += SpeakHertz(noise.bandHigh, into);
        frames += into.Say("Hertz");
    }
    frames += AtLevelThenRateInKiloHertz(noise.level, true, settings.sampleRate(), into);
    return frames;
}

} // namespace

std::int32_t AnnounceVivuZira(const Settings& settings, std::int32_t outputType, Speech& into) {
    std::int32_t frames = 0;
    switch (JobKindFromStored(outputType)) {
    case JobKind::testTone:
        frames = AnnounceTone(settings, into);
        break;
    case JobKind::fullSweep:
        frames = AnnounceFullSweep(settings, into);
        break;
    case JobKind::customSweep:
        frames = AnnounceCustomSweep(settings, into);
        break;
    case JobKind::noise:
        frames = AnnounceNoise(settings, into);
        break;
    default:
        break;
    }
    frames += into.Pause(1.0);
    return frames;
}

const char* NoiseVoice(NoiseColor color) {
    return color == NoiseColor::pink ? "PinkNoise" : "WhiteNoise";
}

} // namespace speech

// Speaks into one output file: names become voice samples, pauses skip frames.
class Announcer::FileSpeech : public Speech {
  public:
    FileSpeech(Announcer& announcer, TxSoundFile& file) : announcer(announcer), file(file) {}
    std::int32_t Say(const std::string& name) override {
        return announcer.putSampleIntoFileFlipPhase(name, file, false);
    }
    std::int32_t Pause(double seconds) override { return file.advanceTime(seconds); }

  private:
    Announcer& announcer;
    TxSoundFile& file;
};

namespace {

constexpr double kVoiceSampleRate = 48000.0;

std::string Quoted(const char* text, const std::string& name) {
    return std::string(text) + " '" + name + "'";
}

} // namespace

Announcer::Announcer(const Settings& settings, const SaveOptions& saveOptions,
                     JobProgress& progress, SampleLookup lookup, FailureReport report)
    : settings(settings), saveOptions(saveOptions), progress(progress), lookup(std::move(lookup)),
      report(std::move(report)) {
    if (!this->lookup)
        this->lookup = [](const std::string& name) { return PathForResource(name, "sample"); };
    if (!this->report)
        this->report = [&saveOptions](const std::string& name, const std::string& reason) {
            const bool set = Describe(JobKindFromStored(saveOptions.outputType())).speakerSet();
            LogAndAlert(FailureLogLine(name, reason), reason,
                        set ? kSoundFilesAlertTitle : kSoundFileAlertTitle,
                        set ? kSoundFilesAlertMessage : kSoundFileAlertMessage);
        };
}

std::int32_t Announcer::putSampleIntoFileFlipPhase(const std::string& name, TxSoundFile& file,
                                                   bool flipPhase) {
    const std::int32_t start = file.pos();
    try {
        CSoundFile* sound = file.soundFile();
        // The file's codes follow from the 32-bit codes, inverted too unless the voice reaches
        // full scale; such a voice is converted again, inverted.
        VoiceCache::Entry converted;
        const VoiceCache::Entry* voice = voices.Find(name);
        if (voice == nullptr) {
            converted = CodedVoice(name);
            voice = voices.Keep(std::move(converted));
            if (voice == nullptr) voice = &converted;
        }
        if (flipPhase && voice->saturated) voice = nullptr;
        if (voice != nullptr) {
            const SampleCoding coding = sound->GetSampleCoding();
            std::vector<std::uint8_t> piece(std::size_t(CodingBytes(coding)) *
                                            std::min<std::size_t>(voice->codes.size(), kPiece));
            for (std::size_t done = 0; done < voice->codes.size();) {
                const std::size_t n = std::min<std::size_t>(voice->codes.size() - done, kPiece);
                EncodeCodes(coding, voice->codes.data() + done, n, flipPhase, piece.data());
                file.writeCoded(std::uint32_t(n), piece.data());
                done += n;
            }
        } else {
            ConvertVoice(name, flipPhase, [&](double* samples, std::uint32_t n, std::uint32_t) {
                file.write(n, samples);
            });
        }
        ++progress.step;
    } catch (const QuillException& failure) {
        // A voice that is missing leaves a word out; a file that cannot be written is the
        // job's failure.
        if (failure.Is(kTxSoundFileException)) throw;
        Failed(failure.name(), failure.reason());
    } catch (const std::bad_alloc&) {
        Failed(kQUILException, Quoted("not enough memory for sample", name));
    }
    return file.pos() - start;
}

void Announcer::ConvertVoice(const std::string& name, bool flipPhase, const PieceTaker& take) {
    const std::vector<std::uint8_t> bytes = VoiceBytes(name);
    const auto count = static_cast<std::uint32_t>(bytes.size() / 2);
    const std::uint32_t frames = PolyphaseLength(count, kVoiceSampleRate, settings.sampleRate());
    voices.MakeRoom(std::size_t(frames) * sizeof(std::int32_t));
    // A piece at a time, from the part of the voice that piece reads: a whole voice at a high
    // rate is megabytes of doubles.
    const double gain = dB2Amp(std::max(settings.level_from(), settings.level_to()));
    const double fullScale = flipPhase ? -32768.0 : 32768.0;
    std::vector<double> piece(std::min<std::uint32_t>(frames, kPiece)), window;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min<std::uint32_t>(frames - done, kPiece);
        std::int64_t low = 0, high = 0;
        PolyphaseReach(count, done, n, &low, &high);
        window.resize(std::size_t(high - low));
        for (std::int64_t i = low; i < high; ++i) {
            const std::size_t at = std::size_t(i - kPolyPhaseLeadIn);
            const auto value = static_cast<std::int16_t>(byteorder::LoadBE16(&bytes[2 * at]));
            window[std::size_t(i - low)] = value * gain / fullScale;
        }
        if (!PolyphaseRange(window.data(), low, count, done, n, piece.data()))
            throw QuillException(kQUILException,
                                 Quoted("not enough memory to sample rate convert", name));
        take(piece.data(), n, frames);
        done += n;
    }
}

Announcer::VoiceCache::Entry Announcer::CodedVoice(const std::string& name) {
    VoiceCache::Entry voice{name, {}, false};
    ConvertVoice(name, false, [&](double* samples, std::uint32_t n, std::uint32_t frames) {
        voice.codes.reserve(frames);
        const std::size_t at = voice.codes.size();
        voice.codes.resize(at + n);
        SampleCodes(samples, n, voice.codes.data() + at);
    });
    for (const std::int32_t code : voice.codes)
        voice.saturated = voice.saturated || code == INT32_MAX || code == INT32_MIN;
    return voice;
}

std::vector<std::uint8_t> Announcer::VoiceBytes(const std::string& name) const {
    std::optional<std::string> path = lookup(name);
    if (!path) throw QuillException(kQUILException, Quoted("could not find sample", name));
    errno = 0;
    std::optional<std::vector<std::uint8_t>> bytes = ContentsOfFile(*path);
    if (!bytes)
        throw QuillException(
            kQUILException,
            Quoted("could not read sample data from file", name) + " ('" + *path +
                "'): " + (errno != 0 ? std::strerror(errno) : "not a readable file"));
    constexpr std::size_t kMostSamples =
        std::numeric_limits<std::uint32_t>::max() / 2 - 2 * kPolyPhaseLeadIn;
    if (bytes->size() / 2 > kMostSamples)
        throw QuillException(kQUILException, Quoted("not enough memory for sample", name));
    return std::move(*bytes);
}

const Announcer::VoiceCache::Entry* Announcer::VoiceCache::Find(const std::string& name) {
    for (auto entry = entries.begin(); entry != entries.end(); ++entry)
        if (entry->name == name) {
            entries.splice(entries.begin(), entries, entry);
            return &entries.front();
        }
    return nullptr;
}

bool Announcer::VoiceCache::MakeRoom(std::size_t bytes) {
    while (!entries.empty() && held + bytes > kBudget) {
        held -= entries.back().codes.size() * sizeof(std::int32_t);
        entries.pop_back();
    }
    return held + bytes <= kBudget;
}

const Announcer::VoiceCache::Entry* Announcer::VoiceCache::Keep(Entry&& voice) {
    const std::size_t bytes = voice.codes.size() * sizeof(std::int32_t);
    if (!MakeRoom(bytes)) return nullptr;
    held += bytes;
    entries.push_front(std::move(voice));
    return &entries.front();
}

void Announcer::Failed(const std::string& name, const std::string& reason) {
    progress.error = true;
    if (reported.insert(name + "\n" + reason).second) report(name, reason);
}

std::int32_t Announcer::speakIntIntoSayPlusIfPositive(std::int32_t value, TxSoundFile& file,
                                                      bool sayPlusIfPositive) {
    FileSpeech into(*this, file);
    return speech::SpeakInt(value, into, sayPlusIfPositive);
}

std::int32_t Announcer::speakHundredsInto(std::int32_t value, TxSoundFile& file) {
    FileSpeech into(*this, file);
    return speech::SpeakHundreds(value, into);
}

std::int32_t Announcer::speakDoubleUsingDecimalsIntoSayPlusIfPositive(double value,
                                                                      std::int32_t decimals,
                                                                      TxSoundFile& file,
                                                                      bool sayPlusIfPositive) {
    FileSpeech into(*this, file);
    return speech::SpeakDouble(value, decimals, into, sayPlusIfPositive);
}

std::int32_t Announcer::announceVivuZira(TxSoundFile& file) {
    FileSpeech into(*this, file);
    return speech::AnnounceVivuZira(settings, saveOptions.outputType(), into);
}

#include "jobs/JobLimits.h"
#include "jobs/JobKinds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "jobs/Lineup.h"
#include "jobs/PhaseCheck.h"
#include "soundfile/ByteOrder.h"
#include "synth/NoiseGenerator.h"
#include "synth/SweepMarkers.h"

namespace {

// The bytes a job's file may hold in all, and those that are not signal frames: the header
// and every chunk the writer appends after the sample data for the most markers a tone or
// sweep gets (jobs add no regions). The longest signal fills the rest.
struct FileRoom {
    std::int64_t largestFile;
    std::int64_t notSamples;
};
FileRoom RoomFor(std::uint32_t realFileType) {
    // A large file keeps room for ds64 and may have the fact chunk of floating-point samples.
    if (realFileType == byteorder::FourCC("BWLN"))
        return {wavelayout::kMaxRF64FileSize,
                bwflayout::kBWFHeaderSize + wavelayout::kDs64ChunkSize +
                    wavelayout::kFactChunkSize +
                    (wavelayout::kFmtExtensibleDataSize - wavelayout::kFmtDataSize) +
                    CBWFLinearFile::TrailerBytes(kMaxSignalMarkers, 0)};
    return {kMaxAIFFFileSize, kAIFFHeaderSize + CAIFFFile::TrailerBytes(kMaxSignalMarkers)};
}

std::string Format(const char* format, double a, double b) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::optional<LimitViolation> CheckFrequency(JobValue which, double frequency, double rate) {
    if (FrequencyRange(rate).Contains(frequency)) return {};
    return LimitViolation{
        which, frequency,
        Format("%g to %.0f Hz (half of the sample rate)", kLowestFrequency, rate * 0.5)};
}

std::optional<LimitViolation> CheckToneFrequency(JobValue which, double frequency, double rate) {
    const ValueRange range = ToneFrequencyRange(rate);
    if (range.Contains(frequency)) return {};
    return LimitViolation{which, frequency,
                          Format("%g to %.0f Hz (a steady tone lies below half the sample rate, "
                                 "where all its samples would be zero)",
                                 kLowestFrequency, range.highest)};
}

std::optional<LimitViolation> CheckLevel(JobValue which, double level) {
    if (LevelRange().Contains(level)) return {};
    return LimitViolation{which, level, Format("%.0f to %.0f dB", kLowestLevel, kHighestLevel)};
}

// The longest length in seconds after `reservedFrames`, rounded down so that the length named is
// one that is accepted.
double LongestLength(double rate, const SaveOptions& options, std::int32_t reservedFrames) {
    std::int32_t most =
        MaxSignalFrames(options.realFileType(), options.wordLength(), reservedFrames);
    return std::floor(most / rate * 100.0) / 100.0;
}

} // namespace

namespace {

// The noise, its band and its length: a level check plays it once per speaker in every file.
std::optional<LimitViolation> CheckNoise(const Settings& settings, const SaveOptions& options) {
    const NoiseParameters& noise = settings.noise();
    const double rate = settings.sampleRate();
    if (!NoiseLevelRange().Contains(noise.level))
        return LimitViolation{JobValue::noiseLevel, noise.level,
                              Format("%.0f to %.1f dB RMS (the highest level whose peaks stay "
                                     "below full scale)",
                                     kLowestLevel, kHighestNoiseLevel)};
    if (!NoiseBandFits(noise, rate))
        return LimitViolation{
            JobValue::band, noise.bandLow,
            Format("LOW-HIGH with %.0f Hz <= LOW < HIGH < %.0f Hz (half of the sample rate)",
                   kLowestBandEdge, rate * 0.5)};
    if (JobKindFromStored(options.outputType()) != JobKind::levelCheck)
        return CheckSignalLength(settings.length(), rate, options,
                                 settings.announce() ? AnnouncementReserve(rate) : 0);
    const auto speakers = static_cast<double>(LayoutSpeakers(settings.channelSetup()).size());
    if (speakers > 0 && !CheckSignalLength(settings.length() * speakers, rate, options)) return {};
    const double longest =
        std::floor(LongestLength(rate, options, 0) / std::max(speakers, 1.0) * 100.0) / 100.0;
    return LimitViolation{
        JobValue::length, settings.length(),
        Format("at least one frame (%.3g s) and at most %.2f s per speaker", 1.0 / rate, longest)};
}

} // namespace

namespace {

// A sweep measured through its inverse keeps one level; a synchronized one rises.
std::optional<LimitViolation> CheckMeasurement(const Settings& settings) {
    const SweepMeasurement& m = settings.measurement();
    if ((m.inverse || m.synchronized) && settings.level_from() != settings.level_to())
        return LimitViolation{JobValue::levelTo, settings.level_to(),
                              Format("%.2f dB, the start level: a measurement sweep keeps one "
                                     "level",
                                     settings.level_from(), 0.0)};
    if (m.synchronized && !(settings.freq_to() > settings.freq_from()))
        return LimitViolation{JobValue::freqTo, settings.freq_to(),
                              Format("above %.0f Hz, the start frequency: a synchronized sweep "
                                     "rises",
                                     settings.freq_from(), 0.0)};
    return {};
}

} // namespace

std::optional<LimitViolation> CheckSignalLength(double length, double rate,
                                                const SaveOptions& options,
                                                std::int32_t reservedFrames) {
    std::int32_t most =
        MaxSignalFrames(options.realFileType(), options.wordLength(), reservedFrames);
    double frames = PlannedFrames(length, rate);
    if (std::isfinite(length) && frames >= 1.0 && std::trunc(frames) <= most) return {};
    double longest = LongestLength(rate, options, reservedFrames);
    char accepted[240];
    std::snprintf(accepted, sizeof accepted,
                  "at least one frame (%.3g s) and at most %.2f s, the longest a %d-bit%s %s "
                  "file holds at %.0f Hz%s",
                  1.0 / rate, longest, options.wordLength(), options.floatSamples() ? " float" : "",
                  options.realFileType() == byteorder::FourCC("BWLN") ? "Broadcast WAVE" : "AIFF",
                  rate, reservedFrames > 0 ? " after its announcement" : "");
    return LimitViolation{JobValue::length, length, accepted};
}

double ValueRange::Clamp(double value) const {
    if (std::isnan(value)) return lowest;
    return std::clamp(value, lowest, highest);
}

ValueRange SampleRateRange() {
    return {kLowestSampleRate, kHighestSampleRate};
}
ValueRange FrequencyRange(double sampleRate) {
    return {kLowestFrequency, sampleRate * 0.5};
}
ValueRange ToneFrequencyRange(double sampleRate) {
    return {kLowestFrequency, std::max(kLowestFrequency, sampleRate * 0.5 - kToneBelowHalfRate)};
}
ValueRange LevelRange() {
    return {kLowestLevel, kHighestLevel};
}
ValueRange LengthRange(double sampleRate, const SaveOptions& options, bool announce) {
    return {1.0 / sampleRate,
            LongestLength(sampleRate, options, announce ? AnnouncementReserve(sampleRate) : 0)};
}
std::int32_t AnnouncementReserve(double sampleRate) {
    return static_cast<std::int32_t>(std::ceil(kAnnouncementReserveSeconds * sampleRate));
}
ValueRange SilenceRange() {
    return {kLowestSilence, kHighestSilence};
}
ValueRange RepeatsRange() {
    return {kLowestRepeats, kHighestRepeats};
}
ValueRange NoiseLevelRange() {
    return {kLowestLevel, kHighestNoiseLevel};
}

std::int32_t MaxSignalFrames(std::uint32_t realFileType, int wordLength,
                             std::int32_t reservedFrames, int channels) {
    // AIFF keeps its chunk sizes as signed 32-bit numbers, RIFF WAVE as unsigned ones.
    const FileRoom room = RoomFor(realFileType);
    const std::int64_t bytesPerFrame =
        (wordLength == kFloat32WordSize ? 4 : std::max(wordLength / 8, 1)) *
        std::int64_t{std::max(channels, 1)};
    std::int64_t frames = (room.largestFile - room.notSamples) / bytesPerFrame;
    frames = std::min<std::int64_t>(frames, 0x7FFFFFFF) - reservedFrames;
    return static_cast<std::int32_t>(std::max<std::int64_t>(frames, 0));
}

std::int64_t PlannedDataBytes(const Settings& settings, const SaveOptions& options, int channels) {
    const double reserve = settings.announce() ? kAnnouncementReserveSeconds : 0.0;
    const double speakers = std::max(double(LayoutSpeakers(settings.channelSetup()).size()), 1.0);
    double seconds = settings.length() + reserve;
    switch (JobKindFromStored(options.outputType())) {
    case JobKind::levelCheck: // the noise once per speaker in every file
        seconds = speakers * (settings.length() + reserve);
        break;
    case JobKind::phaseCheck: {
        // Opening and closing, a name per speaker, and the repeats of every pair's checks.
        const double elements =
            2.0 + speakers + speakers * speakers * (std::max(settings.numRepeats(), 0) + 1.0);
        seconds =
            elements * (kAnnouncementReserveSeconds / 6.0 + std::max(settings.silence(), 0.0));
        break;
    }
    default:
        break;
    }
    const double bytes =
        seconds * settings.sampleRate() * std::max(channels, 1) * (options.wordLength() / 8);
    // NaN and beyond: as large as a file gets.
    if (!(bytes < 0x1p62)) return std::int64_t(1) << 62;
    return std::int64_t(std::max(bytes, 0.0));
}

bool WantsLargeFile(const Settings& settings, const SaveOptions& options, int channels) {
    return options.realFileType() == byteorder::FourCC("BWLN") &&
           PlannedDataBytes(settings, options, channels) > kLargeFileDataBytes;
}

double PlannedFrames(double length, double sampleRate) {
    // The same arithmetic as the generator's, so that both agree on the frame count.
    return (length * 1000.0 / 1000.0) * sampleRate;
}

ValueRange LineupLengthRange(const Settings& settings, const SaveOptions& options) {
    const double rate = settings.sampleRate();
    const std::size_t channels =
        LineupWritesFolder(settings)
            ? 1
            : LineupChannelsOf(settings.lineup().signal, settings.channelSetup(), false)
                  .speakers.size();
    const double most =
        MaxSignalFrames(options.realFileType(), options.wordLength(), 0, int(channels));
    return {1.0 / rate, std::floor(most / rate * 100.0) / 100.0};
}

std::optional<LimitViolation> CheckJobSettings(const Settings& settings,
                                               const SaveOptions& options) {
    double rate = settings.sampleRate();
    // A file's header keeps a whole number of hertz.
    if (!SampleRateRange().Contains(rate) || rate != std::trunc(rate))
        return LimitViolation{JobValue::sampleRate, rate,
                              Format("a whole number of hertz from %.0f to %.0f Hz",
                                     kLowestSampleRate, kHighestSampleRate)};
    const JobKind kind = JobKindFromStored(options.outputType());
    // The phase and channel check uses neither the frequencies nor the length.
    if (kind == JobKind::phaseCheck) {
        if (!SilenceRange().Contains(settings.silence()))
            return LimitViolation{JobValue::silence, settings.silence(),
                                  Format("%.0f to %.0f s", kLowestSilence, kHighestSilence)};
        if (!RepeatsRange().Contains(settings.numRepeats()))
            return LimitViolation{JobValue::numRepeats, double(settings.numRepeats()),
                                  Format("%.0f to %.0f", kLowestRepeats, kHighestRepeats)};
        return {};
    }
    if (kind == JobKind::noise || kind == JobKind::levelCheck) return CheckNoise(settings, options);
    if (kind == JobKind::lineup) {
        const ValueRange lengths = LineupLengthRange(settings, options);
        if (lengths.Contains(settings.length())) return {};
        return LimitViolation{JobValue::length, settings.length(),
                              Format("at least one frame (%.3g s) and at most %.2f s, the longest "
                                     "its file holds at this rate",
                                     lengths.lowest, lengths.highest)};
    }
    // A sweep that neither rises nor falls is a steady tone.
    const bool steady = kind == JobKind::testTone || settings.freq_from() == settings.freq_to();
    const auto check = steady ? CheckToneFrequency : CheckFrequency;
    if (auto v = check(JobValue::freqFrom, settings.freq_from(), rate)) return v;
    if (auto v = check(JobValue::freqTo, settings.freq_to(), rate)) return v;
    if (auto v = CheckLevel(JobValue::levelFrom, settings.level_from())) return v;
    if (auto v = CheckLevel(JobValue::levelTo, settings.level_to())) return v;
    if (auto v = CheckMeasurement(settings)) return v;
    return CheckSignalLength(settings.length(), rate, options,
                             settings.announce() ? AnnouncementReserve(rate) : 0);
}

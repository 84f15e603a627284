#pragma once
// The ranges a tone or sweep job accepts. Values outside them would make the generator
// misbehave (a frequency above half the rate aliases, a huge length overflows the 32-bit frame
// count or the file's size fields), so every front end checks the settings here before it
// starts a job.

#include <cstdint>
#include <optional>
#include <string>

#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"

inline constexpr double kLowestSampleRate = 8000.0;
inline constexpr double kHighestSampleRate = 384000.0;
inline constexpr double kLowestLevel = -120.0;
inline constexpr double kHighestLevel = 0.0;
// Below 1 Hz a tone is no longer heard as a tone and its markers' labels lose their digits.
inline constexpr double kLowestFrequency = 1.0;
// A steady tone at exactly half the sample rate is sin(pi n): every sample is zero. A tone stays
// this far below it; a sweep only passes through that frequency and may end there.
inline constexpr double kToneBelowHalfRate = 1.0;
// The share of a file an announcement may take at most (a custom sweep's, the longest, takes about
// 25 s with its pauses): a length is checked against the room left after it before the job
// starts, so that the length a front end accepts is one the job accepts.
inline constexpr double kAnnouncementReserveSeconds = 60.0;
// The phase and channel check: silence after every element and bursts per speaker pair.
inline constexpr double kLowestSilence = 0.0;
inline constexpr double kHighestSilence = 60.0;
inline constexpr std::int32_t kLowestRepeats = 0;
inline constexpr std::int32_t kHighestRepeats = 100;

// The settings a front end may be told are out of range.
enum class JobValue {
    sampleRate,
    freqFrom,
    freqTo,
    levelFrom,
    levelTo,
    length,
    silence,
    numRepeats,
    noiseLevel,
    band
};

// The closed range of values a job accepts for one setting.
struct ValueRange {
    double lowest;
    double highest;

    bool Contains(double value) const { return value >= lowest && value <= highest; } // NaN: no
    // The nearest accepted value; NaN gives the lowest.
    double Clamp(double value) const;
};

struct LimitViolation {
    JobValue value;
    double given;
    std::string accepted; // the accepted range, e.g. "8000 to 384000 Hz"
};

// The most signal frames a mono file of this type and word length (bits, or kFloat32WordSize:
// 4 bytes a sample) can hold, counting `reservedFrames` already written before the signal (an
// announcement). A Broadcast WAVE file that would pass 4 GiB becomes RF64 (see
// WantsLargeFile), so only the 32-bit frame positions bound it.
// With `channels`, the frames of a file of that many channels.
std::int32_t MaxSignalFrames(std::uint32_t realFileType, int wordLength,
                             std::int32_t reservedFrames = 0, int channels = 1);

// A job's files are made large (TxSoundFile::initWithType's largeFile) when the sample data
// of one of them may pass this: half the 4 GiB where 32-bit sizes end, as the estimate below
// leaves room for what it does not count exactly. Smaller jobs write files byte for byte as
// before (no room kept for 64-bit sizes).
inline constexpr std::int64_t kLargeFileDataBytes = std::int64_t(1) << 31;
// The most bytes of sample data one file of `channels` channels of the job may take: the
// signal, each announcement counted at kAnnouncementReserveSeconds, and for a phase check
// every element (each voice at most kAnnouncementReserveSeconds / 6) with its silence.
std::int64_t PlannedDataBytes(const Settings& settings, const SaveOptions& options, int channels);
// Whether a file of `channels` channels of the job is to be made large.
bool WantsLargeFile(const Settings& settings, const SaveOptions& options, int channels);

// The frame count the generator makes of `length` seconds at `sampleRate`.
double PlannedFrames(double length, double sampleRate);

// Checks that a signal of `length` seconds at `rate` fits into a file of the saved type after
// `reservedFrames` frames (an announcement); otherwise the violation names the longest length.
std::optional<LimitViolation> CheckSignalLength(double length, double rate,
                                                const SaveOptions& options,
                                                std::int32_t reservedFrames = 0);

// The ranges CheckJobSettings applies, for front ends that offer or correct values before a
// job starts.
ValueRange SampleRateRange();
// From kLowestFrequency up to half of `sampleRate`: the frequencies a sweep may start or end at.
ValueRange FrequencyRange(double sampleRate);
// A steady tone's frequencies: from kLowestFrequency to kToneBelowHalfRate below half the rate.
ValueRange ToneFrequencyRange(double sampleRate);
ValueRange LevelRange();
// From one frame to the longest signal a file of the chosen type and word length holds at
// `sampleRate` (after the room an announcement may take, when `announce`), rounded down to
// 1/100 s.
ValueRange LengthRange(double sampleRate, const SaveOptions& options, bool announce = false);
// The frames set aside for an announcement at `sampleRate`.
std::int32_t AnnouncementReserve(double sampleRate);
ValueRange SilenceRange();
ValueRange RepeatsRange();
// RMS levels of noise: up to the level whose peaks stay below full scale.
ValueRange NoiseLevelRange();

// A line-up signal's lengths: from one frame to the longest its file (an interleaved file holds
// every channel's frames) takes at the settings' rate.
ValueRange LineupLengthRange(const Settings& settings, const SaveOptions& options);

// Checks the fields a job of `options.outputType()` uses; the first value out of range, if any.
// NaN and infinity are always out of range.
std::optional<LimitViolation> CheckJobSettings(const Settings& settings,
                                               const SaveOptions& options);

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

// The settings a front end may be told are out of range.
enum class JobValue { sampleRate, freqFrom, freqTo, levelFrom, levelTo, length };

struct LimitViolation {
    JobValue value;
    double given;
    std::string accepted; // the accepted range, e.g. "8000 to 384000 Hz"
};

// The most signal frames a mono file of this type and word length can hold, counting
// `reservedFrames` already written before the signal (an announcement).
std::int32_t MaxSignalFrames(std::uint32_t realFileType, int wordLength,
                             std::int32_t reservedFrames = 0);

// The frame count the generator makes of `length` seconds at `sampleRate`.
double PlannedFrames(double length, double sampleRate);

// Checks that a signal of `length` seconds at `rate` fits into a file of the saved type after
// `reservedFrames` frames (an announcement); otherwise the violation names the longest length.
std::optional<LimitViolation> CheckSignalLength(double length, double rate,
                                                const SaveOptions& options,
                                                std::int32_t reservedFrames = 0);

// Checks the fields a job of `options.outputType()` uses; the first value out of range, if any.
// NaN and infinity are always out of range.
std::optional<LimitViolation> CheckJobSettings(const Settings& settings,
                                               const SaveOptions& options);

#pragma once
// What a sound file holds, read through the engine: the one reading of a file behind
// `quillgen info` and the window's inspector.

#include <atomic>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// Reads the sound file at `path` and describes it as one JSON object:
//   path, format ("AIFF", "WAVE", "BWF", else the four-character type), float (true, only for
//   32-bit floating-point samples), rf64 (true, only for a file with 64-bit sizes), channels, bits,
//   sampleRate (an integer when it is whole), frames, channelMask {value, speakers} when the
//   file has one; markers [{id, position, name, number when numbered}], loops
//   [{id, start, end, type}], regions [{id, start, end, sync, name}] (without the region the
//   readers add over a file that has none), sampler {...} when the file has sampler
//   information, bext {...} for a Broadcast WAVE file; and with `levels`, levels: for each
//   channel {peak, rms} in dBFS to a hundredth, both null for digital silence.
// When the file cannot be read, returns nothing and sets `*why` to the reason, with the path.
// `stop`, when given, is polled while the levels are read: once another thread sets it, the
// reading ends and the result is nothing, with `*why` set to kSoundFileReportStopped.
std::optional<nlohmann::json> ReadSoundFileReport(const std::string& path, bool levels,
                                                  std::string* why,
                                                  const std::atomic<bool>* stop = nullptr);

inline constexpr const char* kSoundFileReportStopped = "stopped";

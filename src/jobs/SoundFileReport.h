#pragma once
// What a sound file holds, read through the engine: the one reading of a file behind
// `quillgen info` and the window's inspector.

#include <atomic>
#include <functional>
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
//   channel {peak, rms, rmsAes17, truePeak} to a hundredth of a dB (sample peak and RMS in
//   dBFS, RMS + 3.01 dB as AES17 reads it, the true peak in dBTP), all null for digital
//   silence; and loudness {integrated, range}: the integrated loudness in LUFS (null when no
//   part of the file is loud enough to count) and the loudness range in LU.
// When the file cannot be read, returns nothing and sets `*why` to the reason, with the path.
// `stop`, when given, is polled while the levels are read: once another thread sets it, the
// reading ends and the result is nothing, with `*why` set to kSoundFileReportStopped.
// `progress`, when given, is called with the fraction of the frames read so far.
std::optional<nlohmann::json> ReadSoundFileReport(const std::string& path, bool levels,
                                                  std::string* why,
                                                  const std::atomic<bool>* stop = nullptr,
                                                  const std::function<void(double)>& progress = {});

inline constexpr const char* kSoundFileReportStopped = "stopped";

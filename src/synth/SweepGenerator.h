#pragma once
// The sine generator behind test tones and sweeps. The frequency moves exponentially (equal
// time per octave) from freq_from to freq_to and the level linearly in dB from level_from to
// level_to; a tone is the sweep with equal ends.

#include <cstdint>

#include "soundfile/CSoundFile.h"
#include "synth/SynthStatus.h"

inline constexpr std::int32_t kSweepBlockFrames = 5000;
inline constexpr std::int16_t kSweepMarkersPerSecond = 2;

// Writes trunc(length * sampleRate) frames of the signal into `file` from frame startFrame on
// (channel 0, and channel 1 too when `mono` is false), in blocks of kSweepBlockFrames, posting
// kSweepGeneratorProgressNotification with the fraction done after each block and stopping
// before the next block once shouldStop is set. Then brings the file's frame count up to date
// and labels the signal with markerFnepper, also after a stop.
//
// Returns 0 or the first failing status: of a write (nothing more is done), of UpdateSize (no
// markers), or of markerFnepper; kErrMemoryFull when the working block cannot be allocated;
// kErrBadSignalParameter, before anything is written, when the arguments give no signal (see
// SynthStatus.h) or when startFrame is negative or the signal would end past the last frame a
// 32-bit position can address.
int GenerateSweep(CSoundFile* file, std::int32_t startFrame, double length, double sampleRate,
                  double level_from, double level_to, double freq_from, double freq_to, bool mono);

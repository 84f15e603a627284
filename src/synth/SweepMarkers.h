#pragma once
// Markers that label a tone or sweep in its file: "Announcement" at frame 0 when the signal
// follows one, the exact start and end (frequency and level), and between them whole-dB
// levels (a tone whose level changes) or preferred-number frequencies (decades, E3, E6, E12 or
// E24, the finest series that keeps about markersPerSecond markers per second of signal).
// Positions follow the generator: level linear in dB, frequency exponential over time.

#include <cstdint>

#include "soundfile/CSoundFile.h"
#include "synth/SynthStatus.h"

// The most markers markerFnepper adds to one file, whatever the signal: far more than any tone
// or sweep within the generator's ranges needs (120 dB in 1 dB steps, or nine decades of the
// E24 series), and few enough that absurd levels or frequencies cannot run on for ever or
// flood the file's marker list. Room for their chunks is kept in the longest file a job makes.
inline constexpr std::int32_t kMaxSignalMarkers = 1000;

// The signal runs from startFrame to the file's frame count. Returns 0 or the first failing
// AddMarker status (markers added before it stay); kErrBadSignalParameter, before any marker
// is added, for a frequency that is not a positive finite number, a level that is not finite,
// a null file or a negative startFrame.
int markerFnepper(double freq_from, double freq_to, double level_from, double level_to,
                  CSoundFile* file, std::int16_t markersPerSecond, std::int32_t startFrame);

#pragma once
// The measurement side of a sweep job: a synchronized sweep in place of the generator's, and
// the inverse filter written beside the sweep's file.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/TxSoundFile.h"
#include "jobs/JobProgress.h"
#include "jobs/Settings.h"

// The measurement sweep of the settings (MeasuredSweep: their start and end frequency, length
// and level) into `file` from its position on, then the generator's markers after `startFrame`
// (the announcement's end). Returns 0 or the failing status; a failed write raises as the file
// does.
int WriteMeasurementSweep(TxSoundFile& file, std::int32_t startFrame, const Settings& settings,
                          JobProgress& progress);
// The sweep's samples as the job writes them (before their word conversion): the synchronized
// sweep, or the generator's exponential sweep at the settings' level faded in and out over
// half an octave.
std::vector<double> MeasuredSweep(const Settings& settings);
// Where a sweep's inverse filter goes: "take.wav" gives "take.inverse.wav".
std::string InverseFilterPath(const std::string& sweepPath);
// The name of the inverse filter's marker at its impulse: where the sweep starts in its file.
std::string ImpulseMarkerName(std::int32_t sweepStartFrame);

#pragma once
// The options that choose a calibration noise, shared by quillgen noise and level-check, and
// the usage message for a value a job refuses.

#include <map>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "jobs/JobLimits.h"
#include "synth/NoiseGenerator.h"

namespace quillgen {

struct NoiseOptions {
    NoiseParameters parameters;
    std::string band;               // as given, "500-2000"; empty for the full band
    std::optional<double> loudness; // LUFS, instead of the RMS level
};

// --color, --band, --level (RMS) or --loudness (LUFS) and --seed, stored into
// `noise.parameters` (the loudness into `noise.loudness`) as they parse.
void AddNoiseOptions(CLI::App* command, NoiseOptions& noise);

// "quillgen <command>: <option> <value> is out of range; accepted: <range>" on stderr, the
// option named by `optionNames` (a band as it was given).
// With --loudness: the noise's RMS level set to the one that gives the loudness (measured for
// `length` seconds at `sampleRate`). False, after saying why on stderr, when the noise cannot
// take that loudness.
bool ResolveLoudness(const char* commandName, double length, double sampleRate,
                     NoiseOptions& noise);

void ReportViolation(const char* commandName, const LimitViolation& violation,
                     const std::map<JobValue, const char*>& optionNames, const NoiseOptions& noise);

} // namespace quillgen

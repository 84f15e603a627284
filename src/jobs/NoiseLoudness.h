#pragma once
// A calibration noise at a loudness instead of an RMS level: the generator is deterministic for
// its seed, so the noise is generated once to measure it, and its level is then set so that the
// noise written measures the loudness asked for.

#include <string>

#include "synth/NoiseGenerator.h"

struct NoiseLoudnessLevel {
    double level = 0.0;           // the RMS level (dB re full scale) that gives the loudness
    double highestLoudness = 0.0; // LUFS, rounded down to 0.01: the loudest this noise takes
    bool reachable = false;       // within the levels a noise takes, its peaks below full scale
};

// The RMS level at which `noise` (its colour, band and seed; its level is ignored), lasting
// `length` seconds at `sampleRate`, measures `loudness` LUFS as one channel. Empty `*why` when
// measured; else why it could not be (a signal too short to have a loudness, parameters that
// give no signal).
NoiseLoudnessLevel NoiseLevelForLoudness(const NoiseParameters& noise, double length,
                                         double sampleRate, double loudness, std::string* why);

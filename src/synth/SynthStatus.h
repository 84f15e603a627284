#pragma once
// The status of the signal functions for a parameter that cannot give a signal: the
// engine's parameter error, under the name the signal code uses.

#include "soundfile/Status.h"

// A signal parameter that cannot give a signal: a rate, length or frequency that is not a
// positive finite number, a level that is not finite, or a length of no whole frame.
inline constexpr Status kErrBadSignalParameter = kErrParameter;

// A noise whose peaks, at the level asked for, would reach full scale: the level is too high
// for this noise (see GenerateNoise for the highest level it takes).
inline constexpr Status kErrNoiseWouldClip = -23000;

#pragma once
// The one status of the signal functions that the sound file engine does not define.

#include "soundfile/Status.h"

// A signal parameter that cannot give a signal: a rate, length or frequency that is not a
// positive finite number, a level that is not finite, or a length of no whole frame.
inline constexpr Status kErrBadSignalParameter = -50;

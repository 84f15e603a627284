#pragma once
// The sines of a block of phases, several at a time: the C library's vector math routines,
// each within a few units in the last place of the scalar sin.

#include <cstddef>

// out[i] = sin(phases[i]) * amplitudes[i] for i < count.
void ScaledSines(const double* phases, const double* amplitudes, double* out, std::size_t count);
// out[i] = sin(phases[i]) * amplitude for i < count.
void ScaledSines(const double* phases, double amplitude, double* out, std::size_t count);

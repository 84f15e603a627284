// Built with -ffast-math and -fopenmp-simd (see CMakeLists.txt): the loops below then run in
// vector lanes, through the vector variants of sin in libmvec. The instruction set is
// chosen when the program starts, among those the compiler made clones for. Nothing else
// belongs in this file: fast-math would reorder any arithmetic it holds.
#include "synth/VectorMath.h"

#include <cmath>

#include "soundfile/CpuClones.h"

QUILL_CPU_CLONES
void ScaledSines(const double* phases, const double* amplitudes, double* out, std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        out[i] = std::sin(phases[i]) * amplitudes[i];
}

QUILL_CPU_CLONES
void ScaledSines(const double* phases, double amplitude, double* out, std::size_t count) {
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        out[i] = std::sin(phases[i]) * amplitude;
}

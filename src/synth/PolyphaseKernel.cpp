// Built with -fopenmp-simd and -ffp-contract=off (see CMakeLists.txt): the loop over outputs
// runs in vector lanes while each sum keeps its order and its separate roundings, whichever
// instruction set the clone chosen at start-up uses.
#include "synth/PolyphaseKernel.h"

#include "soundfile/CpuClones.h"

QUILL_CPU_CLONES
void PhaseSums(const double* right, std::size_t rightCount, const double* left,
               std::size_t leftCount, const double* samples, std::ptrdiff_t laneStep,
               std::size_t lanes, double* out) {
    // Tap by tap across all lanes: the loops over lanes are the vector loops.
    for (std::size_t m = 0; m < lanes; ++m)
        out[m] = 0.0;
    for (std::size_t j = 0; j < rightCount; ++j) {
        const double tap = right[j];
        const double* x = samples + j;
#pragma omp simd
        for (std::size_t m = 0; m < lanes; ++m)
            out[m] += tap * x[std::ptrdiff_t(m) * laneStep];
    }
    for (std::size_t j = 0; j < leftCount; ++j) {
        const double tap = left[j];
        const double* x = samples - 1 - std::ptrdiff_t(j);
#pragma omp simd
        for (std::size_t m = 0; m < lanes; ++m)
            out[m] += tap * x[std::ptrdiff_t(m) * laneStep];
    }
}

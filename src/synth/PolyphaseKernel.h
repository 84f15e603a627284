#pragma once
// The inner sums of the polyphase converter for outputs that share one filter phase, several
// outputs at a time. Each output's sum runs in the same order as a one-by-one loop would run
// it (right taps, then left taps, from the centre outwards), so the results are the same to
// the last bit: the lanes are outputs, not parts of one sum.

#include <cstddef>

// For m < lanes, with x = samples + m * laneStep:
//   out[m] = sum over j < rightCount of right[j] * x[j], then + left[j] * x[-1 - j] for
//   j < leftCount, accumulated in that order from 0.0.
void PhaseSums(const double* right, std::size_t rightCount, const double* left,
               std::size_t leftCount, const double* samples, std::ptrdiff_t laneStep,
               std::size_t lanes, double* out);

#pragma once
// Sample-rate conversion of one-channel blocks of doubles.
//
// The polyphase converter reduces the rate ratio to P/Q (output/input) and shares one
// windowed-sinc filter table, oversampled P times, between all conversions of a job:
//
//   InitPolyPhase(outputRate, inputRate);          // once per job
//   out = src_polyphase(in, &count, inputRate, outputRate);  // any number of times
//   free(out);
//   freeSincTable();                               // on every way out of the job
//
// The input of src_polyphase holds the signal at indices kPolyPhaseLeadIn ...
// kPolyPhaseLeadIn + count - 1 (callers pad it with kPolyPhaseLeadIn zeros on either side).
// Only those `count` samples are read; everything around them counts as silence however far
// the filter reaches, so the padding is never touched. Output k is the band-limited value of
// the signal at position k * Q / P - 1, i.e. the result is delayed by one input sample.
//
// Results are allocated with malloc and released by the caller with free. On failure the
// converters return null and leave `count` unchanged.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "synth/SynthStatus.h"

inline constexpr std::int32_t kPolyPhaseLeadIn = 512;

// Owns a block returned by the converters.
struct ConvertedBlockDeleter {
    void operator()(double* block) const noexcept { std::free(block); }
};
using ConvertedBlock = std::unique_ptr<double[], ConvertedBlockDeleter>;

// Builds the ratio and the filter table for one pair of rates (output first). Returns 0,
// kErrMemoryFull when the table cannot be allocated, or kErrBadSignalParameter for a rate that
// does not give a positive whole ratio. A table built earlier is released first.
int InitPolyPhase(double outputRate, double inputRate);

// Reduces trunc(outputRate) / trunc(inputRate) to lowest terms.
void InitPQ(double outputRate, double inputRate);
void GetPQ(std::int32_t* P, std::int32_t* Q);

// Builds the filter table for the ratio P/Q: the right half (centre included) of a Hann-
// windowed sinc with 24 zero crossings per side, cut off at the lower of the two Nyquist
// rates, with gain P/Q when converting down.
Status InitSincTablePPh(std::int32_t P, std::int32_t Q);

// Releases the table; harmless when there is none.
void freeSincTable();

// The current table, for inspection: null when there is none.
const float* GetSincTable();
std::uint32_t GetSincTableLength();

// Polyphase conversion with the table of the last InitPolyPhase (which must have been made
// for the same pair of rates). Returns null when there is no table.
double* src_polyphase(const double* input, std::uint32_t* count, double inputRate,
                      double outputRate);

// The number of outputs src_polyphase gives for `count` inputs (0 for rates it refuses).
std::uint32_t PolyphaseLength(std::uint32_t count, double inputRate, double outputRate);
// For converting a long signal a piece at a time: the input samples (numbered as in the padded
// input of src_polyphase) that outputs from .. from + length - 1 read lie in [*low, *high),
// within the signal; and those outputs, the same values as src_polyphase's, into `output`,
// with window[i - windowStart] holding input sample i for every i of that reach. False when
// there is no table.
void PolyphaseReach(std::uint32_t count, std::uint32_t from, std::uint32_t length,
                    std::int64_t* low, std::int64_t* high);
bool PolyphaseRange(const double* window, std::int64_t windowStart, std::uint32_t count,
                    std::uint32_t from, std::uint32_t length, double* output);

// Linear interpolation between neighbouring samples of input[0 .. count-1]; needs no padding.
// Outputs that fall on or past the last input sample hold that sample.
double* src_lin(const double* input, std::uint32_t* count, double inputRate, double outputRate);

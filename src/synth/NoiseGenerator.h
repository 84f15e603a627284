#pragma once
// Calibration noise: white, or pink (-3 dB per octave), optionally limited to a band, at an RMS
// level measured over the whole signal.
//
// The source is the sum of four uniform random values (close to Gaussian but bounded); pink
// noise is shaped by a chain of first-order sections whose poles and zeros alternate three per
// decade (the top four tuned to keep the slope within +-0.05 dB up to 0.42 of the sample rate,
// that is 20 kHz at 48 kHz), with a second-order high-pass at 10 Hz for the full band; a band
// is cut out by fourth-order Butterworth high- and low-pass filters. The rare peaks beyond four
// times the expected RMS value are clipped there, so the crest factor stays near 4 (12 dB) whatever
// the length; then the whole signal is scaled so that its RMS value is the level asked for. Nothing
// of it is held in memory: a first pass measures the RMS value and the peak, a second pass with the
// same seed writes the signal.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "soundfile/CSoundFile.h"
#include "synth/SynthStatus.h"

enum class NoiseColor { white, pink };

inline constexpr std::uint64_t kDefaultNoiseSeed = 1;
inline constexpr std::int32_t kNoiseBlockFrames = 5000;
// Peak to RMS ratio the source is clipped at: 12.04 dB.
inline constexpr double kNoiseCrestFactor = 4.0;
// The highest RMS level that a noise of any usual length takes: its crest factor stays below
// 12.5 dB. A short band-limited noise may measure a little less RMS than expected and then
// take a little less; GenerateNoise names the exact level.
inline constexpr double kHighestNoiseLevel = -12.5;
// The lowest band edge, Hz. The highest lies below half the sample rate.
inline constexpr double kLowestBandEdge = 10.0;
// Peaks stay at or below this fraction of full scale: three 16-bit steps below it, so that
// neither the rounding nor a dither can reach the largest code.
inline constexpr double kNoisePeakCeiling = 1.0 - 3.0 / 32768.0;

struct NoiseParameters {
    NoiseColor color = NoiseColor::pink;
    // Band edges in Hz; both 0 for the full band.
    double bandLow = 0.0;
    double bandHigh = 0.0;
    double level = -20.0; // dB re full scale, RMS
    std::uint64_t seed = kDefaultNoiseSeed;

    bool Banded() const { return bandLow != 0.0 || bandHigh != 0.0; }
};

// "Pink" or "White".
const char* NoiseColorName(NoiseColor color);
// The noise's name in markers and file names: "Pink -20.0dB RMS 500-2000Hz".
std::string NoiseLabel(const NoiseParameters& noise);
// Whether the band (when one is set) has kLowestBandEdge <= bandLow < bandHigh < rate / 2.
bool NoiseBandFits(const NoiseParameters& noise, double sampleRate);

// What GenerateNoise measured.
struct NoiseSummary {
    std::int32_t frames = 0;
    std::int32_t peakFrame = 0; // the first frame of the largest magnitude
    double peakLevel = 0.0;     // dB re full scale
    double crestFactor = 0.0;   // peak to RMS, dB
    double highestLevel = 0.0;  // the highest RMS level this signal takes, dB
};

// Takes `count` frames of the noise for the frames from `position` on; a status other than 0
// ends the noise there.
using NoiseSink = std::function<Status(std::int32_t position, std::int32_t count, double* block)>;

// Hands trunc(length * sampleRate) frames of the noise, numbered from startFrame on, to `write`
// in blocks of kNoiseBlockFrames, posting kSweepGeneratorProgressNotification with the fraction
// done (both passes) after each block and stopping before the next block once shouldStop is
// set. Same parameters, same samples. `summary` receives the measures and the frames written.
//
// Returns 0 or: kErrBadSignalParameter before anything is done, for a rate, length or level that
// is not a positive (level: finite) number, a band that does not fit, a negative startFrame or a
// signal that would end past the last 32-bit frame; kErrNoiseWouldClip, before anything is
// written, when the peak at this level would pass kNoisePeakCeiling (`summary` then names the
// highest level); else the first failing status of `write`.
int GenerateNoise(const NoiseSink& write, std::int32_t startFrame, double length, double sampleRate,
                  const NoiseParameters& noise, NoiseSummary* summary);

// The markers of a noise that starts at startFrame: its label at the start, its peak level and
// crest factor at the peak, and the end. The first failing AddMarker status, or 0.
Status AddNoiseMarkers(CSoundFile* file, std::int32_t startFrame, const NoiseParameters& noise,
                       const NoiseSummary& summary);

// The noise into channel 0 of `file` from startFrame on; then, unless stopped, the file's frame
// count brought up to date and the markers added. As the sink form, plus the first failing
// status of a write, UpdateSize or AddMarker.
int GenerateNoise(CSoundFile* file, std::int32_t startFrame, double length, double sampleRate,
                  const NoiseParameters& noise, NoiseSummary* summary = nullptr);

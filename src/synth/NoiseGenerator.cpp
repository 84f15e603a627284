#include "synth/NoiseGenerator.h"

#include <algorithm>
#include <any>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "shell/NotificationCenter.h"
#include "shell/SharedFlags.h"
#include "soundfile/Dither.h"

namespace {

constexpr double PI = 3.141592653589793;

// Pinking: each section is (1 - zero z^-1) / (1 - pole z^-1), with pole and zero the decay of
// a corner frequency per sample. The corners are fractions of the sample rate, so the shape is
// the same at every rate; below the four tuned sections a plain ladder (three sections per
// decade, each zero half a step above its pole) goes down to kLowestPinkCorner.
struct Corners {
    double pole, zero;
};
constexpr std::array<Corners, 4> kTopCorners = {{{0.6177396772606906, 0.7059047625731704},
                                                 {0.24613182455161747, 0.21417247650158627},
                                                 {0.0837932554288142, 0.1889907976455972},
                                                 {0.031131935062901822, 0.0476564133829758}}};
// A two-tap section (1 + c z^-1) that trims the top octave.
constexpr double kTopTrim = 0.1808315524688596;
constexpr double kLowestPinkCorner = 2.0; // Hz; below it the noise levels off
constexpr double kPinkHighPass = 10.0;    // Hz, second order, for the full band
const double kLadderStep = std::pow(10.0, 1.0 / 3.0);

// Variance of the source, the sum of four values uniform in [-1, 1).
constexpr double kSourceVariance = 4.0 / 3.0;

struct FirstOrder {
    double pole, zero;
    double x1 = 0.0, y1 = 0.0;
    double Process(double x) {
        const double y = x - zero * x1 + pole * y1;
        x1 = x;
        y1 = y;
        return y;
    }
};

// Direct form I biquad (Butterworth sections from the bilinear transform, prewarped).
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    double Process(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

Biquad ButterworthSection(double corner, double q, double sampleRate, bool highPass) {
    const double w = 2.0 * PI * corner / sampleRate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double side = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
    const double middle = highPass ? -(1.0 + c) : 1.0 - c;
    return {side / a0, middle / a0, side / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
}

// The spectral shaping of the source: pinking and band, as chosen.
class Shaping {
  public:
    Shaping(const NoiseParameters& noise, double sampleRate) {
        if (noise.color == NoiseColor::pink) {
            auto add = [&](double pole, double zero) {
                sections.push_back({std::exp(-2.0 * PI * pole), std::exp(-2.0 * PI * zero)});
            };
            for (const Corners& c : kTopCorners)
                add(c.pole, c.zero);
            const double lowest = kLowestPinkCorner / sampleRate;
            for (double pole = kTopCorners.back().pole / kLadderStep; pole > lowest;
                 pole /= kLadderStep)
                add(pole, pole * std::sqrt(kLadderStep));
            trim = kTopTrim;
            // Below the audible band pink noise would keep a quarter of its power (2 to 20
            // Hz holds as many octaves as a quarter of the whole), which a meter reads but no
            // speaker plays: a gentle high-pass takes it out, costing 0.26 dB at 20 Hz.
            if (!noise.Banded())
                band.push_back(
                    ButterworthSection(kPinkHighPass, 0.7071067811865476, sampleRate, true));
        }
        if (noise.Banded()) {
            // Fourth order: two sections of Q 1/(2 cos(pi/8)) and 1/(2 cos(3 pi/8)).
            for (double q : {0.5411961001461970, 1.3065629648763766}) {
                band.push_back(ButterworthSection(noise.bandLow, q, sampleRate, true));
                band.push_back(ButterworthSection(noise.bandHigh, q, sampleRate, false));
            }
        }
    }

    double Process(double x) {
        double y = x + trim * trimDelay;
        trimDelay = x;
        for (FirstOrder& s : sections)
            y = s.Process(y);
        for (Biquad& b : band)
            y = b.Process(y);
        return y;
    }

  private:
    std::vector<FirstOrder> sections;
    std::vector<Biquad> band;
    double trim = 0.0, trimDelay = 0.0;
};

// The energy of the shaping's impulse response: the variance it multiplies white noise by.
// Its slowest part (the lowest pink corner or band edge, at least 2 Hz) has died down to
// nothing that counts after eight seconds.
double ImpulseEnergy(const NoiseParameters& noise, double sampleRate) {
    Shaping shaping(noise, sampleRate);
    const auto frames = static_cast<std::int64_t>(8.0 * sampleRate);
    double energy = 0.0;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double y = shaping.Process(i == 0 ? 1.0 : 0.0);
        energy += y * y;
    }
    return energy;
}

// The unscaled noise, sample by sample: the same sequence for the same parameters.
class NoiseSource {
  public:
    NoiseSource(const NoiseParameters& noise, double sampleRate, double clip)
        : random(noise.seed), shaping(noise, sampleRate), clip(clip) {
        // A second of run-in, so that the slowest filter has settled before the first frame.
        for (std::int64_t i = 0, n = static_cast<std::int64_t>(sampleRate); i < n; ++i)
            Next();
    }

    double Next() {
        const double x =
            random.Uniform() + random.Uniform() + random.Uniform() + random.Uniform() - 2.0;
        const double y = shaping.Process(2.0 * x);
        return y > clip ? clip : (y < -clip ? -clip : y);
    }

  private:
    RandomSequence random;
    Shaping shaping;
    double clip;
};

bool PositiveFinite(double value) {
    return std::isfinite(value) && value > 0.0;
}

void PostProgress(double fraction) {
    NotificationCenter::Default().Post(kSweepGeneratorProgressNotification, std::any(fraction));
}

Status AddMarker(CSoundFile* file, std::int32_t id, std::int32_t position,
                 const std::string& text) {
    SFTMarker marker{};
    marker.id = id;
    marker.position = position;
    const std::size_t length = std::min(text.size(), std::size_t(kSFTMaxNameLength));
    marker.name[0] = static_cast<unsigned char>(length);
    std::memcpy(marker.name + 1, text.data(), length);
    marker.type = kMarkerTypeOrdinary;
    return file->AddMarker(&marker);
}

} // namespace

const char* NoiseColorName(NoiseColor color) {
    return color == NoiseColor::pink ? "Pink" : "White";
}

std::string NoiseLabel(const NoiseParameters& noise) {
    char text[96];
    int n =
        std::snprintf(text, sizeof text, "%s %.1fdB RMS", NoiseColorName(noise.color), noise.level);
    if (noise.Banded() && n > 0 && std::size_t(n) < sizeof text)
        std::snprintf(text + n, sizeof text - std::size_t(n), " %.0f-%.0fHz", noise.bandLow,
                      noise.bandHigh);
    return text;
}

bool NoiseBandFits(const NoiseParameters& noise, double sampleRate) {
    if (!noise.Banded()) return true;
    return noise.bandLow >= kLowestBandEdge && noise.bandLow < noise.bandHigh &&
           noise.bandHigh < sampleRate * 0.5;
}

int GenerateNoise(const NoiseSink& write, std::int32_t startFrame, double length, double sampleRate,
                  const NoiseParameters& noise, NoiseSummary* summary) {
    NoiseSummary measured;
    if (!write || startFrame < 0 || !PositiveFinite(length) || !PositiveFinite(sampleRate) ||
        !std::isfinite(noise.level) || !NoiseBandFits(noise, sampleRate) ||
        !std::isfinite(noise.bandLow) || !std::isfinite(noise.bandHigh))
        return kErrBadSignalParameter;
    const double planned = (length * 1000.0 / 1000.0) * sampleRate;
    if (!(planned >= 1.0 && planned < 2147483648.0)) return kErrBadSignalParameter;
    const auto N = static_cast<std::int32_t>(planned);
    if (N > std::numeric_limits<std::int32_t>::max() - startFrame) return kErrBadSignalParameter;

    std::unique_ptr<double[]> buffer(new (std::nothrow) double[kNoiseBlockFrames]);
    if (!buffer) return kErrMemoryFull;
    double* block = buffer.get();
    const double clip =
        kNoiseCrestFactor * std::sqrt(kSourceVariance * ImpulseEnergy(noise, sampleRate));
    const double progressTotal = 2.0 * planned;

    // First pass: the RMS value and the peak of the unscaled signal.
    double sumOfSquares = 0.0, peak = 0.0;
    {
        NoiseSource source(noise, sampleRate, clip);
        for (std::int32_t done = 0; done < N;) {
            if (shouldStop.load() != 0) return kNoErr;
            const std::int32_t n = std::min(N - done, kNoiseBlockFrames);
            for (std::int32_t i = 0; i < n; ++i) {
                const double y = source.Next();
                sumOfSquares += y * y;
                if (std::fabs(y) > peak) {
                    peak = std::fabs(y);
                    measured.peakFrame = startFrame + done + i;
                }
            }
            done += n;
            PostProgress(done / progressTotal);
        }
    }
    const double rms = std::sqrt(sumOfSquares / N);
    const double target = std::pow(10.0, noise.level / 20.0);
    if (!(rms > 0.0) || !PositiveFinite(target)) return kErrBadSignalParameter;
    const double scale = target / rms;
    measured.peakLevel = 20.0 * std::log10(peak * scale);
    measured.crestFactor = 20.0 * std::log10(peak / rms);
    // Rounded down to 0.01 dB, so that the level named is one that is taken.
    measured.highestLevel =
        std::floor((20.0 * std::log10(kNoisePeakCeiling) - measured.crestFactor) * 100.0) / 100.0;
    if (summary) *summary = measured;
    if (peak * scale > kNoisePeakCeiling) return kErrNoiseWouldClip;

    // Second pass: the same signal, scaled, to the writer.
    NoiseSource source(noise, sampleRate, clip);
    std::int32_t written = 0;
    while (written < N && shouldStop.load() == 0) {
        const std::int32_t count = std::min(N - written, kNoiseBlockFrames);
        for (std::int32_t i = 0; i < count; ++i)
            block[i] = source.Next() * scale;
        if (Status error = write(startFrame + written, count, block); error != kNoErr) return error;
        written += count;
        PostProgress((planned + written) / progressTotal);
    }
    measured.frames = written;
    if (summary) *summary = measured;
    return kNoErr;
}

Status AddNoiseMarkers(CSoundFile* file, std::int32_t startFrame, const NoiseParameters& noise,
                       const NoiseSummary& summary) {
    if (file == nullptr) return kErrBadSignalParameter;
    const std::string label = NoiseLabel(noise);
    char peakText[64];
    std::snprintf(peakText, sizeof peakText, "Peak %.2fdBFS crest %.2fdB", summary.peakLevel,
                  summary.crestFactor);
    Status error = AddMarker(file, 1, startFrame, label);
    if (error == kNoErr) error = AddMarker(file, 2, summary.peakFrame, peakText);
    if (error == kNoErr) error = AddMarker(file, 3, startFrame + summary.frames, "End " + label);
    return error;
}

int GenerateNoise(CSoundFile* file, std::int32_t startFrame, double length, double sampleRate,
                  const NoiseParameters& noise, NoiseSummary* summary) {
    if (file == nullptr) return kErrBadSignalParameter;
    auto write = [file](std::int32_t position, std::int32_t count, double* block) {
        std::int32_t done = count;
        Status error = file->Write(std::int16_t(0), position, &done, &block);
        // A file that takes less (or claims more) than it was given would lose part of the
        // sequence.
        return error == kNoErr && done != count ? kErrIO : error;
    };
    NoiseSummary measured;
    int error = GenerateNoise(write, startFrame, length, sampleRate, noise, &measured);
    if (summary) *summary = measured;
    if (error != kNoErr || shouldStop.load() != 0) return error;
    if (Status status = file->UpdateSize(); status != kNoErr) return status;
    return AddNoiseMarkers(file, startFrame, noise, measured);
}

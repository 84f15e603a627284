#pragma once
// Loudness of a programme as broadcast meters show it: integrated loudness (LUFS) and loudness
// range (LU) through libebur128, and the true peak of every channel (dBTP), the largest
// magnitude of the signal oversampled four times.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The weighting of each channel in the loudness sum, as libebur128's channel codes
// (EBUR128_LEFT, EBUR128_UNUSED, ...). With a WAVE channel mask (not 0) every channel counts by
// its position; without one, a file of six channels is taken as 5.1 in the usual order (L R C
// LFE Ls Rs) and any other file counts every channel once.
std::vector<int> LoudnessChannelMap(int channels, std::optional<std::uint32_t> mask);

// The largest magnitude of each channel between its samples: the signal interpolated by four
// with the 48-tap polyphase filter of the loudness standard; on the way, each channel's sample
// peak and sum of squares. Fed interleaved frames in order.
class TruePeakMeter {
  public:
    explicit TruePeakMeter(int channels);
    void Add(const double* interleaved, std::size_t frames);
    // Linear, 1.0 at full scale; at least the sample peak.
    double Peak(int channel) const { return peaks[std::size_t(channel)]; }
    double SamplePeak(int channel) const { return samplePeaks[std::size_t(channel)]; }
    double SumOfSquares(int channel) const { return sumsOfSquares[std::size_t(channel)]; }

  private:
    static constexpr std::size_t kHistory = 11; // the filter spans 12 input samples
    int channels;
    std::vector<double> peaks, samplePeaks, sumsOfSquares;
    std::vector<float> history; // per channel, its last kHistory samples
    std::vector<float> lane;    // one channel's history and block, contiguous
};

struct Loudness {
    std::optional<double> integrated; // LUFS; none when no block passes the gates
    double range = 0.0;               // LU
};

// Integrated loudness and loudness range of interleaved frames. With `background`, libebur128
// runs on a thread of its own: Buffer() hands out a block to fill (`blockFrames` frames at most)
// and Submit() queues it, so that reading the next block and measuring the last overlap.
class LoudnessMeter {
  public:
    LoudnessMeter(int channels, double sampleRate, const std::vector<int>& channelMap,
                  std::size_t blockFrames, bool background);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False when libebur128 could not be set up (rate or channel count out of its range, or no
    // memory): the meter then takes frames and gives no loudness.
    bool Ready() const;
    double* Buffer();
    void Submit(std::size_t frames);
    // Waits for the queued blocks; the meter takes no more frames after it.
    Loudness Finish();

  private:
    struct State;
    std::unique_ptr<State> state;
};

// Loudness through libebur128; the true peak with the standard's interpolation filter.
#include "jobs/LoudnessMeter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <ebur128.h>

#include "soundfile/CpuClones.h"

std::vector<int> LoudnessChannelMap(int channels, std::optional<std::uint32_t> mask) {
    // libebur128 weights each channel by its position: the surrounds (between 60 and 120
    // degrees off centre) by 1.41, the LFE not at all, every other position by 1.0.
    static const int kByMaskBit[] = {
        EBUR128_LEFT,          EBUR128_RIGHT,          EBUR128_CENTER, // FL FR FC
        EBUR128_UNUSED,                                                // LFE
        EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND,                 // BL BR
        EBUR128_MpSC,          EBUR128_MmSC,           EBUR128_Mp180,  // FLC FRC BC
        EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND,                 // SL SR
        EBUR128_Tp000,                                                 // TC
        EBUR128_Up030,         EBUR128_Up000,          EBUR128_Um030,  // TFL TFC TFR
        EBUR128_Up110,         EBUR128_Up180,          EBUR128_Um110,  // TBL TBC TBR
    };
    // A channel whose position is not known is a full-range channel somewhere: it counts once,
    // as a centre channel does. Dropping it, as libebur128 does past its sixth channel, would
    // make a file quieter than it sounds.
    std::vector<int> map(std::size_t(std::max(channels, 0)), EBUR128_CENTER);
    if (mask && *mask != 0) {
        // WAVE: the channels take the mask's positions in the order of its bits; channels
        // beyond them have none.
        std::size_t channel = 0;
        for (std::uint32_t bit = 0; bit < 32 && channel < map.size(); ++bit) {
            if ((*mask & (1u << bit)) == 0) continue;
            if (bit < std::size(kByMaskBit)) map[channel] = kByMaskBit[bit];
            ++channel;
        }
        return map;
    }
    // Without positions: mono, stereo and L R C are weighted 1.0 anyway; six channels are 5.1
    // in the order film and broadcast files use, which is also libebur128's own default.
    if (channels == 6) {
        map = {EBUR128_LEFT,   EBUR128_RIGHT,         EBUR128_CENTER,
               EBUR128_UNUSED, EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};
    }
    return map;
}

namespace {

// The four phases of the 48-tap interpolation filter for four times oversampling, each
// applied to the newest sample first.
constexpr float kPhases[4][12] = {
    {0.0017089843750f, 0.0109863281250f, -0.0196533203125f, 0.0332031250000f, -0.0594482421875f,
     0.1373291015625f, 0.9721679687500f, -0.1022949218750f, 0.0476074218750f, -0.0266113281250f,
     0.0148925781250f, -0.0083007812500f},
    {-0.0291748046875f, 0.0292968750000f, -0.0517578125000f, 0.0891113281250f, -0.1665039062500f,
     0.4650878906250f, 0.7797851562500f, -0.2003173828125f, 0.1015625000000f, -0.0582275390625f,
     0.0330810546875f, -0.0189208984375f},
    {-0.0189208984375f, 0.0330810546875f, -0.0582275390625f, 0.1015625000000f, -0.2003173828125f,
     0.7797851562500f, 0.4650878906250f, -0.1665039062500f, 0.0891113281250f, -0.0517578125000f,
     0.0292968750000f, -0.0291748046875f},
    {-0.0083007812500f, 0.0148925781250f, -0.0266113281250f, 0.0476074218750f, -0.1022949218750f,
     0.9721679687500f, 0.1373291015625f, -0.0594482421875f, 0.0332031250000f, -0.0196533203125f,
     0.0109863281250f, 0.0017089843750f},
};

// The largest interpolated magnitude for x[0] .. x[n-1], where x[-11] .. x[-1] are the samples
// before them. Runs in chunks whose sums stay in the first level cache, one vector lane per
// sample.
QUILL_CPU_CLONES
float InterpolatedPeak(const float* x, std::size_t n) {
    constexpr std::size_t kChunk = 256;
    float largest[kChunk] = {};
    float sum[kChunk];
    for (std::size_t start = 0; start < n; start += kChunk) {
        const std::size_t count = std::min(kChunk, n - start);
        const float* in = x + start;
        for (const auto& phase : kPhases) {
            for (std::size_t i = 0; i < count; ++i)
                sum[i] = phase[0] * in[i];
            for (std::size_t k = 1; k < 12; ++k) {
                const float c = phase[k];
                const float* past = in - k;
                for (std::size_t i = 0; i < count; ++i)
                    sum[i] += c * past[i];
            }
            for (std::size_t i = 0; i < count; ++i)
                largest[i] = std::max(largest[i], std::fabs(sum[i]));
        }
    }
    float peak = 0.0f;
    for (float value : largest)
        peak = std::max(peak, value);
    return peak;
}

} // namespace

TruePeakMeter::TruePeakMeter(int channelCount)
    : channels(std::max(channelCount, 1)), peaks(std::size_t(channels), 0.0),
      samplePeaks(std::size_t(channels), 0.0), sumsOfSquares(std::size_t(channels), 0.0),
      history(std::size_t(channels) * kHistory, 0.0f) {}

void TruePeakMeter::Add(const double* interleaved, std::size_t frames) {
    if (frames == 0) return;
    lane.resize(kHistory + frames);
    const auto stride = std::size_t(channels);
    for (std::size_t c = 0; c < stride; ++c) {
        float* saved = history.data() + c * kHistory;
        std::copy(saved, saved + kHistory, lane.begin());
        double samplePeak = samplePeaks[c], sumOfSquares = 0.0;
        for (std::size_t f = 0; f < frames; ++f) {
            const double x = interleaved[f * stride + c];
            samplePeak = std::max(samplePeak, std::fabs(x));
            sumOfSquares += x * x;
            lane[kHistory + f] = float(x);
        }
        samplePeaks[c] = samplePeak;
        sumsOfSquares[c] += sumOfSquares;
        const double interpolated = InterpolatedPeak(lane.data() + kHistory, frames);
        // The filter's phases fall between the samples: the samples themselves count too.
        peaks[c] = std::max({peaks[c], samplePeak, interpolated});
        std::copy(lane.end() - kHistory, lane.end(), saved);
    }
}

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    std::size_t channels = 1;
    std::size_t blockFrames = 1;
    std::vector<std::vector<double>> blocks;
    std::size_t current = 0;

    // With a worker: the blocks waiting for it (index, frames) and those free to fill.
    std::thread worker;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<std::size_t, std::size_t>> queued;
    std::vector<std::size_t> free;
    bool closing = false;

    void Measure(std::size_t index, std::size_t frames) {
        if (meter != nullptr) (void)ebur128_add_frames_double(meter, blocks[index].data(), frames);
    }

    void Work() {
        std::unique_lock held(lock);
        for (;;) {
            changed.wait(held, [this] { return closing || !queued.empty(); });
            if (queued.empty()) return;
            const auto [index, frames] = queued.front();
            queued.pop_front();
            held.unlock();
            Measure(index, frames);
            held.lock();
            free.push_back(index);
            changed.notify_all();
        }
    }

    void Stop() {
        if (!worker.joinable()) return;
        {
            std::lock_guard held(lock);
            closing = true;
        }
        changed.notify_all();
        worker.join();
    }
};

LoudnessMeter::LoudnessMeter(int channels, double sampleRate, const std::vector<int>& channelMap,
                             std::size_t blockFrames, bool background)
    : state(std::make_unique<State>()) {
    // The blocks are handed out even when libebur128 cannot measure (a rate outside its range):
    // the frames are then read for everything else and the loudness is none.
    state->channels = std::size_t(std::max(channels, 1));
    state->blockFrames = std::max<std::size_t>(blockFrames, 1);
    if (channels >= 1 && sampleRate >= 1.0 && sampleRate <= 2822400.0) {
        state->meter = ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate),
                                    EBUR128_MODE_I | EBUR128_MODE_LRA);
        for (std::size_t c = 0;
             state->meter != nullptr && c < channelMap.size() && c < std::size_t(channels); ++c)
            (void)ebur128_set_channel(state->meter, unsigned(c), channelMap[c]);
    }
    // Three blocks: one being read, one being measured, one waiting.
    const std::size_t count = background ? 3 : 1;
    state->blocks.assign(count, std::vector<double>(state->blockFrames * state->channels));
    for (std::size_t i = 0; i < count; ++i)
        state->free.push_back(i);
    if (background) state->worker = std::thread([s = state.get()] { s->Work(); });
}

LoudnessMeter::~LoudnessMeter() {
    state->Stop();
    if (state->meter != nullptr) ebur128_destroy(&state->meter);
}

bool LoudnessMeter::Ready() const {
    return state->meter != nullptr;
}

double* LoudnessMeter::Buffer() {
    std::unique_lock held(state->lock);
    state->changed.wait(held, [this] { return !state->free.empty(); });
    state->current = state->free.back();
    state->free.pop_back();
    return state->blocks[state->current].data();
}

void LoudnessMeter::Submit(std::size_t frames) {
    frames = std::min(frames, state->blockFrames);
    if (!state->worker.joinable()) {
        state->Measure(state->current, frames);
        state->free.push_back(state->current);
        return;
    }
    {
        std::lock_guard held(state->lock);
        state->queued.emplace_back(state->current, frames);
    }
    state->changed.notify_all();
}

Loudness LoudnessMeter::Finish() {
    state->Stop();
    Loudness result;
    if (state->meter == nullptr) return result;
    double integrated = 0.0;
    if (ebur128_loudness_global(state->meter, &integrated) == EBUR128_SUCCESS &&
        std::isfinite(integrated))
        result.integrated = integrated;
    double range = 0.0;
    if (ebur128_loudness_range(state->meter, &range) == EBUR128_SUCCESS && std::isfinite(range))
        result.range = range;
    return result;
}

#include "synth/LineupSignals.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

#include "synth/Levels.h"

namespace {

struct SignalInfo {
    const char* name;
    const char* title;
};

// In the order of LineupSignal.
constexpr SignalInfo kSignals[kLineupSignalCount] = {
    {"r68", "EBU R68 alignment tone"},
    {"rp155", "SMPTE RP155 reference tone"},
    {"ebu-stereo", "EBU stereo ident"},
    {"glits", "GLITS"},
    {"blits", "BLITS"},
    {"film-ident", "Film ident"},
    {"pop", "Sync pop"},
};

constexpr double kPopSeconds = 2.0;
// Frame counts stay below 2^53 so that every time and phase product in them is exact.
constexpr double kMaxFrames = 9007199254740992.0;

int Index(LineupSignal signal) {
    return static_cast<int>(signal);
}

bool TakesLayout(LineupSignal signal) {
    return signal == LineupSignal::r68 || signal == LineupSignal::rp155 ||
           signal == LineupSignal::filmIdent;
}

// The bursts and markers of a plan while it is drawn up, times placed on frames as it goes.
struct Draft {
    struct Mark {
        LineupMarker marker;
        bool cycleStart;
    };
    double rate;
    double cycle;
    std::int64_t cycles;
    std::int64_t frames;
    std::vector<ToneBurst> bursts;
    std::vector<Mark> marks;

    std::int64_t At(double seconds) const {
        return std::clamp<std::int64_t>(std::llround(seconds * rate), 0, frames);
    }
    double CycleStart(std::int64_t k) const { return static_cast<double>(k) * cycle; }
    double End() const { return CycleStart(cycles); }
    void Tone(int channel, double from, double to, double frequency, double dB) {
        const std::int64_t start = At(from), end = At(to);
        if (end > start) bursts.push_back({channel, start, end, frequency, dB2Amp(dB)});
    }
    void Marker(double seconds, std::string name, bool cycleStart) {
        marks.push_back({{At(seconds), std::move(name)}, cycleStart});
    }
};

void DraftTone(Draft& d, int channels, double dB, const char* title) {
    for (int channel = 0; channel < channels; ++channel)
        d.Tone(channel, 0.0, d.End(), 1000.0, dB);
    d.Marker(0.0, title, true);
}

// Right sounds throughout; left leaves the first quarter second of each cycle out.
void DraftEbuStereo(Draft& d) {
    d.Tone(1, 0.0, d.End(), 1000.0, -18.0);
    for (std::int64_t k = 0; k < d.cycles; ++k) {
        const double t = d.CycleStart(k);
        d.Tone(0, t + 0.25, t + 3.0, 1000.0, -18.0);
        d.Marker(t, "EBU stereo ident", true);
    }
}

// Left breaks at each cycle start, right twice a cycle; the right tone that runs over a cycle
// start is one burst until its first break in the next cycle.
void DraftGlits(Draft& d) {
    d.Tone(1, 0.0, 0.5, 1000.0, -18.0);
    for (std::int64_t k = 0; k < d.cycles; ++k) {
        const double t = d.CycleStart(k);
        d.Tone(0, t + 0.25, t + 4.0, 1000.0, -18.0);
        d.Tone(1, t + 0.75, t + 1.0, 1000.0, -18.0);
        d.Tone(1, t + 1.25, std::min(t + 4.5, d.End()), 1000.0, -18.0);
        d.Marker(t, "GLITS", true);
    }
}

void DraftBlits(Draft& d) {
    // Channel ident: L R C LFE Ls Rs in turn, 0.6 s of tone in each 0.8 s slot.
    constexpr double kIdentHz[6] = {880.0, 880.0, 1320.0, 82.5, 660.0, 660.0};
    // Stereo ident: left's tone stretches; right sounds from 4.8 s to 9.9 s.
    constexpr std::pair<double, double> kLeft[] = {
        {4.8, 5.8}, {6.1, 6.4}, {6.7, 7.0}, {7.3, 7.6}, {7.9, 9.9}};
    for (std::int64_t k = 0; k < d.cycles; ++k) {
        const double t = d.CycleStart(k);
        for (int channel = 0; channel < 6; ++channel) {
            const double slot = t + 0.8 * channel;
            d.Tone(channel, slot, slot + 0.6, kIdentHz[channel], -18.0);
        }
        for (const auto& [from, to] : kLeft)
            d.Tone(0, t + from, t + to, 1000.0, -18.0);
        d.Tone(1, t + 4.8, t + 9.9, 1000.0, -18.0);
        for (int channel = 0; channel < 6; ++channel)
            d.Tone(channel, t + 10.2, t + 13.2, 2000.0, -24.0);
        d.Marker(t, "BLITS channel ident", true);
        d.Marker(t + 4.8, "BLITS stereo ident", false);
        d.Marker(t + 10.2, "BLITS phase check", false);
    }
}

std::string SpeakerName(const LineupLayout& layout, int channel) {
    const auto index = static_cast<std::size_t>(channel);
    if (index < layout.names.size() && !layout.names[index].empty()) return layout.names[index];
    return std::to_string(channel + 1);
}

void DraftFilmIdent(Draft& d, const LineupLayout& layout) {
    if (layout.lfe >= 0) d.Tone(layout.lfe, 0.0, d.End(), 80.0, -18.0);
    for (std::int64_t k = 0; k < d.cycles; ++k) {
        const double t = d.CycleStart(k);
        for (int channel : layout.clockwise)
            d.Tone(channel, t, t + 3.0, 1000.0, -18.0);
        d.Marker(t, "Film ident", true);
        for (std::size_t i = 0; i < layout.clockwise.size(); ++i) {
            const double slot = t + 3.5 + static_cast<double>(i);
            const int channel = layout.clockwise[i];
            d.Tone(channel, slot, slot + 0.5, 1000.0, -18.0);
            d.Marker(slot, "Film ident " + SpeakerName(layout, channel), false);
        }
    }
}

// One picture frame: the NTSC rates stand for their exact fractions.
double PictureFrameSeconds(double fps) {
    if (std::abs(fps - 23.976) < 5e-4) return 1001.0 / 24000.0;
    if (std::abs(fps - 29.97) < 5e-4) return 1001.0 / 30000.0;
    return 1.0 / fps;
}

// The idents; the tones are one burst per channel and the pop is a single cycle.
bool RepeatsInCycles(LineupSignal signal) {
    return signal == LineupSignal::ebuStereo || signal == LineupSignal::glits ||
           signal == LineupSignal::blits || signal == LineupSignal::filmIdent;
}

// Film ident's LFE and main indices lie inside the layout, each channel used once.
bool UsableLayout(LineupSignal signal, const LineupLayout& layout) {
    if (layout.channels <= 0) return false;
    if (signal != LineupSignal::filmIdent) return true;
    std::vector<bool> used(static_cast<std::size_t>(layout.channels), false);
    if (layout.lfe >= layout.channels || layout.lfe < -1) return false;
    if (layout.lfe >= 0) used[static_cast<std::size_t>(layout.lfe)] = true;
    for (int channel : layout.clockwise) {
        if (channel < 0 || channel >= layout.channels || used[static_cast<std::size_t>(channel)])
            return false;
        used[static_cast<std::size_t>(channel)] = true;
    }
    return true;
}

// The cycle length in frames when every cycle after the first repeats the one before it
// exactly: a whole number of frames per cycle, and a whole number of periods per cycle in each
// burst that runs on through a whole cycle (its phase carries over).
std::int64_t RepeatingCycleFrames(const Draft& d) {
    const double exact = d.cycle * d.rate;
    if (std::abs(exact - std::round(exact)) > 1e-9) return 0;
    const std::int64_t cycleFrames = std::llround(exact);
    for (const ToneBurst& burst : d.bursts) {
        const double periods = burst.frequency * d.cycle;
        if (burst.end - burst.start >= cycleFrames &&
            std::abs(periods - std::round(periods)) > 1e-9)
            return 0;
    }
    return cycleFrames;
}

// All markers when they fit, else those at cycle starts, the first `limit` of them at most.
std::vector<LineupMarker> KeptMarkers(std::vector<Draft::Mark>& marks, int limit) {
    std::stable_sort(marks.begin(), marks.end(), [](const Draft::Mark& a, const Draft::Mark& b) {
        return a.marker.frame < b.marker.frame;
    });
    const std::size_t room = limit > 0 ? static_cast<std::size_t>(limit) : 0;
    const bool cycleStartsOnly = marks.size() > room;
    std::vector<LineupMarker> kept;
    for (Draft::Mark& mark : marks) {
        if (kept.size() >= room) break;
        if (!cycleStartsOnly || mark.cycleStart) kept.push_back(std::move(mark.marker));
    }
    return kept;
}

void DraftSignal(LineupSignal signal, Draft& d, const LineupLayout& layout, double popSeconds) {
    switch (signal) {
    case LineupSignal::r68:
        return DraftTone(d, layout.channels, -18.0, kSignals[Index(signal)].title);
    case LineupSignal::rp155:
        return DraftTone(d, layout.channels, -20.0, kSignals[Index(signal)].title);
    case LineupSignal::ebuStereo:
        return DraftEbuStereo(d);
    case LineupSignal::glits:
        return DraftGlits(d);
    case LineupSignal::blits:
        return DraftBlits(d);
    case LineupSignal::filmIdent:
        return DraftFilmIdent(d, layout);
    case LineupSignal::pop:
        d.Tone(0, 0.0, popSeconds, 1000.0, -20.0);
        d.Marker(0.0, "Sync pop", true);
        return;
    }
}

// Rendering goes through the output in tiles of kTileFrames frames, small enough to stay in
// cache: each tile is zeroed, then every group of bursts that sound alike (same start, end,
// frequency and amplitude) computes its stretch of sine once and copies it to its channels.
constexpr std::int64_t kTileFrames = 128;
constexpr int kLanes = 8;
// Frames a phasor runs before it is set again from exact values, which bounds its rounding.
constexpr std::int64_t kSeedFrames = 4096;

// 2π f j / fs reduced to [0, 2π) before any rounding of consequence: f j is exact for the
// frequencies used here, so equal phases come out bit for bit equal whatever j is.
double BurstPhase(double frequency, double rate, std::int64_t j) {
    const double turns = std::fmod(frequency * static_cast<double>(j), rate) / rate;
    return 2.0 * std::numbers::pi * (turns < 0.0 ? turns + 1.0 : turns);
}

// The sine of one burst, amplitude · sin(2π f j / fs) at burst frame j: kLanes phasors, one per
// lane, each turned by kLanes frames a step, so the lanes run independently of each other.
class SineLanes {
  public:
    SineLanes(const ToneBurst& burst, double rate) : burst_(&burst), rate_(rate) {
        const double step = BurstPhase(burst.frequency, rate, kLanes);
        cos_ = std::cos(step);
        sin_ = std::sin(step);
    }
    const ToneBurst& Burst() const { return *burst_; }

    // out[i] for burst frames j + i, i < count; carries on from the previous call when it
    // ended on a whole step where this one starts.
    void Fill(std::int64_t j, std::int64_t count, double* out) {
        if (j != next_ || j - seeded_ >= kSeedFrames) Seed(j);
        // Local lanes: the compiler need not fear that `out` overlaps them.
        double re[kLanes], im[kLanes];
        std::copy_n(re_, kLanes, re);
        std::copy_n(im_, kLanes, im);
        std::int64_t i = 0;
        for (; i + kLanes <= count; i += kLanes) {
            std::copy_n(im, kLanes, out + i);
            double turned[kLanes];
            for (int lane = 0; lane < kLanes; ++lane)
                turned[lane] = re[lane] * cos_ - im[lane] * sin_;
            for (int lane = 0; lane < kLanes; ++lane)
                im[lane] = re[lane] * sin_ + im[lane] * cos_;
            std::copy_n(turned, kLanes, re);
        }
        for (int lane = 0; i + lane < count; ++lane)
            out[i + lane] = im[lane];
        std::copy_n(re, kLanes, re_);
        std::copy_n(im, kLanes, im_);
        next_ = i == count ? j + count : -1;
    }

  private:
    void Seed(std::int64_t j) {
        for (int lane = 0; lane < kLanes; ++lane) {
            const double phase = BurstPhase(burst_->frequency, rate_, j + lane);
            re_[lane] = burst_->amplitude * std::cos(phase);
            im_[lane] = burst_->amplitude * std::sin(phase);
        }
        seeded_ = j;
    }

    const ToneBurst* burst_;
    double rate_, cos_, sin_;
    double re_[kLanes] = {}, im_[kLanes] = {};
    std::int64_t next_ = -1, seeded_ = 0;
};

double FadeGain(std::int64_t k, std::int64_t ramp) {
    return 0.5 *
           (1.0 - std::cos(std::numbers::pi * static_cast<double>(k) / static_cast<double>(ramp)));
}

// The raised-cosine fades on the frames of [j0, j0 + count) that lie in a ramp; a burst too
// short for two whole ramps fades over its halves.
void ApplyFades(const ToneBurst& burst, double rate, std::int64_t j0, std::int64_t count,
                double* out) {
    const std::int64_t length = burst.end - burst.start;
    const std::int64_t ramp =
        std::min<std::int64_t>(std::llround(kLineupRampSeconds * rate), length / 2);
    if (ramp <= 0) return;
    const std::int64_t j1 = j0 + count;
    for (std::int64_t j = j0; j < std::min(ramp, j1); ++j)
        out[j - j0] *= FadeGain(j, ramp);
    for (std::int64_t j = std::max(j0, length - ramp); j < j1; ++j)
        out[j - j0] *= FadeGain(length - 1 - j, ramp);
}

bool SameSound(const ToneBurst& a, const ToneBurst& b) {
    return a.start == b.start && a.end == b.end && a.frequency == b.frequency &&
           a.amplitude == b.amplitude;
}

struct SoundGroup {
    SineLanes sine;
    std::vector<int> channels;
};

// The bursts that reach into [from, to) on a channel of the plan, gathered into groups that
// sound alike. Such bursts start together, so they stand together in plan order.
std::vector<SoundGroup> GroupsWithin(const LineupPlan& plan, std::int64_t from, std::int64_t to) {
    const auto end = std::partition_point(plan.bursts.begin(), plan.bursts.end(),
                                          [to](const ToneBurst& b) { return b.start < to; });
    std::vector<const ToneBurst*> found;
    for (auto it = plan.bursts.begin(); it != end; ++it)
        if (it->end > from && it->end > it->start && it->channel >= 0 &&
            it->channel < plan.channels)
            found.push_back(&*it);
    std::vector<SoundGroup> groups;
    std::vector<bool> grouped(found.size(), false);
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (grouped[i]) continue;
        groups.push_back({SineLanes(*found[i], plan.sampleRate), {found[i]->channel}});
        for (std::size_t j = i + 1; j < found.size() && found[j]->start == found[i]->start; ++j) {
            if (!grouped[j] && SameSound(*found[i], *found[j])) {
                groups.back().channels.push_back(found[j]->channel);
                grouped[j] = true;
            }
        }
    }
    return groups;
}

// Frames [from, to) of one tile, already zeroed at `out`, where the group sounds.
void RenderTile(SoundGroup& group, double rate, int stride, std::int64_t from, std::int64_t to,
                double* out) {
    const ToneBurst& burst = group.sine.Burst();
    const std::int64_t first = std::max(burst.start, from), last = std::min(burst.end, to);
    if (first >= last) return;
    double sine[kTileFrames];
    group.sine.Fill(first - burst.start, last - first, sine);
    ApplyFades(burst, rate, first - burst.start, last - first, sine);
    // Row by row: the stores of one frame fall close together.
    const int* channels = group.channels.data();
    const std::size_t width = group.channels.size();
    double* row = out + (first - from) * stride;
    for (std::int64_t i = 0; i < last - first; ++i, row += stride)
        for (std::size_t c = 0; c < width; ++c)
            row[channels[c]] = sine[i];
}

} // namespace

int LineupChannels(LineupSignal signal, const LineupLayout& layout) {
    (void)layout;
    switch (signal) {
    case LineupSignal::ebuStereo:
    case LineupSignal::glits:
        return 2;
    case LineupSignal::blits:
        return 6;
    case LineupSignal::pop:
        return 1;
    default:
        return 0;
    }
}

std::vector<std::string> LineupSpeakerNames(LineupSignal signal, const LineupLayout& layout) {
    switch (signal) {
    case LineupSignal::ebuStereo:
    case LineupSignal::glits:
        return {"L", "R"};
    case LineupSignal::blits:
        return {"L", "R", "C", "LFE", "Ls", "Rs"};
    case LineupSignal::pop:
        return {"M"};
    default:
        return layout.names;
    }
}

double LineupCycleSeconds(LineupSignal signal, const LineupLayout& layout) {
    switch (signal) {
    case LineupSignal::ebuStereo:
        return 3.0;
    case LineupSignal::glits:
        return 4.0;
    case LineupSignal::blits:
        return 13.4;
    case LineupSignal::filmIdent:
        return 3.5 + static_cast<double>(layout.clockwise.size());
    case LineupSignal::pop:
        return kPopSeconds;
    default:
        return 0.001;
    }
}

LineupPlan PlanLineup(LineupSignal signal, double sampleRate, double lengthSeconds,
                      const LineupLayout& layout, double fps, int maxMarkers) {
    LineupPlan plan{0, 0, sampleRate, {}, {}, 0};
    const bool pop = signal == LineupSignal::pop;
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0 || !std::isfinite(lengthSeconds))
        return plan;
    if (pop && (!std::isfinite(fps) || fps <= 0.0)) return plan;
    if (TakesLayout(signal) && !UsableLayout(signal, layout)) return plan;

    Draft d{sampleRate, LineupCycleSeconds(signal, layout), 1, 0, {}, {}};
    const double wanted = std::ceil(lengthSeconds / d.cycle - 1e-9);
    if (!pop && wanted > 1.0) {
        if (wanted * d.cycle > kLineupMaxSeconds) return plan;
        d.cycles = static_cast<std::int64_t>(wanted);
    }
    if (d.End() * sampleRate >= kMaxFrames) return plan;
    d.frames = std::llround(d.End() * sampleRate);
    DraftSignal(signal, d, layout, PictureFrameSeconds(fps));

    std::stable_sort(d.bursts.begin(), d.bursts.end(), [](const ToneBurst& a, const ToneBurst& b) {
        return a.start < b.start || (a.start == b.start && a.channel < b.channel);
    });
    plan.channels = TakesLayout(signal) ? layout.channels : LineupChannels(signal, layout);
    plan.frames = d.frames;
    plan.cycleFrames = RepeatsInCycles(signal) ? RepeatingCycleFrames(d) : 0;
    plan.markers = KeptMarkers(d.marks, maxMarkers);
    plan.bursts = std::move(d.bursts);
    return plan;
}

const char* LineupSignalName(LineupSignal signal) {
    const int index = Index(signal);
    return index >= 0 && index < kLineupSignalCount ? kSignals[index].name : "";
}

const char* LineupSignalTitle(LineupSignal signal) {
    const int index = Index(signal);
    return index >= 0 && index < kLineupSignalCount ? kSignals[index].title : "";
}

std::optional<LineupSignal> LineupSignalNamed(const std::string& name) {
    for (int index = 0; index < kLineupSignalCount; ++index)
        if (name == kSignals[index].name) return static_cast<LineupSignal>(index);
    return std::nullopt;
}

void RenderLineup(const LineupPlan& plan, std::int64_t from, std::int32_t count,
                  double* interleaved) {
    if (count <= 0 || interleaved == nullptr || plan.channels <= 0) return;
    const int stride = plan.channels;
    // Frames past the largest position are silent (and never overflow the arithmetic).
    constexpr std::int64_t kLast = std::numeric_limits<std::int64_t>::max();
    const std::int64_t to = from > kLast - count ? kLast : from + count;
    std::fill(interleaved + (to - from) * stride, interleaved + std::int64_t{count} * stride, 0.0);
    std::vector<SoundGroup> groups;
    if (plan.sampleRate > 0.0) groups = GroupsWithin(plan, from, to);
    for (std::int64_t tile = from, tileEnd; tile < to; tile = tileEnd) {
        tileEnd = tile + std::min(kTileFrames, to - tile);
        double* out = interleaved + (tile - from) * stride;
        std::fill(out, out + (tileEnd - tile) * stride, 0.0);
        for (SoundGroup& group : groups)
            RenderTile(group, plan.sampleRate, stride, tile, tileEnd, out);
    }
}

#pragma once
// The studio line-up signals: alignment tones, stereo and multichannel idents and the sync pop,
// planned as a list of sine bursts per channel and rendered from that list block by block.
//
// Planning is cheap and exact (every burst edge and marker is a frame number); rendering
// needs no per-sample sin and writes silence as plain zeros, so that long many-channel files
// cost little more than their memory traffic.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class LineupSignal { r68, rp155, ebuStereo, glits, blits, filmIdent, pop };
inline constexpr int kLineupSignalCount = 7;

// One stretch of sine on one channel: frames [start, end) (end exclusive),
// sin(2π f (n - start) / fs) * amplitude, i.e. phase 0 at its start, with a raised-cosine fade
// of kLineupRampSeconds at both ends, inside [start, end). A burst shorter than two ramps fades
// in over its first half and out over its second.
struct ToneBurst {
    int channel;
    std::int64_t start;
    std::int64_t end;
    double frequency;
    double amplitude;
};
inline constexpr double kLineupRampSeconds = 0.002;

struct LineupMarker {
    std::int64_t frame;
    std::string name;
};

// How the caller's speakers map onto channels (film ident; ignored by the others).
struct LineupLayout {
    int channels; // channel count of the output (file order)
    int lfe;      // channel index of the LFE speaker, -1 when none
    // Main channel indices in ident order: the ear-level ring from front left clockwise, then
    // each height ring.
    std::vector<int> clockwise;
    std::vector<std::string> names; // speaker name per channel (file order), for marker names
};

struct LineupPlan {
    int channels;
    std::int64_t frames;
    double sampleRate;
    std::vector<ToneBurst> bursts;     // sorted by start
    std::vector<LineupMarker> markers; // sorted by frame, at most maxMarkers
    // Frames of one cycle when frames [k·C, (k+1)·C) equal frames [C, 2C) for every k ≥ 1 but
    // the last cycle (which holds the fade-outs at the file's end), else 0. Set only for the
    // idents; the tones and the pop do not repeat in cycles worth reusing.
    std::int64_t cycleFrames;
};

// The channel count a signal has by itself: ebuStereo and glits 2 (L R), blits 6
// (L R C LFE Ls Rs), pop 1; 0 for r68, rp155 and film ident, which take the caller's layout.
int LineupChannels(LineupSignal signal, const LineupLayout& layout);
// The speaker names of a signal's channels: its own ones, or the layout's names for the signals
// that take the caller's layout.
std::vector<std::string> LineupSpeakerNames(LineupSignal signal, const LineupLayout& layout);

// The cycle of a signal in seconds: 3 ebu stereo, 4 glits, 13.4 blits, 3.5 + n film ident with
// n = clockwise.size(), 0.001 (a whole number of 1 kHz periods) for r68 and rp155, 2 the pop.
double LineupCycleSeconds(LineupSignal signal, const LineupLayout& layout);

// The plan of a signal: `lengthSeconds` rounded up to whole cycles, at least one (the pop is
// always 2 s). `fps` sets the pop's length only: 23.976 means 24000/1001 and 29.97 means
// 30000/1001, other rates are taken as given. At most maxMarkers markers: when the full set
// would be more, only those at cycle starts, and of those the first maxMarkers.
//
// Arguments that give no signal come back as an empty plan (0 channels, 0 frames): a sample
// rate or length that is not a finite number or a positive rate, a file longer than
// kLineupMaxSeconds, a pop frame rate that is not positive and finite, and a layout (for the
// signals that take one) without channels or whose LFE or main indices are outside it, repeated
// or the same channel twice.
inline constexpr double kLineupMaxSeconds = 100.0 * 3600.0;
LineupPlan PlanLineup(LineupSignal signal, double sampleRate, double lengthSeconds,
                      const LineupLayout& layout, double fps, int maxMarkers);

// Writes frames [from, from + count) of every channel, interleaved (count * channels doubles),
// from the plan's bursts; silence elsewhere, also before the file's start and past its end.
// Bursts on channels outside the plan are ignored. Nothing is written for a count that is not
// positive or a null buffer.
void RenderLineup(const LineupPlan& plan, std::int64_t from, std::int32_t count,
                  double* interleaved);

// Names for the user interfaces and the command line: "r68", "rp155", "ebu-stereo", "glits",
// "blits", "film-ident", "pop", and titles such as "EBU R68 alignment tone".
const char* LineupSignalName(LineupSignal signal);
const char* LineupSignalTitle(LineupSignal signal);
std::optional<LineupSignal> LineupSignalNamed(const std::string& name);

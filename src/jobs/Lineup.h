#pragma once
// Line-up signals as files: one interleaved file with a channel per speaker (in Broadcast WAVE
// in the order of the layout's channel mask, which the file carries), or a folder of mono files,
// one per speaker, frame for frame alike. Markers name every section and cycle; a Broadcast
// WAVE file can be placed at a timecode through its time reference.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/Settings.h"
#include "synth/LineupSignals.h"

class AppController;

// The picture rates a sync pop is made for.
inline constexpr double kLineupFrameRates[] = {23.976, 24.0, 25.0, 29.97, 30.0};

// The alignment tones and the film ident play on a layout of the user's; the others have their
// own channels.
bool LineupTakesLayout(LineupSignal signal);
// The layout a signal is offered with: stereo for the alignment tones, 5.1 otherwise.
std::int32_t LineupDefaultLayout(LineupSignal signal);

// The channels of a line-up output: the speakers in the output's channel order, the layout the
// planner takes, and the channel mask of an interleaved Broadcast WAVE file (`maskOrder`): its
// channels then follow the mask's bits where every speaker has a position.
struct LineupChannelSet {
    std::vector<std::string> speakers;
    LineupLayout layout;
    std::optional<std::uint32_t> mask;
};
LineupChannelSet LineupChannelsOf(LineupSignal signal, std::int32_t channelSetup, bool maskOrder);

// Whether the job writes a folder of mono files: asked for, and more than one channel.
bool LineupWritesFolder(const Settings& settings);
// The proposed name of the output: "BLITS", "Film ident 7.1.4", "Sync pop 25 fps".
std::string LineupFileName(const Settings& settings);
// The frames since midnight at `rate` of a non-drop timecode "HH:MM:SS:FF" at `fps` (at 23.976
// and 29.97 a frame lasts 1001/24000 and 1001/30000 s); none, and *problem says why, for a
// timecode that is not one.
std::optional<std::uint64_t> TimecodeFrames(const std::string& timecode, double fps, double rate,
                                            std::string* problem);

// Worker: the line-up signal of the controller's settings for `chosenPath` (a file, or the
// folder of a set). A failure is told to the user; nothing unfinished is left behind.
void makeLineupFiles(AppController& controller, const std::string& chosenPath);

#pragma once
// Speaker layouts: the speakers of each layout in file order, the rings its pair checks walk,
// and where each speaker goes in one interleaved file. One table serves the phase check, the
// level check, the line-up signals, both front ends and the interleaved writer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/TxSoundFile.h"

// Layouts by stored number (`channelSetup`): "Stereo", "Quad", "LCRS", "5.1", "6.1", "7.1",
// "10.2", then "7.1 Surround", "5.1.2", "5.1.4", "7.1.2", "7.1.4", "9.1.6".
inline constexpr std::int32_t kLayoutCount = 13;
inline constexpr std::int32_t kLayoutFiveDotOne = 3;

struct SpeakerLayout {
    const char* title; // as the window shows it: "7.1 Surround"
    const char* name;  // as the command line takes it: "7.1-surround"
    // File order: the order of the files of a set and of the channels of an interleaved file
    // without a channel mask.
    std::vector<std::string> speakers;
    // The speakers around each ring, clockwise from above, closed: the pair checks visit each
    // neighbour pair of a ring, the last with the first. Empty: the file order is the one ring.
    std::vector<std::vector<std::string>> rings;
};

// The layout of a stored number; none outside 0..kLayoutCount-1.
const SpeakerLayout* FindLayout(std::int32_t channelSetup);
// The number of a layout's command-line name (case ignored); none for an unknown name.
std::optional<std::int32_t> LayoutNumberNamed(const std::string& name);
// The title of a layout ("5.1"); none outside the table.
std::optional<std::string> LayoutTitle(std::int32_t channelSetup);
// The part of file names that names a layout: its title without spaces ("7.1-Surround").
std::string LayoutFileTag(std::int32_t channelSetup);
// The speakers of a layout in file order ("L", "R" for stereo); empty outside the table.
std::vector<std::string> LayoutSpeakers(std::int32_t channelSetup);
// The rings of a layout as lists of speakers; the file order when it names none.
std::vector<std::vector<std::string>> LayoutRings(std::int32_t channelSetup);

// The pairs a phase check sounds, as indices into `speakers`: every neighbour pair of every
// ring (the last with the first), except those touching LFE, LSB or RSB.
std::vector<std::pair<std::size_t, std::size_t>>
CheckedPairs(const std::vector<std::string>& speakers,
             const std::vector<std::vector<std::string>>& rings);

// The WAVE channel mask bit of a speaker's position (L front left, Ls back left, Lss side
// left, Ltf top front left, ...); 0 for a speaker without one (Lw, Lh, Ltm, LSB, ...).
std::uint32_t SpeakerMaskBit(const std::string& speaker);
// Where each speaker of a layout (in the layout's order) goes in an interleaved file: one
// entry per speaker, in the same order, with its channel index. With `mask` (a WAVE file):
// when every speaker has its own position, the channels follow the order of their mask bits,
// as WAVE readers expect, and *mask gets the bits; otherwise the channels keep the layout's
// order and *mask is 0. Without `mask` (AIFF), the layout's order.
std::vector<TxSoundFile::Channel> InterleavedChannels(const std::vector<std::string>& speakers,
                                                      std::uint32_t* mask);

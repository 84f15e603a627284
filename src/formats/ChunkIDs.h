#pragma once
// The four-character codes the formats read and write: containers, form types, chunk IDs and
// the codes inside chunks, each named once.

#include <cstdint>

#include "soundfile/ByteOrder.h"

namespace chunkid {
using byteorder::FourCC;

// Containers and form types.
inline constexpr std::uint32_t kFORM = FourCC("FORM");
inline constexpr std::uint32_t kAIFF = FourCC("AIFF");
inline constexpr std::uint32_t kAIFC = FourCC("AIFC");
inline constexpr std::uint32_t kRIFF = FourCC("RIFF");
inline constexpr std::uint32_t kWAVE = FourCC("WAVE");
inline constexpr std::uint32_t kRF64 = FourCC("RF64"); // WAVE forms with 64-bit sizes
inline constexpr std::uint32_t kBW64 = FourCC("BW64");
// The Broadcast WAVE object's own format code.
inline constexpr std::uint32_t kBWLN = FourCC("BWLN");

// AIFF chunks and the codes they hold.
inline constexpr std::uint32_t kCOMM = FourCC("COMM");
inline constexpr std::uint32_t kSSND = FourCC("SSND");
inline constexpr std::uint32_t kINST = FourCC("INST");
inline constexpr std::uint32_t kMARK = FourCC("MARK");
inline constexpr std::uint32_t kAPPL = FourCC("APPL");
inline constexpr std::uint32_t kNONE = FourCC("NONE"); // AIFF-C: no compression
inline constexpr std::uint32_t kSSYS = FourCC("SSYS"); // an application signature

// WAVE chunks, the associated-data list and its sub-chunks.
inline constexpr std::uint32_t kFmt = FourCC("fmt ");
inline constexpr std::uint32_t kFmtCR = FourCC("fmt\r"); // written by some old tools
inline constexpr std::uint32_t kData = FourCC("data");
inline constexpr std::uint32_t kFact = FourCC("fact"); // the frame count of non-PCM data
inline constexpr std::uint32_t kJUNK = FourCC("JUNK"); // room kept free, here for ds64
inline constexpr std::uint32_t kDs64 = FourCC("ds64"); // the 64-bit sizes of RF64 and BW64
inline constexpr std::uint32_t kCue = FourCC("cue ");
inline constexpr std::uint32_t kLIST = FourCC("LIST");
inline constexpr std::uint32_t kAdtl = FourCC("adtl");
inline constexpr std::uint32_t kLabl = FourCC("labl");
inline constexpr std::uint32_t kNote = FourCC("note");
inline constexpr std::uint32_t kLtxt = FourCC("ltxt");
inline constexpr std::uint32_t kRgn = FourCC("rgn ");
// Broadcast WAVE.
inline constexpr std::uint32_t kBext = FourCC("bext");
inline constexpr std::uint32_t kRegn = FourCC("regn");
} // namespace chunkid

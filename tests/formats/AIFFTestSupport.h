#pragma once
// Writing and reading AIFF specimens for the format tests: a file described by its format,
// markers, loops and sampler information, with samples that every reader can predict.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/CAIFFFile.h"
#include "shell/FSSpec.h"

struct AIFFSpecimen {
    std::int16_t channels = 1;
    std::int16_t bits = 16;
    float rate = 44100.0f;
    std::int32_t frames = 0;
    std::vector<SFTMarker> markers;
    std::vector<SFTLoop> loops;
    std::optional<SFTSamplerInfo> sampler;
};

// The integer code of the specimen's sample at (frame, channel) for `bits`: it sweeps the
// whole range of the word, the most negative code included.
std::int64_t SpecimenCode(std::int32_t frame, std::int16_t channel, std::int16_t bits);
// Those codes for every frame, interleaved, scaled to [-1, 1).
std::vector<double> SpecimenSamples(std::int32_t frames, std::int16_t channels,
                                    std::int16_t bits);

// Writes the specimen through CAIFFFile (Create, interleaved Write, Close). The status of the
// first failing step.
Status WriteSpecimen(const FSSpec& fileRef, const AIFFSpecimen& specimen);

SFTMarker MakeMarker(std::int32_t id, std::int32_t position, const std::string& name,
                     std::int16_t type = kMarkerTypeOrdinary, std::int16_t number = -1);
std::string MarkerName(const SFTMarker& marker);

// The body of the first chunk `id` in an IFF byte image (after its 8-byte header), or nothing.
std::optional<std::vector<std::uint8_t>> ChunkBody(const std::vector<std::uint8_t>& file,
                                                   const char* id);
// Byte offset of the header of the first chunk `id`, or -1.
std::int64_t ChunkOffset(const std::vector<std::uint8_t>& file, const char* id);

// Runs a command through the shell; its standard output, and its exit status in `*status`.
std::string RunCommand(const std::string& command, int* status);

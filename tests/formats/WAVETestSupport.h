#pragma once
// Writing WAVE and Broadcast WAVE specimens for the format tests, and looking at RIFF images.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AIFFTestSupport.h"
#include "formats/CBWFLinearFile.h"
#include "formats/CWAVEFile.h"
#include "shell/Preferences.h"
#include "support/TempDir.h"

struct WAVESpecimen {
    bool broadcast = false; // CBWFLinearFile instead of CWAVEFile
    std::int16_t channels = 1;
    std::int16_t bits = 16;
    float rate = 44100.0f;
    std::int32_t frames = 0;
    std::vector<SFTMarker> markers;
    std::vector<SFTRegion> regions;
    std::optional<std::int32_t> timeStamp;
    std::optional<std::uint32_t> channelMask; // written in the extensible format when set
};

// Writes the specimen (Create, interleaved Write of SpecimenCode samples, markers, regions,
// Close); the status of the first failing step.
Status WriteWAVESpecimen(const FSSpec& fileRef, const WAVESpecimen& specimen);

SFTRegion MakeRegion(std::int32_t start, std::int32_t end, std::int32_t sync,
                     const std::string& name, std::int32_t timeStampLS = 0);

// Offset of the header of the first RIFF chunk `id` (little-endian sizes), or -1.
std::int64_t RiffChunkOffset(const std::vector<std::uint8_t>& file, const char* id);
// Every chunk of a RIFF image as (offset, ID), in file order, as far as the sizes lead.
std::vector<std::pair<std::int64_t, std::string>> RiffChunks(const std::vector<std::uint8_t>& file);

std::uint32_t LE32At(const std::vector<std::uint8_t>& bytes, std::int64_t offset);
std::uint16_t LE16At(const std::vector<std::uint8_t>& bytes, std::int64_t offset);
std::string TextAt(const std::vector<std::uint8_t>& bytes, std::int64_t offset, std::size_t n);

// Writes `bytes` to `name` in `dir` and opens it with `file`; the status of Open.
Status OpenBytes(const TempDir& dir, CSoundFile* file, const std::vector<std::uint8_t>& bytes,
                 const char* name = "in.wav");

// A preferences store of its own for a test, holding the readers' declared defaults (the
// user's own preferences are neither read nor written).
class WAVEReaderPreferences {
public:
    WAVEReaderPreferences();
    ~WAVEReaderPreferences();
    Preferences& Store() { return *store; }

private:
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<Preferences> store;
    std::unique_ptr<ScopedSharedPreferences> scope;
};

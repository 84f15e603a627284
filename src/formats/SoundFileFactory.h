#pragma once
// The one place that knows which class writes which file type, and the abstract branch for
// files whose sample format is taken from another sound file.

#include <cstdint>
#include <memory>

#include "soundfile/CSoundFile.h"

// A new, default-constructed object for the four-character file type: CAIFFFile for 'AIFF',
// CBWFLinearFile for 'BWLN'; null for every other code. ISoundFile must run on it first.
std::unique_ptr<CSoundFile> CreateSoundFile(std::uint32_t type);

// A sound file whose channel count, word size and rate come from a source file. Nothing in
// this system makes one; subclasses supply the format hooks.
class CCodedFile : public CSoundFile {
  public:
    using CSoundFile::Create;
    // The base Create with the source's channels, word size and rate; the three values given
    // here are ignored.
    [[nodiscard]] virtual Status Create(CSoundFile* source, std::int16_t numChannels,
                                        std::int16_t wordSize, float sampleRate, void* specifics,
                                        unsigned char extendName, unsigned char* extension);
};

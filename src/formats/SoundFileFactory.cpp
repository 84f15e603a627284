#include "formats/SoundFileFactory.h"

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"

std::unique_ptr<CSoundFile> CreateSoundFile(std::uint32_t type) {
    switch (type) {
    case byteorder::FourCC("AIFF"):
        return std::make_unique<CAIFFFile>();
    case byteorder::FourCC("BWLN"):
        return std::make_unique<CBWFLinearFile>();
    default:
        return nullptr;
    }
}

Status CCodedFile::Create(CSoundFile* source, std::int16_t, std::int16_t, float, void* specifics,
                          unsigned char extendName, unsigned char* extension) {
    return CSoundFile::Create(source->GetNumChannels(), source->GetWordSize(),
                              source->GetSampleRate(), specifics, extendName, extension);
}

#include "jobs/SaveOptions.h"

#include "jobs/Settings.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"

SaveOptions SaveOptions::FromDictionary(const nlohmann::json& dictionary) {
    SaveOptions options;
    options.kind = dictionary_value::Int32(dictionary, "Kind");
    options.format = dictionary_value::Int32(dictionary, "Format");
    options.type = kFileTypeAIFF;
    if (options.format == kDataFormatFloat32) options.format = DataFormatForBits(24);
    return options;
}

nlohmann::json SaveOptions::dictionary() const {
    return nlohmann::json{{"Kind", kind}, {"FileType", type}, {"Format", format}};
}

int SaveOptions::wordLength() const {
    if (floatSamples()) return 32;
    return static_cast<std::uint32_t>(format) < 2 ? 16 : 24;
}

int SaveOptions::soundFileWordLength() const {
    return floatSamples() ? kFloat32WordSize : wordLength();
}

std::uint32_t SaveOptions::realFileType() const {
    return type == kFileTypeBroadcastWave ? byteorder::FourCC("BWLN") : byteorder::FourCC("AIFF");
}

#pragma once
// The choices about a job's output: which kind of job, which file format, which word length.
// They survive between runs in the preferences under "SaveOptions".

#include <cstdint>

#include <nlohmann/json.hpp>

inline constexpr const char* kSaveOptionsKey = "SaveOptions";

// The numbers job kinds are stored under (`outputType`); the code speaks of JobKind
// (jobs/JobKinds.h).
inline constexpr std::int32_t kOutputTestTone = 0;
inline constexpr std::int32_t kOutputFullSweep = 1;
inline constexpr std::int32_t kOutputCustomSweep = 2;
inline constexpr std::int32_t kOutputPhaseCheck = 3;
inline constexpr std::int32_t kOutputNoise = 4;
inline constexpr std::int32_t kOutputLevelCheck = 5;
inline constexpr std::int32_t kOutputLineup = 6;

// The word-length code (`dataFormat`) of `bits` bits per sample: 16 or 24.
inline std::int32_t DataFormatForBits(int bits) {
    return bits == 24 ? 2 : 1;
}
// The word-length code of 32-bit floating-point samples (Broadcast WAVE only). Such a job's
// files are made with soundFileWordLength(), kFloat32WordSize (soundfile/CSoundFile.h), which
// TxSoundFile::initWithType takes as its word length.
inline constexpr std::int32_t kDataFormatFloat32 = 3;

// File format choices (`fileType`).
inline constexpr std::int32_t kFileTypeAIFF = 0;
inline constexpr std::int32_t kFileTypeBroadcastWave = 1;

class SaveOptions {
  public:
    SaveOptions() = default;
    // Restores the job kind and the word length. The file type is deliberately not restored:
    // every launch starts with AIFF output, which holds no floating-point samples, so a stored
    // kDataFormatFloat32 comes back as 24 bits (what the code meant before it meant float).
    static SaveOptions FromDictionary(const nlohmann::json& dictionary);
    // {"Kind": outputType, "FileType": fileType, "Format": dataFormat}
    nlohmann::json dictionary() const;

    std::int32_t outputType() const { return kind; }
    void setOutputType(std::int32_t value) { kind = value; }
    std::int32_t fileType() const { return type; }
    void setFileType(std::int32_t value) { type = value; }
    std::int32_t dataFormat() const { return format; }
    void setDataFormat(std::int32_t value) { format = value; }
    // A per-speaker set (phase check) as one interleaved file instead of one mono file per
    // speaker. Chosen per run, never kept in the preferences.
    bool interleaved() const { return interleavedSet; }
    void setInterleaved(bool value) { interleavedSet = value; }

    // Bits per sample: 16 for the codes 0 and 1, 32 for kDataFormatFloat32, 24 for everything
    // else (negative codes too).
    int wordLength() const;
    // Whether the samples are 32-bit floating point (kDataFormatFloat32).
    bool floatSamples() const { return format == kDataFormatFloat32; }
    // The word length a job's files are created with (TxSoundFile::initWithType): wordLength(),
    // or kFloat32WordSize for floating-point samples.
    int soundFileWordLength() const;
    // The type code handed to the sound file factory: 'BWLN' for Broadcast WAVE, else 'AIFF'.
    std::uint32_t realFileType() const;

    // TPDF dither on the signal's samples. Off by default and not kept in the preferences.
    bool dither() const { return tpdf; }
    void setDither(bool value) { tpdf = value; }

  private:
    std::int32_t kind = kOutputTestTone;
    std::int32_t type = kFileTypeAIFF;
    std::int32_t format = 1;
    bool tpdf = false;
    bool interleavedSet = false;
};

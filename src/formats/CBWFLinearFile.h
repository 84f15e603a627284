#pragma once
// CBWFLinearFile: Broadcast WAVE files with linear PCM. A WAVE file (CWAVEFile) that carries a
// "bext" chunk (version 0) ahead of the format chunk and, after the sample data, a private
// "regn" chunk holding the regions with their time stamps.
//
// Files written by Create start with a 910-byte header:
//   0   "RIFF", size (0x7FFFFFFF until Close), "WAVE"
//   12  "bext", 858, the 602 bytes of fixed fields and 256 bytes of coding history
//   878 "fmt " chunk as in CWAVEFile
//   902 "data", size
//   910 interleaved frames
// Close pads odd sample data, appends "regn" (always) and the cue and LIST chunks (when there
// are markers or regions), patches the sizes and rewrites the bext chunk in place.

#include <cstdint>
#include <optional>
#include <string>

#include "formats/CWAVEFile.h"

namespace bwflayout {
inline constexpr std::int32_t kBextChunkSize = 866; // ID, size and 858 bytes
inline constexpr std::int32_t kBextDataSize = 858;
inline constexpr std::int32_t kBextFixedSize = 602; // the fields before the coding history
inline constexpr std::int32_t kBWFHeaderSize = 910;
inline constexpr std::int32_t kRegionRecordSize = 88; // seven 64-bit values and a 32-byte name
inline constexpr std::int32_t kDescriptionSize = 256;
// Where the description's Pascal string lies in the specifics block, and its longest length.
inline constexpr std::int32_t kSpecificsDescriptionOffset = 22;
inline constexpr std::int32_t kSpecificsDescriptionMax = 233;
} // namespace bwflayout

// The text fields and numbers of a bext chunk as read from a file.
struct BWFBextInfo {
    std::string description;
    std::string originator;
    std::string originatorReference;
    std::string originationDate;
    std::string originationTime;
    std::uint64_t timeReference = 0;
    std::uint16_t version = 0;
};

class CBWFLinearFile : public CWAVEFile {
  public:
    // Reaches its file through `services` (null: the current file services).
    explicit CBWFLinearFile(FileServices* services = nullptr);
    ~CBWFLinearFile() override; // closes a file that is still open

    // The most bytes Close appends after the sample data of a file with `markers` markers and
    // `regions` regions: the pad byte, regn, cue and LIST.
    static std::int64_t TrailerBytes(std::int32_t markers, std::int32_t regions);

    [[nodiscard]] Status WriteBEXT();
    [[nodiscard]] Status ReadBEXT();
    [[nodiscard]] Status WriteRegions();
    [[nodiscard]] Status ReadRegions();
    [[nodiscard]] Status ReadNumRegions(std::int16_t* count);

    // The time reference the bext chunk carries from now on (the file's first frame, in frames
    // since midnight), in place of the one that follows from the time stamp.
    void SetTimeReference(std::uint64_t frames) { timeReference = frames; }

    // What the last ReadBEXT found.
    const BWFBextInfo& GetBextInfo() const { return bextInfo; }

    // The 866 bytes WriteBEXT writes for a description, time stamp and sample rate.
    static void BuildBEXT(const unsigned char* description, std::int32_t timeStamp, float rate,
                          std::uint8_t* chunk);

  protected:
    // Create: the bext chunk, with the description from the specifics block.
    [[nodiscard]] Status WriteChunksBeforeFormat(void* specifics) override;
    // Close: regn (always), then cue and LIST.
    [[nodiscard]] Status WriteChunksAfterData() override;
    // Then the bext chunk rewritten in place with the time stamp known at closing.
    [[nodiscard]] Status FinishChunks() override;
    // Open: the regn chunk; a damaged one keeps the regions read before the damage.
    [[nodiscard]] Status ReadRegionChunks() override;
    // Open and GetOfflineInfo: a file without a bext chunk is refused.
    [[nodiscard]] Status ReadRequiredChunks() override;
    // GetOfflineInfo: the regn chunk's count (left alone when there is none).
    [[nodiscard]] Status CountRegions(std::int16_t* count) override;

  private:
    // The bext chunk for the description, time stamp and time reference.
    void BuildChunk(std::uint8_t* chunk) const;

    unsigned char description[bwflayout::kDescriptionSize] = {0}; // zero-terminated text
    std::optional<std::uint64_t> timeReference;
    BWFBextInfo bextInfo;
};

#pragma once
// CWAVEFile: RIFF WAVE files with uncompressed PCM. All numbers are little-endian; chunk IDs
// are compared as four-character codes read most significant byte first.
//
// Files written by Create start with a 44-byte header:
//   0  "RIFF", size (0x7FFFFFFF until Close), "WAVE"
//   12 "fmt ", 16, tag 1, channels, rate, bytes per second, block align, bits per sample
//   36 "data", size (rewritten by Close)
//   44 interleaved frames, least significant byte first; 8-bit samples unsigned (0x80 = 0)
// A file given a channel mask before Create gets the 40-byte extensible format chunk instead
// (tag 0xFFFE, the mask, the PCM sub-format), which moves the data 24 bytes on.
//
// Floating-point samples (Create's kFloat32WordSize) are IEEE singles: the format chunk has
// tag 3 and 18 bytes (cbSize 0), or with a channel mask the extensible chunk with the float
// sub-format; a "fact" chunk (the frame count, patched by Close) follows it.
//
// A file marked large before Create (SetLargeFile) keeps a 36-byte "JUNK" chunk right after the
// RIFF header, before every other chunk. When the file at Close is longer than the 32-bit sizes
// describe (kMaxRIFFFileSize), it becomes RF64: the JUNK chunk turns into "ds64" (RIFF size,
// data size and frame count as 64-bit numbers, an empty table), the RIFF ID into "RF64" and the
// 32-bit RIFF and data sizes into 0xFFFFFFFF. Shorter files stay RIFF with the JUNK chunk. Files
// not marked large are laid out as above, byte for byte.
// Close pads odd sample data with one zero byte and, when the file has markers or regions,
// appends a cue chunk (markers first, then regions, cue IDs 0, 1, ...) and a LIST "adtl"
// chunk (one "labl" per marker, one "ltxt" of purpose "rgn " per region).
//
// Reading treats the file as untrusted: every chunk size and count is checked against the
// bytes that are really there. Integer PCM is read with tag 1 or as the extensible format's
// PCM sub-format (its channel mask kept), 32-bit floating point with tag 3 or the float
// sub-format; 64-bit floating point is refused with a status that names it. RF64 and BW64
// files are read with the sizes of their ds64 chunk wherever a 32-bit size is 0xFFFFFFFF.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "formats/CChunkFile.h"
#include "formats/ChunkIDs.h"

namespace wavelayout {
inline constexpr std::int32_t kRIFFHeaderSize = 12; // "RIFF", size, "WAVE"
inline constexpr std::int32_t kFmtChunkSize = 24;   // "fmt ", 16, the PCM fields
inline constexpr std::int32_t kFmtDataSize = 16;
// The extensible format: the PCM fields, cbSize 22, valid bits, channel mask, sub-format GUID.
inline constexpr std::int32_t kFmtExtensibleDataSize = 40;
inline constexpr std::int32_t kFmtExtensionSize = 22;
inline constexpr std::int32_t kDataHeaderSize = 8; // "data", size
// A non-PCM format chunk's fields: the PCM fields and cbSize.
inline constexpr std::int32_t kFmtNonPCMDataSize = 18;
inline constexpr std::int32_t kFactChunkSize = 12; // "fact", 4, frames
// The ds64 chunk without a table: RIFF size, data size, frame count (64 bits each) and the
// table's length. The JUNK chunk of a large file keeps its room.
inline constexpr std::int32_t kDs64DataSize = 28;
inline constexpr std::int32_t kDs64ChunkSize = 8 + kDs64DataSize;
inline constexpr std::int32_t kDs64TableEntrySize = 12; // chunk ID, 64-bit size
inline constexpr std::int32_t kWAVEHeaderSize = kRIFFHeaderSize + kFmtChunkSize + kDataHeaderSize;
inline constexpr std::int32_t kCuePointSize = 24;
inline constexpr std::int32_t kCueHeaderSize = 12;  // "cue ", size, count
inline constexpr std::int32_t kLtxtChunkSize = 28;  // "ltxt", 20, the fields
inline constexpr std::int32_t kListHeaderSize = 12; // "LIST", size, "adtl"
// The longest file: its RIFF size (the file's length - 8) and data size are unsigned 32-bit
// numbers, and readers that keep offsets in 32 unsigned bits must reach every byte.
inline constexpr std::int64_t kMaxRIFFFileSize = 0xFFFFFFFF;
// The longest RF64 file: far beyond what 32-bit frame positions reach in any format.
inline constexpr std::int64_t kMaxRF64FileSize = std::int64_t(1) << 62;
} // namespace wavelayout

// RIFF: little-endian, unsigned sizes.
inline constexpr ContainerRules kRIFFContainer{chunkid::kRIFF, false, wavelayout::kMaxRIFFFileSize,
                                               false, kErrWAVETooManyChunks};

// One cue point as the cue chunk stores it.
struct WAVECuePoint {
    std::uint32_t id;
    std::int32_t position;
    std::int32_t sampleOffset;
};

// The cue chunk's bytes (ID, size, count, points), walked as far as both the count and the
// bytes really there allow.
struct WAVECueChunk {
    WAVECueChunk(const std::uint8_t* chunk, std::int32_t chunkSize)
        : bytes(chunk), size(chunkSize) {}
    const std::uint8_t* bytes = nullptr;
    std::int32_t size = 0;
    std::int32_t NumPoints() const;
    WAVECuePoint Point(std::int32_t index) const;
    // The first point with that ID; false when there is none.
    bool Find(std::uint32_t id, WAVECuePoint* point) const;

  private:
    mutable std::vector<std::pair<std::uint32_t, std::int32_t>> byID; // (ID, index), sorted
};

class CWAVEFile : public CChunkFile {
  public:
    // Reaches its file through `services` (null: the current file services).
    explicit CWAVEFile(FileServices* services = nullptr);
    ~CWAVEFile() override; // closes a file that is still open

    SampleCoding BufferCoding() const override;
    // Whether the file was read from or written as RF64 (or read as BW64).
    bool IsRF64() const { return rf64; }

    // Finds the occurrence-th chunk (1 = the first) `chunkID` and leaves the position just
    // after its ID. kErrChunkNotFound when the file or the RIFF chunk ends first,
    // kErrNegativeChunkSize for a size with the top bit set that runs past the RIFF chunk,
    // kErrWAVETooManyChunks after 100.
    [[nodiscard]] Status FindID(std::uint32_t chunkID, std::int16_t occurrence);
    [[nodiscard]] Status Writefmt();
    [[nodiscard]] Status Readfmt();
    [[nodiscard]] Status WriteExtras();
    [[nodiscard]] Status ReadExtras();
    // Turns the adtl sub-chunks into markers and regions, using the cue chunk's points.
    [[nodiscard]] Status ADTLToExtras(const WAVECueChunk& cue, const std::uint8_t* adtl,
                                      std::int32_t adtlSize);
    [[nodiscard]] Status ReadNumRegions(std::int16_t* count);
    // Whether the file (not open) is a RIFF WAVE file holding a chunk `chunkID`; the file is
    // closed again.
    [[nodiscard]] Status HasChunk(std::uint32_t chunkID, bool* present);
    // Loops and sampler information are not stored in WAVE files.
    [[nodiscard]] Status WriteLoops() { return kNoErr; }
    [[nodiscard]] Status ReadLoops() { return kNoErr; }

    static std::unique_ptr<CWAVEFile> CreateSoundFileObject();

    // The most bytes Close appends after the sample data of a file with `markers` markers
    // (names of up to 31 characters) and `regions` regions: the pad byte, cue and LIST.
    static std::int64_t TrailerBytes(std::int32_t markers, std::int32_t regions);

  protected:
    // A WAVE file that reports other codes (Broadcast WAVE).
    CWAVEFile(const FormatCodes& codes, FileServices* services);

    // The form header ("RIFF", "RF64" or "BW64"), the RIFF size into formEnd, the form type
    // checked; for the 64-bit forms the ds64 chunk's sizes.
    [[nodiscard]] Status ReadFormHeader() override;
    // Open: the format, the regions and markers, what the file must also have, the data.
    [[nodiscard]] Status ReadChunks() override;
    // GetOfflineInfo: the format, and the number of regions into `info`.
    [[nodiscard]] Status ReadOfflineChunks(std::int16_t* info) override;

    // What the Broadcast WAVE class adds to the WAVE chunks.
    // Create: the chunks ahead of the format chunk (none).
    [[nodiscard]] virtual Status WriteChunksBeforeFormat(void* specifics);
    // Close: the chunks after the sample data (cue and LIST).
    [[nodiscard]] virtual Status WriteChunksAfterData();
    // Open: the regions and markers (from cue and LIST); Open goes on when this fails, to
    // report it after the region names are checked.
    [[nodiscard]] virtual Status ReadRegionChunks();
    // Open and GetOfflineInfo: the chunks the file must have besides format and data (none).
    [[nodiscard]] virtual Status ReadRequiredChunks();
    // GetOfflineInfo: the number of regions.
    [[nodiscard]] virtual Status CountRegions(std::int16_t* count);

    // Create: 8-bit samples are unsigned (3), wider ones signed (1).
    std::int16_t NewDataType() const override { return wordSize == 8 ? 3 : 1; }
    bool CanWriteFloat() const override { return true; }
    // Create: the chunks before the format, fmt, and the data chunk's header.
    [[nodiscard]] Status WriteHeaderChunks(void* specifics) override;
    // Close: the pad byte, the chunks after the data, the data and RIFF sizes.
    [[nodiscard]] Status FinishChunks() override;

  private:
    // After a 64-bit form header: the ds64 chunk, which must come first; its RIFF size into
    // formEnd and its sizes into largeSizes.
    [[nodiscard]] Status ReadDS64(std::uint32_t riffSize);
    // Close: the fact chunk's frame count, when the file has one.
    [[nodiscard]] Status WriteFactFrames();
    // Close of a file longer than the 32-bit sizes describe: ds64 in place of JUNK, RF64.
    [[nodiscard]] Status WriteRF64Sizes(std::int64_t fileLength, std::int64_t dataBytes);
    // After FindID("data"): dataStart set.
    [[nodiscard]] Status FindDataStart();
    // After the format: numFrames from the data chunk's size and the bytes really there.
    [[nodiscard]] Status ReadFrameCount();
    // "data" and the size placeholder, then dataStart.
    [[nodiscard]] Status WriteDataHeader();
    // The LIST "adtl" content, or kErrChunkNotFound.
    [[nodiscard]] Status FindADTL(MemBlock* adtl);
    // Close: the cue chunk (markers, then regions), then the LIST "adtl" chunk with a label
    // per marker and a text per region, both at the end of the file.
    [[nodiscard]] Status WriteCueChunk(std::int32_t markers, std::int32_t regions);
    [[nodiscard]] Status WriteLabels(std::int32_t markers, std::int32_t regions);

    bool rf64 = false;
};

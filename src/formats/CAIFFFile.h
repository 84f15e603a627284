#pragma once
// CAIFFFile: AIFF sound files. An IFF container of form type 'AIFF' (uncompressed PCM, every
// multi-byte field big-endian) with a common chunk (COMM), a sound data chunk (SSND) and, when
// the file has them, an instrument chunk (INST) and a marker chunk (MARK).
//
// Files written by Create start with a 54-byte header:
//   0  "FORM", size (0x7FFFFFFF until Close), "AIFF"
//   12 "COMM", 18, numChannels (16), numSampleFrames (32), sampleSize (16), rate (80-bit float)
//   38 "SSND", size (0 until Close), offset 0, blockSize 0
//   54 interleaved frames, each sample Bits2Bytes(wordSize) bytes, most significant byte first
// Close rewrites COMM, pads odd sound data with one zero byte, appends INST (when there are
// loops or valid sampler information) and MARK (when there are markers), then patches the SSND
// and FORM sizes.
//
// Reading (Open, GetOfflineInfo) treats the file as untrusted: every chunk size and count is
// checked against the bytes that are really there, and a malformed file gives a status. Files
// of form type 'AIFC' are read when their compression type is 'NONE'.

#include <cstdint>
#include <memory>

#include "formats/CChunkFile.h"
#include "formats/ChunkIDs.h"
#include "formats/ChunkIndex.h"

// The longest AIFF file: its FORM size (the file's length - 8) is a signed 32-bit number, and
// readers that keep offsets in 32 signed bits must reach every byte.
inline constexpr std::int64_t kMaxAIFFFileSize = 0x7FFFFFFF;
// The header Create writes ahead of the sound data.
inline constexpr std::int32_t kAIFFHeaderSize = 54;
// IFF: big-endian, signed sizes.
inline constexpr ContainerRules kAIFFContainer{chunkid::kFORM, true, kMaxAIFFFileSize, true,
                                               kErrAIFFTooManyChunks};

class CAIFFFile : public CChunkFile {
  public:
    // Reaches its file through `services` (null: the current file services).
    explicit CAIFFFile(FileServices* services = nullptr);
    ~CAIFFFile() override; // closes a file that is still open

    SampleCoding BufferCoding() const override;
    // Reads the sample format of a file that is not open; the file is closed again. `*info`
    // becomes 0.
    [[nodiscard]] Status GetOfflineInfo(std::int16_t* info) override;

    // Places the file position just after the four ID bytes of the first chunk `chunkID`.
    // kErrChunkNotFound when the file (or the FORM chunk) ends first, kErrNegativeChunkSize for
    // a chunk size with the top bit set, kErrAIFFTooManyChunks after 100 other chunks.
    [[nodiscard]] virtual Status FindID(std::uint32_t chunkID);

    [[nodiscard]] Status WriteCOMM();
    [[nodiscard]] Status ReadCOMM();
    [[nodiscard]] Status WriteLoopsAndSamplerInfo();
    [[nodiscard]] Status ReadLoops();
    [[nodiscard]] Status ReadSamplerInfo();
    [[nodiscard]] Status WriteMarkers();
    [[nodiscard]] Status ReadMarkers();

    static std::unique_ptr<CAIFFFile> CreateSoundFileObject();

    // The most bytes Close appends after the sound data of a file with `markers` ordinary
    // markers (names of up to 31 characters): the pad byte, INST and MARK.
    static std::int64_t TrailerBytes(std::int32_t markers);

  protected:
    // Create: channels, 8 to 32 bits in whole bytes, a positive rate; then the COMM chunk with
    // the format and the SSND chunk's header.
    bool CanWrite(std::int16_t numChannels, std::int16_t wordSize, float sampleRate) const override;
    std::int16_t NewDataType() const override { return 0; }
    [[nodiscard]] Status WriteHeaderChunks(void* specifics) override;
    // Open: COMM, MARK, INST, SSND, APPL, and a region over the whole file.
    [[nodiscard]] Status ReadChunks() override;
    // Close: the pad byte, COMM, INST, MARK, then the SSND and FORM sizes.
    [[nodiscard]] Status FinishChunks() override;
    // FindID("FORM"), then the FORM size (setting formEnd) and the form type.
    [[nodiscard]] Status ReadFormHeader() override;
    // GetOfflineInfo: the COMM chunk.
    [[nodiscard]] Status ReadOfflineChunks(std::int16_t* info) override;

  private:
    // After FindID: reads the chunk's size field and checks that the chunk is at least
    // `minimumSize` bytes and lies within the file.
    [[nodiscard]] Status ReadSizeAtLeast(std::int32_t minimumSize, std::int32_t* size);
    // The SSND chunk's offset field: dataStart.
    [[nodiscard]] Status ReadDataStart();
    // A region over the whole file, for readers that process regions.
    [[nodiscard]] Status AddWholeFileRegion();
    // An application chunk of signature 'SSYS'.
    [[nodiscard]] Status ReadApplicationChunk();
    // The 20 data bytes of the INST chunk; kErrChunkNotFound when there is none.
    [[nodiscard]] Status ReadINST(std::uint8_t* data);
    void BuildCOMM(std::uint8_t* chunk) const;

    std::uint32_t formType = 0; // 'AIFF' or 'AIFC' once the FORM header has been read
};

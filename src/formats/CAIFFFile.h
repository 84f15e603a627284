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

#include "soundfile/CSoundFile.h"
#include "soundfile/FileServices.h"

// The longest AIFF file: its FORM size (the file's length - 8) is a signed 32-bit number, and
// readers that keep offsets in 32 signed bits must reach every byte.
inline constexpr std::int64_t kMaxAIFFFileSize = 0x7FFFFFFF;
// The header Create writes ahead of the sound data.
inline constexpr std::int32_t kAIFFHeaderSize = 54;

class CAIFFFile : public CSoundFile {
public:
    CAIFFFile() = default;
    ~CAIFFFile() override; // closes a file that is still open

    Status Open() override;
    Status Create(std::int16_t numChannels, std::int16_t wordSize, float sampleRate,
                  void* specifics, unsigned char extendName, unsigned char* extension) override;
    Status Close() override;
    Status RefreshInputBuffer(std::int32_t start) override;
    Status RefreshOutputBuffer(std::int32_t start) override;
    Status FlushOutputBuffer(std::int32_t count, std::int32_t start) override;
    SampleCoding BufferCoding() const override;
    Status SetFilePos(std::int32_t frame) override;
    Status UpdateSize() override;
    // Reads the sample format of a file that is not open; the file is closed again.
    Status GetOfflineInfo(std::int16_t* info) override;
    std::uint32_t GetFType() const override;
    std::uint32_t GetFileType() const override;
    std::uint32_t GetCreator() const override;

    // Places the file position just after the four ID bytes of the first chunk `chunkID`.
    // kErrChunkNotFound when the file (or the FORM chunk) ends first, kErrNegativeChunkSize for
    // a chunk size with the top bit set, kErrAIFFTooManyChunks after 100 other chunks.
    virtual Status FindID(std::uint32_t chunkID);

    Status WriteCOMM();
    Status ReadCOMM();
    Status WriteLoopsAndSamplerInfo();
    Status ReadLoops();
    Status ReadSamplerInfo();
    Status WriteMarkers();
    Status ReadMarkers();
    // Extends the file with zeros up to `frames` frames of sound data (never shortens it) and
    // sets the frame count to `frames`.
    Status SetEndOfFile(std::int32_t frames);

    static std::unique_ptr<CAIFFFile> CreateSoundFileObject();

    // Offset of the first byte of the first frame; one past the end of the FORM chunk.
    std::int32_t GetDataStart() const { return dataStart; }
    std::int32_t GetFormEnd() const { return formEnd; }

    // The most bytes Close appends after the sound data of a file with `markers` ordinary
    // markers (names of up to 31 characters): the pad byte, INST and MARK.
    static std::int64_t TrailerBytes(std::int32_t markers);

protected:
    std::int32_t dataStart = 0;
    std::int32_t formEnd = 0;

private:
    // Whole-count transfers at the current position; a short read gives kErrEndOfFile.
    // After FindID: reads the chunk's size field and checks that the chunk is at least
    // `minimumSize` bytes and lies within the file.
    Status ReadChunkSize(std::int32_t minimumSize, std::int32_t* size);
    // FindID("FORM"), then the FORM size (setting formEnd) and the form type.
    Status ReadFormHeader();
    // The 20 data bytes of the INST chunk; kErrChunkNotFound when there is none.
    Status ReadINST(std::uint8_t* data);
    // Byte offset of `frame` (negative frames count as 0) in the file, or -1 when it lies
    // beyond the longest file.
    std::int64_t FrameOffset(std::int64_t frame) const;
    void BuildCOMM(std::uint8_t* chunk) const;

    std::uint32_t formType = 0; // 'AIFF' or 'AIFC' once the FORM header has been read
};

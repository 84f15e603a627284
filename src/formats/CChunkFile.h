#pragma once
// CChunkFile: what the chunk-based formats (AIFF on IFF, WAVE and Broadcast WAVE on RIFF) share
// below their chunks: the frames of one sample data chunk at `dataStart`, positioning by frame,
// extending the file with silence, the buffer refills and flushes (the samples lie in the file
// as the buffer codes them, so they move unchanged), the frame count from the file's length,
// the chunk index, and the open/close bookkeeping. A format says which chunks it reads when a
// file is opened and which it writes when Create and Close run; the container's byte order,
// size limit and chunk rules come in as ContainerRules.

#include <cstdint>
#include <vector>

#include "formats/ChunkIndex.h"
#include "soundfile/CSoundFile.h"
#include "soundfile/FileServices.h"

// The four-character codes of a format: the form type its files carry, the object's own
// format code (GetFType) and the file-system type (GetFileType).
struct FormatCodes {
    std::uint32_t formType;
    std::uint32_t format;
    std::uint32_t fileType;
};

// The form size Create writes; Close writes the real one.
inline constexpr std::uint32_t kFormSizePlaceholder = 0x7FFFFFFF;

// The three reader preferences, taken once when a file is opened.
struct ReaderOptions {
    bool ignoreRegionsContainingWholeFile = true;
    bool processFileIfNoRegions = true;
    bool skipBadRegion = false;

    // From the shared preferences (their declared defaults when the user set none).
    static ReaderOptions FromPreferences();
};

class CChunkFile : public CSoundFile {
  public:
    // `services` null: the current file services.
    CChunkFile(const ContainerRules& rules, const FormatCodes& codes, FileServices* services)
        : CSoundFile(services), rules(rules), codes(codes), largestFile(rules.maxFileSize) {}

    // The form header, the chunk index, then the format's chunks (ReadChunks).
    [[nodiscard]] Status Open() override;
    // The file created with its form header and the format's header chunks
    // (WriteHeaderChunks). A word size of kFloat32WordSize asks for 32-bit floating-point
    // samples.
    [[nodiscard]] Status Create(std::int16_t numChannels, std::int16_t wordSize, float sampleRate,
                                void* specifics, unsigned char extendName,
                                unsigned char* extension) override;
    // The format's chunks after the data (FinishChunks) while the header is dirty, then the
    // file closed.
    [[nodiscard]] Status Close() override;
    // The form header and ReadOfflineChunks on a file that is not open; it is closed again.
    [[nodiscard]] Status GetOfflineInfo(std::int16_t* info) override;
    [[nodiscard]] Status RefreshInputBuffer(std::int32_t start) override;
    [[nodiscard]] Status RefreshOutputBuffer(std::int32_t start) override;
    [[nodiscard]] Status FlushOutputBuffer(std::int32_t count, std::int32_t start) override;
    [[nodiscard]] Status SetFilePos(std::int32_t frame) override;
    [[nodiscard]] Status UpdateSize() override;
    std::uint32_t GetFType() const override { return codes.format; }
    std::uint32_t GetFileType() const override { return codes.fileType; }
    std::uint32_t GetCreator() const override;

    // Extends the file with silence up to `frames` frames of sample data (never shortens it)
    // and sets the frame count to `frames`.
    [[nodiscard]] Status SetEndOfFile(std::int32_t frames);

    // Offset of the first byte of the first frame.
    std::int64_t GetDataStart() const { return dataStart; }

  protected:
    // What a format reads and writes, in the order a file meets them.
    // Create: whether the format can hold such samples (it refuses with kErrNotSupported);
    // CanWriteFloat for 32-bit floating-point samples (Create's kFloat32WordSize), none by
    // default.
    virtual bool CanWrite(std::int16_t numChannels, std::int16_t wordSize, float sampleRate) const;
    virtual bool CanWriteFloat() const { return false; }
    // Create: the data type of a new file of wordSize bits.
    virtual std::int16_t NewDataType() const = 0;
    // Create: the chunks after the form header up to the first frame; dataStart set.
    [[nodiscard]] virtual Status WriteHeaderChunks(void* specifics) = 0;
    // Close, while the header is dirty: the chunks after the sample data and the final sizes.
    // Close clears headerDirty when it succeeds.
    [[nodiscard]] virtual Status FinishChunks() = 0;
    // Open and GetOfflineInfo: the form header (formEnd, the form type).
    [[nodiscard]] virtual Status ReadFormHeader() = 0;
    // Open: the chunks of the file.
    [[nodiscard]] virtual Status ReadChunks() = 0;
    // GetOfflineInfo: the sample format, and what `info` says.
    [[nodiscard]] virtual Status ReadOfflineChunks(std::int16_t* info) = 0;

    // Opens the file read-only, runs `read` and closes it again whatever happened.
    template <typename Reader> [[nodiscard]] Status ReadOffline(Reader read);
    // ReadFormHeader, then the one walk over the chunks.
    [[nodiscard]] Status ReadForm();
    // Places the position just after the ID of the occurrence-th chunk `chunkID`; the form
    // ID itself is looked for at offset 0. Statuses as ChunkIndex reports them.
    [[nodiscard]] Status FindChunk(std::uint32_t chunkID, std::int32_t occurrence);
    // Writes one chunk of a new file's header after the ones written so far and notes it in
    // the index (the ID and size taken from its first 8 bytes).
    [[nodiscard]] Status WriteHeaderChunk(const std::uint8_t* chunk, std::int32_t count);
    // The zero pad byte after sample data of odd length.
    [[nodiscard]] Status WritePadByte();
    // Finds the chunk and writes `value` into its size field (the form's size for the form ID).
    [[nodiscard]] Status WriteSizeField(std::uint32_t chunkID, std::uint32_t value);
    // The form's size from the file's length.
    [[nodiscard]] Status WriteFormSize();
    // kErrFileTooLarge once the file has grown past what its size fields describe (largestFile).
    [[nodiscard]] Status CheckFileSize();

    // After FindChunk: the chunk's size field; `*available` is what the file really holds of
    // the chunk from there on (the size clipped to the end of the file).
    [[nodiscard]] Status ReadChunkSize(std::uint32_t* size, std::int64_t* available);
    // Reads `count` bytes at the current position into a new block.
    [[nodiscard]] Status ReadBlock(MemBlock* block, std::int64_t count);
    [[nodiscard]] Status GetPosition(std::int64_t* position);
    // Byte offset of `frame` (negative frames count as 0) in the file; -1 when it lies beyond
    // the longest file (largestFile).
    std::int64_t FrameOffset(std::int64_t frame) const;
    // A 32-bit number in the container's byte order.
    void StoreNumber(std::uint8_t* p, std::uint32_t value) const;

    const ContainerRules& rules;
    const FormatCodes codes;
    // The longest file this one may become: the container's, unless the format keeps 64-bit
    // sizes for this file (set by ReadFormHeader and WriteHeaderChunks).
    std::int64_t largestFile;
    // Sizes beyond 32 bits that the file's chunks take from a table (ReadFormHeader).
    std::vector<LargeChunkSize> largeSizes;
    std::int64_t dataStart = 0;
    std::int64_t formEnd = 0;
    ChunkIndex chunks;
    ReaderOptions readerOptions;

  private:
    // Creates the file and opens it for writing (isOpen and headerDirty set).
    [[nodiscard]] Status OpenNewFile();
    // The form header with its size placeholder.
    [[nodiscard]] Status WriteFormHeader();
    void IndexChunks();

    std::int64_t headerEnd = 0; // where Create writes the next header chunk
};

template <typename Reader> Status CChunkFile::ReadOffline(Reader read) {
    Status status = fileServices.Open(fileSpec, FilePermission::ReadOnly, &refNum);
    if (status != kNoErr) return status;
    isOpen = 1;
    chunks.Clear();
    status = read();
    const Status closeStatus = fileServices.Close(refNum);
    isOpen = 0;
    return status != kNoErr ? status : closeStatus;
}

#pragma once
// CSoundFile: the abstract base of every sound file object. It holds the sample format, the
// file's identity, one sample buffer of kSFTBufferSize frames that serves reading or writing,
// the marker, loop and region lists, gaps, sampler information and a time stamp, and it
// converts between 64-bit float samples (full scale +-1.0) and the integer PCM in the buffer.
//
// The sample buffer holds numChannels x kSFTBufferSize x Bits2Bytes(wordSize) bytes of
// interleaved frames (frame f, channel c at sample f * numChannels + c) coded as the file codes
// them (BufferCoding(): byte order, and the offset of unsigned 8-bit samples), so that refills
// and flushes move bytes unchanged and a write converts each sample once, straight into the
// file's coding. This base class codes samples in the machine's order (little-endian, signed
// 8-bit); LoadBufferSample reads one such sample.
//
// The engine never throws: every operation returns a Status (0 = success).
//
// A sound file reaches its file through the file services it was made with: the ones given to
// its constructor, else those current when it was constructed. It keeps them for its whole life,
// so they must outlive it.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "shell/FSSpec.h"
#include "soundfile/Containers.h"
#include "soundfile/Memory.h"
#include "soundfile/SampleCoding.h"
#include "soundfile/SoundFileRecords.h"
#include "soundfile/Status.h"

class FileServices;          // soundfile/FileServices.h
enum class FilePositionMode; // soundfile/FileServices.h
class TpdfDither;            // soundfile/Dither.h

// Frames in a sample buffer. Process-wide and writable: the reads lower it for the duration
// of one refill and restore it.
extern std::int32_t kSFTBufferSize;
inline constexpr std::int32_t kSFTBufSizePPC = 12000;

// The data type value meaning that 4-byte words carry 24-bit samples in their low 3 bytes.
inline constexpr std::int16_t kDataType24In32 = 146;
// The data type value of 32-bit IEEE floating-point samples (SampleCoding::LittleFloat32).
inline constexpr std::int16_t kDataTypeFloat32 = 147;
// The word size that asks Create for 32-bit floating-point samples instead of integers: the
// file's word size becomes 32 and its data type kDataTypeFloat32. Formats that cannot hold
// them refuse with kErrNotSupported. Negative, so that no integer word length is mistaken for
// it and a size that slips past Create is refused as a word size.
inline constexpr std::int16_t kFloat32WordSize = -32;

// bits / 8 rounded toward zero; bytes * 8.
std::int16_t Bits2Bytes(std::int16_t bits);
std::int16_t Bytes2Bits(std::int16_t bytes);

// One 3-byte buffer sample (least significant byte first) as a signed 32-bit value shifted
// left by 8, and as that value / 2^31.
std::int32_t TwentyFour2Long(const unsigned char* bytes);
double TwentyFour2Double(const unsigned char* bytes);
float TwentyFour2Float(const unsigned char* bytes);
// Stores bits 8-15, 16-23 and 24-31 of `value`.
void Long2TwentyFour(std::int32_t value, unsigned char* bytes);
// Stores the conversion of `x` (x * 2^31, truncated, saturated) the same way.
void Double2TwentyFour(double x, unsigned char* bytes);

// The integer code for sample `x` at `wordSize` bits: trunc(x * 2^(wordSize-1)); for 24 bits
// the 32-bit value trunc(x * 2^31) whose top three bytes the buffer keeps. Values at or beyond
// full scale saturate to the word's range.
std::int32_t SampleToWord(double x, std::int16_t wordSize);

// One sample of the buffer, `bytes` wide (1..4), in the buffer's native order, as a signed
// value of that width (3-byte samples as signed 24-bit).
std::int32_t LoadBufferSample(const std::uint8_t* p, std::int16_t bytes);
// Stores the write conversion of `x` as one buffer sample `bytes` wide.
void StoreConvertedSample(std::uint8_t* p, std::int16_t bytes, double x);

class CSoundFile : public CObject {
  public:
    // `services` null: the current file services.
    explicit CSoundFile(FileServices* services = nullptr);
    ~CSoundFile() override; // frees the buffer and the lists; does not close the file

    // --- virtual interface, in slot order ---
    [[nodiscard]] virtual Status ISoundFile(const FSSpec* fileRef);
    [[nodiscard]] virtual Status Open();
    [[nodiscard]] virtual Status Create(std::int16_t numChannels, std::int16_t wordSize,
                                        float sampleRate, void* specifics, unsigned char extendName,
                                        unsigned char* extension);
    [[nodiscard]] virtual Status Close();
    // Interleaved write of *count frames from (*block)[0...].
    [[nodiscard]] virtual Status Write(std::int32_t start, std::int32_t* count, double** block);
    // One-channel write: one block value per frame; the other channels keep the file's data.
    [[nodiscard]] virtual Status Write(std::int16_t channel, std::int32_t start,
                                       std::int32_t* count, double** block);
    [[nodiscard]] virtual Status Read(std::int32_t start, std::int32_t* count, float* left,
                                      float* right);
    [[nodiscard]] virtual Status Read(std::int32_t start, std::int32_t* count, double** left,
                                      double** right);
    [[nodiscard]] virtual Status Read(std::int32_t start, std::int32_t* count, double** block);
    [[nodiscard]] virtual Status Read(std::int16_t channel, std::int32_t start, std::int32_t* count,
                                      double** block);
    // Mixes the block into one channel.
    [[nodiscard]] virtual Status Add(std::int16_t channel, std::int32_t start, std::int32_t* count,
                                     double** block);
    [[nodiscard]] virtual Status GetSample(std::int16_t channel, std::int32_t frame, double* value);
    virtual std::int32_t GetNumSFrames();
    virtual std::int16_t GetNumMarkers();
    [[nodiscard]] virtual Status GetIndMarker(std::int16_t index, SFTMarker* marker);
    [[nodiscard]] virtual Status GetMarkerByID(std::int32_t id, SFTMarker* marker);
    [[nodiscard]] virtual Status AddMarker(SFTMarker* marker);
    [[nodiscard]] virtual Status RemoveMarker(SFTMarker* marker);
    virtual std::int16_t GetNumLoops();
    [[nodiscard]] virtual Status GetIndLoop(std::int16_t index, SFTLoop* loop);
    [[nodiscard]] virtual Status AddLoop(SFTLoop* loop);
    [[nodiscard]] virtual Status RemoveLoop(SFTLoop* loop);
    [[nodiscard]] virtual Status RemoveDuplicates();
    virtual std::int16_t GetNumRegions();
    [[nodiscard]] virtual Status GetIndRegion(std::int16_t index, SFTRegion* region);
    [[nodiscard]] virtual Status AddRegion(SFTRegion* region);
    [[nodiscard]] virtual Status RemoveRegion(SFTRegion* region);
    virtual FSSpec GetFSSpec();
    // Copies the file name (32 bytes) when it has at most 31 characters.
    virtual void GetName(unsigned char* name);
    [[nodiscard]] virtual Status GetNextBlock(std::int32_t pos, std::int32_t* start,
                                              std::int32_t* end);
    [[nodiscard]] virtual Status FindNextRegion(std::int32_t pos, SFTRegion* next,
                                                SFTRegion* previous);
    [[nodiscard]] virtual Status InitInputBuffer();
    [[nodiscard]] virtual Status InitInputBuffer(FSSpec fileRef);
    [[nodiscard]] virtual Status RefreshInputBuffer(std::int32_t start) = 0;
    [[nodiscard]] virtual Status InitOutputBuffer();
    [[nodiscard]] virtual Status RefreshOutputBuffer(std::int32_t start) = 0;
    [[nodiscard]] virtual Status FlushOutputBuffer(std::int32_t count, std::int32_t start);
    virtual void DisposeBuffer();
    [[nodiscard]] virtual Status SetFilePos(std::int32_t frame);
    [[nodiscard]] virtual Status UpdateSize();
    [[nodiscard]] virtual Status GetOfflineInfo(std::int16_t* info);
    [[nodiscard]] virtual Status KillDuplicateRegionNames();
    [[nodiscard]] virtual Status KillBadRegionNames();
    virtual std::int16_t GetChannelConfig();
    [[nodiscard]] virtual Status ExtendFileName(unsigned char* extension);
    // Closes the file when open, then deletes this object (which must have been created with
    // new and be owned by nobody else). Returns the close status, else pendingError.
    [[nodiscard]] virtual Status Dispose(unsigned char keep);
    virtual void SetAIFFExtras(char* a, char* b, std::int16_t c);
    virtual std::uint32_t GetFType() const = 0;
    virtual std::uint32_t GetFileType() const = 0;
    virtual std::uint32_t GetCreator() const = 0;

    // --- non-virtual members ---
    float GetSampleRate() const { return sampleRate; }
    [[nodiscard]] Status SetSampleRate(float rate);
    std::int16_t GetNumChannels() const { return numChannels; }
    std::int16_t GetWordSize() const { return wordSize; }
    std::int16_t GetFileRefNum() const { return refNum; }
    std::int16_t GetDataType() const { return dataType; }
    void SetDither(unsigned char value) { dither = value; }
    // While set (not null), every sample the replacing writes store is dithered from `source`
    // and rounded instead of truncated; the mixing write (Add) is not dithered, nor are
    // floating-point samples, which keep every value as it is. The source
    // stays the caller's and must outlive its use here.
    void SetDitherSource(TpdfDither* source) { ditherSource = source; }
    [[nodiscard]] Status SetDC(double value);
    double GetDC() const { return dcOffset; }
    void SetTimeStamp(std::int32_t value);
    std::int32_t GetTimeStamp() const { return std::int32_t(timeStamp); }
    bool IsTimeStampValid() const { return timeStampValid != 0; }
    [[nodiscard]] Status GetSamplerInfo(SFTSamplerInfo* info) const;
    [[nodiscard]] Status SetSamplerInfo(const SFTSamplerInfo* info);
    void InitSamplerInfo();
    [[nodiscard]] Status AddGap(std::int32_t a, std::int32_t b);
    [[nodiscard]] Status GetGap(std::int32_t index, std::int32_t* a, std::int32_t* b) const;
    // Add several markers or regions as AddMarker or AddRegion would one after the other
    // (the records are updated alike), with one walk of the list for all: readers add
    // thousands.
    [[nodiscard]] Status AddMarkers(std::vector<SFTMarker>& records);
    [[nodiscard]] Status AddRegions(std::vector<SFTRegion>& records);
    std::int32_t GetRealBufferSize() const;
    bool IsOpen() const { return isOpen != 0; }
    // The speaker positions of the channels as a WAVE channel mask (bit 0 front left, bit 1
    // front right, ...; 0 for channels without positions): the one a file read holds, or the
    // one a file is to be written with when set before Create. None for a file without one;
    // formats without room for it ignore it.
    std::optional<std::uint32_t> GetChannelMask() const { return channelMask; }
    void SetChannelMask(std::optional<std::uint32_t> mask) { channelMask = mask; }
    // Whether the samples are 32-bit floating point (full scale +-1.0, never clipped).
    bool HasFloatSamples() const { return IsFloatCoding(BufferCoding()); }
    // Set before Create: the file may grow past what 32-bit sizes describe. Formats that have
    // a 64-bit form reserve the room for its sizes in the header (a WAVE file: see CWAVEFile);
    // the others ignore it.
    void SetLargeFile(bool value) { largeFile = value; }
    bool IsLargeFile() const { return largeFile; }

    // How this file codes its samples; WriteCoded takes frames in this coding.
    SampleCoding GetSampleCoding() const { return BufferCoding(); }
    // Writes *count whole frames (BytesPerFrame() bytes each, already coded as the file codes
    // them) from `frames` at start, as Write would write the samples they code.
    [[nodiscard]] Status WriteCoded(std::int32_t start, std::int32_t* count,
                                    const std::uint8_t* frames);
    // The same for one channel: one coded sample per frame; the other channels keep the file's.
    [[nodiscard]] Status WriteCoded(std::int16_t channel, std::int32_t start, std::int32_t* count,
                                    const std::uint8_t* samples);

  protected:
    // How samples lie in the buffer (and in the file).
    virtual SampleCoding BufferCoding() const;
    // Fills the buffer from `offset` bytes on with the coding's silence.
    void FillSilence(MemBlock& buffer, std::size_t offset) const;
    // Fills `buffer` with the frames from `start` on, whose first byte lies at `offset` in the
    // file: those the file holds (below the frame count) are read, the rest is silence, so a
    // buffer past the end of the data costs no read. A short read gives kErrEndOfFile.
    [[nodiscard]] Status FillFromFile(MemBlock& buffer, std::int32_t start, std::int64_t offset);

    // Byte traffic on the open file for the format classes: a short read gives kErrEndOfFile,
    // a short write kErrIO.
    [[nodiscard]] Status ReadBytes(void* buffer, std::int32_t count);
    [[nodiscard]] Status WriteBytes(const void* buffer, std::int32_t count);
    [[nodiscard]] Status SetPosition(FilePositionMode mode, std::int64_t offset);

    // Bytes of one interleaved frame: numChannels * Bits2Bytes(wordSize).
    std::int32_t BytesPerFrame() const;
    // Frames a new input buffer holds: kSFTBufferSize, but no more than the file has (by its
    // frame count and, when open, by its length), and at least one. A header may declare any
    // channel count and length; the file's size bounds what reading it can cost.
    std::int32_t InputBufferFrames();
    // The buffer currently in use for writing (null when none).
    std::uint8_t* OutputBytes() { return outputBuffer.Data(); }

    FileServices& fileServices;
    std::int32_t numFrames = 0;
    std::unique_ptr<CList> markers;
    std::unique_ptr<CList> loops;
    std::unique_ptr<CList> regions;
    unsigned char headerDirty = 0;
    std::int32_t bufferStart = 0;
    unsigned char dither = 1;
    std::int16_t refNum = 0;
    unsigned char isOpen = 0;
    float sampleRate = 0.0f;
    std::int16_t numChannels = 0;
    std::int16_t wordSize = 0;
    SFTSamplerInfo samplerInfo;
    FSSpec fileSpec;
    std::uint32_t fileTypeCode = 0;
    std::unique_ptr<CLongList> gaps;
    Status pendingError = 0;
    double dcOffset = 0.0;
    std::uint32_t timeStamp = 0;
    unsigned char timeStampValid = 0;
    std::int16_t dataType = 0;
    MemBlock inputBuffer;
    MemBlock outputBuffer;
    unsigned char keepFlag = 0;
    unsigned char spareFlag = 0;
    TpdfDither* ditherSource = nullptr;
    std::optional<std::uint32_t> channelMask;
    bool largeFile = false;

  private:
    // The loops shared by the writes and the reads; `channel` < 0 means all channels.
    enum class WriteMode { Replace, Mix };
    // The checks every write makes first: kNoErr with *count set to 0 when there is nothing
    // to write.
    [[nodiscard]] Status BeginWrite(std::int32_t start, std::int32_t* count, const void* data);
    [[nodiscard]] Status WriteFrames(std::int16_t channel, std::int32_t start, std::int32_t* count,
                                     double** block, WriteMode mode);
    // The write loop: per chunk of the buffer, a refill (unless `wholeFrames`: every byte of
    // the chunk's frames is filled), `fill` with the chunk's frame count, and a flush.
    using ChunkFill = std::function<void(std::uint8_t*, std::int32_t)>;
    [[nodiscard]] Status WriteChunks(std::int32_t start, std::int32_t* count, bool wholeFrames,
                                     const ChunkFill& fill);
    // The read loop: hands each run of frames read to `sink`: the index of its first frame
    // (from 0), its bytes and its length in frames.
    using FrameSink = std::function<void(std::int32_t, const std::uint8_t*, std::int32_t)>;
    [[nodiscard]] Status ReadFrames(std::int32_t start, std::int32_t* count, const FrameSink& sink);
    // Reads the given channels of each frame into the matching outputs.
    template <class T>
    [[nodiscard]] Status ReadChannels(std::initializer_list<std::int16_t> channels,
                                      std::int32_t start, std::int32_t* count,
                                      std::initializer_list<T*> outputs);
    CRegion* RegionAt(std::int16_t index) const;
    CMarker* MarkerAt(std::int16_t index) const;
};

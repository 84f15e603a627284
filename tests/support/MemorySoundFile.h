#pragma once
// A CSoundFile whose sample data lives in a byte vector in the buffer's own (native) order,
// with no header: for testing the engine's write and read paths, and code that writes into a
// sound file (the generator, the marker placer), without a file format.
//
//   MemorySoundFile file;
//   file.ISoundFile(nullptr);
//   file.Create(2, 16, 48000.0f, nullptr, 0, nullptr);
//   file.Write(0, &count, &block);
//   file.Sample(frame, channel)  -> the integer stored
//
// It records every refill and flush, and can be told to fail the n-th one.

#include <cstdint>
#include <functional>
#include <vector>

#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"

class MemorySoundFile : public CSoundFile {
public:
    static constexpr std::uint32_t kMemoryType = byteorder::FourCC("MEMF");

    MemorySoundFile() = default;
    ~MemorySoundFile() override;

    Status Create(std::int16_t numChannels, std::int16_t wordSize, float sampleRate,
                  void* specifics, unsigned char extendName, unsigned char* extension) override;
    Status Close() override;
    Status RefreshInputBuffer(std::int32_t start) override;
    Status RefreshOutputBuffer(std::int32_t start) override;
    Status FlushOutputBuffer(std::int32_t count, std::int32_t start) override;
    Status SetFilePos(std::int32_t frame) override;
    Status UpdateSize() override;
    std::uint32_t GetFType() const override { return fType; }
    std::uint32_t GetFileType() const override;
    std::uint32_t GetCreator() const override;

    // Makes the object an open file holding `bytes` (native order), as a format's Open would.
    void OpenWith(std::int16_t channels, std::int16_t bits, float rate,
                  std::vector<std::uint8_t> bytes, std::int16_t type = 0);

    // The stored sample of `frame`, `channel` as a signed integer of the word's width (3-byte
    // samples as signed 24-bit); 0 past the end of the data.
    std::int32_t Sample(std::int32_t frame, std::int16_t channel) const;
    std::vector<std::uint8_t>& Data() { return data; }
    std::int32_t FramesInData() const;

    struct Call {
        std::int32_t start;
        std::int32_t count; // frames flushed; for refills the buffer size in frames at the time
    };
    const std::vector<Call>& Refills() const { return refills; }
    const std::vector<Call>& InputRefills() const { return inputRefills; }
    const std::vector<Call>& Flushes() const { return flushes; }
    std::int32_t FilePosition() const { return filePosition; }

    // The `nth` (from 1) output refill, input refill or flush returns `status`.
    void FailRefillAt(int nth, Status status) { failRefill = {nth, status}; }
    void FailInputRefillAt(int nth, Status status) { failInputRefill = {nth, status}; }
    void FailFlushAt(int nth, Status status) { failFlush = {nth, status}; }
    void SetFType(std::uint32_t code) { fType = code; }
    // Called from the destructor (to see that Dispose destroyed the object).
    void OnDestroy(std::function<void()> callback) { onDestroy = std::move(callback); }

    // Views of the base's state for tests.
    bool HasInputBuffer() const { return bool(inputBuffer); }
    bool HasOutputBuffer() const { return bool(outputBuffer); }
    const std::uint8_t* BufferBytes() const;
    std::size_t BufferSize() const;
    std::int32_t BufferStart() const { return bufferStart; }
    Status PendingError() const { return pendingError; }
    bool HeaderDirty() const { return headerDirty != 0; }
    void SetNumFrames(std::int32_t frames) { numFrames = frames; }
    void SetFormat(std::int16_t channels, std::int16_t bits);
    unsigned char KeepFlag() const { return keepFlag; }
    std::uint32_t FileTypeCode() const { return fileTypeCode; }

private:
    struct Failure {
        int nth = 0;
        Status status = kNoErr;
    };
    Status Planned(Failure& failure, std::size_t calls) const;
    // Copies the stored frames from `start` into `buffer`, up to `frames`; zeros the rest.
    void Load(std::uint8_t* buffer, std::size_t bufferBytes, std::int32_t start,
              std::int32_t frames);

    std::vector<std::uint8_t> data;
    std::vector<Call> refills;
    std::vector<Call> inputRefills;
    std::vector<Call> flushes;
    std::int32_t filePosition = 0;
    Failure failRefill, failInputRefill, failFlush;
    std::uint32_t fType = kMemoryType;
    std::function<void()> onDestroy;
};

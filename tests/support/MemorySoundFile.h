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
// It records every refill and flush, and can be told to fail the n-th input refill or flush.

#include <cstdint>
#include <vector>

#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"

class MemorySoundFile : public CSoundFile {
  public:
    static constexpr std::uint32_t kMemoryType = byteorder::FourCC("MEMF");

    MemorySoundFile() = default;

    Status Create(std::int16_t numChannels, std::int16_t wordSize, float sampleRate,
                  void* specifics, unsigned char extendName, unsigned char* extension) override;
    Status Close() override;
    Status RefreshInputBuffer(std::int32_t start) override;
    Status RefreshOutputBuffer(std::int32_t start) override;
    Status FlushOutputBuffer(std::int32_t count, std::int32_t start) override;
    Status SetFilePos(std::int32_t frame) override;
    Status UpdateSize() override;
    std::uint32_t GetFType() const override { return kMemoryType; }
    std::uint32_t GetFileType() const override;
    std::uint32_t GetCreator() const override;

    // The stored sample of `frame`, `channel` as a signed integer of the word's width (3-byte
    // samples as signed 24-bit); 0 past the end of the data.
    std::int32_t Sample(std::int32_t frame, std::int16_t channel) const;

    struct Call {
        std::int32_t start;
        std::int32_t count; // frames flushed; for refills the buffer size in frames at the time
    };
    const std::vector<Call>& Refills() const { return refills; }
    const std::vector<Call>& InputRefills() const { return inputRefills; }
    const std::vector<Call>& Flushes() const { return flushes; }

    // The `nth` (from 1) input refill or flush returns `status`.
    void FailInputRefillAt(int nth, Status status) { failInputRefill = {nth, status}; }
    void FailFlushAt(int nth, Status status) { failFlush = {nth, status}; }
    void SetNumFrames(std::int32_t frames) { numFrames = frames; }

  private:
    struct Failure {
        int nth = 0;
        Status status = kNoErr;
    };
    Status Planned(Failure& failure, std::size_t calls) const;
    std::int32_t FramesInData() const;
    // Copies the stored frames from `start` into `buffer`, up to `frames`; zeros the rest.
    void Load(std::uint8_t* buffer, std::size_t bufferBytes, std::int32_t start,
              std::int32_t frames);

    std::vector<std::uint8_t> data;
    std::vector<Call> refills;
    std::vector<Call> inputRefills;
    std::vector<Call> flushes;
    Failure failInputRefill, failFlush;
};

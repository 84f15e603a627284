#include "MemorySoundFile.h"

#include <algorithm>
#include <cstring>

std::uint32_t MemorySoundFile::GetFileType() const {
    return kMemoryType;
}
std::uint32_t MemorySoundFile::GetCreator() const {
    return byteorder::FourCC("QUIL");
}

Status MemorySoundFile::Create(std::int16_t channels, std::int16_t bits, float rate,
                               void* specifics, unsigned char extendName,
                               unsigned char* extension) {
    // A failed name extension is kept for Dispose to report.
    (void)CSoundFile::Create(channels, bits, rate, specifics, extendName, extension);
    numChannels = channels;
    wordSize = bits;
    sampleRate = rate;
    isOpen = 1;
    headerDirty = 1;
    data.clear();
    return kNoErr;
}

Status MemorySoundFile::Close() {
    if (!isOpen) return kErrFileNotOpen;
    isOpen = 0;
    headerDirty = 0;
    return kNoErr;
}

std::int32_t MemorySoundFile::FramesInData() const {
    const std::int32_t frameBytes = BytesPerFrame();
    return frameBytes > 0 ? std::int32_t(data.size() / std::size_t(frameBytes)) : 0;
}

std::int32_t MemorySoundFile::Sample(std::int32_t frame, std::int16_t channel) const {
    const std::int16_t bytes = Bits2Bytes(wordSize);
    const std::size_t at = (std::size_t(frame) * numChannels + channel) * bytes;
    if (frame < 0 || at + bytes > data.size()) return 0;
    return LoadBufferSample(data.data() + at, bytes);
}

Status MemorySoundFile::Planned(Failure& failure, std::size_t calls) const {
    return int(calls) == failure.nth ? failure.status : kNoErr;
}

void MemorySoundFile::Load(std::uint8_t* buffer, std::size_t bufferBytes, std::int32_t start,
                           std::int32_t frames) {
    const std::size_t frameBytes = std::size_t(BytesPerFrame());
    const std::size_t from = std::size_t(start) * frameBytes;
    std::size_t bytes = std::min(std::size_t(std::max(frames, 0)) * frameBytes, bufferBytes);
    bytes = from < data.size() ? std::min(bytes, data.size() - from) : 0;
    if (bytes > 0) std::memcpy(buffer, data.data() + from, bytes);
    std::memset(buffer + bytes, 0, bufferBytes - bytes);
}

Status MemorySoundFile::RefreshOutputBuffer(std::int32_t start) {
    refills.push_back({start, kSFTBufferSize});
    bufferStart = std::max(start, 0);
    Load(outputBuffer.Data(), outputBuffer.Size(), bufferStart, kSFTBufferSize);
    return kNoErr;
}

Status MemorySoundFile::RefreshInputBuffer(std::int32_t start) {
    inputRefills.push_back({start, kSFTBufferSize});
    if (const Status status = Planned(failInputRefill, inputRefills.size())) return status;
    bufferStart = std::max(start, 0);
    Load(inputBuffer.Data(), inputBuffer.Size(), bufferStart, kSFTBufferSize);
    return kNoErr;
}

Status MemorySoundFile::FlushOutputBuffer(std::int32_t count, std::int32_t start) {
    flushes.push_back({start, count});
    if (const Status status = Planned(failFlush, flushes.size())) return status;
    const std::size_t frameBytes = std::size_t(BytesPerFrame());
    const std::size_t from = std::size_t(start) * frameBytes;
    const std::size_t bytes = std::size_t(count) * frameBytes;
    if (data.size() < from + bytes) data.resize(from + bytes, 0);
    std::memcpy(data.data() + from, outputBuffer.Data(), bytes);
    numFrames = std::max(numFrames, start + count);
    return kNoErr;
}

Status MemorySoundFile::SetFilePos(std::int32_t) {
    return kNoErr;
}

Status MemorySoundFile::UpdateSize() {
    numFrames = FramesInData();
    return kNoErr;
}

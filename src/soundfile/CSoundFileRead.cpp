// The read side of CSoundFile: reading frames back into sample arrays, single samples and
// the gap list.

#include <algorithm>
#include <limits>
#include <new>

#include "soundfile/CSoundFile.h"

namespace {

// Lowers kSFTBufferSize for one refill so the format reads only the frames needed.
class BufferSizeOverride {
  public:
    explicit BufferSizeOverride(std::int32_t frames) : saved(kSFTBufferSize) {
        kSFTBufferSize = frames;
    }
    ~BufferSizeOverride() { kSFTBufferSize = saved; }
    BufferSizeOverride(const BufferSizeOverride&) = delete;
    BufferSizeOverride& operator=(const BufferSizeOverride&) = delete;

  private:
    std::int32_t saved;
};

} // namespace

Status CSoundFile::ReadFrames(std::int32_t start, std::int32_t* count, const FrameSink& sink) {
    const std::int16_t bytes = Bits2Bytes(wordSize);
    if (bytes < 1 || bytes > 4 || numChannels < 1) return kErrParameter;
    Status status = InitInputBuffer();
    if (status != kNoErr) return status;
    if (start < 0) return kErrParameter;
    const std::int32_t end =
        std::int32_t(std::min<std::int64_t>(std::int64_t(start) + std::max(*count, 0), numFrames));
    const std::int32_t frameBytes = BytesPerFrame();
    std::int32_t pos = start;
    std::int32_t k = 0; // frames delivered
    while (pos < end && status == kNoErr) {
        const std::int32_t room = std::int32_t(inputBuffer.Size() / std::size_t(frameBytes));
        const std::int32_t n = std::min({kSFTBufferSize, end - pos, numFrames - pos, room});
        if (n <= 0) {
            status = kErrParameter;
            break;
        }
        if (n < kSFTBufferSize) {
            BufferSizeOverride override(n);
            status = RefreshInputBuffer(pos);
        } else {
            status = RefreshInputBuffer(pos);
        }
        if (status != kNoErr) break;
        sink(k, inputBuffer.Data(), n);
        k += n;
        pos += n;
    }
    *count = std::max(pos - start, 0);
    return status;
}

Status CSoundFile::Read(std::int32_t start, std::int32_t* count, double** block) {
    if (*count > 0 && (block == nullptr || *block == nullptr)) return kErrParameter;
    double* out = *count > 0 ? *block : nullptr;
    const SampleCoding coding = BufferCoding();
    const std::size_t channels = std::size_t(numChannels);
    const std::size_t bytes = std::size_t(CodingBytes(coding));
    return ReadFrames(start, count,
                      [&](std::int32_t k, const std::uint8_t* frames, std::int32_t n) {
                          DecodeSamples(coding, frames, bytes, std::size_t(n) * channels,
                                        out + std::size_t(k) * channels);
                      });
}

Status CSoundFile::Read(std::int16_t channel, std::int32_t start, std::int32_t* count,
                        double** block) {
    if (channel < 0 || channel >= numChannels) return kErrSampleNotAvailable;
    if (*count > 0 && (block == nullptr || *block == nullptr)) return kErrParameter;
    return ReadChannels({channel}, start, count, {*count > 0 ? *block : nullptr});
}

Status CSoundFile::Read(std::int32_t start, std::int32_t* count, double** left, double** right) {
    if (*count > 0 &&
        (left == nullptr || *left == nullptr || right == nullptr || *right == nullptr))
        return kErrParameter;
    // A one-channel file gives the same samples on both sides.
    const std::int16_t rightChannel = numChannels > 1 ? 1 : 0;
    return ReadChannels({0, rightChannel}, start, count,
                        {*count > 0 ? *left : nullptr, *count > 0 ? *right : nullptr});
}

Status CSoundFile::Read(std::int32_t start, std::int32_t* count, float* left, float* right) {
    if (*count > 0 && (left == nullptr || right == nullptr)) return kErrParameter;
    const std::int16_t rightChannel = numChannels > 1 ? 1 : 0;
    return ReadChannels({0, rightChannel}, start, count, {left, right});
}

template <class T>
Status CSoundFile::ReadChannels(std::initializer_list<std::int16_t> channels, std::int32_t start,
                                std::int32_t* count, std::initializer_list<T*> outputs) {
    const SampleCoding coding = BufferCoding();
    const std::size_t bytes = std::size_t(CodingBytes(coding));
    const std::size_t frameBytes = std::size_t(std::max(BytesPerFrame(), 0));
    return ReadFrames(start, count,
                      [&](std::int32_t k, const std::uint8_t* frames, std::int32_t n) {
                          auto out = outputs.begin();
                          for (const std::int16_t channel : channels)
                              DecodeSamples(coding, frames + std::size_t(channel) * bytes,
                                            frameBytes, std::size_t(n), *out++ + k);
                      });
}

Status CSoundFile::GetSample(std::int16_t channel, std::int32_t frame, double* value) {
    if (!inputBuffer && InitInputBuffer() != kNoErr) return kErrSampleNotAvailable;
    if (channel < 0 || channel >= numChannels) return kErrSampleNotAvailable;
    if (frame < 0 || frame >= numFrames) {
        *value = 0.0;
        return kNoErr;
    }
    Status status = kNoErr;
    // The buffer may hold fewer than kSFTBufferSize frames (a short file).
    const std::int32_t frameBytes = std::max(BytesPerFrame(), 1);
    const std::int32_t window = std::max(
        std::min(kSFTBufferSize, std::int32_t(inputBuffer.Size() / std::size_t(frameBytes))), 1);
    if (frame < bufferStart || std::int64_t(frame) >= std::int64_t(bufferStart) + window) {
        if (window < kSFTBufferSize) {
            BufferSizeOverride override(window);
            status = RefreshInputBuffer(frame - window / 2);
        } else {
            status = RefreshInputBuffer(frame - window / 2);
        }
    }
    const std::int16_t bytes = Bits2Bytes(wordSize);
    const std::int64_t index =
        (std::int64_t(frame) - bufferStart) * numChannels + channel; // sample index
    // After a failed refill the frame may not be in the buffer at all.
    if (bytes < 1 || bytes > 4 || index < 0 ||
        std::uint64_t(index + 1) * bytes > inputBuffer.Size()) {
        *value = 0.0;
        return status != kNoErr ? status : kErrSampleNotAvailable;
    }
    DecodeSamples(BufferCoding(), inputBuffer.Data() + std::size_t(index) * bytes,
                  std::size_t(bytes), 1, value);
    return status;
}

// --- gaps ---

Status CSoundFile::AddGap(std::int32_t a, std::int32_t b) {
    if (!gaps) {
        gaps.reset(new (std::nothrow) CLongList);
        if (!gaps) return kErrGapListAllocation;
    }
    const Status status = gaps->AddLong(a);
    if (status != kNoErr) return status;
    return gaps->AddLong(b);
}

Status CSoundFile::GetGap(std::int32_t index, std::int32_t* a, std::int32_t* b) const {
    if (!gaps) return kErrNoSuchGap;
    const std::int64_t first = 2 * std::int64_t(index) + 1;
    if (first < 1 || first + 1 > std::numeric_limits<std::int32_t>::max()) return kErrNoSuchGap;
    *a = gaps->At(std::int32_t(first));
    *b = gaps->At(std::int32_t(first + 1));
    return (*a == 0 && *b == 0) ? kErrNoSuchGap : kNoErr;
}

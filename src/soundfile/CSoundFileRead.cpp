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

double CSoundFile::ReadConversion(const std::uint8_t* sample) const {
    switch (Bits2Bytes(wordSize)) {
    case 1: return LoadBufferSample(sample, 1) / 128.0;
    case 2: return LoadBufferSample(sample, 2) / 32768.0;
    case 3: return LoadBufferSample(sample, 3) / 8388608.0;
    default: {
        std::int32_t word = LoadBufferSample(sample, 4);
        if (dataType == kDataType24In32)
            word = static_cast<std::int32_t>(static_cast<std::uint32_t>(word) << 8);
        return word / 2147483648.0;
    }
    }
}

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
        const std::uint8_t* buffer = inputBuffer.Data();
        for (std::int32_t f = 0; f < n; ++f, ++k)
            sink(k, buffer + std::size_t(f) * frameBytes, bytes);
        pos += n;
    }
    *count = std::max(pos - start, 0);
    return status;
}

Status CSoundFile::Read(std::int32_t start, std::int32_t* count, double** block) {
    if (*count > 0 && (block == nullptr || *block == nullptr)) return kErrParameter;
    double* out = *count > 0 ? *block : nullptr;
    const std::int32_t channels = numChannels;
    return ReadFrames(start, count, [&](std::int32_t k, const std::uint8_t* frame, int bytes) {
        for (std::int32_t c = 0; c < channels; ++c)
            out[std::size_t(k) * channels + c] = ReadConversion(frame + c * bytes);
    });
}

Status CSoundFile::Read(std::int16_t channel, std::int32_t start, std::int32_t* count,
                        double** block) {
    if (channel < 0 || channel >= numChannels) return kErrSampleNotAvailable;
    if (*count > 0 && (block == nullptr || *block == nullptr)) return kErrParameter;
    double* out = *count > 0 ? *block : nullptr;
    return ReadFrames(start, count, [&](std::int32_t k, const std::uint8_t* frame, int bytes) {
        out[k] = ReadConversion(frame + channel * bytes);
    });
}

Status CSoundFile::Read(std::int32_t start, std::int32_t* count, double** left, double** right) {
    if (*count > 0 && (left == nullptr || *left == nullptr || right == nullptr ||
                       *right == nullptr))
        return kErrParameter;
    double* l = *count > 0 ? *left : nullptr;
    double* r = *count > 0 ? *right : nullptr;
    // A one-channel file gives the same samples on both sides.
    const int rightChannel = numChannels > 1 ? 1 : 0;
    return ReadFrames(start, count, [&](std::int32_t k, const std::uint8_t* frame, int bytes) {
        l[k] = ReadConversion(frame);
        r[k] = ReadConversion(frame + rightChannel * bytes);
    });
}

Status CSoundFile::Read(std::int32_t start, std::int32_t* count, float* left, float* right) {
    if (*count > 0 && (left == nullptr || right == nullptr)) return kErrParameter;
    const int rightChannel = numChannels > 1 ? 1 : 0;
    return ReadFrames(start, count, [&](std::int32_t k, const std::uint8_t* frame, int bytes) {
        left[k] = ReadConversionFloat(frame);
        right[k] = ReadConversionFloat(frame + rightChannel * bytes);
    });
}

float CSoundFile::ReadConversionFloat(const std::uint8_t* sample) const {
    switch (Bits2Bytes(wordSize)) {
    case 1: return float(LoadBufferSample(sample, 1)) / 128.0f;
    case 2: return float(LoadBufferSample(sample, 2)) / 32768.0f;
    case 3: return float(LoadBufferSample(sample, 3)) / 8388608.0f;
    default: {
        std::int32_t word = LoadBufferSample(sample, 4);
        if (dataType == kDataType24In32)
            word = static_cast<std::int32_t>(static_cast<std::uint32_t>(word) << 8);
        return float(word) / 2147483648.0f;
    }
    }
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
    *value = ReadConversion(inputBuffer.Data() + std::size_t(index) * bytes);
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

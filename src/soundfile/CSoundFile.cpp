#include "soundfile/CSoundFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "soundfile/ByteOrder.h"
#include "soundfile/Dither.h"
#include "soundfile/FileServices.h"

std::int32_t kSFTBufferSize = kSFTBufSizePPC;

namespace {

constexpr std::uint32_t kTrackFType = byteorder::FourCC("trak");

// Saturating truncation of x * scale into [low, high].
std::int32_t ScaleAndTruncate(double x, double scale, std::int32_t low, std::int32_t high) {
    const double v = x * scale;
    if (std::isnan(v)) return 0;
    if (v >= double(high) + 1.0) return high;
    if (v <= double(low)) return low;
    return static_cast<std::int32_t>(std::trunc(v));
}

// Wraps `value` to a signed integer of `bits` bits.
std::int32_t WrapToBits(std::int64_t value, int bits) {
    const std::uint64_t mask = (std::uint64_t(1) << bits) - 1;
    std::uint64_t v = std::uint64_t(value) & mask;
    if (v & (std::uint64_t(1) << (bits - 1))) v |= ~mask;
    return static_cast<std::int32_t>(static_cast<std::int64_t>(v));
}

} // namespace

// --- free functions ---

void StoreConvertedSample(std::uint8_t* p, std::int16_t bytes, double x) {
    const std::int32_t word = SampleToWord(x, Bytes2Bits(bytes));
    // A 3-byte sample keeps the top three bytes of the 32-bit word.
    StoreBufferSample(p, bytes, bytes == 3 ? word >> 8 : word);
}

std::int16_t Bits2Bytes(std::int16_t bits) { return static_cast<std::int16_t>(bits / 8); }
std::int16_t Bytes2Bits(std::int16_t bytes) { return static_cast<std::int16_t>(bytes * 8); }

std::int32_t TwentyFour2Long(const unsigned char* bytes) {
    return static_cast<std::int32_t>(byteorder::LoadLE24(bytes) << 8);
}
double TwentyFour2Double(const unsigned char* bytes) {
    return TwentyFour2Long(bytes) / 2147483648.0;
}
float TwentyFour2Float(const unsigned char* bytes) {
    return float(TwentyFour2Long(bytes)) / 2147483648.0f;
}
void Long2TwentyFour(std::int32_t value, unsigned char* bytes) {
    byteorder::StoreLE24(bytes, std::uint32_t(value) >> 8);
}
void Double2TwentyFour(double x, unsigned char* bytes) { StoreConvertedSample(bytes, 3, x); }

std::int32_t SampleToWord(double x, std::int16_t wordSize) {
    switch (Bits2Bytes(wordSize)) {
    case 1: return ScaleAndTruncate(x, 128.0, -128, 127);
    case 2: return ScaleAndTruncate(x, 32768.0, -32768, 32767);
    default:
        return ScaleAndTruncate(x, 2147483648.0, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
    }
}

std::int32_t LoadBufferSample(const std::uint8_t* p, std::int16_t bytes) {
    switch (bytes) {
    case 1: return static_cast<std::int8_t>(p[0]);
    case 2: {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 3: return WrapToBits(byteorder::LoadLE24(p), 24);
    default: {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

void StoreBufferSample(std::uint8_t* p, std::int16_t bytes, std::int32_t value) {
    switch (bytes) {
    case 1: p[0] = static_cast<std::uint8_t>(value); break;
    case 2: {
        const auto v = static_cast<std::int16_t>(value);
        std::memcpy(p, &v, 2);
        break;
    }
    case 3: byteorder::StoreLE24(p, std::uint32_t(value)); break;
    default: std::memcpy(p, &value, 4); break;
    }
}

// --- construction ---

CSoundFile::CSoundFile() = default;

CSoundFile::~CSoundFile() { DisposeBuffer(); }

Status CSoundFile::ISoundFile(const FSSpec* fileRef) {
    fileTypeCode = GetFileType();
    if (fileRef) fileSpec = *fileRef;
    markers.reset(new (std::nothrow) CList);
    regions.reset(new (std::nothrow) CList);
    loops.reset(new (std::nothrow) CList);
    wordSize = 16;
    if (!markers || !regions || !loops) return kErrMemoryFull;
    return kNoErr;
}

Status CSoundFile::Open() { return kNoErr; }

Status CSoundFile::Create(std::int16_t, std::int16_t, float, void*, unsigned char extendName,
                          unsigned char* extension) {
    if (extendName == 0) return kNoErr;
    unsigned char empty[1] = {0};
    pendingError = ExtendFileName(extension ? extension : empty);
    if (pendingError != kNoErr) return kNoErr;
    FileInformation information;
    if (CurrentFileServices().GetInformation(fileSpec, &information) == kErrFileNotFound)
        return kNoErr;
    return kErrDuplicateFile;
}

Status CSoundFile::Close() { return kErrNotSupported; }

std::int32_t CSoundFile::GetNumSFrames() { return numFrames; }

FSSpec CSoundFile::GetFSSpec() { return fileSpec; }

void CSoundFile::GetName(unsigned char* name) {
    if (fileSpec.name[0] > kSFTMaxNameLength) return;
    std::memcpy(name, fileSpec.name, fileSpec.name[0] + 1);
}

Status CSoundFile::ExtendFileName(unsigned char* extension) {
    int length = extension[0];
    const unsigned char* characters = extension + 1;
    if (length > 0 && characters[0] == '.') {
        ++characters;
        --length;
    }
    if (length == 0) return kNoErr;
    const int nameLength = fileSpec.name[0];
    if (nameLength + length + 1 >= kSFTMaxNameLength + 1) return kErrNameTooLong;
    fileSpec.name[nameLength + 1] = '.';
    std::memcpy(fileSpec.name + nameLength + 2, characters, length);
    fileSpec.name[0] = static_cast<unsigned char>(nameLength + 1 + length);
    return kNoErr;
}

std::int16_t CSoundFile::GetChannelConfig() {
    if (numChannels == 1) return 1;
    if (numChannels == 2) return 2;
    return 3;
}

Status CSoundFile::Dispose(unsigned char keep) {
    keepFlag = keep ? 0 : 1;
    Status status = pendingError;
    if (isOpen) {
        const Status closeStatus = Close();
        if (closeStatus != kNoErr) status = closeStatus;
    }
    delete this;
    return status;
}

void CSoundFile::SetAIFFExtras(char*, char*, std::int16_t) {}

Status CSoundFile::SetSampleRate(float rate) {
    sampleRate = rate;
    headerDirty = 1;
    return kNoErr;
}

Status CSoundFile::SetDC(double value) {
    dcOffset = value;
    return kNoErr;
}

void CSoundFile::SetTimeStamp(std::int32_t value) {
    timeStamp = static_cast<std::uint32_t>(value);
    timeStampValid = 1;
}

Status CSoundFile::GetSamplerInfo(SFTSamplerInfo* info) const {
    *info = samplerInfo;
    return samplerInfo.validSamplerInfo ? kNoErr : kErrInvalidSamplerInfo;
}

Status CSoundFile::SetSamplerInfo(const SFTSamplerInfo* info) {
    if (info) samplerInfo = *info;
    return kNoErr;
}

void CSoundFile::InitSamplerInfo() { samplerInfo = SFTSamplerInfo{}; }

Status CSoundFile::GetOfflineInfo(std::int16_t*) { return kErrNotSupported; }

// --- buffers ---

std::int32_t CSoundFile::BytesPerFrame() const {
    return std::int32_t(numChannels) * Bits2Bytes(wordSize);
}

std::int32_t CSoundFile::GetRealBufferSize() const { return kSFTBufferSize * BytesPerFrame(); }

std::int32_t CSoundFile::InputBufferFrames() {
    const std::int32_t frameBytes = BytesPerFrame();
    std::int32_t frames = std::min(kSFTBufferSize, numFrames);
    std::int64_t length = 0;
    if (frameBytes > 0 && isOpen && CurrentFileServices().GetEndOfFile(refNum, &length) == kNoErr)
        frames = std::int32_t(std::min<std::int64_t>(frames, length / frameBytes));
    return std::max(frames, 1);
}

Status CSoundFile::InitOutputBuffer() {
    if (outputBuffer) return kNoErr;
    const std::size_t size = std::size_t(std::max(GetRealBufferSize(), 0));
    // An input buffer sized for a short file is too small to write through.
    if (inputBuffer && inputBuffer.Size() < size) inputBuffer.Free();
    if (inputBuffer) {
        outputBuffer = std::move(inputBuffer);
        std::memset(outputBuffer.Data(), 0, std::min(size, outputBuffer.Size()));
        return kNoErr;
    }
    const Status status = outputBuffer.Allocate(size, true);
    return status != kNoErr ? MyMemError(outputBuffer.Data(), 1) : kNoErr;
}

Status CSoundFile::InitInputBuffer() {
    if (inputBuffer) return kNoErr;
    if (outputBuffer) {
        inputBuffer = std::move(outputBuffer);
    } else {
        const std::size_t size =
            std::size_t(InputBufferFrames()) * std::size_t(std::max(BytesPerFrame(), 0));
        if (inputBuffer.Allocate(size, true) != kNoErr) return MyMemError(inputBuffer.Data(), 1);
    }
    if (GetFType() == kTrackFType) return kNoErr;
    return RefreshInputBuffer(0);
}

Status CSoundFile::InitInputBuffer(FSSpec) { return kNoErr; }

Status CSoundFile::FlushOutputBuffer(std::int32_t, std::int32_t) { return kNoErr; }

void CSoundFile::DisposeBuffer() {
    inputBuffer.Free();
    outputBuffer.Free();
}

Status CSoundFile::SetFilePos(std::int32_t) { return kNoErr; }
Status CSoundFile::UpdateSize() { return kNoErr; }

// --- writing ---

Status CSoundFile::WriteFrames(std::int16_t channel, std::int32_t start, std::int32_t* count,
                               double** block, WriteMode mode) {
    const std::int16_t bytes = Bits2Bytes(wordSize);
    if (bytes < 1 || bytes > 4 || numChannels < 1) return kErrParameter;
    if (channel >= numChannels || channel < -1) return kErrSampleNotAvailable;
    Status status = InitOutputBuffer();
    if (status != kNoErr) return status;
    if (*count <= 0) {
        *count = 0;
        return kNoErr;
    }
    // A negative start would place samples in front of the sample data (over the header).
    if (start < 0 || block == nullptr || *block == nullptr ||
        std::int64_t(start) + *count > std::numeric_limits<std::int32_t>::max())
        return kErrParameter;

    const std::int32_t frameBytes = BytesPerFrame();
    const std::int32_t end = start + *count;
    std::int32_t pos = start;
    std::size_t k = 0;
    double* values = *block;
    while (pos < end && status == kNoErr) {
        status = RefreshOutputBuffer(pos);
        if (status != kNoErr) break;
        // The buffer may be smaller than kSFTBufferSize frames if the format changed after it
        // was made; never write past it.
        const std::int32_t room = std::int32_t(outputBuffer.Size() / std::size_t(frameBytes));
        const std::int32_t n = std::min({end - pos, kSFTBufferSize, room});
        if (n <= 0) {
            status = kErrParameter;
            break;
        }
        std::uint8_t* buffer = outputBuffer.Data();
        const std::int32_t samples = n * numChannels;
        const std::int32_t first = channel < 0 ? 0 : channel;
        const std::int32_t step = channel < 0 ? 1 : numChannels;
        for (std::int32_t i = first; i < samples; i += step, ++k) {
            std::uint8_t* sample = buffer + std::size_t(i) * bytes;
            if (mode == WriteMode::Replace) {
                if (ditherSource) StoreDitheredSample(sample, bytes, values[k], *ditherSource);
                else StoreConvertedSample(sample, bytes, values[k]);
            } else if (bytes == 3) {
                values[k] += LoadBufferSample(sample, 3) / 8388608.0;
                StoreConvertedSample(sample, 3, values[k]);
            } else {
                const std::int64_t sum = std::int64_t(LoadBufferSample(sample, bytes)) +
                                         SampleToWord(values[k], wordSize);
                StoreBufferSample(sample, bytes, WrapToBits(sum, bytes * 8));
            }
        }
        status = FlushOutputBuffer(n, pos);
        pos += n;
    }
    *count = pos - start;
    return status;
}

Status CSoundFile::Write(std::int32_t start, std::int32_t* count, double** block) {
    return WriteFrames(-1, start, count, block, WriteMode::Replace);
}

Status CSoundFile::Write(std::int16_t channel, std::int32_t start, std::int32_t* count,
                         double** block) {
    if (channel < 0) return kErrSampleNotAvailable;
    return WriteFrames(channel, start, count, block, WriteMode::Replace);
}

Status CSoundFile::Add(std::int16_t channel, std::int32_t start, std::int32_t* count,
                       double** block) {
    if (channel < 0) return kErrSampleNotAvailable;
    return WriteFrames(channel, start, count, block, WriteMode::Mix);
}

Status CSoundFile::ReadBytes(void* buffer, std::int32_t count) {
    std::int32_t done = count;
    const Status status = CurrentFileServices().Read(refNum, &done, buffer);
    if (status != kNoErr) return status;
    return done == count ? kNoErr : kErrEndOfFile;
}

Status CSoundFile::WriteBytes(const void* buffer, std::int32_t count) {
    std::int32_t done = count;
    const Status status = CurrentFileServices().Write(refNum, &done, buffer);
    if (status != kNoErr) return status;
    return done == count ? kNoErr : kErrIO;
}

Status CSoundFile::SetPosition(FilePositionMode mode, std::int64_t offset) {
    return CurrentFileServices().SetPosition(refNum, mode, offset);
}

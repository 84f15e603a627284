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

} // namespace

// --- free functions ---

void StoreConvertedSample(std::uint8_t* p, std::int16_t bytes, double x) {
    EncodeSamples(CodingFor(bytes, false), &x, 1, p, std::size_t(bytes));
}

std::int16_t Bits2Bytes(std::int16_t bits) {
    return static_cast<std::int16_t>(bits / 8);
}
std::int16_t Bytes2Bits(std::int16_t bytes) {
    return static_cast<std::int16_t>(bytes * 8);
}

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
void Double2TwentyFour(double x, unsigned char* bytes) {
    StoreConvertedSample(bytes, 3, x);
}

std::int32_t SampleToWord(double x, std::int16_t wordSize) {
    switch (Bits2Bytes(wordSize)) {
    case 1:
        return ScaleAndTruncate(x, 128.0, -128, 127);
    case 2:
        return ScaleAndTruncate(x, 32768.0, -32768, 32767);
    default:
        return ScaleAndTruncate(x, 2147483648.0, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
    }
}

std::int32_t LoadBufferSample(const std::uint8_t* p, std::int16_t bytes) {
    return LoadSample(CodingFor(bytes, false), p);
}

// --- construction ---

CSoundFile::CSoundFile(FileServices* services)
    : fileServices(services ? *services : CurrentFileServices()) {}

CSoundFile::~CSoundFile() {
    DisposeBuffer();
}

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

Status CSoundFile::Open() {
    return kNoErr;
}

Status CSoundFile::Create(std::int16_t, std::int16_t, float, void*, unsigned char extendName,
                          unsigned char* extension) {
    if (extendName == 0) return kNoErr;
    unsigned char empty[1] = {0};
    pendingError = ExtendFileName(extension ? extension : empty);
    if (pendingError != kNoErr) return kNoErr;
    FileInformation information;
    if (fileServices.GetInformation(fileSpec, &information) == kErrFileNotFound) return kNoErr;
    return kErrDuplicateFile;
}

Status CSoundFile::Close() {
    return kErrNotSupported;
}

std::int32_t CSoundFile::GetNumSFrames() {
    return numFrames;
}

FSSpec CSoundFile::GetFSSpec() {
    return fileSpec;
}

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

void CSoundFile::InitSamplerInfo() {
    samplerInfo = SFTSamplerInfo{};
}

Status CSoundFile::GetOfflineInfo(std::int16_t*) {
    return kErrNotSupported;
}

// --- buffers ---

std::int32_t CSoundFile::BytesPerFrame() const {
    return std::int32_t(numChannels) * Bits2Bytes(wordSize);
}

std::int32_t CSoundFile::GetRealBufferSize() const {
    return kSFTBufferSize * BytesPerFrame();
}

std::int32_t CSoundFile::InputBufferFrames() {
    const std::int32_t frameBytes = BytesPerFrame();
    std::int32_t frames = std::min(kSFTBufferSize, numFrames);
    std::int64_t length = 0;
    if (frameBytes > 0 && isOpen && fileServices.GetEndOfFile(refNum, &length) == kNoErr)
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

Status CSoundFile::InitInputBuffer(FSSpec) {
    return kNoErr;
}

Status CSoundFile::FlushOutputBuffer(std::int32_t, std::int32_t) {
    return kNoErr;
}

void CSoundFile::DisposeBuffer() {
    inputBuffer.Free();
    outputBuffer.Free();
}

Status CSoundFile::SetFilePos(std::int32_t) {
    return kNoErr;
}
Status CSoundFile::UpdateSize() {
    return kNoErr;
}

// --- writing ---

SampleCoding CSoundFile::BufferCoding() const {
    const std::int16_t bytes = Bits2Bytes(wordSize);
    if (bytes == 4 && dataType == kDataType24In32) return SampleCoding::Little24In32;
    if (bytes == 4 && dataType == kDataTypeFloat32) return SampleCoding::LittleFloat32;
    return CodingFor(bytes, false);
}

void CSoundFile::FillSilence(MemBlock& buffer, std::size_t offset) const {
    if (offset < buffer.Size())
        std::memset(buffer.Data() + offset, SilenceByte(BufferCoding()), buffer.Size() - offset);
}

Status CSoundFile::FillFromFile(MemBlock& buffer, std::int32_t start, std::int64_t offset) {
    const std::int32_t frameBytes = BytesPerFrame();
    const auto full = std::int32_t(std::min<std::int64_t>(std::int64_t(kSFTBufferSize) * frameBytes,
                                                          std::int64_t(buffer.Size())));
    const std::int32_t frames = std::max(std::min(numFrames - start, kSFTBufferSize), 0);
    std::int32_t done = std::min(frames * frameBytes, full);
    Status status = kNoErr;
    if (done > 0) {
        status = SetPosition(FilePositionMode::FromStart, offset);
        if (status == kNoErr)
            status = fileServices.Read(refNum, &done, buffer.Data());
        else
            done = 0;
        if (status != kNoErr && status != kErrEndOfFile) done = 0;
    }
    FillSilence(buffer, std::size_t(std::clamp(done, 0, full)));
    return status;
}

Status CSoundFile::BeginWrite(std::int32_t start, std::int32_t* count, const void* data) {
    const std::int16_t bytes = Bits2Bytes(wordSize);
    if (bytes < 1 || bytes > 4 || numChannels < 1) return kErrParameter;
    const Status status = InitOutputBuffer();
    if (status != kNoErr) return status;
    if (*count <= 0) {
        *count = 0;
        return kNoErr;
    }
    // A negative start would place samples in front of the sample data (over the header).
    if (start < 0 || data == nullptr ||
        std::int64_t(start) + *count > std::numeric_limits<std::int32_t>::max())
        return kErrParameter;
    return kNoErr;
}

Status CSoundFile::WriteFrames(std::int16_t channel, std::int32_t start, std::int32_t* count,
                               double** block, WriteMode mode) {
    if (Bits2Bytes(wordSize) >= 1 && numChannels >= 1 && (channel >= numChannels || channel < -1))
        return kErrSampleNotAvailable;
    if (Status status = BeginWrite(start, count, block != nullptr ? *block : nullptr);
        status != kNoErr || *count == 0)
        return status;

    const std::int16_t bytes = Bits2Bytes(wordSize);
    const SampleCoding coding = BufferCoding();
    const std::size_t frameBytes = std::size_t(BytesPerFrame());
    double* values = *block;
    // Frames whose every sample this write replaces need nothing from the file.
    const bool wholeFrames = mode == WriteMode::Replace && (channel < 0 || numChannels == 1);
    return WriteChunks(start, count, wholeFrames, [&](std::uint8_t* buffer, std::int32_t n) {
        if (ditherSource != nullptr && mode == WriteMode::Replace && !IsFloatCoding(coding)) {
            const bool all = channel < 0;
            const std::size_t samples =
                all ? std::size_t(n) * std::size_t(numChannels) : std::size_t(n);
            std::uint8_t* first = buffer + (all ? 0 : std::size_t(channel) * bytes);
            const std::size_t step = all ? std::size_t(bytes) : frameBytes;
            for (std::size_t k = 0; k < samples; ++k)
                StoreDitheredSample(coding, first + k * step, values[k], *ditherSource);
            values += samples;
        } else if (channel < 0) {
            const std::size_t samples = std::size_t(n) * std::size_t(numChannels);
            EncodeSamples(coding, values, samples, buffer, std::size_t(bytes));
            values += samples;
        } else if (mode == WriteMode::Replace) {
            EncodeSamples(coding, values, std::size_t(n), buffer + std::size_t(channel) * bytes,
                          frameBytes);
            values += n;
        } else {
            MixSamples(coding, values, std::size_t(n), buffer + std::size_t(channel) * bytes,
                       frameBytes);
            values += n;
        }
    });
}

Status CSoundFile::WriteChunks(std::int32_t start, std::int32_t* count, bool wholeFrames,
                               const ChunkFill& fill) {
    const std::int32_t frameBytes = BytesPerFrame();
    const std::int32_t end = start + *count;
    std::int32_t pos = start;
    Status status = kNoErr;
    while (pos < end && status == kNoErr) {
        // Whole frames are filled without a refill, and only they are flushed.
        if (wholeFrames)
            bufferStart = pos;
        else
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
        fill(outputBuffer.Data(), n);
        status = FlushOutputBuffer(n, pos);
        pos += n;
    }
    *count = pos - start;
    return status;
}

Status CSoundFile::WriteCoded(std::int32_t start, std::int32_t* count, const std::uint8_t* frames) {
    if (Status status = BeginWrite(start, count, frames); status != kNoErr || *count == 0)
        return status;
    const std::size_t frameBytes = std::size_t(BytesPerFrame());
    return WriteChunks(start, count, true, [&](std::uint8_t* buffer, std::int32_t n) {
        std::memcpy(buffer, frames, std::size_t(n) * frameBytes);
        frames += std::size_t(n) * frameBytes;
    });
}

Status CSoundFile::WriteCoded(std::int16_t channel, std::int32_t start, std::int32_t* count,
                              const std::uint8_t* samples) {
    if (Bits2Bytes(wordSize) >= 1 && numChannels >= 1 && (channel >= numChannels || channel < 0))
        return kErrSampleNotAvailable;
    if (numChannels == 1) return WriteCoded(start, count, samples);
    if (Status status = BeginWrite(start, count, samples); status != kNoErr || *count == 0)
        return status;
    // One sample per frame into its place; the other channels keep what the file holds.
    const std::size_t bytes = std::size_t(Bits2Bytes(wordSize));
    const std::size_t frameBytes = std::size_t(BytesPerFrame());
    return WriteChunks(start, count, false, [&](std::uint8_t* buffer, std::int32_t n) {
        std::uint8_t* sample = buffer + std::size_t(channel) * bytes;
        for (std::int32_t k = 0; k < n; ++k, sample += frameBytes, samples += bytes)
            std::memcpy(sample, samples, bytes);
    });
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
    const Status status = fileServices.Read(refNum, &done, buffer);
    if (status != kNoErr) return status;
    return done == count ? kNoErr : kErrEndOfFile;
}

Status CSoundFile::WriteBytes(const void* buffer, std::int32_t count) {
    std::int32_t done = count;
    const Status status = fileServices.Write(refNum, &done, buffer);
    if (status != kNoErr) return status;
    return done == count ? kNoErr : kErrIO;
}

Status CSoundFile::SetPosition(FilePositionMode mode, std::int64_t offset) {
    return fileServices.SetPosition(refNum, mode, offset);
}

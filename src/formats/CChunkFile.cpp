#include "formats/CChunkFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "shell/Preferences.h"
#include "soundfile/ByteOrder.h"

ReaderOptions ReaderOptions::FromPreferences() {
    const Preferences& preferences = Preferences::Shared();
    ReaderOptions options;
    options.ignoreRegionsContainingWholeFile =
        preferences.GetBool(kIgnoreRegionsContainingWholeFile);
    options.processFileIfNoRegions = preferences.GetBool(kProcessFileIfNoRegions);
    // Declared as an integer, so read as one.
    options.skipBadRegion = preferences.GetInt(kSkipBadRegion) != 0;
    return options;
}

// --- low-level file access -------------------------------------------------------------------

void CChunkFile::StoreNumber(std::uint8_t* p, std::uint32_t value) const {
    if (rules.bigEndian)
        byteorder::StoreBE32(p, value);
    else
        byteorder::StoreLE32(p, value);
}

Status CChunkFile::GetPosition(std::int64_t* position) {
    return fileServices.GetPosition(refNum, position);
}

Status CChunkFile::ReadBlock(MemBlock* block, std::int64_t count) {
    // One transfer stays below 2 GiB; no chunk read whole comes near that.
    if (count < 0 || count > std::numeric_limits<std::int32_t>::max()) return kErrMalformedFile;
    Status status = block->Allocate(std::size_t(std::max<std::int64_t>(count, 1)), true);
    if (status == kNoErr) status = ReadBytes(block->Data(), std::int32_t(count));
    return status;
}

Status CChunkFile::ReadChunkSize(std::uint32_t* size, std::int64_t* available) {
    std::uint8_t field[4];
    Status status = ReadBytes(field, 4);
    std::int64_t position = 0;
    std::int64_t length = 0;
    if (status == kNoErr) status = GetPosition(&position);
    if (status == kNoErr) status = fileServices.GetEndOfFile(refNum, &length);
    if (status != kNoErr) return status;
    *size = rules.bigEndian ? byteorder::LoadBE32(field) : byteorder::LoadLE32(field);
    *available = std::min<std::int64_t>(*size, std::max<std::int64_t>(length - position, 0));
    return kNoErr;
}

std::int64_t CChunkFile::FrameOffset(std::int64_t frame) const {
    const std::int64_t offset = std::max<std::int64_t>(frame, 0) * BytesPerFrame() + dataStart;
    return offset <= largestFile ? offset : -1;
}

// --- the chunk index -------------------------------------------------------------------------

std::uint32_t CChunkFile::GetCreator() const {
    return byteorder::FourCC("DERO");
}

bool CChunkFile::CanWrite(std::int16_t, std::int16_t, float) const {
    return true;
}

Status CChunkFile::Open() {
    readerOptions = ReaderOptions::FromPreferences();
    chunks.Clear();
    Status status = fileServices.Open(fileSpec, FilePermission::ReadOnly, &refNum);
    if (status != kNoErr) return status;
    isOpen = 1;
    status = ReadForm();
    return status != kNoErr ? status : ReadChunks();
}

Status CChunkFile::GetOfflineInfo(std::int16_t* info) {
    return ReadOffline([&] {
        const Status status = ReadForm();
        return status != kNoErr ? status : ReadOfflineChunks(info);
    });
}

Status CChunkFile::ReadForm() {
    const Status status = ReadFormHeader();
    if (status == kNoErr) IndexChunks();
    return status;
}

void CChunkFile::IndexChunks() {
    std::int64_t length = 0;
    // Without the file's length no chunk counts as holding any data.
    if (fileServices.GetEndOfFile(refNum, &length) != kNoErr) length = 0;
    ContainerRules reach = rules;
    reach.maxFileSize = largestFile;
    chunks.Build(
        reach, formEnd, length,
        [this](std::int64_t offset, std::uint8_t* bytes, std::int32_t count) {
            const Status status = SetPosition(FilePositionMode::FromStart, offset);
            return status != kNoErr ? status : ReadBytes(bytes, count);
        },
        largeSizes);
}

Status CChunkFile::FindChunk(std::uint32_t chunkID, std::int32_t occurrence) {
    if (!isOpen) return kErrFileNotOpen;
    if (chunkID == rules.formID) {
        Status status = SetPosition(FilePositionMode::FromStart, 0);
        if (status != kNoErr) return status == kErrEndOfFile ? kErrChunkNotFound : status;
        std::uint8_t field[4];
        status = ReadBytes(field, 4);
        if (status != kNoErr) return status;
        return byteorder::LoadBE32(field) == rules.formID ? kNoErr : kErrChunkNotFound;
    }
    ChunkEntry entry;
    const Status status = chunks.Find(chunkID, occurrence, &entry);
    return status != kNoErr ? status : SetPosition(FilePositionMode::FromStart, entry.offset + 4);
}

// --- creating --------------------------------------------------------------------------------

Status CChunkFile::OpenNewFile() {
    chunks.Clear();
    Status status = fileServices.Create(fileSpec, GetFileType(), GetCreator());
    if (status == kNoErr) status = fileServices.Open(fileSpec, FilePermission::ReadWrite, &refNum);
    if (status != kNoErr) return status;
    isOpen = 1;
    headerDirty = 1;
    largestFile = rules.maxFileSize;
    largeSizes.clear();
    formEnd = largestFile; // no limit while writing
    return kNoErr;
}

Status CChunkFile::Create(std::int16_t channels, std::int16_t bits, float rate, void* specifics,
                          unsigned char extendName, unsigned char* extension) {
    // A failed name extension is kept for Dispose to report.
    (void)CSoundFile::Create(channels, bits, rate, specifics, extendName, extension);
    const bool floating = bits == kFloat32WordSize;
    if (floating) bits = 32;
    // A file whose header and samples disagree would be written otherwise.
    if (!CanWrite(channels, bits, rate) || (floating && !CanWriteFloat())) return kErrNotSupported;
    Status status = OpenNewFile();
    if (status != kNoErr) return status;
    sampleRate = rate;
    numChannels = channels;
    wordSize = bits;
    dataType = floating ? kDataTypeFloat32 : NewDataType();
    status = WriteFormHeader();
    return status != kNoErr ? status : WriteHeaderChunks(specifics);
}

Status CChunkFile::WriteFormHeader() {
    std::uint8_t header[kFirstChunkOffset];
    byteorder::StoreBE32(header, rules.formID);
    StoreNumber(header + 4, kFormSizePlaceholder);
    byteorder::StoreBE32(header + 8, codes.formType);
    const Status status = WriteBytes(header, sizeof header);
    if (status == kNoErr) headerEnd = kFirstChunkOffset;
    return status;
}

Status CChunkFile::WriteHeaderChunk(const std::uint8_t* chunk, std::int32_t count) {
    const Status status = WriteBytes(chunk, count);
    if (status != kNoErr) return status;
    ChunkEntry entry{byteorder::LoadBE32(chunk), headerEnd};
    entry.size = rules.bigEndian ? byteorder::LoadBE32(chunk + 4) : byteorder::LoadLE32(chunk + 4);
    entry.available = count - 8;
    entry.sized = true;
    chunks.Add(entry);
    headerEnd += count;
    return kNoErr;
}

// --- positioning and sample traffic ----------------------------------------------------------

Status CChunkFile::SetFilePos(std::int32_t frame) {
    const std::int64_t offset = FrameOffset(frame);
    if (offset < 0) return kErrFileTooLarge;
    Status status = SetPosition(FilePositionMode::FromStart, offset);
    if (status == kErrEndOfFile) {
        status = SetEndOfFile(std::max(frame, 0));
        if (status == kNoErr) status = SetPosition(FilePositionMode::FromStart, offset);
    }
    return status;
}

Status CChunkFile::SetEndOfFile(std::int32_t frames) {
    std::int64_t end = 0;
    Status status = fileServices.GetEndOfFile(refNum, &end);
    if (status != kNoErr) return status;
    const std::int64_t target = FrameOffset(frames);
    if (target < 0) return kErrFileTooLarge;
    // Silence of zero bytes the file system adds without writing them (a long pause costs no
    // disk space); offset silence (unsigned 8-bit, 0x80) is written.
    const SampleCoding coding = BufferCoding();
    if (SilenceByte(coding) == 0) {
        if (end < target) status = fileServices.SetEndOfFile(refNum, target);
        numFrames = frames;
        return status;
    }
    MemBlock fill;
    status = fill.Allocate(std::size_t(std::max(kSFTBufferSize, 1)), true);
    if (status == kNoErr) status = SetPosition(FilePositionMode::FromEnd, 0);
    if (status != kNoErr) return status;
    std::memset(fill.Data(), SilenceByte(coding), fill.Size());
    while (end < target && status == kNoErr) {
        const auto n = std::int32_t(std::min<std::int64_t>(target - end, fill.Size()));
        status = WriteBytes(fill.Data(), n);
        if (status == kNoErr) end += n;
    }
    numFrames = frames;
    return status;
}

Status CChunkFile::UpdateSize() {
    std::int64_t end = 0;
    const Status status = fileServices.GetEndOfFile(refNum, &end);
    if (status != kNoErr) return status;
    const std::int32_t frameBytes = BytesPerFrame();
    if (frameBytes <= 0) return kErrNotSupported;
    const std::int64_t frames = std::max<std::int64_t>(end - dataStart, 0) / frameBytes;
    numFrames =
        std::int32_t(std::min<std::int64_t>(frames, std::numeric_limits<std::int32_t>::max()));
    return kNoErr;
}

Status CChunkFile::FlushOutputBuffer(std::int32_t count, std::int32_t start) {
    // Frames that would end beyond the longest file are refused before anything is written.
    if (FrameOffset(std::int64_t(start) + std::max(count, 0)) < 0) return kErrFileTooLarge;
    Status status = SetFilePos(start);
    if (status != kNoErr) return status;
    const std::int64_t bytes = std::min<std::int64_t>(
        std::int64_t(std::max(count, 0)) * BytesPerFrame(), std::int64_t(outputBuffer.Size()));
    status = WriteBytes(OutputBytes(), std::int32_t(bytes));
    numFrames = std::max(numFrames, start + count);
    return status;
}

Status CChunkFile::RefreshOutputBuffer(std::int32_t start) {
    const std::int32_t s = std::max(start, 0);
    const std::int64_t offset = FrameOffset(s);
    if (offset < 0) return kErrFileTooLarge;
    bufferStart = s;
    // Frames the file lacks are silence until they are written.
    const Status status = FillFromFile(outputBuffer, s, offset);
    return status == kErrEndOfFile ? kNoErr : status;
}

Status CChunkFile::RefreshInputBuffer(std::int32_t start) {
    const std::int32_t s = std::max(start, 0);
    // Reading never extends the file: frames the file lacks read as silence.
    const std::int64_t offset = FrameOffset(s);
    if (offset < 0) return kErrMalformedFile;
    bufferStart = s;
    return FillFromFile(inputBuffer, s, offset);
}

// --- closing ---------------------------------------------------------------------------------

Status CChunkFile::WritePadByte() {
    if ((std::int64_t(numFrames) * BytesPerFrame()) % 2 == 0) return kNoErr;
    const std::uint8_t zero = 0;
    const Status status = SetFilePos(numFrames);
    return status != kNoErr ? status : WriteBytes(&zero, 1);
}

Status CChunkFile::CheckFileSize() {
    std::int64_t end = 0;
    const Status status = fileServices.GetEndOfFile(refNum, &end);
    if (status != kNoErr) return status;
    return end <= largestFile ? kNoErr : kErrFileTooLarge;
}

Status CChunkFile::WriteSizeField(std::uint32_t chunkID, std::uint32_t value) {
    std::uint8_t field[4];
    StoreNumber(field, value);
    const Status status = FindChunk(chunkID, 1);
    return status != kNoErr ? status : WriteBytes(field, 4);
}

Status CChunkFile::WriteFormSize() {
    std::int64_t end = 0;
    const Status status = fileServices.GetEndOfFile(refNum, &end);
    return status != kNoErr ? status : WriteSizeField(rules.formID, std::uint32_t(end - 8));
}

Status CChunkFile::Close() {
    if (!isOpen) return kErrFileNotOpen;
    Status status = kNoErr;
    if (headerDirty) {
        status = FinishChunks();
        if (status == kNoErr) headerDirty = 0;
    }
    const Status closeStatus = fileServices.Close(refNum);
    isOpen = 0; // the reference is released even when the close failed
    return status != kNoErr ? status : closeStatus;
}

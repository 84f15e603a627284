#include "formats/CAIFFFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "formats/ChunkIDs.h"
#include "formats/Ext80.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/FileServices.h"

using namespace chunkid;

namespace {

constexpr std::int32_t kFormHeaderSize = 12; // "FORM", size, form type
constexpr std::int32_t kCOMMDataSize = 18;   // the AIFF common chunk's fields
constexpr std::int32_t kCOMMChunkSize = 8 + kCOMMDataSize;
constexpr std::int32_t kAIFCCOMMDataSize = 22; // ... followed by the compression type
constexpr std::int32_t kSSNDHeaderSize = 16;   // "SSND", size, offset, blockSize
constexpr std::int32_t kINSTDataSize = 20;
constexpr std::int32_t kINSTChunkSize = 8 + kINSTDataSize;
// The FORM size written by Create; Close writes the real one.
constexpr std::int16_t kDataTypeSSYS24 = 64;

// Bytes a marker record takes for a name of `length` characters: id, position, the Pascal
// name and, when the length is even, a pad byte that keeps the record even.
constexpr std::int32_t MarkerRecordSize(std::int32_t length) {
    return 6 + 1 + length + ((length % 2 == 0) ? 1 : 0);
}

// The name a marker is written with: numbered markers carry "#<n> " before their name.
void MarkerFileName(const SFTMarker& marker, int numberedSoFar, unsigned char* out) {
    if (marker.type != kMarkerTypeNumbered) {
        std::memcpy(out, marker.name, std::size_t(marker.name[0]) + 1);
        return;
    }
    const std::string prefix = "#" + std::to_string(numberedSoFar) + " ";
    out[0] = std::uint8_t(prefix.size() + marker.name[0]);
    std::memcpy(out + 1, prefix.data(), prefix.size());
    std::memcpy(out + 1 + prefix.size(), marker.name + 1, marker.name[0]);
}

// Splits a name read from a file into its marker fields. "#<digits> <name>" is a numbered
// marker; any other name (including a "#" without digits and a space) is an ordinary one.
void ParseMarkerName(const std::uint8_t* text, std::int32_t length, SFTMarker* marker) {
    // Some writers count the zero pad byte into the name's length; it is not part of the name.
    while (length > 0 && text[length - 1] == 0)
        --length;
    marker->type = kMarkerTypeOrdinary;
    marker->number = -1;
    std::int32_t nameStart = 0;
    if (length > 0 && text[0] == '#') {
        std::int32_t i = 1;
        std::int32_t number = 0;
        while (i < length && i <= 6 && text[i] >= '0' && text[i] <= '9') {
            number = number * 10 + (text[i] - '0');
            ++i;
        }
        if (i > 1 && i < length && text[i] == ' ' && number <= 32767) {
            marker->type = kMarkerTypeNumbered;
            marker->number = std::int16_t(number);
            nameStart = i + 1;
        }
    }
    const std::int32_t nameLength = std::min(length - nameStart, std::int32_t(kSFTMaxNameLength));
    marker->name[0] = std::uint8_t(nameLength);
    std::memcpy(marker->name + 1, text + nameStart, std::size_t(nameLength));
}

bool HasS32Extension(const unsigned char* name) {
    const int length = name[0];
    if (length < 4) return false;
    return name[length - 3] == '.' && (name[length - 2] == 's' || name[length - 2] == 'S') &&
           name[length - 1] == '3' && name[length] == '2';
}

bool IsSupportedWordSize(std::int16_t bits) {
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

} // namespace

CAIFFFile::~CAIFFFile() {
    if (isOpen) (void)CChunkFile::Close(); // a destructor has no one to report to
}

std::unique_ptr<CAIFFFile> CAIFFFile::CreateSoundFileObject() {
    return std::make_unique<CAIFFFile>();
}

CAIFFFile::CAIFFFile(FileServices* services)
    : CChunkFile(kAIFFContainer, FormatCodes{kAIFF, kAIFF, kAIFF}, services) {}

// --- low-level file access -------------------------------------------------------------------

std::int64_t CAIFFFile::TrailerBytes(std::int32_t markers) {
    // The pad byte, an instrument chunk, and the marker chunk with the longest names.
    return 1 + kINSTChunkSize +
           (markers > 0 ? 10 + std::int64_t(markers) * MarkerRecordSize(kSFTMaxNameLength) : 0);
}

// Samples are big-endian, except in files whose data type says they are stored otherwise.
SampleCoding CAIFFFile::BufferCoding() const {
    return dataType == 0 ? CodingFor(Bits2Bytes(wordSize), true) : CSoundFile::BufferCoding();
}

// --- chunk search ----------------------------------------------------------------------------

Status CAIFFFile::FindID(std::uint32_t chunkID) {
    return FindChunk(chunkID, 1);
}

Status CAIFFFile::ReadSizeAtLeast(std::int32_t minimumSize, std::int32_t* size) {
    std::uint32_t declared = 0;
    std::int64_t available = 0;
    const Status status = ReadChunkSize(&declared, &available);
    if (status != kNoErr) return status;
    if (declared < std::uint32_t(minimumSize)) return kErrMalformedFile;
    if (declared > available) return kErrEndOfFile;
    *size = std::int32_t(declared);
    return kNoErr;
}

Status CAIFFFile::ReadFormHeader() {
    Status status = FindID(kFORM);
    std::uint8_t fields[8];
    if (status == kNoErr) status = ReadBytes(fields, 8);
    if (status != kNoErr) return status;
    // A size beyond what 32-bit offsets reach (or a streaming writer's 0xFFFFFFFF) is taken as
    // "up to the end of the file"; reads stop at the real end anyway.
    const std::int64_t end = std::int64_t(byteorder::LoadBE32(fields)) + 8;
    formEnd = std::int32_t(std::min<std::int64_t>(end, kMaxAIFFFileSize));
    formType = byteorder::LoadBE32(fields + 4);
    return (formType == kAIFF || formType == kAIFC) ? kNoErr : kErrNoFORMChunk;
}

// --- common chunk ----------------------------------------------------------------------------

void CAIFFFile::BuildCOMM(std::uint8_t* chunk) const {
    using namespace byteorder;
    StoreBE32(chunk, kCOMM);
    StoreBE32(chunk + 4, kCOMMDataSize);
    StoreBE16(chunk + 8, std::uint16_t(numChannels));
    StoreBE32(chunk + 10, std::uint32_t(numFrames));
    StoreBE16(chunk + 14, std::uint16_t(wordSize));
    Ext80ToBytes(DblToExt80(double(sampleRate)), chunk + 16);
}

Status CAIFFFile::WriteCOMM() {
    std::uint8_t chunk[kCOMMChunkSize];
    BuildCOMM(chunk);
    const Status status = SetPosition(FilePositionMode::FromStart, kFormHeaderSize);
    return status != kNoErr ? status : WriteBytes(chunk, kCOMMChunkSize);
}

Status CAIFFFile::ReadCOMM() {
    if (FindID(kCOMM) != kNoErr) return kErrNoCOMMChunk;
    const bool compressible = formType == kAIFC;
    std::int32_t size = 0;
    Status status = ReadSizeAtLeast(compressible ? kAIFCCOMMDataSize : kCOMMDataSize, &size);
    std::uint8_t data[kAIFCCOMMDataSize];
    if (status == kNoErr)
        status = ReadBytes(data, compressible ? kAIFCCOMMDataSize : kCOMMDataSize);
    if (status != kNoErr) return status;

    using namespace byteorder;
    if (compressible && LoadBE32(data + 18) != kNONE) return kErrAIFFCompressed;
    const auto channels = std::int16_t(LoadBE16(data));
    const std::uint32_t frames = LoadBE32(data + 2);
    const auto bits = std::int16_t(LoadBE16(data + 6));
    const double rate = Ext80ToDbl(Ext80FromBytes(data + 8));
    if (channels < 1 || bits < 1 || bits > 32 || !(rate > 0.0) ||
        rate > double(std::numeric_limits<float>::max()))
        return kErrMalformedFile;
    // Word sizes between the whole bytes are stored padded to the next byte, which the sample
    // buffer does not model.
    if (!IsSupportedWordSize(bits)) return kErrNotSupported;
    // Every sample offset must stay within what the 32-bit file positions reach.
    const std::int64_t dataBytes = std::int64_t(frames) * channels * Bits2Bytes(bits);
    if (dataBytes > std::numeric_limits<std::int32_t>::max() - kFormHeaderSize - kCOMMChunkSize)
        return kErrMalformedFile;

    numChannels = channels;
    numFrames = std::int32_t(frames);
    wordSize = bits;
    sampleRate = float(rate);
    return kNoErr;
}

// --- instrument chunk and loops --------------------------------------------------------------

Status CAIFFFile::ReadINST(std::uint8_t* data) {
    Status status = FindID(kINST);
    std::int32_t size = 0;
    if (status == kNoErr) status = ReadSizeAtLeast(kINSTDataSize, &size);
    if (status == kNoErr) status = ReadBytes(data, kINSTDataSize);
    return status;
}

Status CAIFFFile::WriteLoopsAndSamplerInfo() {
    Status status = SetPosition(FilePositionMode::FromEnd, 0);
    if (status != kNoErr) return status;
    const std::int16_t numLoops = GetNumLoops();
    SFTSamplerInfo info;
    status = GetSamplerInfo(&info);
    if (status == kErrInvalidSamplerInfo && numLoops == 0) return kNoErr;
    if (status == kErrInvalidSamplerInfo) {
        InitSamplerInfo();
        (void)GetSamplerInfo(&info); // valid now: the defaults were just set
    }

    using namespace byteorder;
    std::uint8_t chunk[kINSTChunkSize] = {0};
    StoreBE32(chunk, kINST);
    StoreBE32(chunk + 4, kINSTDataSize);
    chunk[8] = std::uint8_t(info.baseNote);
    chunk[9] = std::uint8_t(info.detune);
    chunk[10] = std::uint8_t(info.lowNote);
    chunk[11] = std::uint8_t(info.highNote);
    chunk[12] = std::uint8_t(info.lowVelocity);
    chunk[13] = std::uint8_t(info.highVelocity);
    StoreBE16(chunk + 14, std::uint16_t(info.gain));

    // The sustain loop (index 0) and the release loop (index 1) refer to markers at their
    // ends; those markers are added here so that WriteMarkers puts them in the MARK chunk.
    struct LoopMarkers {
        std::int32_t startID, endID;
        const char* startName;
        const char* endName;
    };
    static constexpr LoopMarkers kLoopMarkers[2] = {{1, 2, "Sustainloop start", "Sustainloop end"},
                                                    {3, 4, "Releaseloop start", "Releaseloop end"}};
    for (std::int16_t index = 0; index < 2 && numLoops > 0; ++index) {
        SFTLoop loop;
        if (GetIndLoop(index, &loop) != kNoErr) continue;
        std::uint8_t* fields = chunk + 16 + 6 * index;
        StoreBE16(fields, std::uint16_t(loop.type));
        for (int end = 0; end < 2; ++end) {
            SFTMarker marker{};
            marker.id = end ? kLoopMarkers[index].endID : kLoopMarkers[index].startID;
            marker.position = end ? loop.end : loop.start;
            const char* name = end ? kLoopMarkers[index].endName : kLoopMarkers[index].startName;
            marker.name[0] = std::uint8_t(std::strlen(name));
            std::memcpy(marker.name + 1, name, marker.name[0]);
            marker.type = kMarkerTypeOrdinary;
            marker.number = -1;
            status = AddMarker(&marker);
            if (status != kNoErr) return status;
            StoreBE16(fields + 2 + 2 * end, std::uint16_t(marker.id));
        }
    }
    return WriteBytes(chunk, kINSTChunkSize);
}

Status CAIFFFile::ReadLoops() {
    std::uint8_t data[kINSTDataSize];
    Status status = ReadINST(data);
    if (status == kErrChunkNotFound) return kNoErr;
    if (status != kNoErr) return status;

    // Both loops are resolved before any marker is removed, so that loops sharing a marker
    // (or a loop whose ends are one marker) still find it.
    SFTLoop found[2];
    SFTMarker loopMarkers[4];
    int numFound = 0;
    int numMarkers = 0;
    for (int index = 0; index < 2; ++index) {
        const std::uint8_t* fields = data + 8 + 6 * index;
        const auto playMode = std::int16_t(byteorder::LoadBE16(fields));
        if (playMode == 0) continue;
        SFTMarker begin;
        SFTMarker end;
        status = GetMarkerByID(std::int16_t(byteorder::LoadBE16(fields + 2)), &begin);
        if (status == kNoErr)
            status = GetMarkerByID(std::int16_t(byteorder::LoadBE16(fields + 4)), &end);
        if (status == kErrNoSuchMarker) return kErrLoopMarkerMissing;
        if (status != kNoErr) return status;
        found[numFound++] = SFTLoop{index + 1, begin.position, end.position, playMode};
        loopMarkers[numMarkers++] = begin;
        loopMarkers[numMarkers++] = end;
    }
    for (int i = 0; i < numMarkers; ++i) {
        // A marker that serves twice is removed once.
        if (RemoveMarker(&loopMarkers[i]) == kErrNoSuchMarker) {
            bool seen = false;
            for (int j = 0; j < i; ++j)
                seen = seen || EqualMarker(&loopMarkers[i], &loopMarkers[j]);
            if (!seen) return kErrLoopMarkerMissing;
        }
    }
    for (int i = 0; i < numFound; ++i) {
        status = AddLoop(&found[i]);
        if (status != kNoErr) return status;
    }
    return kNoErr;
}

Status CAIFFFile::ReadSamplerInfo() {
    std::uint8_t data[kINSTDataSize];
    const Status status = ReadINST(data);
    if (status == kErrChunkNotFound) return kNoErr;
    if (status != kNoErr) return status;
    SFTSamplerInfo info;
    info.baseNote = std::int8_t(data[0]);
    info.detune = std::int8_t(data[1]);
    info.lowNote = std::int8_t(data[2]);
    info.highNote = std::int8_t(data[3]);
    info.lowVelocity = std::int8_t(data[4]);
    info.highVelocity = std::int8_t(data[5]);
    info.gain = std::int16_t(byteorder::LoadBE16(data + 6));
    info.validSamplerInfo = 1;
    return SetSamplerInfo(&info);
}

// --- marker chunk ----------------------------------------------------------------------------

Status CAIFFFile::WriteMarkers() {
    const std::int16_t n = GetNumMarkers();
    if (n <= 0) return kNoErr;

    // Size the block from the names as they will be written.
    std::int32_t total = 10;
    int numbered = 0;
    for (std::int16_t index = 0; index < n; ++index) {
        SFTMarker marker;
        if (GetIndMarker(index, &marker) != kNoErr) break;
        unsigned char name[256];
        if (marker.type == kMarkerTypeNumbered) ++numbered;
        MarkerFileName(marker, numbered, name);
        total += MarkerRecordSize(name[0]);
    }
    MemBlock block;
    Status status = block.Allocate(std::size_t(total), true);
    if (status != kNoErr) return status;

    using namespace byteorder;
    std::uint8_t* chunk = block.Data();
    std::int32_t used = 10;
    numbered = 0;
    for (std::int16_t index = 0; index < n && status == kNoErr; ++index) {
        SFTMarker marker;
        status = GetIndMarker(index, &marker);
        if (status != kNoErr) break;
        unsigned char name[256];
        if (marker.type == kMarkerTypeNumbered) ++numbered;
        MarkerFileName(marker, numbered, name);
        std::uint8_t* record = chunk + used;
        StoreBE16(record, std::uint16_t(marker.id));
        StoreBE32(record + 2, std::uint32_t(marker.position));
        std::memcpy(record + 6, name, std::size_t(name[0]) + 1);
        used += MarkerRecordSize(name[0]);
    }
    if (status != kNoErr) return status;
    StoreBE32(chunk, kMARK);
    StoreBE32(chunk + 4, std::uint32_t(used - 8));
    StoreBE16(chunk + 8, std::uint16_t(n));
    status = SetPosition(FilePositionMode::FromEnd, 0);
    if (status == kNoErr) status = WriteBytes(chunk, used);
    return status;
}

Status CAIFFFile::ReadMarkers() {
    if (!isOpen) return kErrMarkersFileNotOpen;
    Status status = FindID(kMARK);
    if (status == kErrChunkNotFound) return kNoErr;
    std::int32_t size = 0;
    if (status == kNoErr) status = ReadSizeAtLeast(2, &size);
    if (status != kNoErr) return status;
    MemBlock block;
    status = block.Allocate(std::size_t(size), false);
    if (status == kNoErr) status = ReadBytes(block.Data(), size);
    if (status != kNoErr) return status;

    const std::uint8_t* data = block.Data();
    const std::uint16_t count = byteorder::LoadBE16(data);
    // The marker list holds at most a 16-bit signed count.
    if (count > std::numeric_limits<std::int16_t>::max()) return kErrMalformedFile;
    std::int32_t offset = 2;
    std::vector<SFTMarker> found;
    found.reserve(std::min<std::size_t>(count, std::size_t(size) / 7));
    for (std::uint16_t i = 0; i < count; ++i) {
        // Each record must lie within the chunk: id, position and length byte, then the name.
        if (size - offset < 7) return kErrMalformedFile;
        const std::uint8_t* record = data + offset;
        const std::int32_t length = record[6];
        if (size - offset - 7 < length) return kErrMalformedFile;
        SFTMarker marker{};
        marker.id = std::int16_t(byteorder::LoadBE16(record));
        marker.position = std::int32_t(byteorder::LoadBE32(record + 2));
        ParseMarkerName(record + 7, length, &marker);
        found.push_back(marker);
        offset += MarkerRecordSize(length);
    }
    return AddMarkers(found);
}

// --- creating and closing -------------------------------------------------------------------

bool CAIFFFile::CanWrite(std::int16_t channels, std::int16_t bits, float rate) const {
    return channels >= 1 && IsSupportedWordSize(bits) && rate > 0.0f;
}

Status CAIFFFile::WriteHeaderChunks(void*) {
    formType = kAIFF;
    // The common chunk already holds the format (with 0 frames); Close rewrites it.
    std::uint8_t comm[kCOMMChunkSize];
    BuildCOMM(comm);
    std::uint8_t ssnd[kSSNDHeaderSize] = {0};
    byteorder::StoreBE32(ssnd, kSSND);
    static_assert(kFirstChunkOffset + sizeof comm + sizeof ssnd == kAIFFHeaderSize);
    Status status = WriteHeaderChunk(comm, sizeof comm);
    if (status == kNoErr) status = WriteHeaderChunk(ssnd, sizeof ssnd);
    if (status != kNoErr) return status;
    dataStart = kAIFFHeaderSize;
    // The header ends where frame 0 starts, so this only confirms the position.
    (void)SetFilePos(0);
    return kNoErr;
}

Status CAIFFFile::FinishChunks() {
    Status status = WritePadByte();
    if (status == kNoErr) status = WriteCOMM();
    if (status == kNoErr) status = WriteLoopsAndSamplerInfo();
    if (status == kNoErr) status = WriteMarkers();
    // Sizes that cannot describe the file are not written.
    if (status == kNoErr) status = CheckFileSize();
    if (status != kNoErr) return status;
    Status ssndStatus =
        WriteSizeField(kSSND, std::uint32_t(std::int64_t(numFrames) * BytesPerFrame() + 8));
    if (ssndStatus == kErrChunkNotFound) ssndStatus = kErrNoSSNDChunk;
    // The FORM size is written also when the SSND size could not be.
    Status formStatus = WriteFormSize();
    if (formStatus == kErrChunkNotFound) formStatus = kErrNoFORMChunk;
    return formStatus != kNoErr ? formStatus : ssndStatus;
}

// --- opening ---------------------------------------------------------------------------------

Status CAIFFFile::ReadDataStart() {
    Status status = FindID(kSSND);
    std::int32_t size = 0;
    std::uint8_t offsetField[4];
    if (status == kErrChunkNotFound) status = kErrNoSSNDChunk;
    if (status == kNoErr) status = ReadSizeAtLeast(8, &size);
    // A truncated SSND chunk still gives access to the frames it holds.
    if (status == kErrEndOfFile) status = kNoErr;
    if (status == kNoErr) status = ReadBytes(offsetField, 4);
    std::int64_t position = 0;
    if (status == kNoErr) status = GetPosition(&position);
    if (status != kNoErr) return status;
    const std::int64_t start = position + 4 + byteorder::LoadBE32(offsetField);
    const std::int64_t end = start + std::int64_t(numFrames) * BytesPerFrame();
    if (end > kMaxAIFFFileSize) return kErrMalformedFile;
    dataStart = start;
    return kNoErr;
}

Status CAIFFFile::AddWholeFileRegion() {
    SFTRegion region{};
    region.end = numFrames;
    CopyRecordName(fileSpec.name, region.name);
    return AddRegion(&region);
}

Status CAIFFFile::ReadApplicationChunk() {
    if (FindID(kAPPL) != kNoErr) return kNoErr;
    std::uint8_t fields[8];
    const Status status = ReadBytes(fields, 8);
    if (status != kNoErr) return status;
    // A mono file whose 24-bit words are stored as the buffer holds them.
    if (byteorder::LoadBE32(fields + 4) == kSSYS) {
        numChannels = 1;
        if (wordSize == 24) dataType = kDataTypeSSYS24;
    }
    return kNoErr;
}

Status CAIFFFile::ReadChunks() {
    Status status = ReadCOMM();
    if (status == kNoErr) {
        const bool s32 = HasS32Extension(fileSpec.name);
        dataType = s32 ? kDataType24In32 : 0;
        if (s32) wordSize = 32;
    }
    if (status == kNoErr) status = ReadMarkers();
    if (status == kNoErr) status = ReadLoops();
    if (status == kNoErr) status = ReadSamplerInfo();
    if (status == kNoErr) status = ReadDataStart();
    if (status != kNoErr) return status;
    // AIFF files carry no regions, so a reader that processes regions is given the whole file.
    if (readerOptions.processFileIfNoRegions) {
        status = AddWholeFileRegion();
        if (status != kNoErr) return status;
    }
    return ReadApplicationChunk();
}

Status CAIFFFile::GetOfflineInfo(std::int16_t* info) {
    if (info) *info = 0;
    return CChunkFile::GetOfflineInfo(info);
}

Status CAIFFFile::ReadOfflineChunks(std::int16_t*) {
    return ReadCOMM();
}

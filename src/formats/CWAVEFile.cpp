#include "formats/CWAVEFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "formats/ChunkIDs.h"
#include "soundfile/ByteOrder.h"

using namespace chunkid;
using namespace wavelayout;

namespace {

constexpr std::uint16_t kFormatPCM = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The sub-format GUIDs of the extensible format share their last 14 bytes; the first two are
// the plain format tag.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Chunk IDs are stored as their four characters in file order.
void StoreID(std::uint8_t* p, std::uint32_t id) {
    byteorder::StoreBE32(p, id);
}
std::uint32_t LoadID(const std::uint8_t* p) {
    return byteorder::LoadBE32(p);
}

bool IsSupportedWordSize(std::int32_t bits) {
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// A sub-chunk of an adtl list: where its data starts and how many bytes it has. False when
// the header or the data would run past the list.
struct SubChunk {
    std::uint32_t id = 0;
    std::int64_t data = 0;
    std::int64_t size = 0;
};
bool SubChunkAt(const std::uint8_t* list, std::int64_t listSize, std::int64_t offset,
                SubChunk* sub) {
    if (offset + 8 > listSize) return false;
    sub->id = LoadID(list + offset);
    sub->size = byteorder::LoadLE32(list + offset + 4);
    sub->data = offset + 8;
    return sub->data + sub->size <= listSize;
}
std::int64_t NextSubChunk(const SubChunk& sub) {
    return sub.data + sub.size + (sub.size & 1);
}

} // namespace

// --- cue chunk ---------------------------------------------------------------------------------

std::int32_t WAVECueChunk::NumPoints() const {
    if (size < kCueHeaderSize) return 0;
    const std::uint32_t declared = byteorder::LoadLE32(bytes + 8);
    const std::int32_t fit = (size - kCueHeaderSize) / kCuePointSize;
    return std::int32_t(std::min<std::uint32_t>(declared, std::uint32_t(fit)));
}

WAVECuePoint WAVECueChunk::Point(std::int32_t index) const {
    const std::uint8_t* p = bytes + kCueHeaderSize + std::int64_t(index) * kCuePointSize;
    return {byteorder::LoadLE32(p), std::int32_t(byteorder::LoadLE32(p + 4)),
            std::int32_t(byteorder::LoadLE32(p + 20))};
}

bool WAVECueChunk::Find(std::uint32_t id, WAVECuePoint* point) const {
    // Every label looks up its cue point: sorted once, each lookup is a binary search.
    if (byID.empty()) {
        const std::int32_t n = NumPoints();
        byID.reserve(std::size_t(n));
        for (std::int32_t i = 0; i < n; ++i)
            byID.emplace_back(Point(i).id, i);
        std::sort(byID.begin(), byID.end());
    }
    const auto found =
        std::lower_bound(byID.begin(), byID.end(), std::make_pair(id, std::int32_t(0)));
    if (found == byID.end() || found->first != id) return false;
    *point = Point(found->second);
    return true;
}

// --- object ------------------------------------------------------------------------------------

CWAVEFile::~CWAVEFile() {
    if (isOpen) (void)CChunkFile::Close(); // a destructor has no one to report to
}

std::unique_ptr<CWAVEFile> CWAVEFile::CreateSoundFileObject() {
    return std::make_unique<CWAVEFile>();
}

CWAVEFile::CWAVEFile(FileServices* services)
    : CWAVEFile(FormatCodes{kWAVE, kWAVE, kWAVE}, services) {}

CWAVEFile::CWAVEFile(const FormatCodes& codes, FileServices* services)
    : CChunkFile(kRIFFContainer, codes, services) {}

std::int64_t CWAVEFile::TrailerBytes(std::int32_t markers, std::int32_t regions) {
    if (markers <= 0 && regions <= 0) return 1;
    // A label holds the cue ID, the name and its zero byte, padded to an even size.
    constexpr std::int64_t kLongestLabel = 8 + 4 + kSFTMaxNameLength + 1;
    return 1 + kCueHeaderSize + std::int64_t(kCuePointSize) * (markers + regions) +
           kListHeaderSize + kLongestLabel * markers + std::int64_t(kLtxtChunkSize) * regions;
}

// Samples are little-endian; 8-bit samples are unsigned.
SampleCoding CWAVEFile::BufferCoding() const {
    const std::int16_t bytes = Bits2Bytes(wordSize);
    return bytes == 1 ? SampleCoding::Unsigned8 : CSoundFile::BufferCoding();
}

// --- chunk search ------------------------------------------------------------------------------

Status CWAVEFile::FindID(std::uint32_t chunkID, std::int16_t occurrence) {
    return FindChunk(chunkID, occurrence);
}

Status CWAVEFile::ReadFormHeader() {
    largestFile = rules.maxFileSize;
    largeSizes.clear();
    rf64 = false;
    Status status = FindID(rules.formID, 1);
    if (status == kErrChunkNotFound) {
        // The 64-bit forms: their sizes may live in a ds64 chunk.
        std::uint8_t id[4];
        if (SetPosition(FilePositionMode::FromStart, 0) == kNoErr && ReadBytes(id, 4) == kNoErr &&
            (LoadID(id) == kRF64 || LoadID(id) == kBW64))
            rf64 = true;
        else
            return status;
    }
    std::uint8_t fields[8];
    if (status == kNoErr || rf64) status = ReadBytes(fields, 8);
    if (status != kNoErr) return status;
    // A streaming writer's 0xFFFFFFFF reaches past the end of any real file; reads stop at the
    // real end anyway.
    formEnd = std::int64_t(byteorder::LoadLE32(fields)) + 8;
    if (LoadID(fields + 4) != kWAVE) return kErrChunkNotFound;
    return rf64 ? ReadDS64(byteorder::LoadLE32(fields)) : kNoErr;
}

Status CWAVEFile::ReadDS64(std::uint32_t riffSize) {
    using namespace byteorder;
    largestFile = kMaxRF64FileSize;
    std::uint8_t header[8];
    Status status = ReadBytes(header, 8);
    // Without a ds64 chunk the 32-bit sizes are all there is; they are bounded by the file's
    // length as in any WAVE file.
    if (status == kErrEndOfFile || (status == kNoErr && LoadID(header) != kDs64)) return kNoErr;
    if (status != kNoErr) return status;
    std::uint32_t size = LoadLE32(header + 4);
    std::int64_t position = 0;
    std::int64_t length = 0;
    status = GetPosition(&position);
    if (status == kNoErr) status = fileServices.GetEndOfFile(refNum, &length);
    if (status != kNoErr) return status;
    // The three sizes at least; the table's length and entries only as far as the chunk and
    // the file hold them.
    const std::int64_t held =
        std::min<std::int64_t>(size, std::max<std::int64_t>(length - position, 0));
    if (held < 24) return kErrMalformedFile;
    std::uint8_t sizes[kDs64DataSize] = {0};
    status = ReadBytes(sizes, std::int32_t(std::min<std::int64_t>(held, kDs64DataSize)));
    if (status != kNoErr) return status;
    const std::uint64_t riffSize64 = LoadLE64(sizes);
    // A 64-bit size beyond the longest file reaches as far as that.
    if (riffSize == kSizeInTable)
        formEnd = std::int64_t(std::min<std::uint64_t>(riffSize64, kMaxRF64FileSize)) + 8;
    largeSizes.push_back({kData, LoadLE64(sizes + 8)});
    if (held < kDs64DataSize) return kNoErr;
    const std::int64_t entries = std::min<std::int64_t>(
        {std::int64_t(LoadLE32(sizes + 24)), (held - kDs64DataSize) / kDs64TableEntrySize,
         std::int64_t(kMaxChunksSearched)});
    for (std::int64_t k = 0; k < entries && status == kNoErr; ++k) {
        std::uint8_t entry[kDs64TableEntrySize];
        status = ReadBytes(entry, kDs64TableEntrySize);
        if (status == kNoErr) largeSizes.push_back({LoadID(entry), LoadLE64(entry + 4)});
    }
    return status;
}

// --- creating ----------------------------------------------------------------------------------

Status CWAVEFile::WriteHeaderChunks(void* specifics) {
    Status status = kNoErr;
    if (largeFile) {
        // The room a ds64 chunk takes, kept first so that Close can turn the file into RF64.
        largestFile = kMaxRF64FileSize;
        formEnd = largestFile;
        std::uint8_t junk[kDs64ChunkSize] = {0};
        StoreID(junk, kJUNK);
        byteorder::StoreLE32(junk + 4, kDs64DataSize);
        status = WriteHeaderChunk(junk, kDs64ChunkSize);
    }
    if (status == kNoErr) status = WriteChunksBeforeFormat(specifics);
    if (status == kNoErr) status = Writefmt();
    if (status == kNoErr && HasFloatSamples()) {
        std::uint8_t fact[kFactChunkSize] = {0};
        StoreID(fact, kFact);
        byteorder::StoreLE32(fact + 4, 4); // the frame count follows at Close
        status = WriteHeaderChunk(fact, kFactChunkSize);
    }
    if (status == kNoErr) status = WriteDataHeader();
    return status;
}

Status CWAVEFile::WriteChunksBeforeFormat(void*) {
    return kNoErr;
}

Status CWAVEFile::WriteDataHeader() {
    std::uint8_t header[kDataHeaderSize] = {0};
    StoreID(header, kData);
    Status status = WriteHeaderChunk(header, kDataHeaderSize);
    if (status == kNoErr) status = GetPosition(&dataStart);
    return status;
}

Status CWAVEFile::Writefmt() {
    using namespace byteorder;
    const auto rate = std::uint32_t(std::max(sampleRate, 0.0f)); // truncated
    const std::int16_t bytes = Bits2Bytes(wordSize);
    const bool extensible = channelMask.has_value();
    const std::uint16_t format = HasFloatSamples() ? kFormatFloat : kFormatPCM;
    // A format other than PCM carries the extension's size, 0 for plain float.
    const std::int32_t dataSize = extensible             ? kFmtExtensibleDataSize
                                  : format == kFormatPCM ? kFmtDataSize
                                                         : kFmtNonPCMDataSize;
    std::uint8_t chunk[8 + kFmtExtensibleDataSize] = {0};
    StoreID(chunk, kFmt);
    StoreLE32(chunk + 4, std::uint32_t(dataSize));
    StoreLE16(chunk + 8, extensible ? kFormatExtensible : format);
    StoreLE16(chunk + 10, std::uint16_t(numChannels));
    StoreLE32(chunk + 12, rate);
    StoreLE32(chunk + 16, std::uint32_t(numChannels) * rate * std::uint32_t(bytes));
    StoreLE16(chunk + 20, std::uint16_t(bytes * numChannels));
    StoreLE16(chunk + 22, std::uint16_t(wordSize));
    if (extensible) {
        StoreLE16(chunk + 24, kFmtExtensionSize);
        StoreLE16(chunk + 26, std::uint16_t(wordSize)); // every bit of the word is valid
        StoreLE32(chunk + 28, *channelMask);
        StoreLE16(chunk + 32, format);
        std::memcpy(chunk + 34, kSubFormatTail, sizeof kSubFormatTail);
    }
    return WriteHeaderChunk(chunk, 8 + dataSize);
}

// --- reading the format ------------------------------------------------------------------------

// The refusal of a floating-point format, by its word size.
[[nodiscard]] static Status FloatRefusal(std::int32_t bits) {
    if (bits == 32) return kErrFloat32WAVE;
    if (bits == 64) return kErrFloat64WAVE;
    return kErrNotPCM;
}

Status CWAVEFile::Readfmt() {
    Status status = FindID(kFmt, 1);
    if (status == kErrChunkNotFound) status = FindID(kFmtCR, 1);
    if (status != kNoErr) return kErrNoFmtChunk;
    std::uint32_t size = 0;
    std::int64_t available = 0;
    status = ReadChunkSize(&size, &available);
    if (status != kNoErr) return status;
    if (available < kFmtDataSize) return kErrMalformedFile;
    std::uint8_t fields[kFmtExtensibleDataSize] = {0};
    const auto held = std::int32_t(std::min<std::int64_t>(available, kFmtExtensibleDataSize));
    status = ReadBytes(fields, held);
    if (status != kNoErr) return status;

    using namespace byteorder;
    const std::uint16_t tag = LoadLE16(fields);
    const auto channels = std::int16_t(LoadLE16(fields + 2));
    const std::uint32_t rate = LoadLE32(fields + 4);
    const std::uint16_t blockAlign = LoadLE16(fields + 12);
    const auto bits = std::int16_t(LoadLE16(fields + 14));
    std::optional<std::uint32_t> mask;
    bool floating = false;
    if (tag == kFormatFloat) {
        if (bits != 32) return FloatRefusal(bits);
        floating = true;
    } else if (tag == kFormatExtensible) {
        // The extension must be there in full, and its sub-format must be one of the family.
        if (held < kFmtExtensibleDataSize || LoadLE16(fields + 16) < kFmtExtensionSize)
            return kErrMalformedFile;
        if (std::memcmp(fields + 26, kSubFormatTail, sizeof kSubFormatTail) != 0) return kErrNotPCM;
        const std::uint16_t subFormat = LoadLE16(fields + 24);
        if (subFormat == kFormatFloat && bits != 32) return FloatRefusal(bits);
        if (subFormat != kFormatPCM && subFormat != kFormatFloat) return kErrNotPCM;
        floating = subFormat == kFormatFloat;
        // The valid bits lie in the word's top bits; 0 is written by some tools for "all".
        if (LoadLE16(fields + 18) > std::uint16_t(bits)) return kErrMalformedFile;
        if (channels >= 1 && IsSupportedWordSize(bits) &&
            blockAlign != std::int32_t(channels) * (bits / 8))
            return kErrMalformedFile;
        mask = LoadLE32(fields + 20);
    } else if (tag != kFormatPCM) {
        return kErrNotPCM;
    }
    // Channel counts and word sizes the sample buffer cannot hold would make every frame
    // offset meaningless (or divide by zero).
    if (channels < 1 || rate == 0) return kErrMalformedFile;
    if (!IsSupportedWordSize(bits)) return kErrNotSupported;
    channelMask = mask;
    sampleRate = float(rate);
    numChannels = channels;
    wordSize = bits;
    dataType = floating ? kDataTypeFloat32 : bits == 8 ? 3 : 1;
    return ReadFrameCount();
}

Status CWAVEFile::ReadFrameCount() {
    Status status = FindID(kData, 1);
    if (status == kErrChunkNotFound) return kErrNoDataChunk;
    if (status != kNoErr) return status;
    // The index holds the size as declared, or from ds64, and what the file really holds of it.
    ChunkEntry data;
    if (chunks.Find(kData, 1, &data) != kNoErr || !data.sized) return kErrDataSizeRead;
    // A data size that runs past the end of the file (a truncated or still-growing file)
    // counts only the frames that are really there.
    // Frame counts are 32-bit: 8-bit mono data beyond 2 GiB counts only the frames they reach.
    const std::int64_t frames = data.available / BytesPerFrame();
    numFrames =
        std::int32_t(std::min<std::int64_t>(frames, std::numeric_limits<std::int32_t>::max()));
    return kNoErr;
}

Status CWAVEFile::FindDataStart() {
    Status status = FindID(kData, 1);
    std::int64_t position = 0;
    if (status == kNoErr) status = GetPosition(&position);
    if (status == kNoErr) dataStart = position + 4;
    return status;
}

// --- closing -----------------------------------------------------------------------------------

Status CWAVEFile::WriteChunksAfterData() {
    return WriteExtras();
}

Status CWAVEFile::FinishChunks() {
    Status status = WritePadByte();
    if (status == kNoErr) status = WriteChunksAfterData();
    // Sizes that cannot describe the file are not written.
    if (status == kNoErr) status = CheckFileSize();
    if (status == kNoErr) status = WriteFactFrames();
    const std::int64_t dataBytes = std::int64_t(numFrames) * BytesPerFrame();
    std::int64_t end = 0;
    if (status == kNoErr) status = fileServices.GetEndOfFile(refNum, &end);
    // Only a file marked large has room for ds64 (CheckFileSize refuses the others).
    if (status == kNoErr && end > kMaxRIFFFileSize) return WriteRF64Sizes(end, dataBytes);
    if (status == kNoErr) status = WriteSizeField(kData, std::uint32_t(dataBytes));
    if (status == kNoErr) status = WriteFormSize();
    return status;
}

Status CWAVEFile::WriteFactFrames() {
    if (FindID(kFact, 1) != kNoErr) return kNoErr;
    std::uint8_t field[4];
    byteorder::StoreLE32(field, std::uint32_t(numFrames));
    Status status = SetPosition(FilePositionMode::FromCurrent, 4);
    return status != kNoErr ? status : WriteBytes(field, 4);
}

Status CWAVEFile::WriteRF64Sizes(std::int64_t fileLength, std::int64_t dataBytes) {
    using namespace byteorder;
    Status status = FindID(kJUNK, 1);
    if (status != kNoErr) return status == kErrChunkNotFound ? kErrFileTooLarge : status;
    std::uint8_t ds64[kDs64ChunkSize] = {0};
    StoreID(ds64, kDs64);
    StoreLE32(ds64 + 4, kDs64DataSize);
    StoreLE64(ds64 + 8, std::uint64_t(fileLength - 8));
    StoreLE64(ds64 + 16, std::uint64_t(dataBytes));
    StoreLE64(ds64 + 24, std::uint64_t(numFrames)); // frames per channel; the table stays empty
    status = SetPosition(FilePositionMode::FromCurrent, -4);
    if (status == kNoErr) status = WriteBytes(ds64, kDs64ChunkSize);
    if (status == kNoErr) status = WriteSizeField(kData, kSizeInTable);
    if (status == kNoErr) status = WriteSizeField(rules.formID, kSizeInTable);
    std::uint8_t id[4];
    StoreID(id, kRF64);
    if (status == kNoErr) status = SetPosition(FilePositionMode::FromStart, 0);
    if (status == kNoErr) status = WriteBytes(id, 4);
    if (status == kNoErr) rf64 = true;
    return status;
}

// --- cue and associated data -------------------------------------------------------------------

Status CWAVEFile::WriteExtras() {
    const std::int32_t m = GetNumMarkers();
    const std::int32_t r = GetNumRegions();
    if (m == 0 && r == 0) return kNoErr;
    const Status status = WriteCueChunk(m, r);
    return status != kNoErr ? status : WriteLabels(m, r);
}

Status CWAVEFile::WriteCueChunk(std::int32_t m, std::int32_t r) {
    using namespace byteorder;
    MemBlock cue;
    const std::int32_t cueSize = kCueHeaderSize + kCuePointSize * (m + r);
    Status status = cue.Allocate(std::size_t(cueSize), true);
    if (status != kNoErr) return status;
    std::uint8_t* p = cue.Data();
    StoreID(p, kCue);
    StoreLE32(p + 4, std::uint32_t(cueSize - 8));
    StoreLE32(p + 8, std::uint32_t(m + r));
    for (std::int32_t i = 0; i < m + r && status == kNoErr; ++i) {
        std::int32_t frame = 0;
        if (i < m) {
            SFTMarker marker;
            status = GetIndMarker(std::int16_t(i), &marker);
            frame = marker.position;
        } else {
            SFTRegion region;
            status = GetIndRegion(std::int16_t(i - m), &region);
            frame = region.start;
        }
        std::uint8_t* point = p + kCueHeaderSize + kCuePointSize * i;
        StoreLE32(point, std::uint32_t(i));
        StoreLE32(point + 4, std::uint32_t(frame));
        StoreID(point + 8, kData);
        StoreLE32(point + 20, std::uint32_t(frame)); // chunk start and block start stay 0
    }
    if (status == kNoErr) status = SetPosition(FilePositionMode::FromEnd, 0);
    if (status == kNoErr) status = WriteBytes(cue.Data(), cueSize);
    return status;
}

Status CWAVEFile::WriteLabels(std::int32_t m, std::int32_t r) {
    using namespace byteorder;
    std::int64_t listStart = 0;
    Status status = GetPosition(&listStart);
    std::uint8_t header[kListHeaderSize] = {0};
    StoreID(header, kLIST);
    StoreID(header + 8, kAdtl);
    if (status == kNoErr) status = WriteBytes(header, kListHeaderSize);

    for (std::int32_t i = 0; i < m && status == kNoErr; ++i) {
        SFTMarker marker;
        status = GetIndMarker(std::int16_t(i), &marker);
        if (status != kNoErr) break;
        const std::int32_t length = marker.name[0];
        const std::int32_t size = 4 + length + 1;
        std::uint8_t labl[8 + 4 + kSFTMaxNameLength + 2] = {0};
        StoreID(labl, kLabl);
        StoreLE32(labl + 4, std::uint32_t(size));
        StoreLE32(labl + 8, std::uint32_t(i));
        std::memcpy(labl + 12, marker.name + 1, std::size_t(length));
        status = WriteBytes(labl, 8 + size + (size & 1)); // zero byte and pad byte included
    }
    for (std::int32_t j = 0; j < r && status == kNoErr; ++j) {
        SFTRegion region;
        status = GetIndRegion(std::int16_t(j), &region);
        if (status != kNoErr) break;
        std::uint8_t ltxt[kLtxtChunkSize] = {0};
        StoreID(ltxt, kLtxt);
        StoreLE32(ltxt + 4, kLtxtChunkSize - 8);
        StoreLE32(ltxt + 8, std::uint32_t(m + j));
        StoreLE32(ltxt + 12, std::uint32_t(region.end - region.start));
        StoreID(ltxt + 16, kRgn); // country, language, dialect and code page stay 0
        status = WriteBytes(ltxt, kLtxtChunkSize);
    }

    std::int64_t listEnd = 0;
    if (status == kNoErr) status = GetPosition(&listEnd);
    if (status == kNoErr) status = SetPosition(FilePositionMode::FromStart, listStart + 4);
    std::uint8_t field[4];
    StoreLE32(field, std::uint32_t(listEnd - listStart - 8));
    if (status == kNoErr) status = WriteBytes(field, 4);
    return status;
}

Status CWAVEFile::FindADTL(MemBlock* adtl) {
    Status status = kNoErr;
    for (std::int16_t k = 1; status == kNoErr; ++k) {
        status = FindID(kLIST, k);
        std::uint32_t size = 0;
        std::int64_t available = 0;
        if (status == kNoErr) status = ReadChunkSize(&size, &available);
        if (status != kNoErr) break;
        if (available < 4) continue; // too short for a list type
        std::uint8_t type[4];
        status = ReadBytes(type, 4);
        if (status == kNoErr && LoadID(type) == kAdtl) return ReadBlock(adtl, available - 4);
        if (k == std::numeric_limits<std::int16_t>::max()) break;
    }
    return status == kErrEndOfFile ? kErrChunkNotFound : status;
}

Status CWAVEFile::ReadExtras() {
    if (!isOpen) return kErrMarkersFileNotOpen;
    Status status = FindID(kCue, 1);
    MemBlock cue;
    std::uint32_t size = 0;
    std::int64_t available = 0;
    if (status == kNoErr) status = ReadChunkSize(&size, &available);
    // The block holds the chunk from its ID on, as far as the file really has it.
    if (status == kNoErr) status = SetPosition(FilePositionMode::FromCurrent, -8);
    if (status == kNoErr) status = ReadBlock(&cue, available + 8);
    MemBlock adtl;
    if (status == kNoErr) status = FindADTL(&adtl);
    if (status == kNoErr) {
        const WAVECueChunk cueChunk{cue.Data(), std::int32_t(cue.Size())};
        status = ADTLToExtras(cueChunk, adtl.Data(), std::int32_t(adtl.Size()));
    }
    if (status == kErrChunkNotFound) status = kNoErr;

    if (GetNumRegions() == 0 && status == kNoErr && readerOptions.processFileIfNoRegions) {
        SFTRegion region{};
        region.end = numFrames;
        region.name[0] = std::uint8_t(std::min<int>(fileSpec.name[0], 29));
        std::memcpy(region.name + 1, fileSpec.name + 1, region.name[0]);
        status = AddRegion(&region);
    }
    return status;
}

Status CWAVEFile::ADTLToExtras(const WAVECueChunk& cue, const std::uint8_t* adtl,
                               std::int32_t adtlSize) {
    using namespace byteorder;
    const bool ignoreWholeFile = readerOptions.ignoreRegionsContainingWholeFile;
    std::int32_t n = 0;
    std::vector<SFTMarker> markersFound;
    std::vector<SFTRegion> regionsFound;
    SubChunk sub;
    // A sub-chunk that runs past the list ends the walk: nothing after it can be trusted.
    for (std::int64_t offset = 0; SubChunkAt(adtl, adtlSize, offset, &sub);
         offset = NextSubChunk(sub)) {
        const bool isLabel = sub.id == kLabl || sub.id == kNote;
        if (!(isLabel && sub.size >= 4) && !(sub.id == kLtxt && sub.size >= 8)) continue;
        WAVECuePoint point;
        if (!cue.Find(LoadLE32(adtl + sub.data), &point)) continue;
        if (isLabel) {
            // The text ends at its first zero byte or at the end of the sub-chunk.
            const std::uint8_t* text = adtl + sub.data + 4;
            const std::int64_t room = sub.size - 4;
            std::int64_t length = 0;
            while (length < room && length < kSFTMaxNameLength && text[length] != 0)
                ++length;
            SFTMarker marker{};
            marker.id = n;
            marker.position = point.sampleOffset;
            marker.name[0] = std::uint8_t(length);
            std::memcpy(marker.name + 1, text, std::size_t(length));
            marker.type = kMarkerTypeOrdinary;
            marker.number = -1;
            markersFound.push_back(marker);
            ++n;
            continue;
        }
        std::int64_t start = point.sampleOffset;
        std::int64_t end = start + std::int32_t(LoadLE32(adtl + sub.data + 4));
        bool skip;
        if (ignoreWholeFile) {
            skip = (start == 0 && end == numFrames) || start > end;
        } else {
            if (start < 0) {
                start = 0;
                end = numFrames;
            }
            skip = end < start;
        }
        skip = skip || end > numFrames || start < 0;
        if (!skip) {
            SFTRegion region{};
            region.id = n;
            region.start = region.sync = std::int32_t(start);
            region.end = std::int32_t(end);
            char name[40];
            std::snprintf(name, sizeof name, "Region nmbr %ld", long(n));
            region.name[0] = std::uint8_t(std::strlen(name));
            std::memcpy(region.name + 1, name, region.name[0]);
            regionsFound.push_back(region);
        }
        ++n;
    }
    // Added together: one walk of each list instead of one per sub-chunk.
    const Status status = AddMarkers(markersFound);
    return status != kNoErr ? status : AddRegions(regionsFound);
}

Status CWAVEFile::ReadNumRegions(std::int16_t* count) {
    *count = 0;
    if (!isOpen) return kErrMarkersFileNotOpen;
    MemBlock adtl;
    Status status = FindADTL(&adtl);
    if (status == kErrChunkNotFound) return kNoErr;
    if (status != kNoErr) return status;
    std::int16_t regionsFound = 0;
    SubChunk sub;
    for (std::int64_t offset = 0; SubChunkAt(adtl.Data(), std::int64_t(adtl.Size()), offset, &sub);
         offset = NextSubChunk(sub))
        if (sub.id == kLtxt && regionsFound < std::numeric_limits<std::int16_t>::max())
            ++regionsFound;
    *count = regionsFound;
    return kNoErr;
}

// --- opening -----------------------------------------------------------------------------------

Status CWAVEFile::ReadChunks() {
    Status status = Readfmt();
    if (status != kNoErr) return status;
    status = ReadRegionChunks();
    // Names made unique where two regions share one; nothing in it can fail the file.
    if (!readerOptions.skipBadRegion) (void)KillDuplicateRegionNames();
    if (status == kNoErr) status = ReadRequiredChunks();
    return status != kNoErr ? status : FindDataStart();
}

Status CWAVEFile::ReadRegionChunks() {
    return ReadExtras();
}

Status CWAVEFile::ReadRequiredChunks() {
    return kNoErr;
}

Status CWAVEFile::CountRegions(std::int16_t* count) {
    return ReadNumRegions(count);
}

Status CWAVEFile::ReadOfflineChunks(std::int16_t* info) {
    Status status = Readfmt();
    // The count is extra information: a file whose regions cannot be counted still has its
    // format.
    if (status == kNoErr) (void)CountRegions(info);
    if (status == kNoErr) status = ReadRequiredChunks();
    return status;
}

Status CWAVEFile::HasChunk(std::uint32_t chunkID, bool* present) {
    *present = false;
    return ReadOffline([&] {
        Status status = ReadForm();
        if (status == kNoErr) status = FindID(chunkID, 1);
        *present = status == kNoErr;
        return status == kErrChunkNotFound ? kNoErr : status;
    });
}

#include "formats/CBWFLinearFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/ChunkIDs.h"
#include "soundfile/ByteOrder.h"

using namespace chunkid;
using namespace bwflayout;

namespace {

constexpr char kOriginator[] = "Ziro Dudavo";
constexpr char kOriginatorReference[] = "Kestrelbay - Quillwavecaster";
constexpr char kOriginationDate[] = "2004:00:00";
constexpr char kCodingHistory[] = "CodingHistory";
constexpr std::int32_t kNoTimeStampBelow = -100000;

// Offsets of the fields within the chunk (ID and size included).
constexpr std::int32_t kDescriptionAt = 8;
constexpr std::int32_t kOriginatorAt = 264;
constexpr std::int32_t kOriginatorReferenceAt = 296;
constexpr std::int32_t kOriginationDateAt = 328;
constexpr std::int32_t kOriginationTimeAt = 338;
constexpr std::int32_t kTimeReferenceAt = 346;
constexpr std::int32_t kVersionAt = 354;
constexpr std::int32_t kCodingHistoryAt = 610;

// A fixed-width text field: up to its first zero byte or its width.
std::string TextField(const std::uint8_t* p, std::size_t width) {
    std::size_t length = 0;
    while (length < width && p[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char*>(p), length);
}

// trunc(x) as an int, kept within the int's range.
int TruncToInt(double x) {
    if (!(x == x)) return 0;
    return int(std::clamp(std::trunc(x), -2147483648.0, 2147483647.0));
}

// "hh:mm:ss" for a time stamp in frames. The products of the rate are single precision, as
// the time reference readers of these files expect the same rounding.
void FormatOriginationTime(std::int32_t t, float rate, std::uint8_t* field) {
    const float perHour = rate * 3600.0f;
    const float perMinute = rate * 60.0f;
    const int hours = TruncToInt(double(t) / double(perHour));
    const double rem = double(t) - double(float(hours) * perHour);
    const int minutes = TruncToInt(rem / double(perMinute));
    const int seconds = TruncToInt((rem - double(float(minutes) * perMinute)) / double(rate));
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%2d:%2d", hours, minutes, seconds);
    for (int i = 0; i < 9 && text[i] != 0; ++i)
        if (text[i] == ' ') text[i] = '0';
    std::memcpy(field, text, std::min<std::size_t>(std::strlen(text), 8));
}

} // namespace

CBWFLinearFile::~CBWFLinearFile() {
    if (isOpen) (void)CChunkFile::Close(); // a destructor has no one to report to
}

CBWFLinearFile::CBWFLinearFile(FileServices* services)
    : CWAVEFile(FormatCodes{kWAVE, kBWLN, kWAVE}, services) {}

// --- writing -----------------------------------------------------------------------------------

void CBWFLinearFile::BuildBEXT(const unsigned char* text, std::int32_t timeStamp, float rate,
                               std::uint8_t* chunk) {
    using namespace byteorder;
    std::memset(chunk, 0, kBextChunkSize);
    StoreBE32(chunk, kBext);
    StoreLE32(chunk + 4, kBextDataSize);
    std::memcpy(chunk + kDescriptionAt, text,
                strnlen(reinterpret_cast<const char*>(text), kDescriptionSize - 1));
    std::memcpy(chunk + kOriginatorAt, kOriginator, sizeof kOriginator - 1);
    std::memcpy(chunk + kOriginatorReferenceAt, kOriginatorReference,
                sizeof kOriginatorReference - 1);
    std::memcpy(chunk + kOriginationDateAt, kOriginationDate, sizeof kOriginationDate - 1);
    if (timeStamp > kNoTimeStampBelow && rate > 0.0f) {
        FormatOriginationTime(timeStamp, rate, chunk + kOriginationTimeAt);
        StoreLE32(chunk + kTimeReferenceAt, std::uint32_t(timeStamp));
    }
    // TimeReferenceHigh, Version, UMID and the reserved bytes stay zero.
    std::memcpy(chunk + kCodingHistoryAt, kCodingHistory, sizeof kCodingHistory - 1);
}

void CBWFLinearFile::BuildChunk(std::uint8_t* chunk) const {
    BuildBEXT(description, GetTimeStamp(), sampleRate, chunk);
    // Low and high 32 bits, little-endian: one 64-bit little-endian number.
    if (timeReference) byteorder::StoreLE64(chunk + kTimeReferenceAt, *timeReference);
}

Status CBWFLinearFile::WriteBEXT() {
    std::uint8_t chunk[kBextChunkSize];
    BuildChunk(chunk);
    return WriteBytes(chunk, kBextChunkSize);
}

Status CBWFLinearFile::WriteChunksBeforeFormat(void* specifics) {
    std::memset(description, 0, sizeof description);
    if (specifics) {
        // A Pascal string at bytes 22..255 of the block; a length byte beyond the block's end
        // is cut to what the block holds.
        const auto* block = static_cast<const unsigned char*>(specifics);
        const int length =
            std::min<int>(block[kSpecificsDescriptionOffset], kSpecificsDescriptionMax);
        std::memcpy(description, block + kSpecificsDescriptionOffset + 1, std::size_t(length));
    }
    std::uint8_t chunk[kBextChunkSize];
    BuildChunk(chunk);
    return WriteHeaderChunk(chunk, kBextChunkSize);
}

std::int64_t CBWFLinearFile::TrailerBytes(std::int32_t markers, std::int32_t regions) {
    constexpr std::int64_t kRegnHeaderSize = 12; // "regn", size, count
    return kRegnHeaderSize + std::int64_t(kRegionRecordSize) * regions +
           CWAVEFile::TrailerBytes(markers, regions);
}

Status CBWFLinearFile::WriteRegions() {
    using namespace byteorder;
    Status status = SetPosition(FilePositionMode::FromEnd, 0);
    if (status != kNoErr) return status;
    const std::int16_t r = GetNumRegions();
    std::uint8_t header[12];
    StoreBE32(header, kRegn);
    StoreLE32(header + 4, std::uint32_t(4 + kRegionRecordSize * r));
    StoreLE32(header + 8, std::uint32_t(r));
    status = WriteBytes(header, 12);
    for (std::int16_t index = 0; index < r && status == kNoErr; ++index) {
        SFTRegion region;
        status = GetIndRegion(index, &region);
        if (status != kNoErr) break;
        const std::int32_t stamp =
            (index == 0 && IsTimeStampValid()) ? GetTimeStamp() : region.timeStampLS;
        const std::int64_t values[7] = {0,           0,     region.start,      region.end,
                                        region.sync, stamp, region.timeStampLS};
        std::uint8_t record[kRegionRecordSize] = {0};
        for (int v = 0; v < 7; ++v)
            StoreLE64(record + 8 * v, std::uint64_t(values[v]));
        std::memcpy(record + 56, region.name, std::size_t(std::min<int>(region.name[0], 31)) + 1);
        status = WriteBytes(record, kRegionRecordSize);
    }
    return status;
}

Status CBWFLinearFile::WriteChunksAfterData() {
    const Status status = WriteRegions();
    return status != kNoErr ? status : WriteExtras();
}

Status CBWFLinearFile::FinishChunks() {
    Status status = CWAVEFile::FinishChunks();
    // The bext chunk is rewritten with the time stamp known now, also when the sizes could
    // not be written.
    if (FindID(kBext, 1) == kNoErr) {
        Status bextStatus = SetPosition(FilePositionMode::FromCurrent, -4);
        if (bextStatus == kNoErr) bextStatus = WriteBEXT();
        if (status == kNoErr) status = bextStatus;
    }
    return status;
}

// --- reading -----------------------------------------------------------------------------------

Status CBWFLinearFile::ReadBEXT() {
    if (!isOpen) return kNoErr;
    Status status = FindID(kBext, 1);
    std::uint32_t size = 0;
    std::int64_t available = 0;
    if (status == kNoErr) status = ReadChunkSize(&size, &available);
    if (status != kNoErr) return status;
    // Only the fixed fields are used; a chunk too short to hold them is malformed.
    if (available < kBextFixedSize) return kErrMalformedFile;
    std::uint8_t chunk[8 + kBextFixedSize];
    status = SetPosition(FilePositionMode::FromCurrent, -8);
    if (status == kNoErr) status = ReadBytes(chunk, sizeof chunk);
    if (status != kNoErr) return status;

    using namespace byteorder;
    bextInfo.description = TextField(chunk + kDescriptionAt, 256);
    bextInfo.originator = TextField(chunk + kOriginatorAt, 32);
    bextInfo.originatorReference = TextField(chunk + kOriginatorReferenceAt, 32);
    bextInfo.originationDate = TextField(chunk + kOriginationDateAt, 10);
    bextInfo.originationTime = TextField(chunk + kOriginationTimeAt, 8);
    bextInfo.timeReference = LoadLE64(chunk + kTimeReferenceAt);
    bextInfo.version = LoadLE16(chunk + kVersionAt);
    SetTimeStamp(std::int32_t(LoadLE32(chunk + kTimeReferenceAt)));
    return kNoErr;
}

// After FindID("regn"): the number of whole records the chunk really holds, at most the
// count it declares.
static std::int32_t RecordsHeld(std::uint32_t declared, std::int64_t available) {
    const std::int64_t fit = std::max<std::int64_t>(available - 4, 0) / kRegionRecordSize;
    return std::int32_t(std::min<std::int64_t>(declared, fit));
}

Status CBWFLinearFile::ReadRegions() {
    Status status = isOpen ? FindID(kRegn, 1) : kErrMarkersFileNotOpen;
    std::uint32_t size = 0;
    std::int64_t available = 0;
    std::uint8_t field[4];
    if (status == kNoErr) status = ReadChunkSize(&size, &available);
    if (status == kNoErr && available < 4) status = kErrMalformedFile;
    if (status == kNoErr) status = ReadBytes(field, 4);
    const std::int32_t records =
        status == kNoErr ? RecordsHeld(byteorder::LoadLE32(field), available) : 0;
    const bool ignoreWholeFile = readerOptions.ignoreRegionsContainingWholeFile;
    std::vector<SFTRegion> found;
    for (std::int32_t i = 0; i < records && status == kNoErr; ++i) {
        std::uint8_t record[kRegionRecordSize];
        status = ReadBytes(record, kRegionRecordSize);
        if (status != kNoErr) break;
        SFTRegion region{};
        region.id = 1;
        region.start = std::int32_t(byteorder::LoadLE32(record + 16));
        region.end = std::int32_t(byteorder::LoadLE32(record + 24));
        region.sync = std::int32_t(byteorder::LoadLE32(record + 32));
        region.timeStampLS = std::int32_t(byteorder::LoadLE32(record + 40));
        const int length = std::min<int>(record[56], kSFTMaxNameLength);
        region.name[0] = std::uint8_t(length);
        std::memcpy(region.name + 1, record + 57, std::size_t(length));
        const bool wholeFile = region.start == 0 && region.end == numFrames;
        const bool bad = region.start > region.end || region.end > numFrames || region.start < 0;
        if ((ignoreWholeFile && wholeFile) || bad)
            SetTimeStamp(region.timeStampLS);
        else
            found.push_back(region);
    }
    // The regions read before a damaged record are kept.
    const Status added = AddRegions(found);
    if (status == kErrChunkNotFound) status = kNoErr;
    if (status == kNoErr) status = added;
    if (GetNumRegions() == 0 && status == kNoErr && readerOptions.processFileIfNoRegions) {
        SFTRegion region{};
        region.end = numFrames;
        CopyRecordName(fileSpec.name, region.name); // file names run longer than region names
        status = AddRegion(&region);
    }
    return status;
}

Status CBWFLinearFile::ReadNumRegions(std::int16_t* count) {
    if (!isOpen) return kNoErr;
    Status status = FindID(kRegn, 1);
    if (status == kErrChunkNotFound) return kNoErr;
    std::uint32_t size = 0;
    std::int64_t available = 0;
    std::uint8_t field[4];
    if (status == kNoErr) status = ReadChunkSize(&size, &available);
    if (status == kNoErr) status = ReadBytes(field, 4);
    if (status == kNoErr)
        *count = std::int16_t(RecordsHeld(byteorder::LoadLE32(field), available) & 0xFFFF);
    return status;
}

Status CBWFLinearFile::ReadRegionChunks() {
    // A damaged region chunk keeps the regions read before the damage and the file opens.
    (void)ReadRegions();
    return kNoErr;
}

Status CBWFLinearFile::ReadRequiredChunks() {
    return ReadBEXT();
}

Status CBWFLinearFile::CountRegions(std::int16_t* count) {
    return ReadNumRegions(count);
}

#include "formats/ChunkIndex.h"

#include <algorithm>

#include "soundfile/ByteOrder.h"

void ChunkIndex::Clear() {
    entries.clear();
    end = kErrChunkNotFound;
}

void ChunkIndex::Build(const ContainerRules& rules, std::int64_t formEnd, std::int64_t fileLength,
                       const ReadAt& readAt, const std::vector<LargeChunkSize>& largeSizes) {
    Clear();
    std::uint8_t field[4];
    std::int64_t offset = kFirstChunkOffset;
    Status status = readAt(offset, field, 4);
    while (status == kNoErr) {
        entries.push_back(ChunkEntry{byteorder::LoadBE32(field), offset});
        if (entries.size() > std::size_t(kMaxChunksSearched)) {
            end = rules.tooManyChunks;
            return;
        }
        status = readAt(offset + 4, field, 4);
        if (status != kNoErr) break;
        const std::uint32_t field32 =
            rules.bigEndian ? byteorder::LoadBE32(field) : byteorder::LoadLE32(field);
        ChunkEntry& entry = entries.back();
        std::uint64_t size = field32;
        bool fromTable = false;
        if (field32 == kSizeInTable) {
            const auto large =
                std::find_if(largeSizes.begin(), largeSizes.end(),
                             [&](const LargeChunkSize& l) { return l.id == entry.id; });
            fromTable = large != largeSizes.end();
            if (fromTable) size = large->size;
        }
        entry.size = size;
        entry.sized = true;
        // A size from the table may exceed any offset: it counts only as far as the longest file
        // (and a chunk that long ends the walk below).
        const auto reach = std::int64_t(std::min<std::uint64_t>(size, rules.maxFileSize));
        entry.available = std::clamp<std::int64_t>(fileLength - (offset + 8), 0, reach);
        // A size from the table is unsigned whatever the container's sizes are.
        const bool topBit = !fromTable && (field32 & 0x80000000u) != 0;
        if (topBit && rules.signedSizes) {
            end = kErrNegativeChunkSize;
            return;
        }
        // The next chunk follows the pad byte of an odd size and must start inside the form.
        const std::int64_t next = offset + 8 + reach + (reach & 1);
        if (next >= formEnd) {
            end = topBit ? kErrNegativeChunkSize : kErrChunkNotFound;
            return;
        }
        if (next > rules.maxFileSize) {
            end = kErrChunkNotFound;
            return;
        }
        offset = next;
        status = readAt(offset, field, 4);
    }
    end = status == kErrEndOfFile ? kErrChunkNotFound : status;
}

Status ChunkIndex::Find(std::uint32_t id, std::int32_t occurrence, ChunkEntry* found) const {
    std::int32_t seen = 0;
    for (const ChunkEntry& entry : entries) {
        if (entry.id == id && ++seen == occurrence) {
            *found = entry;
            return kNoErr;
        }
    }
    return end;
}

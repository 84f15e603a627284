#pragma once
// ChunkIndex: where the chunks of an IFF (AIFF) or RIFF (WAVE) file lie, found by one walk over
// the chunk list when the file is opened, or noted one by one as Create writes them.
//
// Both containers start with a 12-byte header (form ID, form size, form type) and continue with
// chunks of an ID, a 4-byte size and the data, padded to an even length. The walk starts at
// offset 12 and ends at the first of:
//   - a chunk ID or size the file does not hold in full          -> kErrChunkNotFound
//   - a next chunk at or past the form's end (its declared size + 8), or beyond the longest
//     file the container describes                                -> kErrChunkNotFound
// A chunk whose 32-bit size is 0xFFFFFFFF and which the file's table of 64-bit sizes names (a
// WAVE file's ds64 chunk) takes its size from the table.
//   - a size with the top bit set: at once in IFF, whose sizes are signed; in RIFF, whose
//     sizes are unsigned, only when it runs past the form's end   -> kErrNegativeChunkSize
//   - the 101st chunk (the first and 100 more)                    -> the container's
//                                                                    "too many chunks" status
//   - a failed read                                                -> that status
// A lookup past the chunks found reports that status, so a search over the index answers as
// a search over the file would.

#include <cstdint>
#include <functional>
#include <vector>

#include "soundfile/Status.h"

// What tells one chunk container from the other.
struct ContainerRules {
    std::uint32_t formID;     // "FORM" or "RIFF"
    bool bigEndian;           // the byte order of sizes and numbers
    std::int64_t maxFileSize; // the longest file its size fields (and 32-bit readers) reach
    bool signedSizes;         // see above
    Status tooManyChunks;     // the status of a search past the 100-chunk limit
};

// The chunks after the first that a search looks through.
inline constexpr std::int32_t kMaxChunksSearched = 100;
// The first chunk follows the form header.
inline constexpr std::int64_t kFirstChunkOffset = 12;

// A chunk's size beyond 32 bits, from a table in the file.
struct LargeChunkSize {
    std::uint32_t id = 0;
    std::uint64_t size = 0;
};
// The size field that stands for a size kept in such a table.
inline constexpr std::uint32_t kSizeInTable = 0xFFFFFFFF;

struct ChunkEntry {
    std::uint32_t id = 0;
    std::int64_t offset = 0;    // of the chunk's ID
    std::uint64_t size = 0;     // as declared (or from the table); meaningful when `sized`
    std::int64_t available = 0; // the bytes of its data the file really holds (at most size)
    bool sized = false;         // false when the walk ended before the size field
};

class ChunkIndex {
  public:
    // Reads `count` bytes at `offset` of the file: kErrEndOfFile when the file ends first.
    using ReadAt =
        std::function<Status(std::int64_t offset, std::uint8_t* bytes, std::int32_t count)>;

    // Walks the chunks of a file `fileLength` bytes long whose form ends at `formEnd`; a chunk
    // whose size field is kSizeInTable takes the first size `largeSizes` gives for its ID.
    void Build(const ContainerRules& rules, std::int64_t formEnd, std::int64_t fileLength,
               const ReadAt& readAt, const std::vector<LargeChunkSize>& largeSizes = {});
    // Nothing known: every lookup reports kErrChunkNotFound.
    void Clear();
    // A chunk a new file's header holds.
    void Add(const ChunkEntry& entry) { entries.push_back(entry); }

    // The occurrence-th chunk (1 = the first) with ID `id`, else the status that ended the walk.
    [[nodiscard]] Status Find(std::uint32_t id, std::int32_t occurrence, ChunkEntry* found) const;
    const std::vector<ChunkEntry>& Entries() const { return entries; }

  private:
    std::vector<ChunkEntry> entries;
    Status end = kErrChunkNotFound;
};

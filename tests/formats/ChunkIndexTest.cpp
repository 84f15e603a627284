// The walk over the chunk list that every lookup of a chunk answers from: offsets, sizes and
// the bytes really present, the 100-chunk limit, sizes with the top bit set, the form's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "formats/CAIFFFile.h"
#include "formats/CWAVEFile.h"

namespace {

struct Container {
    const char* name;
    const ContainerRules* rules;
};

// A file image in one container: the form header, then chunks appended one by one.
class Image {
  public:
    explicit Image(const ContainerRules& rules) : rules(rules) { Add("FORM", 4); }
    // A chunk `id` whose size field says `size` and which holds `held` data bytes (its pad
    // byte included when the size is odd and held is not given).
    Image& Chunk(const char* id, std::uint32_t size, std::int64_t held = -1) {
        Add(id, size);
        if (held < 0) held = size + (size & 1);
        bytes.resize(bytes.size() + std::size_t(held), 0x55);
        return *this;
    }
    Image& Cut(std::size_t n) {
        bytes.erase(bytes.end() - std::ptrdiff_t(n), bytes.end());
        return *this;
    }
    std::int64_t Size() const { return std::int64_t(bytes.size()); }
    // Walks the image with its form ending at `formEnd` (the image's end when not given).
    ChunkIndex Index(std::int64_t formEnd = -1) const {
        ChunkIndex index;
        index.Build(rules, formEnd < 0 ? Size() : formEnd, Size(),
                    [this](std::int64_t offset, std::uint8_t* out, std::int32_t count) {
                        if (offset + count > Size()) return kErrEndOfFile;
                        std::memcpy(out, bytes.data() + offset, std::size_t(count));
                        return kNoErr;
                    });
        return index;
    }

  private:
    void Add(const char* id, std::uint32_t value) {
        bytes.insert(bytes.end(), id, id + 4);
        for (int i = 0; i < 4; ++i)
            bytes.push_back(
                std::uint8_t(rules.bigEndian ? value >> (24 - 8 * i) : value >> (8 * i)));
        if (bytes.size() == 8) bytes.insert(bytes.end(), {'T', 'Y', 'P', 'E'});
    }
    const ContainerRules& rules;
    std::vector<std::uint8_t> bytes;
};

class ChunkWalk : public ::testing::TestWithParam<Container> {
  protected:
    const ContainerRules& Rules() const { return *GetParam().rules; }
    Image NewImage() const { return Image(Rules()); }
    // The status of a lookup and the offset found (-1 when none).
    static std::pair<Status, std::int64_t> Look(const ChunkIndex& index, const char* id,
                                                std::int32_t occurrence = 1) {
        ChunkEntry entry;
        const auto* code = reinterpret_cast<const std::uint8_t*>(id);
        const Status status = index.Find(byteorder::LoadBE32(code), occurrence, &entry);
        return {status, status == kNoErr ? entry.offset : -1};
    }
};

TEST_P(ChunkWalk, EveryChunkWithItsOffsetSizeAndTheBytesPresent) {
    Image image = NewImage();
    image.Chunk("COMM", 3).Chunk("LIST", 4).Chunk("LIST", 6).Chunk("data", 100, 40);
    const ChunkIndex index = image.Index(1000);
    const std::vector<ChunkEntry>& entries = index.Entries();
    ASSERT_EQ(entries.size(), 4u);
    // The odd size is followed by its pad byte.
    EXPECT_EQ(entries[1].offset, 12 + 8 + 4);
    EXPECT_EQ(entries[3].size, 100u);
    EXPECT_EQ(entries[3].available, 40);
    EXPECT_EQ(Look(index, "LIST", 2), std::make_pair(kNoErr, std::int64_t(12 + (8 + 4) + (8 + 4))));
    EXPECT_EQ(Look(index, "LIST", 3).first, kErrChunkNotFound);
    EXPECT_EQ(Look(index, "MARK").first, kErrChunkNotFound);
}

// The first chunk and a hundred more are looked through; past them the search gives up with
// the container's own status, whatever follows.
TEST_P(ChunkWalk, AHundredChunksAfterTheFirstAreSearched) {
    for (const int junk : {99, 100, 101}) {
        Image image = NewImage();
        for (int i = 0; i <= junk; ++i)
            image.Chunk("JUNK", std::uint32_t(i % 3));
        image.Chunk("MARK", 2);
        const ChunkIndex index = image.Index();
        EXPECT_EQ(Look(index, "MARK").first, junk < 100 ? kNoErr : Rules().tooManyChunks) << junk;
        EXPECT_EQ(Look(index, "JUNK", std::min(junk + 1, 101)).first, kNoErr) << junk;
    }
}

// A chunk that starts at or past the form's end is not the form's, even when the file has it.
TEST_P(ChunkWalk, TheFormEndsTheWalk) {
    Image image = NewImage();
    image.Chunk("COMM", 18).Chunk("MARK", 2);
    EXPECT_EQ(Look(image.Index(image.Size() - 10), "MARK").first, kErrChunkNotFound);
    EXPECT_EQ(Look(image.Index(image.Size() - 10 + 1), "MARK").first, kNoErr);
    // A file cut inside a chunk's size field: the chunk is there, its size is not.
    Image cut = NewImage();
    cut.Chunk("COMM", 18).Chunk("MARK", 2, 0).Cut(2);
    EXPECT_EQ(Look(cut.Index(), "MARK").first, kNoErr);
    EXPECT_FALSE(cut.Index().Entries().back().sized);
}

// IFF sizes are signed: the top bit ends the walk at once. RIFF sizes are unsigned, and such a
// size is called negative only when it runs past the form; inside it, the walk goes on (and
// here finds the end of the file).
TEST_P(ChunkWalk, SizesWithTheTopBitSet) {
    Image image = NewImage();
    image.Chunk("JUNK", 0x80000000u, 0).Chunk("MARK", 2);
    const bool iff = Rules().signedSizes;
    EXPECT_EQ(Look(image.Index(), "MARK").first, kErrNegativeChunkSize);
    EXPECT_EQ(Look(image.Index(std::int64_t(0xFFFFFFFF) + 8), "MARK").first,
              iff ? kErrNegativeChunkSize : kErrChunkNotFound);
}

INSTANTIATE_TEST_SUITE_P(Containers, ChunkWalk,
                         ::testing::Values(Container{"IFF", &kAIFFContainer},
                                           Container{"RIFF", &kRIFFContainer}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

// Malformed and truncated AIFF files open to a status: no crash, no hang, no read outside a
// block (the sanitizer build runs these too).
#include "AIFFTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include "formats/CAIFFFile.h"
#include "soundfile/ByteOrder.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using byteorder::StoreBE16;
using byteorder::StoreBE32;

// FORM, COMM, SSND with 10 stereo 16-bit frames, INST with one loop, MARK with the loop's two
// markers and two of its own.
Bytes ValidFile(const TempDir& dir) {
    AIFFSpecimen specimen;
    specimen.channels = 2;
    specimen.frames = 10;
    specimen.markers = {MakeMarker(5, 3, "Odd"), MakeMarker(6, 7, "Even")};
    specimen.loops = {SFTLoop{1, 2, 8, 1}};
    EXPECT_EQ(WriteSpecimen(dir.Spec("valid.aif"), specimen), kNoErr);
    return ReadFileBytes(dir.File("valid.aif"));
}

std::size_t At(const Bytes& file, const char* chunk) {
    const std::int64_t offset = ChunkOffset(file, chunk);
    EXPECT_GE(offset, 0) << chunk;
    return std::size_t(offset);
}

// Opens the bytes as a file; when that succeeds, reads all its frames too. Returns the status
// of Open.
Status OpenBytes(const TempDir& dir, const Bytes& bytes, const char* name = "m.aif") {
    EXPECT_TRUE(WriteFileBytes(dir.File(name), bytes));
    const FSSpec fileRef = dir.Spec(name);
    {
        CAIFFFile offline;
        EXPECT_EQ(offline.ISoundFile(&fileRef), kNoErr);
        std::int16_t info = 0;
        offline.GetOfflineInfo(&info);
        EXPECT_FALSE(offline.IsOpen());
    }
    CAIFFFile file;
    EXPECT_EQ(file.ISoundFile(&fileRef), kNoErr);
    const Status status = file.Open();
    if (status == kNoErr) {
        std::vector<double> samples(std::size_t(file.GetNumSFrames()) * file.GetNumChannels());
        double* block = samples.data();
        std::int32_t count = file.GetNumSFrames();
        file.Read(0, &count, &block); // a short read is fine; reading outside the block is not
        EXPECT_LE(count, file.GetNumSFrames());
    }
    return status;
}

// Every truncation of the file: the header chunks and the chunks after the sound data are
// required once their ID is in the file; a cut inside the sound data (or inside the next ID)
// leaves a readable file whose missing frames the read reports.
TEST(AIFFMalformed, TruncatedAtEveryByte) {
    TempDir dir;
    const Bytes valid = ValidFile(dir);
    const std::size_t soundStart = At(valid, "SSND") + 12; // the offset field read
    const std::size_t soundEnd = At(valid, "INST");
    for (std::size_t length = 0; length < valid.size(); ++length) {
        const Bytes cut(valid.begin(), valid.begin() + std::ptrdiff_t(length));
        const Status status = OpenBytes(dir, cut);
        if (length >= soundStart && length < soundEnd + 4)
            EXPECT_EQ(status, kNoErr) << length;
        else
            EXPECT_NE(status, kNoErr) << length;
    }
    EXPECT_EQ(OpenBytes(dir, valid), kNoErr);
}

// Expected result of a mutation: a status, or any failure.
constexpr int kAnyFailure = 1;

struct Mutation {
    const char* name;
    std::function<void(Bytes&)> apply;
    int expected;
};

void SetSize(Bytes& file, const char* chunk, std::uint32_t size) {
    StoreBE32(file.data() + At(file, chunk) + 4, size);
}

// Replaces the form type and gives the file an AIFF-C common chunk with `compression`.
void MakeAIFC(Bytes& file, const char* compression, std::uint32_t commSize) {
    StoreBE32(file.data() + 8, byteorder::FourCC("AIFC"));
    const std::size_t comm = At(file, "COMM");
    Bytes extra = {std::uint8_t(compression[0]), std::uint8_t(compression[1]),
                   std::uint8_t(compression[2]), std::uint8_t(compression[3]), 0, 0};
    file.insert(file.begin() + std::ptrdiff_t(comm + 26), extra.begin(), extra.end());
    StoreBE32(file.data() + comm + 4, commSize);
    StoreBE32(file.data() + 4, std::uint32_t(file.size() - 8));
}

std::size_t MarkRecords(const Bytes& file) { return At(file, "MARK") + 10; }

class AIFFMalformedCorpus : public ::testing::TestWithParam<Mutation> {};

TEST_P(AIFFMalformedCorpus, OpensToAStatus) {
    TempDir dir;
    Bytes file = ValidFile(dir);
    GetParam().apply(file);
    const Status status = OpenBytes(dir, file);
    if (GetParam().expected == kAnyFailure)
        EXPECT_NE(status, kNoErr);
    else
        EXPECT_EQ(status, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, AIFFMalformedCorpus,
    ::testing::Values(
        // The FORM header.
        Mutation{"NotFORM", [](Bytes& f) { f[3] = 'X'; }, kErrChunkNotFound},
        Mutation{"OtherFormType", [](Bytes& f) { StoreBE32(f.data() + 8, byteorder::FourCC("8SVX")); },
                 kErrNoFORMChunk},
        Mutation{"FormSizeZero", [](Bytes& f) { StoreBE32(f.data() + 4, 0); }, kAnyFailure},
        Mutation{"FormSizeHuge", [](Bytes& f) { StoreBE32(f.data() + 4, 0xFFFFFFFF); }, kNoErr},
        Mutation{"FormEndsBeforeMarkers",
                 [](Bytes& f) { StoreBE32(f.data() + 4, std::uint32_t(At(f, "MARK") - 8)); },
                 kErrLoopMarkerMissing},
        // Chunk sizes.
        Mutation{"COMMSizeNegative", [](Bytes& f) { SetSize(f, "COMM", 0x80000000); }, kAnyFailure},
        Mutation{"COMMSizeShort", [](Bytes& f) { SetSize(f, "COMM", 10); }, kErrMalformedFile},
        Mutation{"COMMSizeOdd", [](Bytes& f) { SetSize(f, "COMM", 19); }, kAnyFailure},
        Mutation{"SSNDSizeNegative", [](Bytes& f) { SetSize(f, "SSND", 0xFFFFFFFF); },
                 kErrNegativeChunkSize},
        Mutation{"SSNDSizeBeyondOffsets", [](Bytes& f) { SetSize(f, "SSND", 0x7FFFFFFF); },
                 kNoErr},
        Mutation{"SSNDSizeShort", [](Bytes& f) { SetSize(f, "SSND", 2); }, kAnyFailure},
        Mutation{"SSNDOffsetHuge",
                 [](Bytes& f) { StoreBE32(f.data() + At(f, "SSND") + 8, 0xFFFFFFF0); },
                 kErrMalformedFile},
        Mutation{"INSTSizeNegative", [](Bytes& f) { SetSize(f, "INST", 0xFFFFFFF0); },
                 kErrNegativeChunkSize},
        Mutation{"INSTSizeShort", [](Bytes& f) { SetSize(f, "INST", 4); }, kAnyFailure},
        Mutation{"MARKSizeHuge", [](Bytes& f) { SetSize(f, "MARK", 0x7FFFFFF0); }, kErrEndOfFile},
        Mutation{"MARKSizeZero", [](Bytes& f) { SetSize(f, "MARK", 0); }, kErrMalformedFile},
        // The common chunk's fields.
        Mutation{"NoChannels", [](Bytes& f) { StoreBE16(f.data() + 20, 0); }, kErrMalformedFile},
        Mutation{"NegativeChannels", [](Bytes& f) { StoreBE16(f.data() + 20, 0x8000); },
                 kErrMalformedFile},
        Mutation{"FramesBeyondOffsets", [](Bytes& f) { StoreBE32(f.data() + 22, 0x7FFFFFFF); },
                 kErrMalformedFile},
        Mutation{"FramesAllOnes", [](Bytes& f) { StoreBE32(f.data() + 22, 0xFFFFFFFF); },
                 kErrMalformedFile},
        Mutation{"FramesBeyondData", [](Bytes& f) { StoreBE32(f.data() + 22, 5000); }, kNoErr},
        Mutation{"ZeroBits", [](Bytes& f) { StoreBE16(f.data() + 26, 0); }, kErrMalformedFile},
        Mutation{"TwelveBits", [](Bytes& f) { StoreBE16(f.data() + 26, 12); }, kErrNotSupported},
        Mutation{"FortyBits", [](Bytes& f) { StoreBE16(f.data() + 26, 40); }, kErrMalformedFile},
        Mutation{"RateZero", [](Bytes& f) { std::fill(f.begin() + 28, f.begin() + 38, 0); },
                 kErrMalformedFile},
        Mutation{"RateInfinite", [](Bytes& f) { StoreBE16(f.data() + 28, 0x7FFF); },
                 kErrMalformedFile},
        Mutation{"RateBeyondFloat", [](Bytes& f) { StoreBE16(f.data() + 28, 0x4400); },
                 kErrMalformedFile},
        Mutation{"RateNegative", [](Bytes& f) { f[28] |= 0x80; }, kErrMalformedFile},
        // AIFF-C.
        Mutation{"AIFCNone", [](Bytes& f) { MakeAIFC(f, "NONE", 24); }, kNoErr},
        Mutation{"AIFCCompressed", [](Bytes& f) { MakeAIFC(f, "sowt", 24); }, kErrAIFFCompressed},
        Mutation{"AIFCWithoutCompressionType", [](Bytes& f) { MakeAIFC(f, "NONE", 18); },
                 kErrMalformedFile},
        // Marker records.
        Mutation{"MarkerCountBeyondChunk",
                 [](Bytes& f) { StoreBE16(f.data() + At(f, "MARK") + 8, 5); }, kErrMalformedFile},
        Mutation{"NameBeyondRecord", [](Bytes& f) { f[MarkRecords(f) + 6] = 255; },
                 kErrMalformedFile},
        Mutation{"LastNameBeyondChunk", [](Bytes& f) { f[f.size() - 6] = 200; }, kErrMalformedFile},
        Mutation{"NumberedNameWithoutSpace",
                 [](Bytes& f) {
                     const std::size_t name = MarkRecords(f) + 7;
                     f[name] = '#';
                     f[name + 1] = '9';
                 },
                 kNoErr},
        Mutation{"LoopMarkerMissing",
                 [](Bytes& f) { StoreBE16(f.data() + At(f, "INST") + 18, 99); },
                 kErrLoopMarkerMissing},
        // Chunk walks that go nowhere.
        Mutation{"ManyEmptyChunksBeforeCOMM",
                 [](Bytes& f) {
                     Bytes junk;
                     for (int i = 0; i < 150; ++i) junk.insert(junk.end(), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
                     f.insert(f.begin() + 12, junk.begin(), junk.end());
                     StoreBE32(f.data() + 4, std::uint32_t(f.size() - 8));
                 },
                 kErrNoCOMMChunk}),
    [](const ::testing::TestParamInfo<Mutation>& info) { return std::string(info.param.name); });

} // namespace

// Damaged files open to a status: no crash, no hang, no read outside a block (the sanitizer
// build runs these too), and what is still readable is read.
#include <gtest/gtest.h>

#include <functional>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FormatsTestSupport.h"

namespace {

using byteorder::StoreBE16;
using byteorder::StoreBE32;
using byteorder::StoreLE32;

// 10 stereo frames with two markers; AIFF: a loop (INST and MARK follow the data); WAVE: a
// region (cue and LIST follow the data); Broadcast WAVE: two regions (regn follows the data).
Specimen Damageable(FileKind kind) {
    Specimen s{kind, 2, 16, 44100.0f, 10};
    s.markers = {MakeMarker(5, 3, "Odd"), MakeMarker(6, 7, "Even")};
    if (kind == FileKind::AIFF) s.loops = {SFTLoop{1, 2, 8, 1}};
    if (kind != FileKind::AIFF) s.regions = {MakeRegion(2, 8, "R")};
    if (kind == FileKind::BWF) s.regions.push_back(MakeRegion(4, 6, "S"));
    return s;
}

// Opens the bytes (and asks for the offline information); when that succeeds, reads every
// frame. The status of Open.
Status OpenAndRead(const TempDir& dir, FileKind kind, const Bytes& bytes) {
    auto file = NewSoundFile(kind);
    const Status status = OpenBytes(dir, file.get(), bytes);
    if (status == kNoErr) {
        // A WAVE file never has more frames than the bytes after the data header hold.
        if (auto* wave = dynamic_cast<CWAVEFile*>(file.get()))
            EXPECT_LE(std::int64_t(file->GetNumSFrames()) * 4, std::int64_t(bytes.size()) - wave->GetDataStart());
        EXPECT_LE(file->GetNumRegions(), 2);
        EXPECT_LE(file->GetNumMarkers(), 2);
        std::vector<double> samples(std::size_t(file->GetNumSFrames()) * 2);
        double* block = samples.data();
        std::int32_t count = file->GetNumSFrames();
        file->Read(0, &count, &block); // a short read is fine; reading outside the block is not
        EXPECT_LE(count, file->GetNumSFrames());
    }
    auto offline = NewSoundFile(kind);
    const FSSpec fileRef = dir.Spec("in.snd");
    EXPECT_EQ(offline->ISoundFile(&fileRef), kNoErr);
    std::int16_t info = 0;
    offline->GetOfflineInfo(&info);
    EXPECT_FALSE(offline->IsOpen());
    return status;
}

class Truncated : public ::testing::TestWithParam<FileKind> {
protected:
    ReaderPreferences preferences;
    TempDir dir;
};

// A cut inside the sound data leaves a readable file with fewer frames. AIFF needs every chunk
// whose ID is in the file; a WAVE file opens with what precedes the cut once the data header is
// there (a cut inside the size of the chunk after the data may be refused).
TEST_P(Truncated, AtEveryByte) {
    const FileKind kind = GetParam();
    const Bytes valid = SpecimenBytes(dir, Damageable(kind));
    const bool aiff = kind == FileKind::AIFF;
    const std::int64_t data = aiff ? ChunkAt(valid, "SSND", true) + 12 : ChunkAt(valid, "data", false) + 8;
    const std::int64_t next = data + 40 + (aiff ? 4 : 0); // 10 frames of 4 bytes
    for (std::int64_t length = 0; length <= std::int64_t(valid.size()); ++length) {
        if (kind == FileKind::BWF && length == 40) length = 860; // cuts in the bext text are alike
        const Status status = OpenAndRead(dir, kind, Bytes(valid.begin(), valid.begin() + length));
        if (!aiff && length >= next + 4 && length < next + 8) continue;
        const bool opens = (length >= data && (!aiff || length < next + 4)) || length == std::int64_t(valid.size());
        EXPECT_EQ(status == kNoErr, opens) << length << " status " << status;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Truncated,
                         ::testing::Values(FileKind::AIFF, FileKind::WAVE, FileKind::BWF));

// Expected result of a damage: a status, or any failure.
constexpr int kAnyFailure = 1;

struct Damage {
    const char* name;
    FileKind kind;
    std::function<void(Bytes&)> apply;
    int expected;
    std::int16_t markers = -1, regions = -1; // checked when not -1
    const char* firstMarker = nullptr;       // the first marker's name, when given
    std::int32_t firstRegionID = -1;         // 0: the whole-file stand-in
};

std::size_t At(const Bytes& file, const char* chunk) {
    const bool aiff = file[0] == 'F';
    const std::int64_t offset = ChunkAt(file, chunk, aiff);
    EXPECT_GE(offset, 0) << chunk;
    return std::size_t(offset);
}
void SetSize(Bytes& f, const char* chunk, std::uint32_t size) { StoreBE32(f.data() + At(f, chunk) + 4, size); }
// An AIFF-C form whose common chunk has the compression type `compression`.
void MakeAIFC(Bytes& f, const char* compression, std::uint32_t commSize) {
    StoreBE32(f.data() + 8, byteorder::FourCC("AIFC"));
    const std::size_t comm = At(f, "COMM");
    f.insert(f.begin() + std::ptrdiff_t(comm + 26), compression, compression + 4);
    f.insert(f.begin() + std::ptrdiff_t(comm + 30), {0, 0});
    StoreBE32(f.data() + comm + 4, commSize);
    StoreBE32(f.data() + 4, std::uint32_t(f.size() - 8));
}
// Empty chunks ahead of the MARK chunk.
void Junk(Bytes& f, int count) {
    for (int i = 0; i < count; ++i) f.insert(f.begin() + std::ptrdiff_t(At(f, "MARK")), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
    StoreBE32(f.data() + 4, std::uint32_t(f.size() - 8));
}
std::size_t Label(const Bytes& f) { return At(f, "LIST") + 12; }

class Damaged : public ::testing::TestWithParam<Damage> {
protected:
    ReaderPreferences preferences;
    TempDir dir;
};

TEST_P(Damaged, OpensToAStatus) {
    const Damage& d = GetParam();
    Bytes bytes = SpecimenBytes(dir, Damageable(d.kind), "valid.snd");
    d.apply(bytes);
    const Status status = OpenAndRead(dir, d.kind, bytes);
    if (d.expected == kAnyFailure) EXPECT_NE(status, kNoErr);
    else EXPECT_EQ(status, d.expected);
    if (status != kNoErr) return;
    auto file = NewSoundFile(d.kind);
    ASSERT_EQ(OpenBytes(dir, file.get(), bytes), kNoErr);
    if (d.markers >= 0) EXPECT_EQ(file->GetNumMarkers(), d.markers);
    if (d.regions >= 0) EXPECT_EQ(file->GetNumRegions(), d.regions);
    SFTMarker m;
    if (d.firstMarker) EXPECT_EQ(file->GetIndMarker(0, &m) == kNoErr ? NameOf(m.name) : "", d.firstMarker);
    SFTRegion r;
    if (d.firstRegionID >= 0) EXPECT_EQ(file->GetIndRegion(0, &r) == kNoErr ? r.id : -1, d.firstRegionID);
}

constexpr FileKind A = FileKind::AIFF, W = FileKind::WAVE, B = FileKind::BWF;
INSTANTIATE_TEST_SUITE_P(
    Cases, Damaged,
    ::testing::Values(
        // AIFF: the FORM header.
        Damage{"NotFORM", A, [](Bytes& f) { f[3] = 'X'; }, kErrChunkNotFound},
        Damage{"OtherFormType", A, [](Bytes& f) { StoreBE32(f.data() + 8, byteorder::FourCC("8SVX")); }, kErrNoFORMChunk},
        Damage{"FormSizeZero", A, [](Bytes& f) { StoreBE32(f.data() + 4, 0); }, kAnyFailure},
        Damage{"FormSizeHuge", A, [](Bytes& f) { StoreBE32(f.data() + 4, 0xFFFFFFFF); }, kNoErr},
        Damage{"FormEndsBeforeMarkers", A, [](Bytes& f) { StoreBE32(f.data() + 4, std::uint32_t(At(f, "MARK") - 8)); }, kErrLoopMarkerMissing},
        // AIFF: chunk sizes.
        Damage{"COMMSizeNegative", A, [](Bytes& f) { SetSize(f, "COMM", 0x80000000); }, kAnyFailure},
        Damage{"COMMSizeShort", A, [](Bytes& f) { SetSize(f, "COMM", 10); }, kErrMalformedFile},
        Damage{"COMMSizeOdd", A, [](Bytes& f) { SetSize(f, "COMM", 19); }, kAnyFailure},
        Damage{"SSNDSizeNegative", A, [](Bytes& f) { SetSize(f, "SSND", 0xFFFFFFFF); }, kErrNegativeChunkSize},
        Damage{"SSNDSizeBeyondOffsets", A, [](Bytes& f) { SetSize(f, "SSND", 0x7FFFFFFF); }, kNoErr},
        Damage{"SSNDSizeShort", A, [](Bytes& f) { SetSize(f, "SSND", 2); }, kAnyFailure},
        Damage{"SSNDOffsetHuge", A, [](Bytes& f) { StoreBE32(f.data() + At(f, "SSND") + 8, 0xFFFFFFF0); }, kErrMalformedFile},
        Damage{"INSTSizeNegative", A, [](Bytes& f) { SetSize(f, "INST", 0xFFFFFFF0); }, kErrNegativeChunkSize},
        Damage{"INSTSizeShort", A, [](Bytes& f) { SetSize(f, "INST", 4); }, kAnyFailure},
        Damage{"MARKSizeHuge", A, [](Bytes& f) { SetSize(f, "MARK", 0x7FFFFFF0); }, kErrEndOfFile},
        Damage{"MARKSizeZero", A, [](Bytes& f) { SetSize(f, "MARK", 0); }, kErrMalformedFile},
        // AIFF: the common chunk's fields.
        Damage{"NoChannels", A, [](Bytes& f) { StoreBE16(f.data() + 20, 0); }, kErrMalformedFile},
        Damage{"NegativeChannels", A, [](Bytes& f) { StoreBE16(f.data() + 20, 0x8000); }, kErrMalformedFile},
        Damage{"FramesBeyondOffsets", A, [](Bytes& f) { StoreBE32(f.data() + 22, 0x7FFFFFFF); }, kErrMalformedFile},
        Damage{"FramesBeyondData", A, [](Bytes& f) { StoreBE32(f.data() + 22, 5000); }, kNoErr},
        Damage{"ZeroBits", A, [](Bytes& f) { StoreBE16(f.data() + 26, 0); }, kErrMalformedFile},
        Damage{"TwelveBits", A, [](Bytes& f) { StoreBE16(f.data() + 26, 12); }, kErrNotSupported},
        Damage{"FortyBits", A, [](Bytes& f) { StoreBE16(f.data() + 26, 40); }, kErrMalformedFile},
        Damage{"RateZero", A, [](Bytes& f) { std::fill(f.begin() + 28, f.begin() + 38, 0); }, kErrMalformedFile},
        Damage{"RateInfinite", A, [](Bytes& f) { StoreBE16(f.data() + 28, 0x7FFF); }, kErrMalformedFile},
        Damage{"RateBeyondFloat", A, [](Bytes& f) { StoreBE16(f.data() + 28, 0x4400); }, kErrMalformedFile},
        Damage{"RateNegative", A, [](Bytes& f) { f[28] |= 0x80; }, kErrMalformedFile},
        // AIFF-C.
        Damage{"AIFCNone", A, [](Bytes& f) { MakeAIFC(f, "NONE", 24); }, kNoErr},
        Damage{"AIFCCompressed", A, [](Bytes& f) { MakeAIFC(f, "sowt", 24); }, kErrAIFFCompressed},
        Damage{"AIFCWithoutCompressionType", A, [](Bytes& f) { MakeAIFC(f, "NONE", 18); }, kErrMalformedFile},
        // AIFF: marker records. The last name is "Even" and its pad byte.
        Damage{"MarkerCountBeyondChunk", A, [](Bytes& f) { StoreBE16(f.data() + At(f, "MARK") + 8, 5); }, kErrMalformedFile},
        Damage{"NameBeyondRecord", A, [](Bytes& f) { f[At(f, "MARK") + 16] = 255; }, kErrMalformedFile},
        Damage{"LastNameOneBytePastChunk", A, [](Bytes& f) { f[f.size() - 6] = 6; }, kErrMalformedFile},
        Damage{"NumberedNameWithoutSpace", A, [](Bytes& f) { std::copy_n("#9", 2, f.begin() + std::ptrdiff_t(At(f, "MARK") + 17)); }, kNoErr},
        Damage{"LoopMarkerMissing", A, [](Bytes& f) { byteorder::StoreBE16(f.data() + At(f, "INST") + 18, 99); }, kErrLoopMarkerMissing},
        Damage{"ManyEmptyChunksBeforeCOMM", A,
               [](Bytes& f) {
                   for (int i = 0; i < 150; ++i) f.insert(f.begin() + 12, {'J', 'U', 'N', 'K', 0, 0, 0, 0});
                   StoreBE32(f.data() + 4, std::uint32_t(f.size() - 8));
               },
               kErrNoCOMMChunk},
        // The chunk search gives up after 100 chunks: MARK is the 100th, then the 104th.
        Damage{"MARKWithinAHundredChunks", A, [](Bytes& f) { Junk(f, 96); }, kNoErr, 2},
        Damage{"MARKBeyondAHundredChunks", A, [](Bytes& f) { Junk(f, 100); }, kErrAIFFTooManyChunks},
        // WAVE: a data size past the end counts the whole frames that are there.
        Damage{"DataSizePastTheEnd", W, [](Bytes& f) { StoreLE32(f.data() + At(f, "data") + 4, 4000); f.resize(At(f, "data") + 8 + 4 * 6 + 1); }, kNoErr},
        // WAVE: damage after the sound data leaves what can still be read; the region's loss
        // brings in the whole-file stand-in.
        Damage{"CueCountBeyondChunk", W, [](Bytes& f) { StoreLE32(f.data() + At(f, "cue ") + 8, 0x7FFFFFFF); }, kNoErr, 2, 1, "Odd", 2},
        Damage{"LabelWithoutTerminator", W, [](Bytes& f) { f[Label(f) + 15] = '!'; }, kNoErr, 2, 1, "Odd!", 2},
        // The second labl runs past the list: the walk ends there, without the ltxt.
        Damage{"SubChunkPastList", W, [](Bytes& f) { StoreLE32(f.data() + Label(f) + 16 + 4, 5000); }, kNoErr, 1, 1, "Odd", 0},
        Damage{"RegionPastEnd", W, [](Bytes& f) { StoreLE32(f.data() + Label(f) + 34 + 12, 0x7FFFFFF0); }, kNoErr, 2, 1, "Odd", 0},
        // Broadcast WAVE: the region records that are there are read.
        Damage{"RegionCountBeyondChunk", B, [](Bytes& f) { StoreLE32(f.data() + At(f, "regn") + 8, 1000); }, kNoErr, -1, 2},
        Damage{"RegionEndPastFile", B, [](Bytes& f) { byteorder::StoreLE64(f.data() + At(f, "regn") + 36, 5000); }, kNoErr, -1, 1},
        // A JUNK chunk takes the rest of the old bext, so the chunk walk stays intact.
        Damage{"ShortBext", B,
               [](Bytes& f) {
                   StoreLE32(f.data() + 16, 300);
                   std::copy_n("JUNK", 4, f.begin() + 320);
                   StoreLE32(f.data() + 324, 858 - 300 - 8);
               },
               kErrMalformedFile}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

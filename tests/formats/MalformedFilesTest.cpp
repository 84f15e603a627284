// Damaged files open to a status: no crash, no hang, no read outside a block (the sanitizer
// build runs these too), and what is still readable is read.
#include <gtest/gtest.h>

#include <functional>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FormatsTestSupport.h"

namespace {

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
        if (auto* wave = dynamic_cast<CWAVEFile*>(file.get())) {
            EXPECT_LE(std::int64_t(file->GetNumSFrames()) * 4,
                      std::int64_t(bytes.size()) - wave->GetDataStart());
        }
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
    const std::int64_t data =
        aiff ? ChunkAt(valid, "SSND", true) + 12 : ChunkAt(valid, "data", false) + 8;
    const std::int64_t next = data + 40 + (aiff ? 4 : 0); // 10 frames of 4 bytes
    for (std::int64_t length = 0; length <= std::int64_t(valid.size()); ++length) {
        if (kind == FileKind::BWF && length == 40) length = 860; // cuts in the bext text are alike
        const Status status = OpenAndRead(dir, kind, Bytes(valid.begin(), valid.begin() + length));
        if (!aiff && length >= next + 4 && length < next + 8) continue;
        const bool opens = (length >= data && (!aiff || length < next + 4)) ||
                           length == std::int64_t(valid.size());
        EXPECT_EQ(status == kNoErr, opens) << length << " status " << status;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, Truncated,
                         ::testing::Values(FileKind::AIFF, FileKind::WAVE, FileKind::BWF));

// Expected result of a damage: a status, or any failure.
constexpr int kAnyFailure = 1;
using Change = std::function<void(Bytes&)>;

struct Damage {
    const char* name;
    FileKind kind;
    Change apply;
    int expected;
    std::int16_t markers = -1, regions = -1; // checked when not -1
    const char* firstMarker = nullptr;       // the first marker's name, when given
    std::int32_t firstRegionID = -1;         // 0: the whole-file stand-in
};

std::size_t At(const Bytes& file, const char* chunk) {
    const std::int64_t offset = ChunkAt(file, chunk, file[0] == 'F');
    EXPECT_GE(offset, 0) << chunk;
    return std::size_t(offset);
}
// Stores `value` in the `bytes`-byte field at `offset` from the chunk (the file when null), in
// the file's byte order.
Change Set(const char* chunk, std::size_t offset, std::uint64_t value, int bytes = 4) {
    return [=](Bytes& f) {
        const std::size_t at = (chunk ? At(f, chunk) : 0) + offset;
        for (int i = 0; i < bytes; ++i)
            f[at + std::size_t(f[0] == 'F' ? bytes - 1 - i : i)] = std::uint8_t(value >> (8 * i));
    };
}
Change Size(const char* chunk, std::uint32_t size) {
    return Set(chunk, 4, size);
}
// An AIFF-C form whose common chunk has the compression type `compression`.
Change AIFC(const char* compression, std::uint32_t commSize) {
    return [=](Bytes& f) {
        const std::size_t comm = At(f, "COMM");
        f.insert(f.begin() + std::ptrdiff_t(comm + 26), compression, compression + 4);
        f.insert(f.begin() + std::ptrdiff_t(comm + 30), {0, 0});
        Set(nullptr, 8, byteorder::FourCC("AIFC"))(f);
        Set(nullptr, 4, f.size() - 8)(f);
        Size("COMM", commSize)(f);
    };
}
// `count` empty chunks ahead of the chunk `before`.
Change Junk(const char* before, int count) {
    return [=](Bytes& f) {
        for (int i = 0; i < count; ++i)
            f.insert(f.begin() + std::ptrdiff_t(At(f, before)), {'J', 'U', 'N', 'K', 0, 0, 0, 0});
        Set(nullptr, 4, f.size() - 8)(f);
    };
}

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
    EXPECT_TRUE(d.expected == kAnyFailure ? status != kNoErr : status == d.expected) << status;
    if (status != kNoErr) return;
    auto file = NewSoundFile(d.kind);
    ASSERT_EQ(OpenBytes(dir, file.get(), bytes), kNoErr);
    if (d.markers >= 0) {
        EXPECT_EQ(file->GetNumMarkers(), d.markers);
    }
    if (d.regions >= 0) {
        EXPECT_EQ(file->GetNumRegions(), d.regions);
    }
    SFTMarker m;
    if (d.firstMarker) {
        EXPECT_EQ(file->GetIndMarker(0, &m) ? "" : NameOf(m.name), d.firstMarker);
    }
    SFTRegion r;
    if (d.firstRegionID >= 0) {
        EXPECT_EQ(file->GetIndRegion(0, &r) ? -1 : r.id, d.firstRegionID);
    }
}

constexpr FileKind A = FileKind::AIFF, W = FileKind::WAVE, B = FileKind::BWF;
constexpr std::size_t kLabel = 12; // the first sub-chunk of the LIST chunk
INSTANTIATE_TEST_SUITE_P(
    Cases, Damaged,
    ::testing::Values(
        // AIFF: the FORM header and the chunk walk.
        Damage{"NotFORM", A, Set(nullptr, 0, byteorder::FourCC("FORX")), kErrChunkNotFound},
        Damage{"OtherFormType", A, Set(nullptr, 8, byteorder::FourCC("8SVX")), kErrNoFORMChunk},
        Damage{"FormSizeZero", A, Set(nullptr, 4, 0), kAnyFailure},
        Damage{"FormSizeHuge", A, Set(nullptr, 4, 0xFFFFFFFF), kNoErr},
        Damage{"FormEndsBeforeMarkers", A, [](Bytes& f) { Set(nullptr, 4, At(f, "MARK") - 8)(f); },
               kErrLoopMarkerMissing},
        Damage{"ManyEmptyChunksBeforeCOMM", A, Junk("COMM", 150), kErrNoCOMMChunk},
        // The chunk search gives up after 100 chunks: MARK is the 100th, then the 104th.
        Damage{"MARKWithinAHundredChunks", A, Junk("MARK", 96), kNoErr, 2},
        Damage{"MARKBeyondAHundredChunks", A, Junk("MARK", 100), kErrAIFFTooManyChunks},
        // AIFF: chunk sizes.
        Damage{"COMMSizeNegative", A, Size("COMM", 0x80000000), kAnyFailure},
        Damage{"COMMSizeShort", A, Size("COMM", 10), kErrMalformedFile},
        Damage{"COMMSizeOdd", A, Size("COMM", 19), kAnyFailure},
        Damage{"SSNDSizeNegative", A, Size("SSND", 0xFFFFFFFF), kErrNegativeChunkSize},
        Damage{"SSNDSizeBeyondOffsets", A, Size("SSND", 0x7FFFFFFF), kNoErr},
        Damage{"SSNDSizeShort", A, Size("SSND", 2), kAnyFailure},
        Damage{"SSNDOffsetHuge", A, Set("SSND", 8, 0xFFFFFFF0), kErrMalformedFile},
        Damage{"INSTSizeNegative", A, Size("INST", 0xFFFFFFF0), kErrNegativeChunkSize},
        Damage{"INSTSizeShort", A, Size("INST", 4), kAnyFailure},
        Damage{"MARKSizeHuge", A, Size("MARK", 0x7FFFFFF0), kErrEndOfFile},
        Damage{"MARKSizeZero", A, Size("MARK", 0), kErrMalformedFile},
        // AIFF: the common chunk's fields.
        Damage{"NoChannels", A, Set("COMM", 8, 0, 2), kErrMalformedFile},
        Damage{"NegativeChannels", A, Set("COMM", 8, 0x8000, 2), kErrMalformedFile},
        Damage{"FramesBeyondOffsets", A, Set("COMM", 10, 0x7FFFFFFF), kErrMalformedFile},
        Damage{"FramesBeyondData", A, Set("COMM", 10, 5000), kNoErr},
        Damage{"ZeroBits", A, Set("COMM", 14, 0, 2), kErrMalformedFile},
        Damage{"TwelveBits", A, Set("COMM", 14, 12, 2), kErrNotSupported},
        Damage{"FortyBits", A, Set("COMM", 14, 40, 2), kErrMalformedFile},
        Damage{"RateZero", A, Set("COMM", 16, 0, 8), kErrMalformedFile},
        Damage{"RateInfinite", A, Set("COMM", 16, 0x7FFF, 2), kErrMalformedFile},
        Damage{"RateBeyondFloat", A, Set("COMM", 16, 0x4400, 2), kErrMalformedFile},
        Damage{"RateNegative", A, Set("COMM", 16, 0xC00E, 2), kErrMalformedFile},
        // AIFF-C.
        Damage{"AIFCNone", A, AIFC("NONE", 24), kNoErr},
        Damage{"AIFCCompressed", A, AIFC("sowt", 24), kErrAIFFCompressed},
        Damage{"AIFCWithoutCompressionType", A, AIFC("NONE", 18), kErrMalformedFile},
        // AIFF: marker records (the first is a loop's; the last is "Even" and its pad byte).
        Damage{"MarkerCountBeyondChunk", A, Set("MARK", 8, 5, 2), kErrMalformedFile},
        Damage{"NameBeyondRecord", A, Set("MARK", 16, 255, 1), kErrMalformedFile},
        Damage{"LastNameOneBytePastChunk", A, [](Bytes& f) { f[f.size() - 6] = 6; },
               kErrMalformedFile},
        Damage{"NumberedNameWithoutSpace", A, Set("MARK", 17, '#' << 8 | '9', 2), kNoErr},
        Damage{"LoopMarkerMissing", A, Set("INST", 18, 99, 2), kErrLoopMarkerMissing},
        // WAVE: a data size past the end counts the whole frames that are there.
        Damage{"DataSizePastTheEnd", W,
               [](Bytes& f) {
                   Set("data", 4, 4000)(f);
                   f.resize(At(f, "data") + 8 + 4 * 6 + 1);
               },
               kNoErr},
        // WAVE: damage after the sound data leaves what can still be read; the region's loss
        // brings in the whole-file stand-in.
        Damage{"CueCountBeyondChunk", W, Set("cue ", 8, 0x7FFFFFFF), kNoErr, 2, 1, "Odd", 2},
        Damage{"LabelWithoutTerminator", W, Set("LIST", kLabel + 15, '!', 1), kNoErr, 2, 1, "Odd!",
               2},
        // The second labl runs past the list: the walk ends there, without the ltxt.
        Damage{"SubChunkPastList", W, Set("LIST", kLabel + 20, 5000), kNoErr, 1, 1, "Odd", 0},
        Damage{"RegionPastEnd", W, Set("LIST", kLabel + 46, 0x7FFFFFF0), kNoErr, 2, 1, "Odd", 0},
        // Broadcast WAVE: the region records that are there are read.
        Damage{"RegionCountBeyondChunk", B, Set("regn", 8, 1000), kNoErr, -1, 2},
        Damage{"RegionEndPastFile", B, Set("regn", 36, 5000, 8), kNoErr, -1, 1},
        // A JUNK chunk takes the rest of the old bext, so the chunk walk stays intact.
        Damage{"ShortBext", B,
               [](Bytes& f) {
                   Size("bext", 300)(f);
                   std::copy_n("JUNK", 4, f.begin() + 320);
                   Set(nullptr, 324, 858 - 300 - 8)(f);
               },
               kErrMalformedFile}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

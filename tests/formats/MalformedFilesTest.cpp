// Damaged files open to a status: no crash, no hang, no read outside a block (the sanitizer
// build runs these too), and what is still readable is read.
#include <gtest/gtest.h>

#include "formats/CWAVEFile.h"
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
// frame. The status of Open; `*regions` gets the number of regions read.
Status OpenAndRead(const TempDir& dir, FileKind kind, const Bytes& bytes, int* regions = nullptr) {
    auto file = NewSoundFile(kind), offline = NewSoundFile(kind);
    const Status status = OpenBytes(dir, file.get(), bytes);
    const FSSpec fileRef = dir.Spec("in.snd");
    std::int16_t info = 0;
    // Any status will do; the file must be closed again.
    if (offline->ISoundFile(&fileRef) == kNoErr) (void)offline->GetOfflineInfo(&info);
    EXPECT_FALSE(offline->IsOpen());
    if (status != kNoErr) return status;
    // A WAVE file never has more frames than the bytes after the data header hold.
    const auto* wave = dynamic_cast<CWAVEFile*>(file.get());
    EXPECT_LE(wave ? file->GetNumSFrames() * 4 : 0,
              wave ? std::int64_t(bytes.size()) - wave->GetDataStart() : 0);
    std::vector<double> samples(std::size_t(file->GetNumSFrames()) * 2);
    double* block = samples.data();
    std::int32_t count = file->GetNumSFrames();
    (void)file->Read(0, &count, &block); // a short read is fine; reading outside the block is not
    if (regions) *regions = file->GetNumRegions();
    return status;
}

using Truncated = FormatsTestWith<FileKind>;

// A cut inside the sound data leaves a readable file with fewer frames. AIFF needs every chunk
// whose ID is in the file; a WAVE file opens with what precedes the cut once the data header is
// there (a cut inside the size of the chunk after the data may be refused).
TEST_P(Truncated, AtEveryByte) {
    const FileKind kind = GetParam();
    const Bytes valid = SpecimenBytes(dir, Damageable(kind));
    const bool aiff = kind == FileKind::AIFF;
    const auto data = ChunkAt(valid, aiff ? "SSND" : "data") + (aiff ? 12 : 8);
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

struct Damage {
    const char* name;
    FileKind kind;
    Change apply;
    Status expected;
    int regions = -1; // when not -1, the regions still read
};

using Damaged = FormatsTestWith<Damage>;

TEST_P(Damaged, OpensToAStatus) {
    const Damage& d = GetParam();
    Bytes bytes = SpecimenBytes(dir, Damageable(d.kind), "valid.snd");
    d.apply(bytes);
    int regions = -1;
    EXPECT_EQ(OpenAndRead(dir, d.kind, bytes, &regions), d.expected);
    EXPECT_EQ(d.regions < 0 ? -1 : regions, d.regions);
}

constexpr FileKind A = FileKind::AIFF, W = FileKind::WAVE, B = FileKind::BWF;
constexpr std::size_t kLabel = 12; // the first sub-chunk of the LIST chunk
INSTANTIATE_TEST_SUITE_P(
    Cases, Damaged,
    ::testing::Values(
        // AIFF: the FORM size (it ends where MARK starts), chunk sizes, the common chunk's fields.
        Damage{"FormEndsBeforeMarkers", A, Set(nullptr, 4, 114), kErrLoopMarkerMissing},
        Damage{"SSNDSizeNegative", A, Set("SSND", 4, 0xFFFFFFFF), kErrNegativeChunkSize},
        Damage{"SSNDSizePastTheEnd", A, Set("SSND", 4, 0x7FFFFFFF), kNoErr},
        Damage{"SSNDOffsetHuge", A, Set("SSND", 8, 0xFFFFFFF0), kErrMalformedFile},
        Damage{"MARKSizePastTheEnd", A, Set("MARK", 4, 0x7FFFFFF0), kErrEndOfFile},
        Damage{"FramesBeyondData", A, Set("COMM", 10, 5000), kNoErr},
        // AIFF: marker records (the first is a loop's; the last is "Even" and its pad byte).
        Damage{"MarkerCountBeyondChunk", A, Set("MARK", 8, 5, 2), kErrMalformedFile},
        Damage{"NameBeyondRecord", A, Set("MARK", 16, 255, 1), kErrMalformedFile},
        Damage{"LastNamePastChunk", A, [](Bytes& f) { f[f.size() - 6] = 6; }, kErrMalformedFile},
        Damage{"LoopMarkerMissing", A, Set("INST", 18, 99, 2), kErrLoopMarkerMissing},
        // WAVE: a data size past the end counts the whole frames that are there (OpenAndRead).
        Damage{"DataSizePastTheEnd", W, Set("data", 4, 4000), kNoErr},
        // WAVE: damage after the sound data leaves a file that opens with one region (its own, or
        // the whole-file stand-in when the damage takes it).
        Damage{"CueCountBeyondChunk", W, Set("cue ", 8, 0x7FFFFFFF), kNoErr, 1},
        Damage{"LabelUnterminated", W, Set("LIST", kLabel + 15, '!', 1), kNoErr, 1},
        // The second labl runs past the list: the walk ends there, without the ltxt.
        Damage{"SubChunkPastList", W, Set("LIST", kLabel + 20, 5000), kNoErr, 1},
        Damage{"RegionPastEnd", W, Set("LIST", kLabel + 46, 0x7FFFFFF0), kNoErr, 1},
        // Broadcast WAVE: the region records that are there are read.
        Damage{"RegionCountBeyondChunk", B, Set("regn", 8, 1000), kNoErr, 2},
        Damage{"RegionEndPastFile", B, Set("regn", 36, 5000, 8), kNoErr, 1}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

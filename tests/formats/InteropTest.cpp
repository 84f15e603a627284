// Files written here as libsndfile reads them, and files written by sox as the engine reads
// them: the engine's samples against libsndfile's, both scaled to 32 bits.
#include <gtest/gtest.h>

#include <cstdlib>

#include "formats/OpenSoundFile.h"
#include "soundfile/ByteOrder.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

// Opens `name` in `dir` through the engine's format detection and compares every sample, and
// the format, with libsndfile's reading.
std::unique_ptr<CSoundFile> OpenAndCompare(const TempDir& dir, const std::string& name) {
    SF_INFO info{};
    const std::vector<int> reference = SndfileSamples(dir.File(name), &info);
    std::unique_ptr<CSoundFile> file;
    EXPECT_EQ(OpenSoundFile(dir.Spec(name), &file), kNoErr) << name;
    if (!file) return file;
    EXPECT_EQ(std::make_tuple(std::int64_t(file->GetNumSFrames()), int(file->GetNumChannels()),
                              file->GetSampleRate()),
              std::make_tuple(std::int64_t(info.frames), info.channels, float(info.samplerate)));
    EXPECT_EQ(EngineSamples(*file), reference);
    return file;
}

constexpr FileKind A = FileKind::AIFF, W = FileKind::WAVE, B = FileKind::BWF;
struct WrittenCase {
    FileKind kind;
    int bits, channels;
    std::optional<std::uint32_t> mask = std::nullopt;
    bool stamped = false;
};
constexpr std::int32_t kStamp = 3723 * 48000; // 01:02:03 at 48 kHz
using WrittenHere = FormatsTestWith<WrittenCase>;

TEST_P(WrittenHere, LibsndfileReadsFormatSamplesCuesAndExtras) {
    const WrittenCase& c = GetParam();
    const bool aiff = c.kind == FileKind::AIFF;
    Specimen s{c.kind, std::int16_t(c.channels), std::int16_t(c.bits), 48000.0f, 1001};
    s.channelMask = c.mask;
    if (c.stamped) s.timeStamp = kStamp;
    // "Attack" has an even length (an AIFF record's pad byte); "#1 " starts a numbered AIFF name.
    s.markers = {MakeMarker(aiff ? 7 : 0, 0, "Attack"),
                 MakeMarker(aiff ? 8 : 1, 1000, "End point",
                            aiff ? kMarkerTypeNumbered : kMarkerTypeOrdinary, aiff ? 5 : -1)};
    if (aiff) s.loops = {SFTLoop{1, 100, 200, 1}};
    if (aiff) s.sampler = SFTSamplerInfo{69, 5, 20, 100, 1, 126, -3, 1};
    if (!aiff) s.regions = {MakeRegion(200, 700, "Middle")};
    const Bytes bytes = SpecimenBytes(dir, s, "w.snd");

    // What libsndfile overlooks: container size, padded chunks to the end, sizes, block align.
    const auto field = [&](std::int64_t at) {
        return aiff ? byteorder::LoadBE32(bytes.data() + at)
                    : byteorder::LoadLE32(bytes.data() + at);
    };
    std::vector<std::int64_t> chunks;
    const std::int64_t sound = ChunkAt(bytes, aiff ? "SSND" : "data", &chunks);
    const std::uint32_t frameBytes = std::uint32_t(c.bits / 8 * c.channels);
    ASSERT_GT(sound, 0);
    EXPECT_EQ(field(4), bytes.size() - 8);
    EXPECT_EQ(chunks.back() + 8 + field(chunks.back() + 4) + (field(chunks.back() + 4) & 1),
              std::int64_t(bytes.size()));
    EXPECT_EQ(field(sound + 4), 1001 * frameBytes + (aiff ? 8 : 0));
    EXPECT_EQ(aiff ? frameBytes : field(ChunkAt(bytes, "fmt ") + 20) & 0xFFFF, frameBytes);

    SF_INFO info{};
    Sndfile file(sf_open(dir.File("w.snd").c_str(), SFM_READ, &info));
    ASSERT_TRUE(file) << sf_strerror(nullptr);
    const int pcm[] = {aiff ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16,
                       SF_FORMAT_PCM_24, SF_FORMAT_PCM_32};
    const int major = aiff ? SF_FORMAT_AIFF : c.mask ? SF_FORMAT_WAVEX : SF_FORMAT_WAV;
    EXPECT_EQ(std::make_tuple(info.format, info.channels, info.samplerate),
              std::make_tuple(major | pcm[c.bits / 8 - 1], c.channels, 48000));
    ASSERT_EQ(info.frames, 1001);
    const std::vector<int> samples = SndfileSamples(file.get(), info);
    std::vector<int> expected;
    for (std::int32_t i = 0; i < 1001 * c.channels; ++i)
        expected.push_back(int(SpecimenCode(i / c.channels, std::int16_t(i % c.channels), s.bits) *
                               (std::int64_t(1) << (32 - c.bits))));
    EXPECT_EQ(samples, expected);

    // Markers are cues (AIFF: those no loop uses); a WAVE region is one more cue at its start.
    SF_CUES cues{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
    ASSERT_EQ(cues.cue_count, aiff ? 2u : 3u);
    const std::int32_t ids[] = {aiff ? 7 : 0, aiff ? 8 : 1, 2};
    const std::uint32_t offsets[] = {0, 1000, 200};
    const char* names[] = {"Attack", "#1 End point"};
    for (std::uint32_t i = 0; i < cues.cue_count; ++i)
        EXPECT_EQ(std::make_tuple(cues.cue_points[i].indx, cues.cue_points[i].sample_offset,
                                  std::string(aiff ? cues.cue_points[i].name : "")),
                  std::make_tuple(ids[i], offsets[i], std::string(aiff ? names[i] : "")));
    SF_INSTRUMENT in{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_INSTRUMENT, &in, sizeof in), aiff);
    EXPECT_EQ(std::vector<int>({in.basenote, in.detune, in.key_lo, in.key_hi, in.velocity_lo,
                                in.velocity_hi, in.gain, in.loops[0].mode, int(in.loops[0].start),
                                int(in.loops[0].end)}),
              aiff ? std::vector<int>({69, 5, 20, 100, 1, 126, -3, SF_LOOP_FORWARD, 100, 200})
                   : std::vector<int>(10, 0));
    SF_BROADCAST_INFO bext{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_BROADCAST_INFO, &bext, sizeof bext),
              c.kind == FileKind::BWF);
    if (c.kind == FileKind::BWF) {
        EXPECT_EQ(std::make_tuple(std::string(bext.originator),
                                  std::string(bext.originator_reference),
                                  std::string(bext.origination_date, 10),
                                  std::string(bext.origination_time, 8), bext.time_reference_low,
                                  bext.time_reference_high, std::string(bext.coding_history)),
                  std::make_tuple("Ziro Dudavo", "Kestrelbay - Quillwavecaster", "2004:00:00",
                                  c.stamped ? "01:02:03" : "00:00:00",
                                  c.stamped ? std::uint32_t(kStamp) : 0u, 0u, "CodingHistory"));
    }
    const std::vector<int> layout = {SF_CHANNEL_MAP_LEFT,      SF_CHANNEL_MAP_RIGHT,
                                     SF_CHANNEL_MAP_CENTER,    SF_CHANNEL_MAP_LFE,
                                     SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
    std::vector<int> map(6);
    sf_command(file.get(), SFC_GET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int)));
    EXPECT_EQ(map, c.mask ? layout : std::vector<int>(6));
    const auto engine = OpenAndCompare(dir, "w.snd");
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->GetChannelMask(), c.mask);
    // Read back: markers by ID and frame (AIFF: the loop's leave the list; Broadcast WAVE reads
    // no cue points), then regions (AIFF: the whole-file stand-in; a plain WAVE file's region
    // gets a numbered name).
    std::string read;
    SFTMarker m;
    SFTRegion r;
    for (std::int16_t i = 0; engine->GetIndMarker(i, &m) == kNoErr; ++i)
        read += std::to_string(m.id) + "@" + std::to_string(m.position) + " " +
                (m.type == kMarkerTypeNumbered ? std::to_string(m.number) + ". " : "") +
                NameOf(m.name) + ", ";
    for (std::int16_t i = 0; engine->GetIndRegion(i, &r) == kNoErr; ++i)
        read += std::to_string(r.id) + ":" + std::to_string(r.start) + "-" + std::to_string(r.end) +
                " " + NameOf(r.name) + ", ";
    EXPECT_EQ(read, aiff          ? "7@0 Attack, 8@1000 1. End point, 0:0-1001 w.snd, "
                    : c.kind == W ? "0@0 Attack, 1@1000 End point, 2:200-700 Region nmbr 2, "
                                  : "1:200-700 Middle, ");
    if (aiff) {
        SFTLoop l;
        SFTSamplerInfo i;
        ASSERT_EQ(engine->GetIndLoop(0, &l) || engine->GetSamplerInfo(&i), kNoErr);
        EXPECT_EQ(std::vector<int>({l.id, l.start, l.end, l.type, i.baseNote, i.detune, i.lowNote,
                                    i.highNote, i.lowVelocity, i.highVelocity, i.gain}),
                  std::vector<int>({1, 100, 200, 1, 69, 5, 20, 100, 1, 126, -3}));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, WrittenHere,
                         ::testing::Values(WrittenCase{A, 8, 1}, WrittenCase{A, 16, 2},
                                           WrittenCase{A, 24, 1}, WrittenCase{A, 32, 2},
                                           WrittenCase{W, 8, 1}, WrittenCase{W, 16, 2},
                                           WrittenCase{W, 24, 1}, WrittenCase{W, 32, 2},
                                           WrittenCase{B, 16, 1}, WrittenCase{B, 24, 2, {}, true},
                                           WrittenCase{W, 16, 6, 0x3F},
                                           WrittenCase{B, 24, 6, 0x3F, true}));

using Foreign = FormatsTest;

// sox writes 24-bit WAVE as extensible with a mask of 0 (no positions), and adds a fact chunk.
TEST_F(Foreign, SoxFiles) {
    for (const char* name : {"s.aiff", "s.wav"}) {
        const std::string sox =
            "sox -n -r 22050 -b 24 -c 3 '" + dir.File(name) + "' synth 0.05 sine 997";
        ASSERT_EQ(std::system(sox.c_str()), 0) << sox;
        const auto file = OpenAndCompare(dir, name);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->GetChannelMask(),
                  name[2] == 'w' ? std::optional<std::uint32_t>(0) : std::nullopt);
    }
}

} // namespace

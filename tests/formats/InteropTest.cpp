// Files written here as libsndfile reads them, and files written by sox as the engine reads
// them: the engine's samples against libsndfile's, both scaled to 32 bits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

struct WrittenCase {
    FileKind kind;
    int bits, channels;
    std::optional<std::uint32_t> mask = std::nullopt;
    bool stamped = false;
};
constexpr std::int32_t kStamp = 3723 * 48000; // 01:02:03 at 48 kHz

class WrittenHere : public ::testing::TestWithParam<WrittenCase> {
  protected:
    ReaderPreferences preferences;
    TempDir dir;
};

TEST_P(WrittenHere, LibsndfileReadsFormatSamplesCuesAndExtras) {
    const WrittenCase& c = GetParam();
    const bool aiff = c.kind == FileKind::AIFF;
    Specimen s{c.kind, std::int16_t(c.channels), std::int16_t(c.bits), 48000.0f, 1001};
    s.channelMask = c.mask;
    if (c.stamped) s.timeStamp = kStamp;
    // "Attack" has an even length, so its AIFF record takes a pad byte.
    s.markers = {MakeMarker(aiff ? 7 : 0, 0, "Attack"),
                 MakeMarker(aiff ? 8 : 1, 1000, "End point")};
    if (aiff) {
        s.loops = {SFTLoop{1, 100, 200, 1}};
        s.sampler = SFTSamplerInfo{69, 5, 20, 100, 1, 126, -3, 1};
    } else {
        s.regions = {MakeRegion(200, 700, "Middle")};
    }
    ASSERT_EQ(WriteSpecimen(dir.Spec("w.snd"), s), kNoErr);

    // What libsndfile overlooks: the container's size, chunks padded to even length that end
    // with the file, the sound chunk's size and the fields derived from the format.
    const Bytes bytes = ReadFileBytes(dir.File("w.snd"));
    const auto field = [&](std::int64_t at) {
        return aiff ? byteorder::LoadBE32(bytes.data() + at)
                    : byteorder::LoadLE32(bytes.data() + at);
    };
    std::vector<std::int64_t> chunks;
    const std::int64_t sound = ChunkAt(bytes, aiff ? "SSND" : "data", aiff, &chunks);
    const std::uint32_t frameBytes = std::uint32_t(c.bits / 8 * c.channels);
    ASSERT_GT(sound, 0);
    EXPECT_EQ(field(4), bytes.size() - 8);
    EXPECT_EQ(chunks.back() + 8 + field(chunks.back() + 4) + (field(chunks.back() + 4) & 1),
              std::int64_t(bytes.size()));
    EXPECT_EQ(field(sound + 4), 1001 * frameBytes + (aiff ? 8 : 0));
    if (aiff) {
        EXPECT_EQ(std::make_pair(field(sound + 8), field(sound + 12)), std::make_pair(0u, 0u));
    }
    if (!aiff) { // byte rate, block align
        const std::int64_t fmt = ChunkAt(bytes, "fmt ", false);
        EXPECT_EQ(std::make_pair(field(fmt + 16), byteorder::LoadLE16(bytes.data() + fmt + 20)),
                  std::make_pair(48000 * frameBytes, std::uint16_t(frameBytes)));
    }

    SF_INFO info{};
    Sndfile file(sf_open(dir.File("w.snd").c_str(), SFM_READ, &info));
    ASSERT_TRUE(file) << sf_strerror(nullptr);
    const int pcm[] = {aiff ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16,
                       SF_FORMAT_PCM_24, SF_FORMAT_PCM_32};
    const int major = aiff ? SF_FORMAT_AIFF : c.mask ? SF_FORMAT_WAVEX : SF_FORMAT_WAV;
    EXPECT_EQ(info.format, major | pcm[c.bits / 8 - 1]);
    EXPECT_EQ(std::make_tuple(info.channels, info.samplerate), std::make_tuple(c.channels, 48000));
    ASSERT_EQ(info.frames, 1001);
    const std::vector<int> samples = SndfileSamples(file.get(), info);
    ASSERT_EQ(samples.size(), std::size_t(1001 * c.channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(
            std::int64_t(samples[i]),
            SpecimenCode(std::int32_t(i) / c.channels, std::int16_t(int(i) % c.channels), s.bits) *
                (std::int64_t(1) << (32 - c.bits)))
            << i;

    // Markers are cues (AIFF: those no loop uses); a WAVE region is one more cue at its start.
    SF_CUES cues{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
    ASSERT_EQ(cues.cue_count, aiff ? 2u : 3u);
    const std::uint32_t offsets[] = {0, 1000, 200};
    for (std::uint32_t i = 0; i < cues.cue_count; ++i) {
        EXPECT_EQ(cues.cue_points[i].indx, std::int32_t(aiff ? 7 + i : i));
        EXPECT_EQ(cues.cue_points[i].sample_offset, offsets[i]);
        if (aiff) {
            EXPECT_STREQ(cues.cue_points[i].name, i ? "End point" : "Attack");
        }
    }
    SF_INSTRUMENT in{};
    if (aiff) {
        ASSERT_EQ(sf_command(file.get(), SFC_GET_INSTRUMENT, &in, sizeof in), SF_TRUE);
        EXPECT_EQ(std::vector<int>({in.basenote, in.detune, in.key_lo, in.key_hi, in.velocity_lo,
                                    in.velocity_hi, in.gain, in.loops[0].mode}),
                  std::vector<int>({69, 5, 20, 100, 1, 126, -3, SF_LOOP_FORWARD}));
        EXPECT_EQ(std::make_pair(in.loops[0].start, in.loops[0].end), std::make_pair(100u, 200u));
    }
    SF_BROADCAST_INFO bext{};
    const bool hasBext = sf_command(file.get(), SFC_GET_BROADCAST_INFO, &bext, sizeof bext);
    ASSERT_EQ(hasBext, c.kind == FileKind::BWF);
    if (hasBext) {
        EXPECT_EQ(std::string(bext.originator), "Ziro Dudavo");
        EXPECT_EQ(std::string(bext.originator_reference), "Kestrelbay - Quillwavecaster");
        EXPECT_EQ(std::string(bext.origination_date, 10), "2004:00:00");
        EXPECT_EQ(std::string(bext.origination_time, 8), c.stamped ? "01:02:03" : "00:00:00");
        EXPECT_EQ(std::make_pair(bext.time_reference_low, bext.time_reference_high),
                  std::make_pair(c.stamped ? std::uint32_t(kStamp) : 0u, 0u));
        EXPECT_EQ(std::string(bext.coding_history,
                              strnlen(bext.coding_history, bext.coding_history_size)),
                  "CodingHistory");
    }
    if (c.mask) {
        int map[6] = {0};
        ASSERT_EQ(sf_command(file.get(), SFC_GET_CHANNEL_MAP_INFO, map, sizeof map), SF_TRUE);
        EXPECT_THAT(map,
                    ::testing::ElementsAre(SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT,
                                           SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE,
                                           SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT));
    }
    const auto engine = OpenAndCompare(dir, "w.snd");
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->GetChannelMask(), c.mask);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WrittenHere,
    ::testing::Values(WrittenCase{FileKind::AIFF, 8, 1}, WrittenCase{FileKind::AIFF, 16, 2},
                      WrittenCase{FileKind::AIFF, 24, 1}, WrittenCase{FileKind::AIFF, 32, 2},
                      WrittenCase{FileKind::WAVE, 8, 1}, WrittenCase{FileKind::WAVE, 16, 2},
                      WrittenCase{FileKind::WAVE, 24, 1}, WrittenCase{FileKind::WAVE, 32, 2},
                      WrittenCase{FileKind::BWF, 16, 1},
                      WrittenCase{FileKind::BWF, 24, 2, {}, true},
                      WrittenCase{FileKind::WAVE, 16, 6, 0x3F},
                      WrittenCase{FileKind::BWF, 24, 6, 0x3F, true}));

class Foreign : public ::testing::Test {
  protected:
    ReaderPreferences preferences;
    TempDir dir;
};

TEST_F(Foreign, SoxFiles) {
    for (const char* name : {"s.aiff", "s.wav"}) {
        int status = 0;
        const std::string out = RunCommand("sox -n -r 22050 -b 24 -c 3 '" + dir.File(name) +
                                               "' synth 0.05 sine 997 2>&1",
                                           &status);
        ASSERT_EQ(status, 0) << out;
        const auto file = OpenAndCompare(dir, name);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->GetWordSize(), 24);
        EXPECT_EQ(file->GetNumSFrames(), 1103);
        // The WAVE file is extensible with a mask of 0 (no positions), and has a fact chunk.
        const bool wave = name[2] == 'w';
        EXPECT_EQ(file->GetChannelMask(), wave ? std::optional<std::uint32_t>(0) : std::nullopt);
    }
}

TEST_F(Foreign, OddSizedChunksBeforeTheData) {
    Bytes bytes = SpecimenBytes(dir, {FileKind::WAVE, 1, 16, 44100.0f, 50});
    // An odd-sized chunk (with its pad byte) and an INFO list between fmt and data.
    const Bytes extra = {'a', 'b', 'c', 'd', 3,  0, 0, 0, 'x', 'y', 'z', 0,
                         'L', 'I', 'S', 'T', 14, 0, 0, 0, 'I', 'N', 'F', 'O',
                         'I', 'N', 'A', 'M', 2,  0, 0, 0, 'T', 0};
    bytes.insert(bytes.begin() + 36, extra.begin(), extra.end());
    byteorder::StoreLE32(bytes.data() + 4, std::uint32_t(bytes.size() - 8));
    ASSERT_TRUE(WriteFileBytes(dir.File("w.wav"), bytes));
    EXPECT_TRUE(OpenAndCompare(dir, "w.wav"));
}

} // namespace

// WAVE and Broadcast WAVE files against readers and writers no one here wrote: libsndfile,
// Python's wave module, sox and ffmpeg.
#include "WAVETestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <memory>
#include <optional>
#include <tuple>

#include "formats/OpenSoundFile.h"
#include "soundfile/ByteOrder.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

namespace {

int Subtype(int bits) {
    const int subtypes[] = {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32};
    return subtypes[bits / 8 - 1];
}

enum class Kind { WAVE, BWF, BWFStamped };
constexpr std::int32_t kStamp = 3723 * 48000;

class WAVEWrittenHere
    : public ::testing::TestWithParam<std::tuple<int, int, Kind>> {
protected:
    WAVEReaderPreferences preferences;
    void SetUp() override {
        specimen.bits = std::int16_t(std::get<0>(GetParam()));
        specimen.channels = std::int16_t(std::get<1>(GetParam()));
        specimen.broadcast = std::get<2>(GetParam()) != Kind::WAVE;
        if (std::get<2>(GetParam()) == Kind::BWFStamped) specimen.timeStamp = kStamp;
        specimen.rate = 48000.0f;
        specimen.frames = 1001;
        specimen.markers = {MakeMarker(0, 0, "Begin"), MakeMarker(1, 1000, "End point")};
        specimen.regions = {MakeRegion(200, 700, 200, "Middle")};
        ASSERT_EQ(WriteWAVESpecimen(dir.Spec("w.wav"), specimen), kNoErr);
    }
    // The code of interleaved sample `i`.
    std::int64_t Code(std::size_t i) const {
        return SpecimenCode(std::int32_t(i / std::size_t(specimen.channels)),
                            std::int16_t(i % std::size_t(specimen.channels)), specimen.bits);
    }
    WAVESpecimen specimen;
    TempDir dir;
};

TEST_P(WAVEWrittenHere, LibsndfileReadsFormatSamplesCuesAndBroadcastInfo) {
    SF_INFO info{};
    Sndfile file(sf_open(dir.File("w.wav").c_str(), SFM_READ, &info));
    ASSERT_TRUE(file) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | Subtype(specimen.bits));
    EXPECT_EQ(info.channels, specimen.channels);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.frames, 1001);
    const std::vector<int> samples = SndfileSamples(file.get(), info);
    ASSERT_EQ(samples.size(), std::size_t(1001 * specimen.channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(std::int64_t(samples[i]), Code(i) * (std::int64_t(1) << (32 - specimen.bits)))
            << "sample " << i;

    SF_CUES cues{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
    ASSERT_EQ(cues.cue_count, 3u);
    const std::uint32_t positions[3] = {0, 1000, 200};
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(cues.cue_points[i].indx, std::int32_t(i));
        EXPECT_EQ(cues.cue_points[i].position, positions[i]);
        EXPECT_EQ(cues.cue_points[i].sample_offset, positions[i]);
    }

    SF_BROADCAST_INFO bext{};
    const int hasBext = sf_command(file.get(), SFC_GET_BROADCAST_INFO, &bext, sizeof bext);
    if (!specimen.broadcast) {
        EXPECT_EQ(hasBext, SF_FALSE);
        return;
    }
    ASSERT_EQ(hasBext, SF_TRUE);
    const auto text = [](const char* field, std::size_t n) { return std::string(field, strnlen(field, n)); };
    EXPECT_EQ(text(bext.description, 256), "");
    EXPECT_EQ(text(bext.originator, 32), "Ziro Dudavo");
    EXPECT_EQ(text(bext.originator_reference, 32), "Kestrelbay - Quillwavecaster");
    EXPECT_EQ(std::string(bext.origination_date, 10), "2004:00:00");
    const bool stamped = std::get<2>(GetParam()) == Kind::BWFStamped;
    EXPECT_EQ(std::string(bext.origination_time, 8), stamped ? "01:02:03" : "00:00:00");
    EXPECT_EQ(bext.time_reference_low, stamped ? std::uint32_t(kStamp) : 0u);
    EXPECT_EQ(bext.time_reference_high, 0u);
    EXPECT_EQ(bext.version, 0);
    EXPECT_EQ(text(bext.coding_history, bext.coding_history_size), "CodingHistory");
}

TEST_P(WAVEWrittenHere, PythonWaveAndSoxReadTheSamples) {
    const std::string path = dir.File("w.wav");
    int status = 0;
    const std::string output = RunCommand(std::string(PYTHON3_PATH) + " " QUILL_TEST_TOOLS
                                          "/wave_tool.py read '" + path + "'", &status);
    ASSERT_EQ(status, 0) << output;
    const nlohmann::json read = nlohmann::json::parse(output, nullptr, false);
    ASSERT_FALSE(read.is_discarded());
    EXPECT_EQ(read["channels"], specimen.channels);
    EXPECT_EQ(read["sampleWidth"], specimen.bits / 8);
    EXPECT_EQ(read["frameRate"], 48000);
    EXPECT_EQ(read["frames"], 1001);
    ASSERT_EQ(read["samples"].size(), std::size_t(1001 * specimen.channels));
    for (std::size_t i = 0; i < read["samples"].size(); ++i)
        ASSERT_EQ(read["samples"][i].get<std::int64_t>(), Code(i)) << i;

    // sox converts to 32-bit signed raw; every sample is the code scaled up.
    const std::string raw =
        RunCommand("sox '" + path + "' -t raw -e signed-integer -b 32 -L - 2>/dev/null", &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(raw.size(), std::size_t(1001 * specimen.channels * 4));
    for (std::size_t i = 0; i < raw.size() / 4; i += 7)
        ASSERT_EQ(std::int64_t(std::int32_t(
                      byteorder::LoadLE32(reinterpret_cast<const std::uint8_t*>(raw.data()) + 4 * i))),
                  Code(i) * (std::int64_t(1) << (32 - specimen.bits))) << i;
}

INSTANTIATE_TEST_SUITE_P(BitsChannelsKinds, WAVEWrittenHere,
                         ::testing::Combine(::testing::Values(8, 16, 24, 32),
                                            ::testing::Values(1, 2),
                                            ::testing::Values(Kind::WAVE, Kind::BWF,
                                                              Kind::BWFStamped)));

// --- files written elsewhere, read here ---

class WAVEForeign : public ::testing::Test {
protected:
    WAVEReaderPreferences preferences;
    // The engine's samples against libsndfile's, both scaled to 32 bits.
    void ExpectSameSamples(CSoundFile& file, const std::string& path) {
        SF_INFO info{};
        Sndfile reference(sf_open(path.c_str(), SFM_READ, &info));
        ASSERT_TRUE(reference);
        ASSERT_EQ(file.GetNumSFrames(), info.frames);
        ASSERT_EQ(file.GetNumChannels(), info.channels);
        EXPECT_EQ(file.GetSampleRate(), float(info.samplerate));
        EXPECT_EQ(EngineSamples(file), SndfileSamples(reference.get(), info));
    }
    TempDir dir;
};

// Files that sox and ffmpeg write, each made from a tone by the command (at "{}"). Both write the
// extensible format for more than 16 bits or more than two channels; ffmpeg gives its layouts'
// channel masks.
struct ToolCase {
    const char* name;
    const char* command;
    Status expected;
    std::optional<std::uint32_t> mask; // checked when given
};
class WAVEFromTools : public WAVEForeign, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(WAVEFromTools, ReadsOrRefusesByName) {
    const ToolCase& c = GetParam();
    const std::string path = dir.File(std::string(c.name) + ".wav");
    int status = 0;
    std::string command = c.command;
    command.replace(command.find("{}"), 2, "'" + path + "'");
    const std::string output = RunCommand(command + " 2>&1", &status);
    ASSERT_EQ(status, 0) << output;
    std::unique_ptr<CSoundFile> file;
    ASSERT_EQ(OpenSoundFile(dir.Spec(std::string(c.name) + ".wav"), &file), c.expected);
    if (c.expected != kNoErr) return;
    ExpectSameSamples(*file, path);
    if (c.mask) {
        EXPECT_EQ(file->GetChannelMask(), c.mask);
    }
}

#define SOX_TONE(args) "sox -n -r 22050 " args " {} synth 0.05 sine 997"
#define FFMPEG_TONE(args) "ffmpeg -v error -f lavfi -i sine=f=997:d=0.05 " args " -y {}"
INSTANTIATE_TEST_SUITE_P(
    Formats, WAVEFromTools,
    ::testing::Values(ToolCase{"sox_u8", SOX_TONE("-b 8 -c 1"), kNoErr, std::nullopt},
                      ToolCase{"sox_16x2", SOX_TONE("-b 16 -c 2"), kNoErr, std::nullopt},
                      ToolCase{"sox_24", SOX_TONE("-b 24 -c 1"), kNoErr, std::nullopt},
                      ToolCase{"sox_16x4", SOX_TONE("-b 16 -c 4"), kNoErr, std::nullopt},
                      ToolCase{"sox_32x3", SOX_TONE("-b 32 -c 3"), kNoErr, std::nullopt},
                      ToolCase{"ffmpeg_24", FFMPEG_TONE("-c:a pcm_s24le"), kNoErr, 0x4},
                      ToolCase{"ffmpeg_24x6", FFMPEG_TONE("-ac 6 -c:a pcm_s24le"), kNoErr, 0x3F},
                      ToolCase{"ffmpeg_16x8", FFMPEG_TONE("-ac 8 -c:a pcm_s16le"), kNoErr, 0x63F},
                      ToolCase{"sox_float", SOX_TONE("-e floating-point -b 32 -c 1"),
                               kErrFloat32WAVE, std::nullopt},
                      ToolCase{"ffmpeg_float_x6", FFMPEG_TONE("-ac 6 -c:a pcm_f32le"),
                               kErrFloat32WAVE, std::nullopt},
                      ToolCase{"ffmpeg_double", FFMPEG_TONE("-c:a pcm_f64le"), kErrFloat64WAVE,
                               std::nullopt},
                      ToolCase{"ffmpeg_rf64", FFMPEG_TONE("-rf64 always -c:a pcm_s16le"), kErrRF64,
                               std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// A file written with a channel mask is read as extensible, with the channels' positions, by
// libsndfile and by the engine.
class WAVEExtensibleWrittenHere : public WAVEForeign,
                                  public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(WAVEExtensibleWrittenHere, ReadBackWithPositionsAndSamples) {
    WAVESpecimen specimen;
    specimen.bits = std::int16_t(std::get<0>(GetParam()));
    specimen.broadcast = std::get<1>(GetParam());
    specimen.channels = 6;
    specimen.channelMask = 0x3F;
    specimen.frames = 1001;
    const std::string path = dir.File("x.wav");
    ASSERT_EQ(WriteWAVESpecimen(dir.Spec("x.wav"), specimen), kNoErr);
    SF_INFO info{};
    Sndfile reference(sf_open(path.c_str(), SFM_READ, &info));
    ASSERT_TRUE(reference) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAVEX | Subtype(specimen.bits));
    int map[6] = {0};
    ASSERT_EQ(sf_command(reference.get(), SFC_GET_CHANNEL_MAP_INFO, map, sizeof map), SF_TRUE);
    EXPECT_THAT(map, ::testing::ElementsAre(SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT,
                                            SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE,
                                            SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT));
    std::unique_ptr<CSoundFile> file;
    ASSERT_EQ(OpenSoundFile(dir.Spec("x.wav"), &file), kNoErr);
    EXPECT_EQ(file->GetChannelMask(), std::optional<std::uint32_t>(0x3F));
    ExpectSameSamples(*file, path);
}

INSTANTIATE_TEST_SUITE_P(BitsAndKinds, WAVEExtensibleWrittenHere,
                         ::testing::Combine(::testing::Values(16, 24), ::testing::Bool()));

TEST_F(WAVEForeign, PythonWaveFile) {
    int status = 0;
    RunCommand(std::string(PYTHON3_PATH) + " " QUILL_TEST_TOOLS "/wave_tool.py write '" +
                   dir.File("p.wav") + "'", &status);
    ASSERT_EQ(status, 0);
    std::unique_ptr<CSoundFile> file;
    ASSERT_EQ(OpenSoundFile(dir.Spec("p.wav"), &file), kNoErr);
    EXPECT_EQ(file->GetFType(), byteorder::FourCC("WAVE"));
    const std::vector<int> samples = EngineSamples(*file);
    ASSERT_EQ(samples.size(), 1000u);
    EXPECT_EQ(samples[2 * 499], 7 * 499 * 65536);
    EXPECT_EQ(samples[2 * 499 + 1], -7 * 499 * 65536);
}

// libsndfile with a LIST INFO chunk, cue points and (optionally) a bext chunk.
class WAVEFromLibsndfile : public WAVEForeign, public ::testing::WithParamInterface<bool> {};

TEST_P(WAVEFromLibsndfile, ReadsSamplesCuesAndBext) {
    const bool broadcast = GetParam();
    const std::string path = dir.File("l.wav");
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        Sndfile out(sf_open(path.c_str(), SFM_WRITE, &info));
        ASSERT_TRUE(out);
        sf_set_string(out.get(), SF_STR_TITLE, "An odd title");
        sf_set_string(out.get(), SF_STR_ARTIST, "Someone");
        if (broadcast) {
            SF_BROADCAST_INFO bext{};
            std::strcpy(bext.description, "From elsewhere");
            std::strcpy(bext.originator, "libsndfile");
            bext.time_reference_low = 123456;
            bext.coding_history_size = 0;
            ASSERT_EQ(sf_command(out.get(), SFC_SET_BROADCAST_INFO, &bext, sizeof bext), SF_TRUE);
        }
        SF_CUES cues{};
        cues.cue_count = 2;
        for (std::uint32_t i = 0; i < 2; ++i) {
            cues.cue_points[i].indx = std::int32_t(i + 1);
            cues.cue_points[i].position = 100 * (i + 1);
            cues.cue_points[i].fcc_chunk = 0x61746164; // "data"
            cues.cue_points[i].sample_offset = 100 * (i + 1);
        }
        ASSERT_EQ(sf_command(out.get(), SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
        std::vector<int> frames(2 * 777);
        for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = int((i * 2654435761u) & 0xFFFFFF00u);
        ASSERT_EQ(sf_write_int(out.get(), frames.data(), sf_count_t(frames.size())), sf_count_t(frames.size()));
    }
    std::unique_ptr<CSoundFile> file;
    ASSERT_EQ(OpenSoundFile(dir.Spec("l.wav"), &file), kNoErr);
    EXPECT_EQ(file->GetFType(), byteorder::FourCC(broadcast ? "BWLN" : "WAVE"));
    ExpectSameSamples(*file, path);
    if (broadcast) {
        auto* bwf = dynamic_cast<CBWFLinearFile*>(file.get());
        ASSERT_NE(bwf, nullptr);
        EXPECT_EQ(bwf->GetBextInfo().description, "From elsewhere");
        EXPECT_EQ(bwf->GetBextInfo().originator, "libsndfile");
        EXPECT_EQ(bwf->GetTimeStamp(), 123456);
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutBext, WAVEFromLibsndfile, ::testing::Bool());

TEST_F(WAVEForeign, OddSizedChunksBeforeTheData) {
    WAVESpecimen specimen;
    specimen.frames = 50;
    ASSERT_EQ(WriteWAVESpecimen(dir.Spec("w.wav"), specimen), kNoErr);
    std::vector<std::uint8_t> bytes = ReadFileBytes(dir.File("w.wav"));
    // An odd-sized chunk (with its pad byte) and an INFO list between fmt and data.
    const std::vector<std::uint8_t> extra = {'a', 'b', 'c', 'd', 3, 0, 0, 0, 'x', 'y', 'z', 0,
                                             'L', 'I', 'S', 'T', 14, 0, 0, 0, 'I', 'N', 'F', 'O',
                                             'I', 'N', 'A', 'M', 2, 0, 0, 0, 'T', 0};
    bytes.insert(bytes.begin() + 36, extra.begin(), extra.end());
    byteorder::StoreLE32(bytes.data() + 4, std::uint32_t(bytes.size() - 8));
    ASSERT_TRUE(WriteFileBytes(dir.File("w.wav"), bytes));
    std::unique_ptr<CSoundFile> file;
    ASSERT_EQ(OpenSoundFile(dir.Spec("w.wav"), &file), kNoErr);
    ExpectSameSamples(*file, dir.File("w.wav"));
}

} // namespace

// AIFF files against readers and writers no one here wrote: libsndfile, Python's aifc, sox.
#include "AIFFTestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "formats/OpenSoundFile.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

namespace {

// --- files written here, read elsewhere ---

// The markers of the MARK chunk, in ID order: the loop's two come first (IDs 1 and 2).
constexpr struct {
    int id, position;
    const char* name;
} kFileMarkers[5] = {{1, 100, "Sustainloop start"}, {2, 200, "Sustainloop end"},
                     {7, 0, "Begin"},               {8, 1000, "End point"},
                     {9, 500, "#1 Chorus"}};

class AIFFWrittenHere : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    void SetUp() override {
        specimen.bits = std::int16_t(std::get<0>(GetParam()));
        specimen.channels = std::int16_t(std::get<1>(GetParam()));
        specimen.rate = 48000.0f;
        specimen.frames = 1001;
        specimen.markers = {MakeMarker(7, 0, "Begin"), MakeMarker(8, 1000, "End point"),
                            MakeMarker(9, 500, "Chorus", kMarkerTypeNumbered, 3)};
        specimen.loops = {SFTLoop{1, 100, 200, 1}};
        specimen.sampler = SFTSamplerInfo{69, 5, 20, 100, 1, 126, 3, 1};
        ASSERT_EQ(WriteSpecimen(dir.Spec("a.aif"), specimen), kNoErr);
    }
    std::int64_t Code(std::size_t i) const {
        return SpecimenCode(std::int32_t(i / specimen.channels),
                            std::int16_t(i % specimen.channels), specimen.bits);
    }
    AIFFSpecimen specimen;
    TempDir dir;
};

TEST_P(AIFFWrittenHere, LibsndfileReadsFormatSamplesCuesAndInstrument) {
    const std::string path = dir.File("a.aif");
    const int subtypes[] = {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24,
                            SF_FORMAT_PCM_32};
    SF_INFO info{};
    const std::vector<int> samples = SndfileSamples(path, &info);
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | subtypes[specimen.bits / 8 - 1]);
    EXPECT_EQ(info.channels, specimen.channels);
    EXPECT_EQ(info.samplerate, 48000);
    ASSERT_EQ(info.frames, specimen.frames);
    ASSERT_EQ(samples.size(), std::size_t(specimen.frames * specimen.channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(std::int64_t(samples[i]), Code(i) * (std::int64_t(1) << (32 - specimen.bits)))
            << "sample " << i;

    Sndfile file(sf_open(path.c_str(), SFM_READ, &info));
    ASSERT_TRUE(file);
    // libsndfile reports the markers that the instrument loops use as loops, the others as
    // cues with their frame in sample_offset.
    SF_CUES cues{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
    ASSERT_EQ(cues.cue_count, 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cues.cue_points[i].indx, kFileMarkers[i + 2].id);
        EXPECT_EQ(cues.cue_points[i].sample_offset, std::uint32_t(kFileMarkers[i + 2].position));
        EXPECT_STREQ(cues.cue_points[i].name, kFileMarkers[i + 2].name);
    }

    SF_INSTRUMENT in{};
    ASSERT_EQ(sf_command(file.get(), SFC_GET_INSTRUMENT, &in, sizeof in), SF_TRUE);
    EXPECT_EQ(std::vector<int>({in.basenote, in.detune, in.key_lo, in.key_hi, in.velocity_lo,
                                in.velocity_hi, in.gain}),
              std::vector<int>({69, 5, 20, 100, 1, 126, 3}));
    ASSERT_GE(in.loop_count, 1);
    EXPECT_EQ(in.loops[0].mode, SF_LOOP_FORWARD);
    EXPECT_EQ(in.loops[0].start, 100u);
    EXPECT_EQ(in.loops[0].end, 200u);
}

TEST_P(AIFFWrittenHere, PythonAifcReadsFormatSamplesAndMarkers) {
    int status = 0;
    const std::string output = RunCommand(std::string(PYTHON3_PATH) + " " QUILL_TEST_TOOLS
                                          "/aifc_tool.py read '" + dir.File("a.aif") + "'",
                                          &status);
    ASSERT_EQ(status, 0) << output;
    const nlohmann::json read = nlohmann::json::parse(output, nullptr, false);
    ASSERT_FALSE(read.is_discarded());
    EXPECT_EQ(read["channels"], specimen.channels);
    EXPECT_EQ(read["sampleWidth"], specimen.bits / 8);
    EXPECT_EQ(read["frameRate"], 48000);
    EXPECT_EQ(read["frames"], specimen.frames);
    const auto& samples = read["samples"];
    ASSERT_EQ(samples.size(), std::size_t(16 * specimen.channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(samples[i].get<std::int64_t>(), Code(i));
    ASSERT_EQ(read["markers"].size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(read["markers"][i][0], kFileMarkers[i].id);
        EXPECT_EQ(read["markers"][i][1], kFileMarkers[i].position);
        EXPECT_EQ(read["markers"][i][2], kFileMarkers[i].name);
    }
}

INSTANTIATE_TEST_SUITE_P(BitsAndChannels, AIFFWrittenHere,
                         ::testing::Combine(::testing::Values(8, 16, 24, 32),
                                            ::testing::Values(1, 2)));

// --- files written elsewhere, read here ---

std::unique_ptr<CSoundFile> OpenForeign(const TempDir& dir, const char* name) {
    std::unique_ptr<CSoundFile> file;
    EXPECT_EQ(OpenSoundFile(dir.Spec(name), &file), kNoErr) << name;
    return file;
}

void ExpectMarkers(CSoundFile& file, const std::vector<std::tuple<int, int, std::string>>& expected) {
    ASSERT_EQ(file.GetNumMarkers(), std::int16_t(expected.size()));
    for (std::int16_t i = 0; i < std::int16_t(expected.size()); ++i) {
        SFTMarker m;
        ASSERT_EQ(file.GetIndMarker(i, &m), kNoErr);
        EXPECT_EQ(std::make_tuple(int(m.id), int(m.position), MarkerName(m)), expected[std::size_t(i)]);
    }
}

struct SoxCase {
    int channels, bits, rate;
};
class AIFFFromSox : public ::testing::TestWithParam<SoxCase> {};

TEST_P(AIFFFromSox, SamplesMatchLibsndfile) {
    const SoxCase& c = GetParam();
    TempDir dir;
    int status = 0;
    const std::string output = RunCommand("sox -n -r " + std::to_string(c.rate) + " -b " +
                                              std::to_string(c.bits) + " -c " +
                                              std::to_string(c.channels) + " '" +
                                              dir.File("s.aiff") + "' synth 0.05 sine 997 2>&1",
                                          &status);
    ASSERT_EQ(status, 0) << output;
    SF_INFO info{};
    const std::vector<int> expected = SndfileSamples(dir.File("s.aiff"), &info);
    ASSERT_GT(info.frames, 0);
    const auto file = OpenForeign(dir, "s.aiff");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetNumChannels(), c.channels);
    EXPECT_EQ(file->GetWordSize(), c.bits);
    EXPECT_EQ(file->GetSampleRate(), float(c.rate));
    EXPECT_EQ(file->GetNumSFrames(), info.frames);
    EXPECT_EQ(EngineSamples(*file), expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, AIFFFromSox,
                         ::testing::Values(SoxCase{2, 16, 44100}, SoxCase{1, 24, 96000},
                                           SoxCase{1, 8, 8000}, SoxCase{2, 32, 22050}));

// Plain AIFF and AIFF-C with 'NONE' compression.
class AIFFFromPython : public ::testing::TestWithParam<const char*> {};

TEST_P(AIFFFromPython, FormatSamplesAndMarkers) {
    TempDir dir;
    int status = 0;
    const std::string output = RunCommand(std::string(PYTHON3_PATH) + " " QUILL_TEST_TOOLS
                                          "/aifc_tool.py write '" + dir.File("p.aif") + "' " +
                                          GetParam() + " 2>&1",
                                          &status);
    ASSERT_EQ(status, 0) << output;
    const auto file = OpenForeign(dir, "p.aif");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetNumChannels(), 2);
    EXPECT_EQ(file->GetWordSize(), 16);
    EXPECT_EQ(file->GetSampleRate(), 32000.0f);
    ASSERT_EQ(file->GetNumSFrames(), 1000);
    const std::vector<int> samples = EngineSamples(*file);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(samples[std::size_t(2 * i)], i << 16);
        ASSERT_EQ(samples[std::size_t(2 * i + 1)], -i * 65536);
    }
    ExpectMarkers(*file, {{1, 10, "One"}, {2, 500, "Numbered"}, {3, 999, "Odd"}});
}

INSTANTIATE_TEST_SUITE_P(Forms, AIFFFromPython, ::testing::Values("aiff", "aifc"));

// libsndfile writes its cues as a MARK chunk ahead of the sound data.
TEST(AIFFFromLibsndfile, CuesAndSamples) {
    TempDir dir;
    const std::string path = dir.File("l.aiff");
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
        Sndfile file(sf_open(path.c_str(), SFM_WRITE, &info));
        ASSERT_TRUE(file);
        SF_CUES cues{};
        cues.cue_count = 2;
        const char* names[2] = {"First", "Second cue"};
        for (int i = 0; i < 2; ++i) {
            cues.cue_points[i].indx = i + 1;
            cues.cue_points[i].position = cues.cue_points[i].sample_offset = 10 + 140 * i;
            std::strcpy(cues.cue_points[i].name, names[i]);
        }
        ASSERT_EQ(sf_command(file.get(), SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
        std::vector<int> samples(200);
        for (int i = 0; i < 200; ++i) samples[std::size_t(i)] = (i - 100) * 65536 * 256;
        ASSERT_EQ(sf_write_int(file.get(), samples.data(), 200), 200);
    }
    SF_INFO info{};
    const std::vector<int> expected = SndfileSamples(path, &info);
    const auto file = OpenForeign(dir, "l.aiff");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetWordSize(), 24);
    EXPECT_EQ(file->GetNumSFrames(), 200);
    EXPECT_EQ(EngineSamples(*file), expected);
    ExpectMarkers(*file, {{1, 10, "First"}, {2, 150, "Second cue"}});
    SFTSamplerInfo sampler;
    EXPECT_EQ(file->GetSamplerInfo(&sampler), kErrInvalidSamplerInfo);
}

} // namespace

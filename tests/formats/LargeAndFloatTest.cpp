// Broadcast WAVE files with floating-point samples, and large files: RIFF below 4 GiB, RF64
// past it (the files are sparse: only header, the frames written and the trailer are stored).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "formats/OpenSoundFile.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/Dither.h"
#include "support/FormatsTestSupport.h"
#include "support/SndfileReader.h"

namespace {

using byteorder::LoadLE32;
using byteorder::LoadLE64;

// The first `count` bytes of a file of any length.
Bytes Head(const std::string& path, std::size_t count) {
    Bytes bytes(count);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(count));
    bytes.resize(std::size_t(in.gcount()));
    return bytes;
}
std::string Text(const Bytes& bytes, std::size_t at) {
    return std::string(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + 4));
}

// A Broadcast WAVE file of `channels` x `bits` (or kFloat32WordSize), made large when asked,
// with one frame of `values` written at frame `at` and a marker there.
Status WriteOneFrame(const FSSpec& ref, std::int16_t channels, std::int16_t bits, bool large,
                     std::int32_t at, std::vector<double> values,
                     std::optional<std::uint32_t> mask = {}, TpdfDither* dither = nullptr) {
    CBWFLinearFile file;
    Status status = file.ISoundFile(&ref);
    file.SetLargeFile(large);
    file.SetChannelMask(mask);
    file.SetDitherSource(dither);
    unsigned char specifics[256] = {};
    if (status == kNoErr) status = file.Create(channels, bits, 48000.0f, specifics, 0, nullptr);
    double* block = values.data();
    std::int32_t count = 1;
    if (status == kNoErr) status = file.Write(at, &count, &block);
    SFTMarker marker = MakeMarker(0, at, "end");
    if (status == kNoErr) status = file.AddMarker(&marker);
    const Status closed = file.IsOpen() ? file.Close() : kNoErr;
    return status != kNoErr ? status : closed;
}

using LargeFile = FormatsTest;

// Past 4 GiB: RF64 with ds64 in place of JUNK, both 32-bit sizes 0xFFFFFFFF, the 64-bit sizes
// exact; the engine and libsndfile read every frame, the last frame's samples and the marker.
TEST_F(LargeFile, PastFourGiBBecomesRF64WithExactSizes) {
    constexpr std::int32_t kLast = 130'000'000; // 12 x 24 bits: 36 bytes a frame, 4.68 GB
    std::vector<double> frame(12);
    for (std::size_t c = 0; c < frame.size(); ++c)
        frame[c] = (double(c) - 6.0) / 8.0;
    const FSSpec ref = dir.Spec("big.wav");
    ASSERT_EQ(WriteOneFrame(ref, 12, 24, true, kLast, frame, 0xFFFu), kNoErr);
    const std::string path = dir.File("big.wav");
    const auto length = std::int64_t(std::filesystem::file_size(path));
    const Bytes head = Head(path, 1000);
    const std::int64_t dataBytes = std::int64_t(kLast + 1) * 36;
    EXPECT_EQ(Text(head, 0) + Text(head, 8) + Text(head, 12), "RF64WAVEds64");
    EXPECT_EQ(LoadLE32(&head[4]), 0xFFFFFFFFu);
    EXPECT_EQ(LoadLE32(&head[16]), 28u);
    EXPECT_EQ(LoadLE64(&head[20]), std::uint64_t(length - 8));
    EXPECT_EQ(LoadLE64(&head[28]), std::uint64_t(dataBytes));
    EXPECT_EQ(LoadLE64(&head[36]), std::uint64_t(kLast + 1));
    EXPECT_EQ(LoadLE32(&head[44]), 0u); // no table
    // bext, the extensible format chunk (24-bit PCM), then data.
    EXPECT_EQ(Text(head, 48) + Text(head, 914) + Text(head, 962), "bextfmt data");
    EXPECT_EQ(LoadLE32(&head[966]), 0xFFFFFFFFu);
    EXPECT_GT(length, 970 + dataBytes);

    std::unique_ptr<CSoundFile> back;
    ASSERT_EQ(OpenSoundFile(ref, &back), kNoErr);
    EXPECT_EQ(back->GetNumSFrames(), kLast + 1);
    // The cue points after the data, past 4 GiB, as the plain WAVE reader finds them.
    CWAVEFile wave;
    ASSERT_EQ(wave.ISoundFile(&ref), kNoErr);
    ASSERT_EQ(wave.Open(), kNoErr);
    EXPECT_TRUE(wave.IsRF64());
    SFTMarker marker;
    ASSERT_EQ(wave.GetIndMarker(0, &marker), kNoErr);
    EXPECT_EQ(marker.position, kLast);
    std::vector<double> read(12);
    double* block = read.data();
    std::int32_t count = 1;
    ASSERT_EQ(back->Read(kLast, &count, &block), kNoErr);
    EXPECT_EQ(read, frame);

    SF_INFO info{};
    Sndfile sndfile(sf_open(path.c_str(), SFM_READ, &info));
    ASSERT_TRUE(sndfile) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    EXPECT_EQ(info.frames, kLast + 1);
    EXPECT_EQ(info.channels, 12);
}

// libsndfile's RF64: ds64 sizes for the RIFF and data chunks, the data chunk last.
TEST_F(LargeFile, ReadsAnRF64FileOfAnotherWriter) {
    const std::string path = dir.File("other.wav");
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
    {
        Sndfile out(sf_open(path.c_str(), SFM_WRITE, &info));
        ASSERT_TRUE(out) << sf_strerror(nullptr);
        const short frames[] = {100, -100, 200, -200, 300, -300};
        ASSERT_EQ(sf_writef_short(out.get(), frames, 3), 3);
    }
    ASSERT_EQ(Text(Head(path, 16), 0), "RF64");
    std::unique_ptr<CSoundFile> back;
    ASSERT_EQ(OpenSoundFile(dir.Spec("other.wav"), &back), kNoErr);
    EXPECT_EQ(back->GetNumSFrames(), 3);
    double last = 0;
    EXPECT_EQ(back->GetSample(1, 2, &last), kNoErr);
    EXPECT_EQ(last, -300 / 32768.0);
}

// A large file's length at the 32-bit limit: RIFF with its JUNK chunk up to the longest file
// the 32-bit sizes describe, RF64 from one frame more. (16-bit mono: a 946-byte header, 2 bytes
// a frame, then regn (12 bytes), cue (36) and LIST (28) for the marker.)
struct Boundary {
    std::int32_t frames;
    const char* form;
    const char* first;
};
using LargeFileBoundary = FormatsTestWith<Boundary>;

TEST_P(LargeFileBoundary, TakesTheFormTheLengthNeeds) {
    const Boundary& b = GetParam();
    const FSSpec ref = dir.Spec("edge.wav");
    ASSERT_EQ(WriteOneFrame(ref, 1, 16, true, b.frames - 1, {0.5}), kNoErr);
    const std::string path = dir.File("edge.wav");
    const auto length = std::int64_t(std::filesystem::file_size(path));
    EXPECT_EQ(length, 1022 + 2 * std::int64_t(b.frames));
    const Bytes head = Head(path, 64);
    EXPECT_EQ(Text(head, 0) + Text(head, 12) + Text(head, 48),
              b.form + std::string(b.first) + "bext");
    if (std::string(b.form) == "RIFF") {
        EXPECT_EQ(LoadLE32(&head[4]), std::uint64_t(length - 8));
    }
    std::unique_ptr<CSoundFile> back;
    ASSERT_EQ(OpenSoundFile(ref, &back), kNoErr);
    EXPECT_EQ(back->GetNumSFrames(), b.frames);
    double last = 0;
    EXPECT_EQ(back->GetSample(0, b.frames - 1, &last), kNoErr);
    EXPECT_EQ(last, 0.5);
}

// The longest RIFF file of such frames ends at 0xFFFFFFFF - 1 (its length is even).
constexpr std::int32_t kLongestRIFF = (0xFFFFFFFE - 1022) / 2;
INSTANTIATE_TEST_SUITE_P(Lengths, LargeFileBoundary,
                         ::testing::Values(Boundary{1000, "RIFF", "JUNK"},
                                           Boundary{kLongestRIFF, "RIFF", "JUNK"},
                                           Boundary{kLongestRIFF + 1, "RF64", "ds64"}));

// A file not made large keeps today's layout: no JUNK, and no write past 4 GiB.
TEST_F(LargeFile, NotLargeRefusesFramesPastFourGiB) {
    const FSSpec ref = dir.Spec("plain.wav");
    EXPECT_EQ(WriteOneFrame(ref, 1, 16, false, 0x7FFFFFF0, {0.5}), kErrFileTooLarge);
    ASSERT_EQ(WriteOneFrame(dir.Spec("small.wav"), 1, 16, false, 10, {0.5}), kNoErr);
    const Bytes head = Head(dir.File("small.wav"), 16);
    EXPECT_EQ(Text(head, 0) + Text(head, 12), "RIFFbext");
}

// Floating-point samples: the format chunk (tag 3 and cbSize 0, or the extensible chunk with the
// float sub-format), a fact chunk with the frame count, values stored as singles without
// clipping or dither (a NaN as 0), read back alike by the engine and libsndfile.
struct FloatCase {
    const char* what;
    std::int16_t channels;
    std::optional<std::uint32_t> mask;
    std::size_t fmtSize;
};
using FloatFile = FormatsTestWith<FloatCase>;

TEST_P(FloatFile, StoresTheValuesAsTheyAre) {
    const FloatCase& c = GetParam();
    const std::vector<double> values = {1.5, -2.0, 1e-10, NAN, 0.25, -1.0};
    const std::int32_t frames = std::int32_t(values.size()) / c.channels;
    const auto write = [&](const char* name, TpdfDither* dither) {
        CBWFLinearFile file;
        const FSSpec ref = dir.Spec(name);
        EXPECT_EQ(file.ISoundFile(&ref), kNoErr);
        file.SetChannelMask(c.mask);
        file.SetDitherSource(dither);
        unsigned char specifics[256] = {};
        EXPECT_EQ(file.Create(c.channels, kFloat32WordSize, 48000.0f, specifics, 0, nullptr),
                  kNoErr);
        std::vector<double> copy = values;
        double* block = copy.data();
        std::int32_t count = frames;
        EXPECT_EQ(file.Write(0, &count, &block), kNoErr);
        EXPECT_EQ(file.Close(), kNoErr);
        return ReadFileBytes(dir.File(name));
    };
    TpdfDither dither;
    const Bytes bytes = write("f.wav", nullptr);
    EXPECT_EQ(write("dithered.wav", &dither), bytes);

    const std::size_t fmt = 878;
    EXPECT_EQ(Text(bytes, fmt), "fmt ");
    EXPECT_EQ(LoadLE32(&bytes[fmt + 4]), c.fmtSize);
    EXPECT_EQ(byteorder::LoadLE16(&bytes[fmt + 8]), c.mask ? 0xFFFE : 3);
    EXPECT_EQ(byteorder::LoadLE16(&bytes[fmt + 20]), 4 * c.channels); // block align
    EXPECT_EQ(byteorder::LoadLE16(&bytes[fmt + 22]), 32);
    if (c.mask) {
        EXPECT_EQ(byteorder::LoadLE16(&bytes[fmt + 32]), 3); // the float sub-format
    }
    const std::size_t fact = fmt + 8 + c.fmtSize;
    EXPECT_EQ(Text(bytes, fact) + Text(bytes, fact + 12), "factdata");
    EXPECT_EQ(LoadLE32(&bytes[fact + 8]), std::uint32_t(frames));
    const std::size_t data = fact + 20;
    for (std::size_t k = 0; k < values.size(); ++k) {
        float stored;
        std::memcpy(&stored, &bytes[data + 4 * k], 4);
        EXPECT_EQ(stored, std::isnan(values[k]) ? 0.0f : float(values[k])) << k;
    }

    std::unique_ptr<CSoundFile> back;
    const FSSpec ref = dir.Spec("f.wav");
    ASSERT_EQ(OpenSoundFile(ref, &back), kNoErr);
    EXPECT_TRUE(back->HasFloatSamples());
    EXPECT_EQ(back->GetWordSize(), 32);
    EXPECT_EQ(back->GetNumSFrames(), frames);
    EXPECT_EQ(back->GetChannelMask(), c.mask);
    std::vector<double> read(values.size());
    double* block = read.data();
    std::int32_t count = frames;
    ASSERT_EQ(back->Read(0, &count, &block), kNoErr);
    for (std::size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(read[k], std::isnan(values[k]) ? 0.0 : double(float(values[k]))) << k;

    SF_INFO info{};
    Sndfile sndfile(sf_open(dir.File("f.wav").c_str(), SFM_READ, &info));
    ASSERT_TRUE(sndfile) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(info.frames, frames);
    sf_command(sndfile.get(), SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    std::vector<float> viaSndfile(values.size());
    EXPECT_EQ(sf_readf_float(sndfile.get(), viaSndfile.data(), frames), frames);
    EXPECT_EQ(viaSndfile[0], 1.5f);
    EXPECT_EQ(viaSndfile[1], -2.0f);
}

INSTANTIATE_TEST_SUITE_P(Formats, FloatFile,
                         ::testing::Values(FloatCase{"Mono", 1, std::nullopt, 18},
                                           FloatCase{"StereoWithMask", 2, 0x3u, 40}),
                         [](const auto& info) { return std::string(info.param.what); });

// AIFF holds integer samples only.
TEST_F(LargeFile, AIFFRefusesFloatSamples) {
    CAIFFFile file;
    const FSSpec ref = dir.Spec("f.aif");
    ASSERT_EQ(file.ISoundFile(&ref), kNoErr);
    EXPECT_EQ(file.Create(1, kFloat32WordSize, 48000.0f, nullptr, 0, nullptr), kErrNotSupported);
    EXPECT_FALSE(std::filesystem::exists(dir.File("f.aif")));
}

} // namespace

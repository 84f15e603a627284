// quillgen noise, level-check and --dither end to end: the files are read back with libsndfile
// and measured by FFT.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/Spectrum.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

struct Outcome {
    int exit = -1;
    std::string out, err;
};

// quillgen with `args` in a folder `out` of `dir`; logs beside it.
Outcome Quillgen(const TempDir& dir, const std::vector<std::string>& args) {
    const fs::path out = fs::path(dir.Path()) / "out";
    fs::create_directories(out);
    Outcome run;
    run.exit = WaitQuillgen(StartQuillgen(out, dir.Path(), args), dir.Path(), run.out, run.err);
    return run;
}

// The samples of a mono file, full scale +-1.
std::vector<double> Samples(const std::string& path, SF_INFO* info = nullptr) {
    SF_INFO local{};
    std::vector<double> samples;
    for (int v : SndfileSamples(path, info ? info : &local))
        samples.push_back(v / 2147483648.0);
    return samples;
}

double Decibels(double ratio) {
    return 10.0 * std::log10(ratio);
}

// --- spectrum of the noise ---

struct SpectrumCase {
    const char* name;
    std::vector<std::string> args;
    bool perHz; // compare power per Hz (white), else power per band (pink, bands of one shape)
    // Band powers (low, high Hz) and each one's level relative to the first, dB, +- tolerance.
    struct Band {
        double low, high, expected, tolerance;
    };
    std::vector<Band> bands;
};

class NoiseSpectrum : public testing::TestWithParam<SpectrumCase> {};

TEST_P(NoiseSpectrum, BandPowersFollowTheColorAndTheBand) {
    TempDir dir;
    std::vector<std::string> args = GetParam().args;
    for (const char* more :
         {"--rate", "48000", "--no-announce", "--quiet", "-o", "n.wav", "--format", "bwf"})
        args.emplace_back(more);
    const Outcome run = Quillgen(dir, args);
    ASSERT_EQ(run.exit, 0) << run.err;
    const std::vector<double> spectrum =
        AveragedSpectrum(Samples(dir.Path() + "/out/n.wav"), 1 << 15);
    const auto& bands = GetParam().bands;
    auto level = [&](const SpectrumCase::Band& band) {
        const double power = BandPower(spectrum, 48000.0, band.low, band.high);
        return Decibels(GetParam().perHz ? power / (band.high - band.low) : power);
    };
    for (const auto& band : bands)
        EXPECT_NEAR(level(band) - level(bands[0]), band.expected, band.tolerance)
            << band.low << "-" << band.high << " Hz";
}

// Pink noise holds the same power in every octave, white noise the same power per Hz.
std::vector<SpectrumCase::Band> Octaves() {
    std::vector<SpectrumCase::Band> bands;
    for (int k = 0; k < 10; ++k)
        bands.push_back({20.0 * (1 << k), 40.0 * (1 << k), 0.0, 0.5});
    return bands;
}

// Sixth-octave bands: the passband's middle, its edges (-3 dB) and an octave beyond each edge.
std::vector<SpectrumCase::Band> BandEdges(double low, double high) {
    const double half = std::pow(2.0, 1.0 / 12.0);
    const double middle = std::sqrt(low * high);
    auto around = [&](double f, double expected, double tolerance) {
        return SpectrumCase::Band{f / half, f * half, expected, tolerance};
    };
    return {around(middle, 0.0, 0.0), around(low, -3.0, 1.0), around(high, -3.0, 1.0),
            around(low / 2, -34.0, 14.0), around(high * 2, -34.0, 14.0)};
}

INSTANTIATE_TEST_SUITE_P(
    Noises, NoiseSpectrum,
    testing::Values(
        SpectrumCase{"pink", {"noise", "--length", "60"}, false, Octaves()},
        SpectrumCase{"white", {"noise", "--color", "white", "--length", "60"}, true, Octaves()},
        SpectrumCase{"pink_band",
                     {"noise", "--band", "500-2000", "--length", "30"},
                     false,
                     BandEdges(500, 2000)},
        SpectrumCase{"white_band",
                     {"noise", "--color", "white", "--band", "100-8000", "--length", "30"},
                     true,
                     BandEdges(100, 8000)}),
    [](const auto& info) { return std::string(info.param.name); });

// --- dither ---

// A -1 dBFS tone at 16 bits, on an FFT bin, over 2^20 frames: undithered, the truncation
// leaves harmonics far above -140 dBc; dithered, none is left and the floor is the TPDF one.
TEST(Dither, ToneHarmonicsGiveWayToTheTriangularNoiseFloor) {
    constexpr std::size_t N = 1 << 20, kBin = 21845;
    char freq[32];
    std::snprintf(freq, sizeof freq, "%.12g", kBin * 48000.0 / N);
    for (bool dithered : {false, true}) {
        TempDir dir;
        std::vector<std::string> args = {
            "tone",  "--freq", freq, "--level",       "-1",      "--length", "22", "--rate",
            "48000", "--bits", "16", "--no-announce", "--quiet", "-o",       "t"};
        if (dithered) args.insert(args.end(), {"--dither", "tpdf"});
        const Outcome run = Quillgen(dir, args);
        ASSERT_EQ(run.exit, 0) << run.err;
        std::vector<double> x = Samples(dir.Path() + "/out/t.aif");
        ASSERT_GE(x.size(), N);
        x.resize(N);
        const std::vector<double> power = PowerSpectrum(x);
        const double tone = power[kBin];
        double worstHarmonic = -400.0;
        for (std::size_t h = 2; h * kBin < N / 2; ++h)
            worstHarmonic = std::max(worstHarmonic, Decibels(power[h * kBin] / tone));
        // The floor: every bin away from DC and the tone's bins.
        double floor = 0.0;
        std::size_t bins = 0;
        for (std::size_t k = 8; k < N / 2; ++k) {
            const std::size_t nearest = (k + kBin / 2) / kBin * kBin;
            if (k + 2 >= nearest && k <= nearest + 2) continue;
            floor += power[k];
            ++bins;
        }
        // Rounding error (1/12) and dither (2/12) of one 16-bit step, spread over the bins.
        const double step = 1.0 / 32768.0;
        const double theory = double(N) * step * step / 4.0;
        if (dithered) {
            EXPECT_LT(worstHarmonic, -140.0);
            EXPECT_NEAR(Decibels(floor / bins / theory), 0.0, 5.0);
        } else {
            EXPECT_GT(worstHarmonic, -120.0);
        }
    }
}

// --- files without the new options stay as they were ---

struct Unchanged {
    const char* name;
    std::vector<std::string> args;
    const char* file;
    std::uint64_t hash; // FNV-1a of the file as written before dither and noise existed
};

class UnchangedFiles : public testing::TestWithParam<Unchanged> {};

TEST_P(UnchangedFiles, AreByteForByteTheSame) {
    TempDir dir;
    const Outcome run = Quillgen(dir, GetParam().args);
    ASSERT_EQ(run.exit, 0) << run.err;
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t byte : ReadFileBytes(dir.Path() + "/out/" + GetParam().file))
        hash = (hash ^ byte) * 0x100000001b3ull;
    EXPECT_EQ(hash, GetParam().hash);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, UnchangedFiles,
    testing::Values(
        Unchanged{"tone", {"tone", "--quiet", "-o", "a"}, "a.aif", 0xc9e47ef27d4d5e60ull},
        Unchanged{"tone_bwf24",
                  {"tone", "--format", "bwf", "--bits", "24", "--quiet", "-o", "b"},
                  "b.wav",
                  0x76241d16faed5632ull},
        Unchanged{"sweep_bwf",
                  {"sweep", "--length", "2", "--format", "bwf", "--quiet", "-o", "c"},
                  "c.wav",
                  0xd7e15cbf4471d153ull}),
    [](const auto& info) { return std::string(info.param.name); });

// --- usage errors ---

TEST(NoiseUsage, RefusedValuesNameTheirOptionAndWriteNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"noise", "--level", "-6"}, "--level -6 is out of range; accepted: -120 to -12.5 dB RMS"},
        {{"noise", "--band", "5-100"}, "--band 5-100 is out of range"},
        {{"noise", "--band", "1k-2k"}, "expects LOW-HIGH in Hz"},
        {{"tone", "--dither", "rect"}, "--dither"},
        {{"level-check", "--layout", "10.2", "--rate", "384000", "--length", "3000"},
         "per speaker"},
    };
    for (const auto& [args, message] : cases) {
        TempDir dir;
        const Outcome run = Quillgen(dir, args);
        EXPECT_EQ(run.exit, 2) << args[1];
        EXPECT_THAT(run.err, HasSubstr(message));
        EXPECT_TRUE(Entries(fs::path(dir.Path()) / "out").empty()) << args[1];
    }
}

// --- the level check ---

struct LevelCheckCase {
    const char* layout;
    const char* title;
    std::vector<std::string> speakers;
    bool announce;
};

class LevelCheckSet : public testing::TestWithParam<LevelCheckCase> {};

// One file per speaker, all of one length; each speaker's noise, at the level asked for, plays
// in its own file alone, speaker after speaker in the layout's order.
TEST_P(LevelCheckSet, EachSpeakerAloneInTurnAtTheLevel) {
    const LevelCheckCase& c = GetParam();
    TempDir dir;
    const Outcome run =
        Quillgen(dir, {"level-check", "--layout", c.layout, "--length", "1.5", "--rate", "8000",
                       "--level", "-24", "--quiet", "-o", "set",
                       c.announce ? "--announce-speakers" : "--no-announce-speakers"});
    ASSERT_EQ(run.exit, 0) << run.err;
    const std::string folder = dir.Path() + "/out/set/";
    const std::string stem = std::string("8k_16b_LevelChk.") + c.title + ".";
    std::vector<std::string> expected;
    for (const auto& speaker : c.speakers)
        expected.push_back(stem + speaker + ".aif");
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(Entries(folder), expected);

    std::vector<std::vector<double>> files;
    for (const auto& speaker : c.speakers) {
        files.push_back(Samples(folder + stem + speaker + ".aif"));
        ASSERT_EQ(files.back().size(), files.front().size()) << speaker;
    }
    // Blocks of 10 ms in which exactly one file sounds, in runs broken by silence or sharing.
    constexpr std::size_t kBlock = 80;
    struct Part {
        std::size_t file, first, end; // frames
    };
    std::vector<Part> parts;
    bool open = false;
    for (std::size_t start = 0; start + kBlock <= files[0].size(); start += kBlock) {
        std::vector<std::size_t> sounding;
        for (std::size_t f = 0; f < files.size(); ++f)
            if (std::any_of(files[f].begin() + start, files[f].begin() + start + kBlock,
                            [](double v) { return v != 0.0; }))
                sounding.push_back(f);
        if (sounding.size() != 1) {
            open = false;
            continue;
        }
        if (open && parts.back().file == sounding[0])
            parts.back().end = start + kBlock;
        else
            parts.push_back({sounding[0], start, start + kBlock});
        open = true;
    }
    // A noise part is 1.5 s long; a spoken name is shorter and comes just before its noise.
    std::vector<std::size_t> noiseOrder;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const Part& part = parts[p];
        if (part.end - part.first < 11000) continue;
        noiseOrder.push_back(part.file);
        if (c.announce) {
            EXPECT_TRUE(p > 0 && parts[p - 1].file == part.file) << c.speakers[part.file];
        }
        EXPECT_LE(part.end - part.first, 12000u + 2 * kBlock);
        double sum = 0.0;
        for (std::size_t i = part.first; i < part.end; ++i)
            sum += files[part.file][i] * files[part.file][i];
        EXPECT_NEAR(Decibels(sum / 12000.0), -24.0, 0.1) << c.speakers[part.file];
    }
    std::vector<std::size_t> inOrder(files.size());
    for (std::size_t i = 0; i < inOrder.size(); ++i)
        inOrder[i] = i;
    EXPECT_EQ(noiseOrder, inOrder);
    if (!c.announce) {
        EXPECT_EQ(parts.size(), files.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LevelCheckSet,
    testing::Values(
        LevelCheckCase{"stereo", "Stereo", {"L", "R"}, true},
        LevelCheckCase{"quad", "Quad", {"L", "R", "Rs", "Ls"}, false},
        LevelCheckCase{"lcrs", "LCRS", {"L", "C", "R", "S"}, false},
        LevelCheckCase{"5.1", "5.1", {"L", "C", "R", "Rs", "Ls", "LFE"}, true},
        LevelCheckCase{"6.1", "6.1", {"L", "C", "R", "Rs", "Cs", "Ls", "LFE"}, false},
        LevelCheckCase{"7.1", "7.1", {"L", "Lc", "C", "Rc", "R", "Rs", "Ls", "LFE"}, false},
        LevelCheckCase{"10.2",
                       "10.2",
                       {"Lh", "Lw", "L", "C", "R", "Rw", "Rh", "Rs", "Cs", "Ls", "LSB", "RSB"},
                       false}),
    [](const auto& info) {
        std::string name = info.param.layout;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

} // namespace

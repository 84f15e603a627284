// What tone, full-sweep, sweep and noise write for their options, read back with libsndfile:
// the sine they ask for sample by sample, the noise's colour and band and the dither in the
// spectrum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/Spectrum.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

// Runs quillgen in `dir`; the samples of the file it wrote, full scale +-1.
std::vector<double> Written(const TempDir& dir, const std::vector<std::string>& args,
                            SF_INFO* info) {
    const Outcome run = RunQuillgen(dir.Path(), args);
    EXPECT_EQ(run.exit, 0) << run.err;
    std::vector<double> samples;
    for (int v : SndfileSamples(dir.File(run.out.substr(0, run.out.size() - 1)), info))
        samples.push_back(v / 2147483648.0);
    return samples;
}

struct SignalCase {
    std::string args;
    std::string file;
    int rate, format;    // libsndfile's
    std::int64_t frames; // of the signal, after the announcement when there is one
    double freqFrom, levelFrom, freqTo, levelTo;
};

class SignalOptions : public testing::TestWithParam<SignalCase> {};

// From phase 0 the frequency moves exponentially and the level linearly in dB, to the end;
// unless it is turned off, a spoken announcement (a sentence long) comes first.
TEST_P(SignalOptions, ReachTheSignal) {
    const SignalCase& c = GetParam();
    TempDir dir;
    SF_INFO info{};
    const std::vector<double> x = Written(dir, Words(c.args), &info);
    EXPECT_TRUE(std::filesystem::exists(dir.File(c.file)));
    EXPECT_EQ(info.samplerate, c.rate);
    EXPECT_EQ(info.format, c.format);
    ASSERT_GE(info.frames, c.frames);
    const std::int64_t start = info.frames - c.frames;
    EXPECT_EQ(start > c.rate, c.args.find("--no-announce") == std::string::npos) << start;
    const double freqRatio = std::pow(c.freqTo / c.freqFrom, 1.0 / double(c.frames));
    const double levelRatio = std::pow(10.0, (c.levelTo - c.levelFrom) / 20.0 / double(c.frames));
    const double quantum =
        (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ? 0x1p-23 : 0x1p-15;
    double amplitude = std::pow(10.0, c.levelFrom / 20.0);
    double phase = 0.0, increment = 2.0 * M_PI * c.freqFrom / c.rate;
    for (std::int64_t n = 0; n < c.frames; ++n) {
        if (n < 2000 || n % 997 == 0 || n == c.frames - 1) {
            ASSERT_NEAR(x[start + n], amplitude * std::sin(phase), 2 * quantum + 1e-6) << n;
        }
        phase += increment;
        increment *= freqRatio;
        amplitude *= levelRatio;
    }
}

const int kAIFF16 = SF_FORMAT_AIFF | SF_FORMAT_PCM_16, kWAV = SF_FORMAT_WAV;

INSTANTIATE_TEST_SUITE_P(
    Commands, SignalOptions,
    testing::Values(SignalCase{"tone --quiet --length 1", "VivuZira 1000 Hz, -10.00 dB, 1 sec.aif",
                               44100, kAIFF16, 44100, 1000, -10, 1000, -10},
                    SignalCase{"tone --format bwf --bits 24 --freq 440 --level 0 --length 2 --rate "
                               "96000 --no-announce",
                               "VivuZira 440 Hz,  0.00 dB, 2 sec.wav", 96000,
                               kWAV | SF_FORMAT_PCM_24, 192000, 440, 0, 440, 0},
                    SignalCase{"full-sweep --level -3 --length 2 --rate 44100 --no-announce",
                               "Full Sweep -3.00 dB, 44.1 kHz, 2 sec.aif", 44100, kAIFF16, 88200, 5,
                               -3, 22050, -3},
                    SignalCase{"sweep --format bwf --from 10000 --to 100 --from-level -6 "
                               "--to-level -30 --length 3 --rate 44100 --no-announce",
                               "Custom Sweep 10000-100 Hz in 3 sec.wav", 44100,
                               kWAV | SF_FORMAT_PCM_16, 132300, 10000, -6, 100, -30}),
    [](const auto& info) { return CaseName(info.param.args); });

struct Band {
    double low, high, expected, tolerance; // Hz; dB re the first band
};

// Pink noise holds the same power in every octave, white noise the same power per Hz; a band
// limit is 3 dB down at its edges and far down an octave beyond (sixth-octave bands).
TEST(NoiseSpectrum, BandPowersFollowTheColorAndTheBand) {
    std::vector<Band> octaves, band;
    for (int k = 0; k < 10; ++k)
        octaves.push_back({20.0 * (1 << k), 40.0 * (1 << k), 0.0, 0.5});
    const double half = std::pow(2.0, 1.0 / 12.0);
    for (auto [f, expected, tolerance] : {std::tuple{894.4, 0.0, 0.0},
                                          {100.0, -3.0, 1.0},
                                          {8000.0, -3.0, 1.0},
                                          {50.0, -34.0, 14.0},
                                          {16000.0, -34.0, 14.0}})
        band.push_back({f / half, f * half, expected, tolerance});
    for (bool white : {false, true}) {
        TempDir dir;
        SF_INFO info{};
        const std::vector<double> x = Written(
            dir,
            Words(white ? "noise --color white --band 100-8000 --length 30" : "noise --length 60"),
            &info);
        const std::vector<double> spectrum = AveragedSpectrum(x, 1 << 15);
        auto level = [&](const Band& b) {
            const double power = BandPower(spectrum, 48000.0, b.low, b.high);
            return 10.0 * std::log10(white ? power / (b.high - b.low) : power);
        };
        const std::vector<Band>& bands = white ? band : octaves;
        for (const Band& b : bands)
            EXPECT_NEAR(level(b) - level(bands[0]), b.expected, b.tolerance)
                << (white ? "white " : "pink ") << b.low << "-" << b.high << " Hz";
    }
}

// A -1 dBFS tone at 16 bits, on an FFT bin, over 2^20 frames: undithered, the truncation
// leaves harmonics far above -140 dBc; dithered, none is left and the floor is the TPDF one:
// rounding (1/12) and dither (2/12) of one 16-bit step, spread over the bins.
TEST(Dither, ToneHarmonicsGiveWayToTheTriangularNoiseFloor) {
    constexpr std::size_t N = 1 << 20, kBin = 21845;
    char freq[32];
    std::snprintf(freq, sizeof freq, "%.12g", kBin * 48000.0 / N);
    for (bool dithered : {false, true}) {
        TempDir dir;
        std::vector<std::string> args = Words(
            std::string("tone --level -1 --length 22 --rate 48000 --no-announce --freq ") + freq);
        if (dithered) args.insert(args.end(), {"--dither", "tpdf"});
        SF_INFO info{};
        std::vector<double> x = Written(dir, args, &info);
        ASSERT_GE(x.size(), N);
        x.resize(N);
        const std::vector<double> power = PowerSpectrum(x);
        double worstHarmonic = -400.0, floor = 0.0, bins = 0.0;
        for (std::size_t h = 2; h * kBin < N / 2; ++h)
            worstHarmonic =
                std::max(worstHarmonic, 10.0 * std::log10(power[h * kBin] / power[kBin]));
        for (std::size_t k = 8; k < N / 2; ++k) {
            const std::size_t nearest = (k + kBin / 2) / kBin * kBin;
            if (k + 2 < nearest || k > nearest + 2) floor += power[k], bins += 1.0;
        }
        if (dithered) {
            EXPECT_LT(worstHarmonic, -140.0);
            EXPECT_NEAR(10.0 * std::log10(floor / bins / (N * 0x1p-30 / 4.0)), 0.0, 5.0);
        } else {
            EXPECT_GT(worstHarmonic, -120.0);
        }
    }
}

} // namespace

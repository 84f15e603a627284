// A measurement sweep as an engineer uses it: the sweep file, played through a system of unit
// gain, convolved with the inverse filter written beside it, gives an impulse of 1.0 at the
// inverse's marked frame, flat across the sweep's band; the marker tells where the sweep
// starts in its own file, after the announcement.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <regex>

#include "support/QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/Spectrum.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

std::vector<double> Samples(const std::string& path, SF_INFO* info) {
    Sndfile file(sf_open(path.c_str(), SFM_READ, info));
    if (!file) return {};
    std::vector<double> samples(std::size_t(info->frames * info->channels));
    sf_readf_double(file.get(), samples.data(), info->frames);
    return samples;
}

struct MeasurementCase {
    const char* args;
    double f1, f2;
    int format; // the sweep file's libsndfile sub-format
};

class MeasurementSweep : public testing::TestWithParam<MeasurementCase> {};

TEST_P(MeasurementSweep, DeconvolvesToAFlatImpulseAtTheMarker) {
    const MeasurementCase& c = GetParam();
    TempDir dir;
    const Outcome run =
        RunQuillgen(dir.Path(), std::string(c.args) + " --inverse --rate 48000 --format bwf -o m");
    ASSERT_EQ(run.exit, 0) << run.err;
    SF_INFO sweepInfo{}, inverseInfo{};
    const std::vector<double> file = Samples(dir.File("m.wav"), &sweepInfo);
    const std::vector<double> inverse = Samples(dir.File("m.inverse.wav"), &inverseInfo);
    ASSERT_FALSE(inverse.empty());
    EXPECT_EQ(sweepInfo.format & SF_FORMAT_SUBMASK, c.format);
    EXPECT_EQ(inverseInfo.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    // "Impulse; sweep at <frame of the sweep's start in its file>" at the impulse.
    const Outcome info = RunQuillgen(dir.Path(), "info m.inverse.wav");
    std::smatch marker;
    ASSERT_TRUE(std::regex_search(info.out, marker,
                                  std::regex(R"(at ([0-9]+) "Impulse; sweep at ([0-9]+)\")")))
        << info.out;
    const auto impulse = std::size_t(std::stoul(marker[1])), start = std::stoul(marker[2]);
    EXPECT_EQ(start > 0, std::string(c.args).find("--no-announce") == std::string::npos);
    ASSERT_EQ(file.size() - start, inverse.size());

    const std::vector<double> y =
        Convolve(std::vector<double>(file.begin() + std::ptrdiff_t(start), file.end()), inverse);
    const auto largest = std::max_element(
        y.begin(), y.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    EXPECT_EQ(std::size_t(largest - y.begin()), impulse);
    EXPECT_NEAR(y[impulse], 1.0, 1e-3);
    const std::size_t size = PowerOfTwoAtLeast(y.size());
    const std::vector<std::complex<double>> H = Spectrum(y, size);
    double lowest = 1e300, highest = 0;
    for (std::size_t k = std::size_t(std::ceil(2 * c.f1 * double(size) / 48000));
         double(k) * 48000 / double(size) <= c.f2 / 2; ++k) {
        lowest = std::min(lowest, std::abs(H[k]));
        highest = std::max(highest, std::abs(H[k]));
    }
    RecordProperty("flatness_db", std::to_string(20 * std::log10(highest / lowest)));
    EXPECT_LE(20 * std::log10(highest / lowest), 1.0) << "not flat within +-0.5 dB";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sweeps, MeasurementSweep, testing::Values(
    MeasurementCase{"sweep --from 20 --to 20000 --length 2 --from-level -6 --to-level -6 --bits 24",
                    20, 20000, SF_FORMAT_PCM_24},
    MeasurementCase{"sweep --from 50 --to 16000 --length 2 --from-level -6 --to-level -6 "
                    "--synchronized --no-announce --bits 24", 50, 16000, SF_FORMAT_PCM_24},
    MeasurementCase{"full-sweep --length 10 --level -3 --synchronized --no-announce --bits 32f",
                    5, 24000, SF_FORMAT_FLOAT}),
    [](const auto& info) { return "case" + std::to_string(info.index); });
// clang-format on

} // namespace

// The polyphase converter beside sox's resampler, on the same signal in the same run:
// ten seconds of a sweep-like test signal, 48000 Hz to 44100 Hz and 48000 Hz to 96000 Hz.
// Prints each time and the ratio polyphase / sox (below 1: ours is faster). sox's figure
// includes starting the process and reading and writing its files.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "synth/SampleRateConverter.h"

namespace {

constexpr double kInputRate = 48000.0;
constexpr std::uint32_t kFrames = 480000;

std::vector<double> Signal() {
    std::vector<double> padded(kFrames + 2 * kPolyPhaseLeadIn, 0.0);
    double phase = 0.0;
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        padded[kPolyPhaseLeadIn + i] = 0.5 * std::sin(phase);
        phase += 2 * 3.141592653589793 * (20.0 + 20000.0 * i / kFrames) / kInputRate;
    }
    return padded;
}

std::string TempPath(const char* leaf) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/quill_bench_" + std::to_string(getpid()) +
           "_" + leaf;
}

void Polyphase(benchmark::State& state, double outputRate) {
    const std::vector<double> input = Signal();
    if (InitPolyPhase(outputRate, kInputRate) != 0) {
        state.SkipWithError("no filter table");
        return;
    }
    for (auto _ : state) {
        std::uint32_t count = kFrames;
        ConvertedBlock out(src_polyphase(input.data(), &count, kInputRate, outputRate));
        benchmark::DoNotOptimize(out.get());
    }
    freeSincTable();
}

void Sox(benchmark::State& state, double outputRate) {
    const std::vector<double> input = Signal();
    const std::string in = TempPath("in.f64"), out = TempPath("out.f64");
    if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
        std::fwrite(input.data() + kPolyPhaseLeadIn, sizeof(double), kFrames, f);
        std::fclose(f);
    }
    const std::string command = std::string(SOX_PATH) + " -t f64 -r 48000 -c 1 '" + in +
                                "' -t f64 '" + out + "' rate " +
                                std::to_string(static_cast<int>(outputRate));
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sox failed");
            break;
        }
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
}

// Keeps each run's real time per iteration beside the console output.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    for (const int rate : {44100, 96000}) {
        benchmark::RegisterBenchmark(("polyphase/" + std::to_string(rate)).c_str(), Polyphase, rate)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("sox/" + std::to_string(rate)).c_str(), Sox, rate)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const int rate : {44100, 96000}) {
        const std::string name = std::to_string(rate) + "/real_time";
        const auto ours = reporter.seconds.find(std::string("polyphase/").append(name));
        const auto theirs = reporter.seconds.find(std::string("sox/").append(name));
        if (ours != reporter.seconds.end() && theirs != reporter.seconds.end())
            std::printf("48000 -> %d Hz: polyphase %.1f ms, sox %.1f ms, ratio %.2f\n", rate,
                        ours->second * 1e3, theirs->second * 1e3, ours->second / theirs->second);
    }
    benchmark::Shutdown();
    return 0;
}

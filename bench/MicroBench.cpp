// Micro-benchmarks of the signal path's inner parts, per sample: the generator, the write
// conversion per coding, the write cycle through the sample buffer (with and without the refill
// a one-channel write into a two-channel file needs) and the polyphase converter.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "soundfile/CSoundFile.h"
#include "soundfile/SampleCoding.h"
#include "synth/SampleRateConverter.h"
#include "synth/SweepGenerator.h"

namespace {

// A sound file whose refills give silence and whose flushes go nowhere: the engine's own
// work without the file system's.
class NullSoundFile : public CSoundFile {
  public:
    NullSoundFile(std::int16_t channels, std::int16_t bits) {
        (void)ISoundFile(nullptr); // no file behind it: nothing can fail
        numChannels = channels;
        wordSize = bits;
        sampleRate = 192000.0f;
    }
    Status RefreshInputBuffer(std::int32_t start) override {
        bufferStart = start;
        return kNoErr;
    }
    Status RefreshOutputBuffer(std::int32_t start) override {
        bufferStart = start;
        FillSilence(outputBuffer, 0);
        return kNoErr;
    }
    Status FlushOutputBuffer(std::int32_t count, std::int32_t start) override {
        benchmark::DoNotOptimize(OutputBytes());
        numFrames = std::max(numFrames, start + count);
        return kNoErr;
    }
    Status UpdateSize() override { return kNoErr; }
    std::uint32_t GetFType() const override { return 0; }
    std::uint32_t GetFileType() const override { return 0; }
    std::uint32_t GetCreator() const override { return 0; }
};

std::vector<double> TestSignal(std::size_t count) {
    std::vector<double> signal(count);
    for (std::size_t k = 0; k < count; ++k)
        signal[k] = 0.7 * std::sin(0.001 * double(k * k % 100003));
    return signal;
}

void BM_GenerateSweep(benchmark::State& state) {
    constexpr double kRate = 192000.0, kSeconds = 10.0;
    for (auto _ : state) {
        NullSoundFile file(1, 24);
        benchmark::DoNotOptimize(
            GenerateSweep(&file, 0, kSeconds, kRate, -20.0, -20.0, 20.0, 20000.0, true));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kRate * kSeconds));
}
BENCHMARK(BM_GenerateSweep)->Unit(benchmark::kMillisecond);

void BM_EncodeSamples(benchmark::State& state) {
    const auto coding = static_cast<SampleCoding>(state.range(0));
    const std::vector<double> signal = TestSignal(5000);
    std::vector<std::uint8_t> out(signal.size() * 4);
    const auto bytes = std::size_t(CodingBytes(coding));
    for (auto _ : state) {
        EncodeSamples(coding, signal.data(), signal.size(), out.data(), bytes);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(signal.size()));
}
BENCHMARK(BM_EncodeSamples)
    ->ArgName("coding")
    ->Arg(int(SampleCoding::Big16))
    ->Arg(int(SampleCoding::Little16))
    ->Arg(int(SampleCoding::Big24))
    ->Arg(int(SampleCoding::Little24));

// Writes of 5000 frames, as the generator makes them: whole frames of a one-channel file, or
// one channel of a two-channel file (a refill before every flush).
void BM_WriteCycle(benchmark::State& state) {
    const auto channels = std::int16_t(state.range(0));
    std::vector<double> signal = TestSignal(5000);
    for (auto _ : state) {
        NullSoundFile file(channels, 24);
        double* block = signal.data();
        for (std::int32_t position = 0; position < 960000; position += 5000) {
            std::int32_t count = 5000;
            (void)file.Write(std::int16_t(0), position, &count, &block); // writes nowhere
        }
    }
    state.SetItemsProcessed(state.iterations() * 960000);
}
BENCHMARK(BM_WriteCycle)->ArgName("channels")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Per output sample, a voice-length signal from 48000 Hz to common rates.
void BM_Polyphase(benchmark::State& state) {
    const double outputRate = double(state.range(0));
    const std::uint32_t inputCount = 96000;
    std::vector<double> padded(inputCount + 2 * kPolyPhaseLeadIn, 0.0);
    const std::vector<double> signal = TestSignal(inputCount);
    std::copy(signal.begin(), signal.end(), padded.begin() + kPolyPhaseLeadIn);
    if (InitPolyPhase(outputRate, 48000.0) != 0) {
        state.SkipWithError("no filter table");
        return;
    }
    std::uint32_t outputs = 0;
    for (auto _ : state) {
        std::uint32_t count = inputCount;
        ConvertedBlock out(src_polyphase(padded.data(), &count, 48000.0, outputRate));
        benchmark::DoNotOptimize(out.get());
        outputs = count;
    }
    freeSincTable();
    state.SetItemsProcessed(state.iterations() * std::int64_t(outputs));
}
BENCHMARK(BM_Polyphase)
    ->ArgName("rate")
    ->Arg(44100)
    ->Arg(96000)
    ->Arg(192000)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

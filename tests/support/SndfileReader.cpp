#include "support/SndfileReader.h"

#include <gtest/gtest.h>

std::vector<int> SndfileSamples(SNDFILE* file, const SF_INFO& info) {
    std::vector<int> samples(std::size_t(info.frames * info.channels));
    samples.resize(std::size_t(sf_read_int(file, samples.data(), sf_count_t(samples.size()))));
    return samples;
}

std::vector<int> SndfileSamples(const std::string& path, SF_INFO* info) {
    Sndfile file(sf_open(path.c_str(), SFM_READ, info));
    return file ? SndfileSamples(file.get(), *info) : std::vector<int>{};
}

std::vector<int> EngineSamples(CSoundFile& file) {
    std::vector<double> samples(std::size_t(file.GetNumSFrames()) * file.GetNumChannels());
    double* block = samples.data();
    std::int32_t count = file.GetNumSFrames();
    EXPECT_EQ(file.Read(0, &count, &block), kNoErr);
    EXPECT_EQ(count, file.GetNumSFrames());
    std::vector<int> result;
    for (double x : samples)
        result.push_back(int(std::int64_t(x * 2147483648.0)));
    return result;
}

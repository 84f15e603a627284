#include "support/JobsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/SndfileReader.h"

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

SoundFileView ReadWithLibsndfile(const std::string& path, bool withSamples) {
    SoundFileView view;
    SF_INFO info{};
    Sndfile file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        ADD_FAILURE() << "libsndfile cannot read " << path << ": " << sf_strerror(nullptr);
        return view;
    }
    view.frames = info.frames;
    view.channels = info.channels;
    if (withSamples) {
        view.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
        view.samples.resize(static_cast<std::size_t>(
            sf_readf_double(file.get(), view.samples.data(), info.frames) * info.channels));
    }
    sf_command(file.get(), SFC_GET_CUE_COUNT, &view.markerCount, sizeof view.markerCount);
    SF_CUES cues{};
    if (sf_command(file.get(), SFC_GET_CUE, &cues, sizeof cues) == SF_TRUE)
        for (std::uint32_t i = 0; i < cues.cue_count && i < 100; ++i)
            view.markers.push_back(cues.cue_points[i].sample_offset);
    return view;
}

Settings ToneSettings(double freq, double level, double length, double rate) {
    Settings s;
    s.setFreq_from(freq);
    s.setFreq_to(freq);
    s.setLevel_from(level);
    s.setLevel_to(level);
    s.setLength(length);
    s.setSampleRate(rate);
    return s;
}

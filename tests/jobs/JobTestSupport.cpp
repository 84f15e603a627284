#include "jobs/JobTestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

SoundFileView ReadWithLibsndfile(const std::string& path) {
    SoundFileView view;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "libsndfile cannot read " << path << ": " << sf_strerror(nullptr);
        return view;
    }
    view.frames = info.frames;
    view.sampleRate = info.samplerate;
    view.channels = info.channels;
    view.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_double(file, view.samples.data(), info.frames);
    sf_close(file);
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

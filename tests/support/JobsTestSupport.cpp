#include "support/JobsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/SndfileReader.h"

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Split(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), {}};
}

SoundFileView ReadWithLibsndfile(const std::string& path) {
    SF_INFO info{};
    Sndfile file(sf_open(path.c_str(), SFM_READ, &info));
    EXPECT_TRUE(file) << "libsndfile cannot read " << path << ": " << sf_strerror(nullptr);
    if (!file) return {};
    SoundFileView view{std::vector<double>(std::size_t(info.frames * info.channels)), {}};
    view.samples.resize(std::size_t(
        sf_read_double(file.get(), view.samples.data(), sf_count_t(view.samples.size()))));
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

BurstVoices::BurstVoices(const std::string& folder, const std::string& names) : folder(folder) {
    std::int32_t length = 24;
    for (const auto& name : Split(names)) {
        std::string bytes;
        for (std::int32_t i = 0; i < length; ++i)
            bytes += std::string("\x40\0", 2); // 0x4000
        std::ofstream(folder + "/" + name + ".sample", std::ios::binary) << bytes;
        byLength[length - 1] = name;
        length += 6;
    }
}

Announcer::SampleLookup BurstVoices::Lookup() const {
    return [folder = folder](const std::string& name) -> std::optional<std::string> {
        std::string path = folder + "/" + name + ".sample";
        return std::ifstream(path) ? std::optional(path) : std::nullopt;
    };
}

std::vector<HeardSample> BurstVoices::Listen(const std::vector<double>& samples) const {
    std::vector<HeardSample> heard;
    auto loud = [&](std::size_t i) { return std::fabs(samples[i]) >= 1e-3; };
    for (std::size_t i = 0, end; i < samples.size(); i = std::max(end, i + 1)) {
        const bool inverted = samples[i] < 0.0;
        for (end = i; end < samples.size() && loud(end) && (samples[end] < 0.0) == inverted;)
            ++end;
        if (end == i) continue;
        auto run = static_cast<std::int32_t>(end - i);
        auto found = byLength.find(run);
        if (found == byLength.end())
            ADD_FAILURE() << "a burst of " << run << " frames at " << i << " fits no name";
        else
            heard.push_back({found->second, inverted, static_cast<std::int32_t>(i) - 1, run + 1});
    }
    return heard;
}

std::string BurstVoices::Transcript(const std::vector<double>& samples) const {
    std::ostringstream words;
    std::int32_t position = 0;
    for (const auto& sample : Listen(samples)) {
        if (sample.start > position) words << '(' << sample.start - position << ") ";
        words << (sample.inverted ? "-" : "") << sample.name << ' ';
        position = sample.start + sample.frames;
    }
    std::string text = words.str();
    if (!text.empty()) text.pop_back();
    return text;
}

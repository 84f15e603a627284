#pragma once
// Voice samples made for tests: every name is a burst of constant level with a length of its
// own, so a file written with them shows which sample went where, in which polarity, and how
// much silence lies between. At 48000 Hz the converter passes a burst through unchanged but
// one frame late, so a burst of n samples shows as one silent frame and n - 1 loud ones.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jobs/Announcer.h"

// One burst found in a file.
struct HeardSample {
    std::string name;
    bool inverted = false;
    std::int32_t start = 0;  // the frame of its leading silent frame
    std::int32_t frames = 0; // the frames it took, leading silent frame included
};

class BurstVoices {
public:
    // Writes folder/<name>.sample for every name; the i-th name lasts 24 + 6 i samples.
    BurstVoices(const std::string& folder, const std::vector<std::string>& names)
        : folder(folder) {
        std::int32_t length = 24;
        for (const auto& name : names) {
            std::ofstream out(folder + "/" + name + ".sample", std::ios::binary);
            for (std::int32_t i = 0; i < length; ++i) {
                // 0x4000: half of full scale, big-endian.
                out.put(static_cast<char>(0x40));
                out.put(static_cast<char>(0x00));
            }
            byLength[length - 1] = name;
            lengths[name] = length;
            length += 6;
        }
    }

    Announcer::SampleLookup Lookup() const {
        return [folder = folder](const std::string& name) -> std::optional<std::string> {
            std::string path = folder + "/" + name + ".sample";
            if (!std::ifstream(path)) return std::nullopt;
            return path;
        };
    }

    std::int32_t Length(const std::string& name) const { return lengths.at(name); }

    // The bursts of a one-channel file, in order. A loud run whose length fits no name is
    // reported as a failure.
    std::vector<HeardSample> Listen(const std::vector<double>& samples) const {
        std::vector<HeardSample> heard;
        std::size_t i = 0;
        while (i < samples.size()) {
            if (std::fabs(samples[i]) < 1e-3) {
                ++i;
                continue;
            }
            bool inverted = samples[i] < 0.0;
            std::size_t end = i;
            while (end < samples.size() && std::fabs(samples[end]) >= 1e-3 &&
                   (samples[end] < 0.0) == inverted)
                ++end;
            auto run = static_cast<std::int32_t>(end - i);
            auto found = byLength.find(run);
            if (found == byLength.end()) {
                ADD_FAILURE() << "a burst of " << run << " frames at " << i << " fits no name";
            } else {
                heard.push_back({found->second, inverted, static_cast<std::int32_t>(i) - 1,
                                 run + 1});
            }
            i = end;
        }
        return heard;
    }

    // The bursts as names with the pauses between them: "pause <frames>".
    std::vector<std::string> Transcript(const std::vector<double>& samples) const {
        std::vector<std::string> words;
        std::int32_t position = 0;
        for (const auto& sample : Listen(samples)) {
            if (sample.start > position)
                words.push_back("pause " + std::to_string(sample.start - position));
            words.push_back((sample.inverted ? "-" : "") + sample.name);
            position = sample.start + sample.frames;
        }
        return words;
    }

private:
    std::string folder;
    std::map<std::int32_t, std::string> byLength;
    std::map<std::string, std::int32_t> lengths;
};

#pragma once
// Voice samples made for the announcement and phase-check tests: every name is a burst of
// constant level with a length of its own, so a file written with them shows which sample went
// where, in which polarity, and how much silence lies between. At 48000 Hz the converter passes
// a burst through unchanged but one frame late: a burst of n samples shows as one silent frame
// and n - 1 loud ones.

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
    // Writes folder/<name>.sample for every name; the i-th name lasts 24 + 6 i samples of
    // half full scale (0x4000, big-endian).
    BurstVoices(const std::string& folder, const std::vector<std::string>& names)
        : folder(folder) {
        std::int32_t length = 24;
        for (const auto& name : names) {
            std::string bytes;
            for (std::int32_t i = 0; i < length; ++i) bytes += std::string("\x40\0", 2);
            std::ofstream(folder + "/" + name + ".sample", std::ios::binary) << bytes;
            byLength[length - 1] = name;
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

    // The bursts of a one-channel file, in order; a loud run whose length fits no name fails.
    std::vector<HeardSample> Listen(const std::vector<double>& samples) const {
        std::vector<HeardSample> heard;
        for (std::size_t i = 0; i < samples.size();) {
            if (std::fabs(samples[i]) < 1e-3) {
                ++i;
                continue;
            }
            const bool inverted = samples[i] < 0.0;
            std::size_t end = i;
            while (end < samples.size() && std::fabs(samples[end]) >= 1e-3 &&
                   (samples[end] < 0.0) == inverted)
                ++end;
            auto run = static_cast<std::int32_t>(end - i);
            auto found = byLength.find(run);
            if (found == byLength.end())
                ADD_FAILURE() << "a burst of " << run << " frames at " << i << " fits no name";
            else
                heard.push_back(
                    {found->second, inverted, static_cast<std::int32_t>(i) - 1, run + 1});
            i = end;
        }
        return heard;
    }

    // The bursts as names ("-" before an inverted one) with the pauses between them as
    // "pause <frames>".
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
};

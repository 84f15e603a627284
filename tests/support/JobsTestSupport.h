#pragma once
// Helpers of the job tests: desktop services that record instead of showing, the names in a
// folder, a file's samples read with libsndfile, and the settings of a steady tone.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jobs/Settings.h"
#include "shell/DesktopServices.h"

// Records alerts and log lines instead of showing them; installed while it exists.
class RecordingDesktop : public DesktopServices {
  public:
    RecordingDesktop() : previous(DesktopServices::SetCurrent(this)) {}
    ~RecordingDesktop() override { DesktopServices::SetCurrent(previous); }
    void alert(const std::string& title, const std::string& message) override {
        alerts.emplace_back(title, message);
    }
    void log(const std::string& line) override { logLines.push_back(line); }

    std::vector<std::pair<std::string, std::string>> alerts;
    std::vector<std::string> logLines;

  private:
    DesktopServices* previous;
};

// Sorted leaf names of what `folder` holds.
std::vector<std::string> FolderEntries(const std::string& folder);

// A file as libsndfile reads it: samples interleaved, as full-scale fractions (left out when
// not `withSamples`), and its markers (cues): how many, and the positions of the first 100.
struct SoundFileView {
    std::int64_t frames = 0;
    int channels = 0;
    std::vector<double> samples;
    std::uint32_t markerCount = 0;
    std::vector<std::int64_t> markers;
};
SoundFileView ReadWithLibsndfile(const std::string& path, bool withSamples = true);

// A steady tone: one frequency and one level from start to end.
Settings ToneSettings(double freq, double level, double length, double rate);

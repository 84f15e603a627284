#pragma once
// Helpers of the job tests: recorded alerts, folder listings, files read with libsndfile, a
// steady tone's settings, and voice samples told apart by their lengths.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jobs/Announcer.h"
#include "jobs/Settings.h"
#include "shell/DesktopServices.h"

// Records the titles of alerts and the log lines; installed while it exists.
struct RecordingDesktop : DesktopServices {
    ~RecordingDesktop() override { DesktopServices::SetCurrent(previous); }
    void alert(const std::string& title, const std::string&, const std::string& reason) override {
        alerts.push_back(title);
        reasons.push_back(reason);
    }
    void log(const std::string& line) override { logLines.push_back(line); }
    std::vector<std::string> alerts, reasons, logLines;
    DesktopServices* previous = DesktopServices::SetCurrent(this);
};

// Sorted leaf names of what `folder` holds.
std::vector<std::string> FolderEntries(const std::string& folder);
// The words of `text` between spaces.
std::vector<std::string> Split(const std::string& text);

// A file as libsndfile reads it: samples interleaved, as full-scale fractions, and its cues.
struct SoundFileView {
    std::vector<double> samples;
    std::vector<std::int64_t> markers;
};
SoundFileView ReadWithLibsndfile(const std::string& path);

// A steady tone: one frequency and one level from start to end.
Settings ToneSettings(double freq, double level, double length, double rate);

struct HeardSample {
    std::string name;
    bool inverted = false;
    std::int32_t start = 0, frames = 0; // leading silent frame included
};

// Voice samples folder/<name>.sample: the i-th name is a burst of 24 + 6 i samples at half full
// scale. At 48000 Hz the converter passes a burst through one frame late: n samples show as one
// silent frame and n - 1 loud ones.
class BurstVoices {
  public:
    BurstVoices(const std::string& folder, const std::string& names); // between spaces
    Announcer::SampleLookup Lookup() const;
    // The bursts of a one-channel file in order; a loud run that fits no name fails the test.
    std::vector<HeardSample> Listen(const std::vector<double>& samples) const;
    // The bursts as names ("-" before an inverted one) and the silences between as "(<frames>)",
    // between spaces.
    std::string Transcript(const std::vector<double>& samples) const;

  private:
    std::string folder;
    std::map<std::int32_t, std::string> byLength;
};

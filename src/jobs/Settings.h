#pragma once
// The parameters of one generation job: what to generate. The window (or quillgen) fills them
// in just before a job starts; the job only reads them. Nothing is validated inside the record:
// JobLimits.h holds the ranges that a front end checks before it starts a job.

#include <cstdint>

#include <nlohmann/json.hpp>

#include <string>

#include "synth/LineupSignals.h"
#include "synth/NoiseGenerator.h"

// How a sweep is made for measuring a system's impulse response.
struct SweepMeasurement {
    bool inverse = false;      // also write the sweep's inverse filter beside it
    bool synchronized = false; // adjust the length so that every octave starts a whole cycle
};

// What a line-up job writes beyond the rate, length and layout.
struct LineupParameters {
    LineupSignal signal = LineupSignal::r68;
    double fps = 25.0;    // the sync pop's picture rate: 23.976, 24, 25, 29.97 or 30
    std::string timecode; // "HH:MM:SS:FF" at which a Broadcast WAVE file is placed; empty: none
    bool split = false;   // one mono file per speaker instead of one interleaved file
};

class Settings {
  public:
    // A record with the defaults.
    Settings() = default;
    // Reads every field from its key; a missing key (or one of the wrong kind) reads as 0/false.
    static Settings FromDictionary(const nlohmann::json& dictionary);
    // One entry per field but the noise, keyed by the field's name.
    nlohmann::json dictionary() const;

    double freq_from() const { return freqFrom; }
    void setFreq_from(double value) { freqFrom = value; }
    double freq_to() const { return freqTo; }
    void setFreq_to(double value) { freqTo = value; }
    double level_from() const { return levelFrom; }
    void setLevel_from(double value) { levelFrom = value; }
    double level_to() const { return levelTo; }
    void setLevel_to(double value) { levelTo = value; }
    double length() const { return lengthSeconds; }
    void setLength(double value) { lengthSeconds = value; }
    double sampleRate() const { return rate; }
    void setSampleRate(double value) { rate = value; }
    std::int32_t channelSetup() const { return layout; }
    void setChannelSetup(std::int32_t value) { layout = value; }
    double silence() const { return silenceSeconds; }
    void setSilence(double value) { silenceSeconds = value; }
    std::int32_t numRepeats() const { return repeats; }
    void setNumRepeats(std::int32_t value) { repeats = value; }
    bool announce() const { return speak; }
    void setAnnounce(bool value) { speak = value; }
    // The noise of a noise file or level check. Only quillgen sets it, so it is not part of
    // the dictionary.
    const NoiseParameters& noise() const { return noiseParameters; }
    void setNoise(const NoiseParameters& value) { noiseParameters = value; }
    // The signal of a line-up job; not part of the dictionary either.
    const SweepMeasurement& measurement() const { return sweepMeasurement; }
    void setMeasurement(const SweepMeasurement& value) { sweepMeasurement = value; }
    const LineupParameters& lineup() const { return lineupParameters; }
    void setLineup(const LineupParameters& value) { lineupParameters = value; }

  private:
    double freqFrom = 1000.0;
    double freqTo = 1000.0;
    double levelFrom = -10.0;
    double levelTo = -10.0;
    double lengthSeconds = 10.0;
    double rate = 44100.0;
    std::int32_t layout = 0; // a number of SpeakerLayouts.h: 0 stereo ... 3 5.1 ... 12 9.1.6
    double silenceSeconds = 1.0;
    std::int32_t repeats = 2;
    bool speak = true;
    NoiseParameters noiseParameters;
    LineupParameters lineupParameters;
    SweepMeasurement sweepMeasurement;
};

// Reading numbers out of dictionaries that came from a file: anything that is not a number of
// a usable kind reads as 0, and integers are clamped into 32 bits instead of wrapping.
namespace dictionary_value {
double Double(const nlohmann::json& dictionary, const char* key);
std::int32_t Int32(const nlohmann::json& dictionary, const char* key);
bool Bool(const nlohmann::json& dictionary, const char* key);
} // namespace dictionary_value

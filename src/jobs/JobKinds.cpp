#include "jobs/JobKinds.h"

#include <algorithm>
#include <cmath>

#include "jobs/PhaseCheck.h"

namespace {

// A full sweep starts here and ends at half the rate.
constexpr double kFullSweepStart = 5.0;

const FieldDescription kFields[] = {
    {Field::frequency, JobValue::freqFrom, "--freq", "HZ", "frequency in hertz", "Frequency", "Hz",
     false, true},
    {Field::startFrequency, JobValue::freqFrom, "--from", "HZ", "start frequency in hertz",
     "Start frequency", "Hz", false, true},
    {Field::endFrequency, JobValue::freqTo, "--to", "HZ", "end frequency in hertz", "End frequency",
     "Hz", false, true},
    {Field::level, JobValue::levelFrom, "--level", "DB", "level in dB re full scale", "Level",
     "dBFS peak", false, false},
    {Field::startLevel, JobValue::levelFrom, "--from-level", "DB",
     "start level in dB re full scale", "Start level", "dBFS peak", false, false},
    {Field::endLevel, JobValue::levelTo, "--to-level", "DB", "end level in dB re full scale",
     "End level", "dBFS peak", false, false},
    {Field::length, JobValue::length, "--length", "SECONDS", "length of the signal in seconds",
     "Length", "s", false, false},
    {Field::sampleRate, JobValue::sampleRate, "--rate", "HZ", "sample rate in hertz", "Sample rate",
     "Hz", true, true},
    {Field::silence, JobValue::silence, "--silence", "SECONDS",
     "silence after every element, in seconds", "Silence between signals", "s", false, false},
    {Field::repeats, JobValue::numRepeats, "--repeats", "N",
     "in-phase/out-of-phase bursts per speaker pair", "Repeats per speaker pair", "", true, false},
};

const std::vector<JobDescription>& Table() {
    static const std::vector<JobDescription> table = {
        {JobKind::testTone,
         "tone",
         "&Test Tone",
         "write a steady sine test tone",
         "A steady sine tone at one frequency and level. The file carries markers at its start "
         "and end, named with the frequency and level.",
         nullptr,
         {{Field::frequency, 1000.0},
          {Field::level, -10.0},
          {Field::length, 10.0},
          {Field::sampleRate, 44100.0}},
         false},
        {JobKind::fullSweep,
         "full-sweep",
         "F&ull Sweep",
         "write a sweep from 5 Hz to half the sample rate",
         "A sweep from 5 Hz up to half the sample rate at one level. The frequency rises "
         "exponentially; markers name the preferred frequencies it passes.",
         nullptr,
         {{Field::level, -20.0}, {Field::length, 30.0}, {Field::sampleRate, 48000.0}},
         false,
         false,
         true},
        {JobKind::customSweep,
         "sweep",
         "&Custom Sweep",
         "write a sweep between two frequencies",
         "A sweep between any two frequencies and levels, rising or falling. The level moves "
         "linearly in decibels from start to end.",
         nullptr,
         {{Field::startFrequency, 20.0},
          {Field::endFrequency, 20000.0},
          {Field::startLevel, -20.0},
          {Field::endLevel, -20.0},
          {Field::length, 15.0},
          {Field::sampleRate, 48000.0}},
         false,
         false,
         true},
        {JobKind::phaseCheck,
         "phase-check",
         "&Phase Check",
         "write phase and channel check files, one per speaker (or one interleaved file), into "
         "a directory",
         "One mono file per speaker, written in step into a new folder. Each pair of neighbouring "
         "speakers is named and gets an in-phase and a polarity-inverted noise burst.",
         "Phase Check",
         {{Field::silence, 1.0}, {Field::repeats, 2.0}, {Field::sampleRate, 48000.0}},
         false},
        {JobKind::noise,
         "noise",
         "N&oise",
         "write calibration noise, pink or white, at an RMS level, optionally in a band",
         "Calibration noise, pink or white, at an RMS level, optionally limited to a band. The "
         "peaks never reach full scale; markers name the noise and its level.",
         nullptr,
         {{Field::length, 30.0, "length of the noise in seconds"}, {Field::sampleRate, 48000.0}},
         true},
        {JobKind::levelCheck,
         "level-check",
         "Le&vel Check",
         "write level check files, one per speaker, into a directory: each speaker in turn "
         "plays calibration noise while the others are silent",
         "One mono file per speaker, written in step into a new folder. Each speaker in turn is "
         "named and plays the calibration noise while the others are silent.",
         "Level Check",
         {{Field::length, 10.0, "noise per speaker, in seconds"}, {Field::sampleRate, 48000.0}},
         true},
        {JobKind::lineup,
         "lineup",
         // Without a keyboard letter: each of its letters already chooses another tab or entry
         // (F&ull Sweep, &Level, Le&ngth, Rep&eats, &Inspect, &Phase Check).
         "Line-up",
         "write a studio line-up signal: an alignment tone, a stereo or multichannel ident or a "
         "sync pop",
         "The standard signals for lining up a studio or a circuit: alignment tones, the EBU "
         "stereo ident, GLITS, BLITS, the film-style multichannel ident and the sync pop, one "
         "interleaved file or one file per speaker, marked section by section.",
         nullptr,
         {{Field::length, 30.0, "length in seconds, rounded up to whole cycles of the signal"},
          {Field::sampleRate, 48000.0}},
         false,
         true},
    };
    return table;
}

} // namespace

JobKind JobKindFromStored(std::int32_t stored) {
    for (const JobDescription& description : Table())
        if (StoredNumber(description.kind) == stored) return description.kind;
    return JobKind::testTone;
}

std::optional<double> JobDescription::defaultValue(Field field) const {
    for (const FieldUse& use : fields)
        if (use.field == field) return use.defaultValue;
    return std::nullopt;
}

const FieldDescription& Describe(Field field) {
    return kFields[static_cast<int>(field)];
}

const JobDescription& Describe(JobKind kind) {
    for (const JobDescription& description : Table())
        if (description.kind == kind) return description;
    return Table().front();
}

const std::vector<JobDescription>& JobDescriptions() {
    return Table();
}

const JobDescription* DescriptionForCommand(const std::string& command) {
    for (const JobDescription& description : Table())
        if (command == description.command) return &description;
    return nullptr;
}

double FieldValue(Field field, const Settings& s) {
    switch (field) {
    case Field::frequency:
    case Field::startFrequency:
        return s.freq_from();
    case Field::endFrequency:
        return s.freq_to();
    case Field::level:
    case Field::startLevel:
        return s.level_from();
    case Field::endLevel:
        return s.level_to();
    case Field::length:
        return s.length();
    case Field::sampleRate:
        return s.sampleRate();
    case Field::silence:
        return s.silence();
    case Field::repeats:
        return s.numRepeats();
    }
    return 0.0;
}

void SetFieldValue(Field field, Settings& s, double value) {
    switch (field) {
    case Field::frequency:
    case Field::startFrequency:
        s.setFreq_from(value);
        break;
    case Field::endFrequency:
        s.setFreq_to(value);
        break;
    case Field::level:
    case Field::startLevel:
        s.setLevel_from(value);
        break;
    case Field::endLevel:
        s.setLevel_to(value);
        break;
    case Field::length:
        s.setLength(value);
        break;
    case Field::sampleRate:
        s.setSampleRate(value);
        break;
    case Field::silence:
        s.setSilence(value);
        break;
    // Clamped first: a count out of the 32-bit range is refused as out of range, not wrapped.
    case Field::repeats:
        s.setNumRepeats(static_cast<std::int32_t>(std::clamp(value, -1.0, 1e9)));
        break;
    }
}

void CompleteSettings(JobKind kind, Settings& s) {
    switch (kind) {
    case JobKind::testTone:
        s.setFreq_to(s.freq_from());
        s.setLevel_to(s.level_from());
        break;
    case JobKind::fullSweep:
        s.setFreq_from(kFullSweepStart);
        s.setFreq_to(s.sampleRate() * 0.5);
        s.setLevel_to(s.level_from());
        break;
    case JobKind::customSweep:
        break;
    case JobKind::noise:
        // The announcement is spoken at the noise's level.
        s.setLevel_from(s.noise().level);
        s.setLevel_to(s.noise().level);
        break;
    case JobKind::phaseCheck:
    case JobKind::levelCheck:
    case JobKind::lineup:
        // Voices and noises go in at their recorded level; a line-up signal has its own.
        s.setLevel_from(0.0);
        s.setLevel_to(0.0);
        break;
    }
}

ValueRange FieldRange(JobKind kind, Field field, const Settings& s, const SaveOptions& options) {
    const double rate = s.sampleRate();
    switch (field) {
    case Field::frequency:
        return ToneFrequencyRange(rate);
    case Field::startFrequency:
    case Field::endFrequency:
        return FrequencyRange(rate);
    case Field::level:
    case Field::startLevel:
    case Field::endLevel:
        return LevelRange();
    case Field::sampleRate:
        return SampleRateRange();
    case Field::silence:
        return SilenceRange();
    case Field::repeats:
        return RepeatsRange();
    case Field::length:
        break;
    }
    if (kind == JobKind::lineup) return LineupLengthRange(s, options);
    ValueRange whole = LengthRange(rate, options, s.announce() && kind != JobKind::levelCheck);
    if (kind != JobKind::levelCheck) return whole;
    // The level check plays its noise once per speaker in every file.
    const auto speakers = std::max<std::size_t>(LayoutSpeakers(s.channelSetup()).size(), 1);
    whole.highest = std::floor(whole.highest / double(speakers) * 100.0) / 100.0;
    return whole;
}

#pragma once
// Every kind of job, described once: the number it is stored under, its command and title, the
// numbers it takes with their defaults and ranges, and the settings it derives from them.
// quillgen's commands (and so its manual page and completion) and the window's pages are made
// from these descriptions: a new kind of job is a description here plus its generator.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jobs/JobLimits.h"
#include "jobs/SaveOptions.h"
#include "jobs/Settings.h"

// The stored numbers ("Kind", `outputType`) never change; a new kind takes the next number.
enum class JobKind : std::int32_t {
    testTone = kOutputTestTone,
    fullSweep = kOutputFullSweep,
    customSweep = kOutputCustomSweep,
    phaseCheck = kOutputPhaseCheck,
    noise = kOutputNoise,
    levelCheck = kOutputLevelCheck,
    lineup = kOutputLineup,
};

// The kind stored as `stored`; a number no kind has (a damaged or newer preferences file) is a
// test tone.
JobKind JobKindFromStored(std::int32_t stored);
inline std::int32_t StoredNumber(JobKind kind) {
    return static_cast<std::int32_t>(kind);
}

// A number a job takes from its front end.
enum class Field {
    frequency,
    startFrequency,
    endFrequency,
    level,
    startLevel,
    endLevel,
    length,
    sampleRate,
    silence,
    repeats,
};

struct FieldDescription {
    Field field;
    JobValue value;          // what the limits name when they refuse it
    const char* option;      // quillgen's option, "--freq"
    const char* placeholder; // "HZ"
    const char* help;        // quillgen's help text
    const char* label;       // the window's label, "Frequency"
    const char* unit;        // "Hz", "dBFS peak", "s"; empty when none
    bool integer;            // whole numbers only
    bool thousands;          // the window takes "k" for thousands
};

// A field as one kind takes it.
struct FieldUse {
    Field field;
    double defaultValue;
    const char* help = nullptr; // what it means in this kind, where the field's own text is not
                                // enough ("noise per speaker, in seconds")
};

struct JobDescription {
    JobKind kind;
    const char* command;     // quillgen's subcommand, "tone"
    const char* title;       // the window's page, with its keyboard letter: "&Test Tone"
    const char* summary;     // one line of help
    const char* about;       // what the window says of it, under its page
    const char* folderTitle; // a set's folder, "Phase Check" ("Phase Check for 5.1"); else null
    std::vector<FieldUse> fields; // in the order offered
    bool noise;                   // also takes a calibration noise (colour, band, RMS level, seed)
    bool lineup = false; // a studio line-up signal (signal, layout, picture rate, timecode, split)
    bool measurement = false; // a sweep that can be synchronized and have its inverse filter

    bool speakerSet() const { return folderTitle != nullptr; }
    // The default of `field`; none when the kind does not take it.
    std::optional<double> defaultValue(Field field) const;
};

const FieldDescription& Describe(Field field);
const JobDescription& Describe(JobKind kind);
// Every kind, in the order of their stored numbers.
const std::vector<JobDescription>& JobDescriptions();
// The kind whose command is `command`; none when there is none.
const JobDescription* DescriptionForCommand(const std::string& command);

// The setting a field stands for.
double FieldValue(Field field, const Settings& settings);
void SetFieldValue(Field field, Settings& settings, double value);
// What a kind derives once its fields are in: a tone ends where it starts, a full sweep runs
// from 5 Hz to half the rate, a noise is announced at its level, a set plays its voices and
// noises at their recorded level.
void CompleteSettings(JobKind kind, Settings& settings);
// The range `field` accepts in a job of `kind` with these settings and save options (a
// frequency follows the rate, a length the room in the file).
ValueRange FieldRange(JobKind kind, Field field, const Settings& settings,
                      const SaveOptions& options);

// quillgen tone | full-sweep | sweep | noise | phase-check | level-check | lineup: one
// subcommand per kind of job, each made from the kind's description. A job that writes one file
// takes -o PATH, an announcement and dither; a set of files, one per speaker, takes a layout and
// -o DIR; a line-up signal takes its name, a layout where it plays on one, and --split.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/JobRunner.h"
#include "cli/NoiseOptions.h"
#include "jobs/AppController.h"
#include "jobs/JobKinds.h"
#include "jobs/JobLimits.h"
#include "jobs/Lineup.h"
#include "jobs/MarkerLabels.h"
#include "jobs/PhaseCheck.h"
#include "synth/MeasurementSweep.h"

namespace quillgen {

namespace {

// What one subcommand collects before its job starts.
struct JobOptions {
    std::map<Field, double> fields;
    NoiseOptions noise;
    std::string format = "aiff";
    CLI::Option* formatOption = nullptr; // tells a --format given from the default
    std::string bits = "16";             // 16, 24 or 32f
    std::optional<std::string> output;
    bool quiet = false;
    bool labels = false; // an Audacity label file of the markers beside the file
    bool announce = true;
    std::string dither; // "tpdf", or empty for none
    std::string layout = "5.1";
    CLI::Option* layoutOption = nullptr;
    bool interleaved = false;
    SweepMeasurement measurement;
    std::string signal; // a line-up signal's name
    LineupParameters lineup;
};

// The layouts' command-line names, in the order of their numbers.
std::vector<std::string> LayoutNames() {
    std::vector<std::string> names;
    for (std::int32_t layout = 0; layout < kLayoutCount; ++layout)
        names.push_back(FindLayout(layout)->name);
    return names;
}

CLI::Option* AddLayoutOption(CLI::App* command, JobOptions& o, const std::string& help) {
    return command->add_option("--layout", o.layout, help)
        ->type_name("LAYOUT")
        ->transform([](std::string name) {
            for (auto& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return name;
        })
        ->check(CLI::IsMember(LayoutNames()));
}

CLI::Option* AddLabelsOption(CLI::App* command, JobOptions& o) {
    return command->add_flag("--labels", o.labels,
                             "also write the file's markers as an Audacity label file beside "
                             "it, with the extension .txt");
}

void AddFileOptions(CLI::App* command, JobOptions& o) {
    command
        ->add_option("-o,--output", o.output,
                     "the file to write, or a folder to write the proposed name into; its "
                     "extension .wav or .aif/.aiff chooses the format unless --format is given, "
                     "and the format's extension is added to any other name (default: the "
                     "proposed name, in the current folder)")
        ->type_name("PATH");
    command->add_flag("--quiet", o.quiet, "show no progress bar");
    command
        ->add_flag("--announce,!--no-announce", o.announce,
                   "speak the parameters before the signal")
        ->default_str("on");
    command
        ->add_option("--dither", o.dither,
                     "dither the signal before its word conversion; tpdf is triangular, +-1 LSB")
        ->type_name("METHOD")
        ->default_str("none")
        ->check(CLI::IsMember({"tpdf"}));
    AddLabelsOption(command, o);
}

void AddMeasurementOptions(CLI::App* command, JobOptions& o) {
    command->add_flag("--inverse", o.measurement.inverse,
                      "also write the sweep's inverse filter beside it, \"<name>.inverse.wav\" "
                      "(32-bit float): the recorded sweep convolved with it gives the impulse "
                      "response, its peak at the file's marker");
    command->add_flag("--synchronized", o.measurement.synchronized,
                      "a synchronized sweep: the length is adjusted so that the phase starts a "
                      "whole cycle at every octave, which places the harmonics' responses at "
                      "known times; faded in over its first half octave and out at its end");
}

void AddSetOptions(CLI::App* command, JobOptions& o, const JobDescription& job) {
    AddLayoutOption(command, o, "speaker layout")->capture_default_str();
    command
        ->add_flag("--announce-speakers,!--no-announce-speakers", o.announce,
                   job.noise ? "name every speaker from its own file before its noise"
                             : "name every speaker from its own file before the pair checks")
        ->default_str("on");
    command
        ->add_option("-o,--output", o.output,
                     std::string("the folder to write the files into (default: \"") +
                         job.folderTitle + " for <layout>\", in the current folder)")
        ->type_name("DIR");
    command->add_flag("--interleaved", o.interleaved,
                      "write one file with a channel per speaker instead of one file per "
                      "speaker; Broadcast WAVE files carry the layout's channel mask");
    command->add_flag("--quiet", o.quiet, "show no progress bar");
}

void AddLineupOptions(CLI::App* command, JobOptions& o) {
    std::vector<std::string> signals;
    for (int k = 0; k < kLineupSignalCount; ++k)
        signals.push_back(LineupSignalName(LineupSignal(k)));
    command->add_option("signal", o.signal, "the line-up signal")
        ->type_name("SIGNAL")
        ->required()
        ->check(CLI::IsMember(signals));
    o.layoutOption = AddLayoutOption(
        command, o,
        "speaker layout of r68, rp155 (default: stereo) and film-ident (default: 5.1); the "
        "others have their own channels");
    command->add_option("--fps", o.lineup.fps, "picture rate of the sync pop and of --timecode")
        ->type_name("FPS")
        ->check(CLI::IsMember(
            std::vector<double>(std::begin(kLineupFrameRates), std::end(kLineupFrameRates))))
        ->capture_default_str();
    command
        ->add_option("--timecode", o.lineup.timecode,
                     "place a Broadcast WAVE file at this non-drop timecode, HH:MM:SS:FF (its "
                     "time reference, as a DAW spots it)")
        ->type_name("TIMECODE");
    CLI::Option* split =
        command->add_flag("--split", o.lineup.split,
                          "write one mono file per speaker into a folder instead of one "
                          "interleaved file");
    AddLabelsOption(command, o)->excludes(split);
    command
        ->add_option("-o,--output", o.output,
                     "the file to write (with --split: the folder); its extension .wav or "
                     ".aif/.aiff chooses the format unless --format is given (default: the "
                     "proposed name, in the current folder)")
        ->type_name("PATH");
    command->add_flag("--quiet", o.quiet, "show no progress bar");
}

// Line-up options that cannot go together: a layout for a signal with channels of its own, a
// timecode that is not one or that an AIFF file cannot carry. True after saying why.
bool RefuseLineupOptions(AppController& controller, const JobOptions& o) {
    const LineupSignal signal = LineupSignalNamed(o.signal).value_or(LineupSignal::r68);
    std::string problem;
    if (o.layoutOption->count() > 0 && !LineupTakesLayout(signal))
        problem = o.signal + " has channels of its own; --layout applies to r68, rp155 and "
                             "film-ident";
    else if (!o.lineup.timecode.empty() &&
             !TimecodeFrames(o.lineup.timecode, o.lineup.fps, 1.0, &problem))
        problem = "--timecode " + problem;
    else if (!o.lineup.timecode.empty() &&
             controller.saveOptions().fileType() != kFileTypeBroadcastWave)
        problem = "--timecode needs a Broadcast WAVE file (--format bwf or a .wav name): an AIFF "
                  "file has no time reference";
    if (problem.empty()) return false;
    std::fprintf(stderr, "quillgen lineup: %s\n", problem.c_str());
    return true;
}

// The controller's records from the options; the file type and target come later.
void FillRecords(AppController& controller, const JobDescription& job, const JobOptions& o) {
    Settings& settings = controller.settings();
    SaveOptions& options = controller.saveOptions();
    options.setOutputType(StoredNumber(job.kind));
    options.setDataFormat(o.bits == "32f" ? kDataFormatFloat32
                                          : DataFormatForBits(o.bits == "24" ? 24 : 16));
    options.setDither(o.dither == "tpdf");
    options.setInterleaved(o.interleaved);
    for (const auto& [field, value] : o.fields)
        SetFieldValue(field, settings, value);
    settings.setAnnounce(o.announce);
    settings.setNoise(o.noise.parameters);
    settings.setMeasurement(o.measurement);
    if (job.speakerSet()) settings.setChannelSetup(LayoutNumberNamed(o.layout).value_or(0));
    if (job.lineup) {
        LineupParameters lineup = o.lineup;
        lineup.signal = LineupSignalNamed(o.signal).value_or(LineupSignal::r68);
        settings.setLineup(lineup);
        settings.setAnnounce(false);
        settings.setChannelSetup(o.layoutOption->count() > 0
                                     ? LayoutNumberNamed(o.layout).value_or(0)
                                     : LineupDefaultLayout(lineup.signal));
    }
    CompleteSettings(job.kind, settings);
}

// The option that set each value the limits may refuse.
std::map<JobValue, const char*> OptionNames(const JobDescription& job) {
    std::map<JobValue, const char*> names;
    for (const FieldUse& use : job.fields) {
        const FieldDescription& field = Describe(use.field);
        names.emplace(field.value, field.option);
    }
    // A tone's end is its start.
    if (job.kind == JobKind::testTone) names.emplace(JobValue::freqTo, "--freq");
    if (job.kind == JobKind::testTone || job.kind == JobKind::fullSweep)
        names.emplace(JobValue::levelTo, "--level");
    if (job.noise) {
        names.emplace(JobValue::noiseLevel, "--level");
        names.emplace(JobValue::band, "--band");
    }
    return names;
}

// Where the job writes: a set into the chosen folder or the proposed one; a file as -o and
// --format say. False (after saying why) when they contradict each other.
bool ChooseTarget(AppController& controller, const JobDescription& job, JobOptions& o,
                  std::string* chosenPath) {
    SaveOptions& options = controller.saveOptions();
    if (job.lineup) options.setFileType(o.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
    if (controller.writesFolder()) {
        options.setFileType(o.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
        const Settings& settings = controller.settings();
        const std::string title = *LayoutTitle(settings.channelSetup());
        controller.setPhaseCheckFileName(controller.speakerSetStem());
        *chosenPath = o.output.value_or(controller.fileName(title).value_or(""));
        // "out/" and "out" name the same directory.
        while (chosenPath->size() > 1 && chosenPath->back() == '/')
            chosenPath->pop_back();
        return true;
    }
    const std::optional<std::string> givenFormat =
        o.formatOption->count() > 0 ? std::optional(o.format) : std::nullopt;
    const OutputTarget target =
        ResolveOutput(o.output, givenFormat, o.format, controller.fileName().value_or(""));
    if (!target.problem.empty()) {
        std::fprintf(stderr, "quillgen %s: %s\n", job.command, target.problem.c_str());
        return false;
    }
    options.setFileType(target.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
    controller.setTargetExtension(target.extension);
    *chosenPath = target.chosenPath;
    return true;
}

// A count or rate given with a fraction; a file cannot hold it.
bool RefuseFractions(const JobDescription& job, const JobOptions& o) {
    for (const auto& [field, value] : o.fields) {
        const FieldDescription& described = Describe(field);
        if (!described.integer || !std::isfinite(value) || value == std::trunc(value)) continue;
        std::fprintf(stderr, "quillgen %s: %s %g is out of range; accepted: a whole number\n",
                     job.command, described.option, value);
        return true;
    }
    return false;
}

// A synchronized sweep's length is adjusted to the nearest one whose octaves start whole cycles.
void TellSynchronizedLength(const JobDescription& job, const Settings& s) {
    if (!job.measurement || !s.measurement().synchronized) return;
    if (auto plan = PlanSynchronizedSweep(s.freq_from(), s.freq_to(), s.length()))
        std::fprintf(stderr, "quillgen %s: synchronized sweep of %.6f s (%+.6f s on --length)\n",
                     job.command, plan->T, plan->adjustedBy);
}

int Run(const JobDescription& job, JobOptions& o) {
    if (RefuseFractions(job, o)) return 2;
    AppController controller;
    FillRecords(controller, job, o);
    std::string chosenPath;
    if (!ChooseTarget(controller, job, o, &chosenPath)) return 2;
    if (job.lineup && RefuseLineupOptions(controller, o)) return 2;
    if (controller.saveOptions().floatSamples() &&
        controller.saveOptions().fileType() != kFileTypeBroadcastWave) {
        std::fprintf(stderr,
                     "quillgen %s: --bits 32f needs a Broadcast WAVE file (--format bwf or a .wav "
                     "name): AIFF files hold integer samples only\n",
                     job.command);
        return 2;
    }
    if (auto violation = CheckJobSettings(controller.settings(), controller.saveOptions())) {
        ReportViolation(job.command, *violation, OptionNames(job), o.noise);
        return 2;
    }
    if (o.noise.loudness) {
        // The level that gives the loudness; the names and the announcement carry it.
        const Settings& settings = controller.settings();
        if (!ResolveLoudness(job.command, settings.length(), settings.sampleRate(), o.noise))
            return 2;
        FillRecords(controller, job, o);
        if (!ChooseTarget(controller, job, o, &chosenPath)) return 2;
        if (auto violation = CheckJobSettings(controller.settings(), controller.saveOptions())) {
            if (violation->value == JobValue::noiseLevel)
                std::fprintf(stderr,
                             "quillgen %s: --loudness %g needs an RMS level of %.2f dB, out of "
                             "range; accepted: %s\n",
                             job.command, *o.noise.loudness, violation->given,
                             violation->accepted.c_str());
            else
                ReportViolation(job.command, *violation, OptionNames(job), o.noise);
            return 2;
        }
    }
    TellSynchronizedLength(job, controller.settings());
    const int status = RunJob(controller, chosenPath, o.quiet);
    if (status != 0 || !o.labels) return status;
    // Read back from the file in its place, so that the labels are what the file holds.
    if (std::string problem = WriteMarkerLabels(controller.targetPath(chosenPath));
        !problem.empty()) {
        std::fprintf(stderr, "quillgen %s: the sound file is written, its labels are not: %s\n",
                     job.command, problem.c_str());
        return 1;
    }
    return 0;
}

void AddJobCommand(CLI::App& app, const JobDescription& job, int& status) {
    auto o = std::make_shared<JobOptions>();
    CLI::App* command = app.add_subcommand(job.command, job.summary);
    for (const FieldUse& use : job.fields) {
        const FieldDescription& field = Describe(use.field);
        o->fields[use.field] = use.defaultValue;
        command
            ->add_option(field.option, o->fields[use.field],
                         use.help != nullptr ? use.help : field.help)
            ->type_name(field.placeholder)
            ->capture_default_str();
    }
    if (job.noise) AddNoiseOptions(command, o->noise);
    if (job.speakerSet()) AddSetOptions(command, *o, job);
    if (job.lineup) AddLineupOptions(command, *o);
    o->formatOption = AddFormatOption(command, o->format);
    AddBitsOption(command, o->bits);
    if (!job.speakerSet() && !job.lineup) AddFileOptions(command, *o);
    if (job.measurement) AddMeasurementOptions(command, *o);
    command->callback([&job, o, &status] { status = Run(job, *o); });
}

} // namespace

void AddJobCommands(CLI::App& app, int& status) {
    for (const JobDescription& job : JobDescriptions())
        AddJobCommand(app, job, status);
}

} // namespace quillgen

// quillgen tone | full-sweep | sweep | noise: the single-file jobs from the command line.
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/JobRunner.h"
#include "cli/NoiseOptions.h"
#include "jobs/AppController.h"
#include "jobs/JobLimits.h"

namespace quillgen {

namespace {

// The options every single-file job shares.
struct OutputOptions {
    std::string format = "aiff";
    CLI::Option* formatOption = nullptr; // tells a --format given from the default
    int bits = 16;
    std::optional<std::string> output;
    bool quiet = false;
    bool announce = true;
};

// The values one subcommand collects before its job starts.
struct ToneOptions {
    double freqFrom = 0.0, freqTo = 0.0, levelFrom = 0.0, levelTo = 0.0;
    double length = 0.0, rate = 0.0;
    OutputOptions out;
    std::string dither; // "tpdf", or empty for none
    NoiseOptions noise; // the noise command's
};

void AddOutputOptions(CLI::App* command, OutputOptions& out) {
    out.formatOption = AddFormatOption(command, out.format);
    AddBitsOption(command, out.bits);
    command
        ->add_option("-o,--output", out.output,
                     "the file to write, or a folder to write the proposed name into; its "
                     "extension .wav or .aif/.aiff chooses the format unless --format is given, "
                     "and the format's extension is added to any other name (default: the "
                     "proposed name, in the current folder)")
        ->type_name("PATH");
    command->add_flag("--quiet", out.quiet, "show no progress bar");
    command
        ->add_flag("--announce,!--no-announce", out.announce,
                   "speak the parameters before the signal")
        ->default_str("on");
}

void AddDitherOption(CLI::App* command, std::string& dither) {
    command
        ->add_option("--dither", dither,
                     "dither the signal before its word conversion; tpdf is triangular, +-1 LSB")
        ->type_name("METHOD")
        ->default_str("none")
        ->check(CLI::IsMember({"tpdf"}));
}

CLI::Option* AddNumber(CLI::App* command, const char* name, const char* placeholder, double& value,
                       const char* help) {
    return command->add_option(name, value, help)->type_name(placeholder)->capture_default_str();
}

// Fills the controller's records, checks them and runs the job. `optionNames` says which
// option set each checked value.
void Run(int kind, ToneOptions& o, const std::map<JobValue, const char*>& optionNames,
         const char* commandName) {
    AppController controller;
    Settings& settings = controller.settings();
    SaveOptions& options = controller.saveOptions();
    options.setOutputType(kind);
    settings.setSampleRate(o.rate);
    settings.setFreq_from(o.freqFrom);
    settings.setFreq_to(o.freqTo);
    settings.setLevel_from(o.levelFrom);
    settings.setLevel_to(o.levelTo);
    settings.setLength(o.length);
    settings.setAnnounce(o.out.announce);
    options.setDither(o.dither == "tpdf");
    settings.setNoise(o.noise.parameters);

    const std::optional<std::string> givenFormat =
        o.out.formatOption->count() > 0 ? std::optional(o.out.format) : std::nullopt;
    const OutputTarget target =
        ResolveOutput(o.out.output, givenFormat, o.out.format, controller.fileName().value_or(""));
    if (!target.problem.empty()) {
        std::fprintf(stderr, "quillgen %s: %s\n", commandName, target.problem.c_str());
        exitStatus = 2;
        return;
    }
    options.setFileType(target.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
    options.setDataFormat(o.out.bits == 24 ? 2 : 1);
    controller.setTargetExtension(target.extension);

    if (auto violation = CheckJobSettings(settings, options)) {
        ReportViolation(commandName, *violation, optionNames, o.noise);
        exitStatus = 2;
        return;
    }
    exitStatus = RunJob(controller, target.chosenPath, o.out.quiet);
}

void AddToneCommand(CLI::App& app) {
    auto o = std::make_shared<ToneOptions>();
    o->freqFrom = 1000.0;
    o->levelFrom = -10.0;
    o->length = 10.0;
    o->rate = 44100.0;
    CLI::App* command = app.add_subcommand("tone", "write a steady sine test tone");
    AddNumber(command, "--freq", "HZ", o->freqFrom, "frequency in hertz");
    AddNumber(command, "--level", "DB", o->levelFrom, "level in dB re full scale");
    AddNumber(command, "--length", "SECONDS", o->length, "length of the signal in seconds");
    AddNumber(command, "--rate", "HZ", o->rate, "sample rate in hertz");
    AddOutputOptions(command, o->out);
    AddDitherOption(command, o->dither);
    command->callback([o] {
        o->freqTo = o->freqFrom;
        o->levelTo = o->levelFrom;
        Run(kOutputTestTone, *o,
            {{JobValue::sampleRate, "--rate"},
             {JobValue::freqFrom, "--freq"},
             {JobValue::freqTo, "--freq"},
             {JobValue::levelFrom, "--level"},
             {JobValue::levelTo, "--level"},
             {JobValue::length, "--length"}},
            "tone");
    });
}

void AddFullSweepCommand(CLI::App& app) {
    auto o = std::make_shared<ToneOptions>();
    o->levelFrom = -20.0;
    o->length = 30.0;
    o->rate = 48000.0;
    CLI::App* command =
        app.add_subcommand("full-sweep", "write a sweep from 5 Hz to half the sample rate");
    AddNumber(command, "--level", "DB", o->levelFrom, "level in dB re full scale");
    AddNumber(command, "--length", "SECONDS", o->length, "length of the signal in seconds");
    AddNumber(command, "--rate", "HZ", o->rate, "sample rate in hertz");
    AddOutputOptions(command, o->out);
    AddDitherOption(command, o->dither);
    command->callback([o] {
        o->freqFrom = 5.0;
        o->freqTo = o->rate * 0.5;
        o->levelTo = o->levelFrom;
        Run(kOutputFullSweep, *o,
            {{JobValue::sampleRate, "--rate"},
             {JobValue::levelFrom, "--level"},
             {JobValue::levelTo, "--level"},
             {JobValue::length, "--length"}},
            "full-sweep");
    });
}

void AddSweepCommand(CLI::App& app) {
    auto o = std::make_shared<ToneOptions>();
    o->freqFrom = 20.0;
    o->freqTo = 20000.0;
    o->levelFrom = -20.0;
    o->levelTo = -20.0;
    o->length = 15.0;
    o->rate = 48000.0;
    CLI::App* command = app.add_subcommand("sweep", "write a sweep between two frequencies");
    AddNumber(command, "--from", "HZ", o->freqFrom, "start frequency in hertz");
    AddNumber(command, "--to", "HZ", o->freqTo, "end frequency in hertz");
    AddNumber(command, "--from-level", "DB", o->levelFrom, "start level in dB re full scale");
    AddNumber(command, "--to-level", "DB", o->levelTo, "end level in dB re full scale");
    AddNumber(command, "--length", "SECONDS", o->length, "length of the signal in seconds");
    AddNumber(command, "--rate", "HZ", o->rate, "sample rate in hertz");
    AddOutputOptions(command, o->out);
    AddDitherOption(command, o->dither);
    command->callback([o] {
        Run(kOutputCustomSweep, *o,
            {{JobValue::sampleRate, "--rate"},
             {JobValue::freqFrom, "--from"},
             {JobValue::freqTo, "--to"},
             {JobValue::levelFrom, "--from-level"},
             {JobValue::levelTo, "--to-level"},
             {JobValue::length, "--length"}},
            "sweep");
    });
}

void AddNoiseCommand(CLI::App& app) {
    auto o = std::make_shared<ToneOptions>();
    o->length = 30.0;
    o->rate = 48000.0;
    CLI::App* command = app.add_subcommand(
        "noise", "write calibration noise, pink or white, at an RMS level, optionally in a band");
    AddNoiseOptions(command, o->noise);
    AddNumber(command, "--length", "SECONDS", o->length, "length of the noise in seconds");
    AddNumber(command, "--rate", "HZ", o->rate, "sample rate in hertz");
    AddOutputOptions(command, o->out);
    AddDitherOption(command, o->dither);
    command->callback([o] {
        // The announcement is spoken at the noise's level.
        o->levelFrom = o->levelTo = o->noise.parameters.level;
        Run(kOutputNoise, *o,
            {{JobValue::sampleRate, "--rate"},
             {JobValue::noiseLevel, "--level"},
             {JobValue::band, "--band"},
             {JobValue::length, "--length"}},
            "noise");
    });
}

const bool registeredTone = RegisterCommand(&AddToneCommand);
const bool registeredFullSweep = RegisterCommand(&AddFullSweepCommand);
const bool registeredSweep = RegisterCommand(&AddSweepCommand);
const bool registeredNoise = RegisterCommand(&AddNoiseCommand);

} // namespace

} // namespace quillgen

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
    command->add_option("--format", out.format, "file format")
        ->check(CLI::IsMember({"aiff", "bwf"}))
        ->capture_default_str();
    command->add_option("--bits", out.bits, "bits per sample")
        ->check(CLI::IsMember({16, 24}))
        ->capture_default_str();
    command->add_option("-o,--output", out.output,
                        "where to write; the extension (.aif or .wav) is added unless present");
    command->add_flag("--quiet", out.quiet, "no progress bar");
    command->add_flag("--announce,!--no-announce", out.announce,
                      "speak the parameters before the signal");
}

void AddDitherOption(CLI::App* command, std::string& dither) {
    command->add_option("--dither", dither,
                        "dither the signal before its word conversion (tpdf: triangular, "
                        "+-1 LSB); default none")
        ->check(CLI::IsMember({"tpdf"}));
}

CLI::Option* AddNumber(CLI::App* command, const char* name, double& value, const char* help) {
    return command->add_option(name, value, help)->capture_default_str();
}

// Fills the controller's records, checks them and runs the job. `optionNames` says which
// option set each checked value.
void Run(int kind, ToneOptions& o, const std::map<JobValue, const char*>& optionNames,
         const char* commandName) {
    AppController controller;
    Settings& settings = controller.settings();
    SaveOptions& options = controller.saveOptions();
    options.setOutputType(kind);
    options.setFileType(o.out.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
    options.setDataFormat(o.out.bits == 24 ? 2 : 1);
    settings.setSampleRate(o.rate);
    settings.setFreq_from(o.freqFrom);
    settings.setFreq_to(o.freqTo);
    settings.setLevel_from(o.levelFrom);
    settings.setLevel_to(o.levelTo);
    settings.setLength(o.length);
    settings.setAnnounce(o.out.announce);
    options.setDither(o.dither == "tpdf");
    settings.setNoise(o.noise.parameters);

    if (auto violation = CheckJobSettings(settings, options)) {
        ReportViolation(commandName, *violation, optionNames, o.noise);
        exitStatus = 2;
        return;
    }
    std::string path =
        ChosenPath(o.out.output, controller.fileName().value_or(""), controller.outputExtension());
    exitStatus = RunJob(controller, path, o.out.quiet);
}

void AddToneCommand(CLI::App& app) {
    auto o = std::make_shared<ToneOptions>();
    o->freqFrom = 1000.0;
    o->levelFrom = -10.0;
    o->length = 10.0;
    o->rate = 44100.0;
    CLI::App* command = app.add_subcommand("tone", "write a steady sine test tone");
    AddNumber(command, "--freq", o->freqFrom, "frequency, Hz");
    AddNumber(command, "--level", o->levelFrom, "level, dB re full scale");
    AddNumber(command, "--length", o->length, "length, seconds");
    AddNumber(command, "--rate", o->rate, "sample rate, Hz");
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
    AddNumber(command, "--level", o->levelFrom, "level, dB re full scale");
    AddNumber(command, "--length", o->length, "length, seconds");
    AddNumber(command, "--rate", o->rate, "sample rate, Hz");
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
    AddNumber(command, "--from", o->freqFrom, "start frequency, Hz");
    AddNumber(command, "--to", o->freqTo, "end frequency, Hz");
    AddNumber(command, "--from-level", o->levelFrom, "start level, dB re full scale");
    AddNumber(command, "--to-level", o->levelTo, "end level, dB re full scale");
    AddNumber(command, "--length", o->length, "length, seconds");
    AddNumber(command, "--rate", o->rate, "sample rate, Hz");
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
    AddNumber(command, "--length", o->length, "length, seconds");
    AddNumber(command, "--rate", o->rate, "sample rate, Hz");
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

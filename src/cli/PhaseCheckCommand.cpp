// quillgen phase-check and level-check: the phase and channel check files, or the level check
// files, of a speaker layout, one file per speaker (or one interleaved file with a channel per
// speaker), written into one directory.
#include <cctype>
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
#include "jobs/PhaseCheck.h"

namespace quillgen {

namespace {

struct PhaseCheckOptions {
    std::string layout = "5.1";
    double silence = 1.0;
    int repeats = 2;
    bool announceSpeakers = true;
    double rate = 48000.0;
    std::string format = "aiff";
    int bits = 16;
    std::optional<std::string> output;
    bool quiet = false;
    // The level check's.
    double length = 10.0;
    NoiseOptions noise;
    bool interleaved = false;
};

// The layouts by the names the command accepts.
const std::map<std::string, std::int32_t>& LayoutNames() {
    static const std::map<std::string, std::int32_t> names = {
        {"stereo", 0}, {"quad", 1}, {"lcrs", 2}, {"5.1", 3}, {"6.1", 4}, {"7.1", 5}, {"10.2", 6}};
    return names;
}

bool OutOfRange(const char* option, double value, ValueRange range, const char* unit) {
    if (range.Contains(value)) return false;
    std::fprintf(stderr, "quillgen phase-check: %s %g is out of range; accepted: %g to %g%s\n",
                 option, value, range.lowest, range.highest, unit);
    return true;
}

// The records both checks fill alike.
void FillSetRecords(AppController& controller, std::int32_t kind, const PhaseCheckOptions& o) {
    Settings& settings = controller.settings();
    SaveOptions& options = controller.saveOptions();
    options.setOutputType(kind);
    options.setFileType(o.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
    options.setDataFormat(o.bits == 24 ? 2 : 1);
    options.setInterleaved(o.interleaved);
    settings.setSampleRate(o.rate);
    // Voices and noises go in at their recorded level.
    settings.setLevel_from(0.0);
    settings.setLevel_to(0.0);
    settings.setChannelSetup(LayoutNames().at(o.layout));
    settings.setAnnounce(o.announceSpeakers);
}

// Runs the job of the filled records into the chosen directory or the proposed one.
void RunSet(AppController& controller, const PhaseCheckOptions& o, const std::string& title) {
    std::string directory = o.output.value_or(controller.fileName(title).value_or(""));
    // "out/" and "out" name the same directory.
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    exitStatus = RunJob(controller, directory, o.quiet);
}

void RunLevelCheck(const PhaseCheckOptions& o) {
    AppController controller;
    FillSetRecords(controller, kOutputLevelCheck, o);
    Settings& settings = controller.settings();
    settings.setLength(o.length);
    settings.setNoise(o.noise.parameters);
    if (auto violation = CheckJobSettings(settings, controller.saveOptions())) {
        ReportViolation("level-check", *violation,
                        {{JobValue::sampleRate, "--rate"},
                         {JobValue::noiseLevel, "--level"},
                         {JobValue::band, "--band"},
                         {JobValue::length, "--length"}},
                        o.noise);
        exitStatus = 2;
        return;
    }
    const std::string title = *LayoutTitle(settings.channelSetup());
    controller.setPhaseCheckFileName(
        LevelCheckFileName(o.rate, controller.saveOptions().wordLength(), title));
    RunSet(controller, o, title);
}

void Run(const PhaseCheckOptions& o) {
    if (OutOfRange("--silence", o.silence, SilenceRange(), " s") ||
        OutOfRange("--repeats", o.repeats, RepeatsRange(), "") ||
        OutOfRange("--rate", o.rate, SampleRateRange(), " Hz")) {
        exitStatus = 2;
        return;
    }
    AppController controller;
    FillSetRecords(controller, kOutputPhaseCheck, o);
    Settings& settings = controller.settings();
    settings.setSilence(o.silence);
    settings.setNumRepeats(o.repeats);
    const std::string title = *LayoutTitle(settings.channelSetup());
    controller.setPhaseCheckFileName(
        PhaseCheckFileName(o.rate, controller.saveOptions().wordLength(), title));
    RunSet(controller, o, title);
}

// The options of both checks: layout, speaker names, rate, format and where to write.
void AddSetOptions(CLI::App* command, PhaseCheckOptions& o, const char* defaultFolder,
                   const char* announceHelp) {
    command->add_option("--layout", o.layout, "speaker layout")
        ->type_name("LAYOUT")
        ->transform([](std::string name) {
            for (auto& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return name;
        })
        ->check(CLI::IsMember({"stereo", "quad", "lcrs", "5.1", "6.1", "7.1", "10.2"}))
        ->capture_default_str();
    command->add_flag("--announce-speakers,!--no-announce-speakers", o.announceSpeakers,
                      announceHelp)
        ->default_str("on");
    command->add_option("--rate", o.rate, "sample rate in hertz")
        ->type_name("HZ")
        ->capture_default_str();
    AddFormatOption(command, o.format);
    AddBitsOption(command, o.bits);
    command
        ->add_option("-o,--output", o.output,
                     std::string("the folder to write the files into (default: \"") +
                         defaultFolder + " for <layout>\", in the current folder)")
        ->type_name("DIR");
    command->add_flag("--interleaved", o.interleaved,
                      "write one file with a channel per speaker instead of one file per "
                      "speaker; Broadcast WAVE files carry the layout's channel mask");
    command->add_flag("--quiet", o.quiet, "show no progress bar");
}

void AddPhaseCheckCommand(CLI::App& app) {
    auto o = std::make_shared<PhaseCheckOptions>();
    CLI::App* command = app.add_subcommand(
        "phase-check", "write phase and channel check files, one per speaker (or one interleaved "
                       "file), into a directory");
    AddSetOptions(command, *o, "Phase Check",
                  "name every speaker from its own file before the pair checks");
    command->add_option("--silence", o->silence, "silence after every element, in seconds")
        ->type_name("SECONDS")
        ->capture_default_str();
    command->add_option("--repeats", o->repeats, "in-phase/out-of-phase bursts per speaker pair")
        ->type_name("N")
        ->capture_default_str();
    command->callback([o] { Run(*o); });
}

void AddLevelCheckCommand(CLI::App& app) {
    auto o = std::make_shared<PhaseCheckOptions>();
    CLI::App* command = app.add_subcommand(
        "level-check", "write level check files, one per speaker, into a directory: each "
                       "speaker in turn plays calibration noise while the others are silent");
    AddSetOptions(command, *o, "Level Check",
                  "name every speaker from its own file before its noise");
    command->add_option("--length", o->length, "noise per speaker, in seconds")
        ->type_name("SECONDS")
        ->capture_default_str();
    AddNoiseOptions(command, o->noise);
    command->callback([o] { RunLevelCheck(*o); });
}

const bool registered = RegisterCommand(&AddPhaseCheckCommand);
const bool registeredLevelCheck = RegisterCommand(&AddLevelCheckCommand);

} // namespace

} // namespace quillgen

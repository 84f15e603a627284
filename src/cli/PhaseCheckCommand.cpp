// quillgen phase-check: the phase and channel check files of a speaker layout, one file per
// speaker (or one interleaved file with a channel per speaker), written into one directory.
#include <cctype>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/JobRunner.h"
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

void Run(const PhaseCheckOptions& o) {
    if (OutOfRange("--silence", o.silence, SilenceRange(), " s") ||
        OutOfRange("--repeats", o.repeats, RepeatsRange(), "") ||
        OutOfRange("--rate", o.rate, SampleRateRange(), " Hz")) {
        exitStatus = 2;
        return;
    }
    AppController controller;
    Settings& settings = controller.settings();
    SaveOptions& options = controller.saveOptions();
    const std::int32_t layout = LayoutNames().at(o.layout);
    const std::string title = *LayoutTitle(layout);
    options.setOutputType(kOutputPhaseCheck);
    options.setFileType(o.format == "bwf" ? kFileTypeBroadcastWave : kFileTypeAIFF);
    options.setDataFormat(o.bits == 24 ? 2 : 1);
    options.setInterleaved(o.interleaved);
    settings.setSampleRate(o.rate);
    // Voices and noises go in at their recorded level.
    settings.setLevel_from(0.0);
    settings.setLevel_to(0.0);
    settings.setSilence(o.silence);
    settings.setNumRepeats(o.repeats);
    settings.setChannelSetup(layout);
    settings.setAnnounce(o.announceSpeakers);
    controller.setPhaseCheckFileName(PhaseCheckFileName(o.rate, options.wordLength(), title));

    std::string directory = o.output.value_or(controller.fileName(title).value_or(""));
    // "out/" and "out" name the same directory.
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    exitStatus = RunJob(controller, directory, o.quiet);
}

void AddPhaseCheckCommand(CLI::App& app) {
    auto o = std::make_shared<PhaseCheckOptions>();
    CLI::App* command = app.add_subcommand(
        "phase-check", "write phase and channel check files, one per speaker (or one interleaved "
                       "file), into a directory");
    command->add_option("--layout", o->layout, "speaker layout")
        ->transform([](std::string name) {
            for (auto& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return name;
        })
        ->check(CLI::IsMember({"stereo", "quad", "lcrs", "5.1", "6.1", "7.1", "10.2"}))
        ->capture_default_str();
    command->add_option("--silence", o->silence, "seconds of silence after every element")
        ->capture_default_str();
    command->add_option("--repeats", o->repeats, "in-phase/out-of-phase bursts per speaker pair")
        ->capture_default_str();
    command->add_flag("--announce-speakers,!--no-announce-speakers", o->announceSpeakers,
                      "name every speaker from its own file before the pair checks");
    command->add_option("--rate", o->rate, "sample rate, Hz")->capture_default_str();
    command->add_option("--format", o->format, "file format")
        ->check(CLI::IsMember({"aiff", "bwf"}))
        ->capture_default_str();
    command->add_option("--bits", o->bits, "bits per sample")
        ->check(CLI::IsMember({16, 24}))
        ->capture_default_str();
    command->add_option("-o,--output", o->output,
                        "the directory to write; default \"Phase Check for <layout>\" here");
    command->add_flag("--interleaved", o->interleaved,
                      "one file with a channel per speaker, with the layout's channel mask in "
                      "Broadcast WAVE");
    command->add_flag("--quiet", o->quiet, "no progress bar");
    command->callback([o] { Run(*o); });
}

const bool registered = RegisterCommand(&AddPhaseCheckCommand);

} // namespace

} // namespace quillgen

// quillgen info FILE [--json] [--levels]: what a sound file holds, read through the engine.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/InfoCommand.h"
#include "cli/JobRunner.h"
#include "jobs/SoundFileReport.h"

namespace quillgen {

namespace {

// A text value in quotes. The bext fields hold whatever bytes the file has; bytes that are
// not UTF-8 are shown as U+FFFD, as in the JSON output, instead of ending the program.
std::string Quoted(const nlohmann::json& text) {
    return text.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The loudness and each channel's levels, when they were measured.
void PrintLevels(const nlohmann::json& info, std::ostream& out) {
    if (info.contains("loudness")) {
        const auto& loudness = info["loudness"];
        char line[96];
        // The gates measure 400 ms blocks: a shorter file has none to measure.
        const bool tooShort = info["frames"].get<double>() < 0.4 * info["sampleRate"].get<double>();
        if (loudness["integrated"].is_null())
            std::snprintf(line, sizeof line, "  loudness     %s\n",
                          tooShort ? "too short to measure (under 0.4 s)" : "too quiet to measure");
        else
            std::snprintf(line, sizeof line, "  loudness     %.2f LUFS integrated, range %.2f LU\n",
                          loudness["integrated"].get<double>(), loudness["range"].get<double>());
        out << line;
    }
    if (info.contains("levels")) {
        // RMS dBFS reads a full-scale sine as -3.01 dB; AES17 reads it as 0 dB.
        out << "  levels       peak dBFS   true peak dBTP   RMS dBFS   RMS dB AES17\n";
        int channel = 1;
        for (const auto& level : info["levels"]) {
            char line[96];
            if (level["peak"].is_null())
                std::snprintf(line, sizeof line, "    channel %-3d  silent\n", channel);
            else
                std::snprintf(line, sizeof line,
                              "    channel %-3d %8.2f   %14.2f   %8.2f   %12.2f\n", channel,
                              level["peak"].get<double>(), level["truePeak"].get<double>(),
                              level["rms"].get<double>(), level["rmsAes17"].get<double>());
            out << line;
            ++channel;
        }
    }
}

void PrintText(const nlohmann::json& info, std::ostream& out) {
    out << info["path"].get<std::string>() << "\n"
        << "  format       " << info["format"].get<std::string>()
        << (info.contains("rf64") ? " RF64" : "") << (info.contains("float") ? " float" : "")
        << "\n"
        << "  channels     " << info["channels"] << "\n"
        << "  bits         " << info["bits"] << "\n"
        << "  sample rate  " << info["sampleRate"] << " Hz\n"
        << "  frames       " << info["frames"] << "\n";
    if (info.contains("channelMask")) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%X", info["channelMask"]["value"].get<unsigned>());
        out << "  channel mask " << mask << " ("
            << info["channelMask"]["speakers"].get<std::string>() << ")\n";
    }
    out << "  markers      " << info["markers"].size() << "\n";
    for (const auto& m : info["markers"]) {
        out << "    id " << m["id"] << " at " << m["position"];
        if (m.contains("number")) out << " number " << m["number"];
        out << " " << m["name"] << "\n";
    }
    out << "  loops        " << info["loops"].size() << "\n";
    for (const auto& l : info["loops"])
        out << "    id " << l["id"] << " " << l["start"] << " to " << l["end"] << " type "
            << l["type"] << "\n";
    if (info.contains("sampler")) {
        const auto& s = info["sampler"];
        out << "  sampler      base note " << s["baseNote"] << ", detune " << s["detune"]
            << ", notes " << s["lowNote"] << "-" << s["highNote"] << ", velocities "
            << s["lowVelocity"] << "-" << s["highVelocity"] << ", gain " << s["gain"] << " dB\n";
    }
    out << "  regions      " << info["regions"].size() << "\n";
    for (const auto& r : info["regions"])
        out << "    id " << r["id"] << " " << r["start"] << " to " << r["end"] << " sync "
            << r["sync"] << " " << r["name"] << "\n";
    PrintLevels(info, out);
    if (info.contains("bext")) {
        const auto& b = info["bext"];
        out << "  bext         version " << b["version"] << ", time reference "
            << b["timeReference"] << "\n"
            << "    description          " << Quoted(b["description"]) << "\n"
            << "    originator           " << Quoted(b["originator"]) << "\n"
            << "    originator reference " << Quoted(b["originatorReference"]) << "\n"
            << "    origination          " << Quoted(b["originationDate"]) << " "
            << Quoted(b["originationTime"]) << "\n";
    }
}

int Fail(std::ostream& err, const std::string& message) {
    err << "quillgen info: " << message << "\n";
    return 1;
}

} // namespace

int ShowInfo(const InfoOptions& options, std::ostream& out, std::ostream& err) {
    std::string why;
    // Reading every frame of a long file takes a while: a terminal sees how far it is.
    const bool showBar = options.levels && isatty(STDERR_FILENO);
    auto lastDrawn = std::chrono::steady_clock::now();
    std::function<void(double)> progress;
    if (showBar) {
        DrawProgressBar(0.0);
        progress = [&lastDrawn](double fraction) {
            const auto now = std::chrono::steady_clock::now();
            if (now - lastDrawn < std::chrono::milliseconds(100)) return;
            lastDrawn = now;
            DrawProgressBar(fraction);
        };
    }
    const std::optional<nlohmann::json> info =
        ReadSoundFileReport(options.path, options.levels, &why, nullptr, progress);
    if (showBar) {
        if (info) DrawProgressBar(1.0);
        std::fputc('\n', stderr);
    }
    if (!info) return Fail(err, why);
    if (options.json)
        out << info->dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    else
        PrintText(*info, out);
    return 0;
}

void AddInfoCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "show the format, markers, loops, sampler "
                                                   "information and regions of a sound file");
    command->add_option("FILE", options->path, "the AIFF or WAVE file to read")
        ->type_name("FILE")
        ->required();
    command->add_flag("--json", options->json, "print one JSON object");
    command->add_flag("--levels", options->levels,
                      "read every frame and show each channel's sample peak, true peak (dBTP) "
                      "and RMS level (dBFS, and +3.01 dB as AES17 reads it), and the file's "
                      "integrated loudness (LUFS) and loudness range (LU)");
    command->callback([options, &status] { status = ShowInfo(*options, std::cout, std::cerr); });
}

} // namespace quillgen

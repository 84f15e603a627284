#include "cli/NoiseOptions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "jobs/NoiseLoudness.h"

namespace quillgen {

namespace {

// "500-2000" -> (500, 2000): two plain non-negative numbers joined by one hyphen.
std::optional<std::pair<double, double>> ParsedBand(const std::string& text) {
    const std::size_t hyphen = text.find('-');
    if (hyphen == 0 || hyphen == std::string::npos || hyphen + 1 == text.size()) return {};
    auto number = [](const std::string& part) -> std::optional<double> {
        if (part.find_first_not_of("0123456789.") != std::string::npos) return {};
        char* end = nullptr;
        const double value = std::strtod(part.c_str(), &end);
        if (end != part.c_str() + part.size()) return {};
        return value;
    };
    auto low = number(text.substr(0, hyphen));
    auto high = number(text.substr(hyphen + 1));
    if (!low || !high) return {};
    return std::make_pair(*low, *high);
}

} // namespace

void AddNoiseOptions(CLI::App* command, NoiseOptions& noise) {
    NoiseParameters& p = noise.parameters;
    command
        ->add_option_function<std::string>(
            "--color",
            [&p](const std::string& color) {
                p.color = color == "white" ? NoiseColor::white : NoiseColor::pink;
            },
            "noise colour; pink falls by 3 dB per octave")
        ->type_name("COLOR")
        ->default_str("pink")
        ->check(CLI::IsMember({"pink", "white"}));
    command
        ->add_option_function<std::string>(
            "--band",
            [&noise](const std::string& text) {
                noise.band = text;
                auto band = ParsedBand(text);
                noise.parameters.bandLow = band->first;
                noise.parameters.bandHigh = band->second;
            },
            "limit the noise to a band from LOW to HIGH hertz, e.g. 500-2000 (default: the "
            "full band)")
        ->type_name("LOW-HIGH")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParsedBand(text) ? std::string()
                                        : "expects LOW-HIGH in Hz, e.g. 500-2000, not " + text;
            },
            "LOW-HIGH"));
    CLI::Option* level = command->add_option("--level", p.level, "RMS level in dB re full scale")
                             ->type_name("DB")
                             ->capture_default_str();
    command
        ->add_option("--loudness", noise.loudness,
                     "integrated loudness in LUFS instead of an RMS level: the noise is "
                     "measured as one channel and its level set to give this loudness")
        ->type_name("LUFS")
        ->excludes(level);
    command->add_option("--seed", p.seed, "start of the random sequence: same seed, same noise")
        ->type_name("N")
        ->capture_default_str();
}

bool ResolveLoudness(const char* commandName, double length, double sampleRate,
                     NoiseOptions& noise) {
    if (!noise.loudness) return true;
    const double loudness = *noise.loudness;
    std::string why;
    if (!std::isfinite(loudness))
        why = "--loudness " + std::to_string(loudness) + " is not a number";
    NoiseLoudnessLevel found;
    if (why.empty())
        found = NoiseLevelForLoudness(noise.parameters, length, sampleRate, loudness, &why);
    if (why.empty() && !found.reachable) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "at %.2f LUFS the peaks of this noise would reach full scale; the highest "
                      "loudness it takes is %.2f LUFS",
                      loudness, found.highestLoudness);
        why = text;
    }
    if (!why.empty()) {
        std::fprintf(stderr, "quillgen %s: %s\n", commandName, why.c_str());
        return false;
    }
    noise.parameters.level = found.level;
    return true;
}

void ReportViolation(const char* commandName, const LimitViolation& violation,
                     const std::map<JobValue, const char*>& optionNames,
                     const NoiseOptions& noise) {
    auto name = optionNames.find(violation.value);
    const char* option = name != optionNames.end() ? name->second : "value";
    if (violation.value == JobValue::band)
        std::fprintf(stderr, "quillgen %s: %s %s is out of range; accepted: %s\n", commandName,
                     option, noise.band.c_str(), violation.accepted.c_str());
    else
        std::fprintf(stderr, "quillgen %s: %s %g is out of range; accepted: %s\n", commandName,
                     option, violation.given, violation.accepted.c_str());
}

} // namespace quillgen

#include "jobs/Settings.h"

#include <cmath>
#include <limits>

namespace dictionary_value {

static const nlohmann::json* Find(const nlohmann::json& dictionary, const char* key) {
    if (!dictionary.is_object()) return nullptr;
    auto it = dictionary.find(key);
    if (it == dictionary.end()) return nullptr;
    return &*it;
}

double Double(const nlohmann::json& dictionary, const char* key) {
    const nlohmann::json* value = Find(dictionary, key);
    if (value == nullptr) return 0.0;
    if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
    if (value->is_number()) return value->get<double>();
    return 0.0;
}

std::int32_t Int32(const nlohmann::json& dictionary, const char* key) {
    const nlohmann::json* value = Find(dictionary, key);
    if (value == nullptr) return 0;
    if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    if (value->is_number_unsigned()) {
        auto v = value->get<std::uint64_t>();
        return v > static_cast<std::uint64_t>(highest) ? highest : static_cast<std::int32_t>(v);
    }
    if (value->is_number_integer()) {
        auto v = value->get<std::int64_t>();
        if (v < lowest) return lowest;
        if (v > highest) return highest;
        return static_cast<std::int32_t>(v);
    }
    if (value->is_number_float()) {
        // Converting an out-of-range double to an integer is undefined, so clamp first.
        double v = std::trunc(value->get<double>());
        if (std::isnan(v)) return 0;
        if (v <= lowest) return lowest;
        if (v >= highest) return highest;
        return static_cast<std::int32_t>(v);
    }
    return 0;
}

bool Bool(const nlohmann::json& dictionary, const char* key) {
    const nlohmann::json* value = Find(dictionary, key);
    if (value == nullptr) return false;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0.0;
    return false;
}

} // namespace dictionary_value

Settings Settings::FromDictionary(const nlohmann::json& dictionary) {
    using namespace dictionary_value;
    Settings settings;
    settings.freqFrom = Double(dictionary, "freq_from");
    settings.freqTo = Double(dictionary, "freq_to");
    settings.levelFrom = Double(dictionary, "level_from");
    settings.levelTo = Double(dictionary, "level_to");
    settings.lengthSeconds = Double(dictionary, "length");
    settings.rate = Double(dictionary, "sampleRate");
    settings.layout = Int32(dictionary, "channelSetup");
    settings.silenceSeconds = Double(dictionary, "silence");
    settings.repeats = Int32(dictionary, "numRepeats");
    settings.speak = Bool(dictionary, "announce");
    return settings;
}

nlohmann::json Settings::dictionary() const {
    return nlohmann::json{
        {"freq_from", freqFrom},  {"freq_to", freqTo},         {"level_from", levelFrom},
        {"level_to", levelTo},    {"length", lengthSeconds},   {"sampleRate", rate},
        {"channelSetup", layout}, {"silence", silenceSeconds}, {"numRepeats", repeats},
        {"announce", speak},
    };
}

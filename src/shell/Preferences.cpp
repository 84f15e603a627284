#include "shell/Preferences.h"

#include "shell/PosixIO.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <strings.h>
#include <system_error>
#include <unistd.h>

namespace {

std::atomic<Preferences*> sharedReplacement{nullptr};

nlohmann::json ReadStore(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return nlohmann::json::object();
    std::stringstream text;
    text << in.rdbuf();
    nlohmann::json parsed = nlohmann::json::parse(text.str(), nullptr, false);
    // A damaged or foreign file must not stop the application: it reads as empty and is
    // replaced by the next store.
    if (parsed.is_discarded() || !parsed.is_object()) return nlohmann::json::object();
    return parsed;
}

// Writes the whole store beside the target and renames it into place, so a crash or a full
// disk leaves either the old file or the new one, never half of one.
bool WriteStore(const std::filesystem::path& file, const nlohmann::json& store) {
    std::error_code error;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
    std::string temporary = file.string() + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    const std::string text =
        store.dump(4, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    bool written = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (written && ::rename(temporary.c_str(), file.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

std::int32_t ClampToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int32_t IntFromText(const std::string& text) {
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str()) return 0;
    return ClampToInt32(static_cast<double>(value));
}

} // namespace

Preferences::Preferences(std::filesystem::path file) : file(std::move(file)) {
    stored = ReadStore(this->file);
}

std::filesystem::path Preferences::DefaultFile() {
    std::filesystem::path config;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // A relative value is ignored, as for every XDG base directory.
    if (xdg != nullptr && xdg[0] == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        config = std::filesystem::path(home != nullptr && home[0] != '\0' ? home : ".") / ".config";
    }
    return config / "quillwavecaster" / "preferences.json";
}

Preferences& Preferences::Shared() {
    if (Preferences* replacement = sharedReplacement.load()) return *replacement;
    static Preferences user(DefaultFile());
    return user;
}

Preferences* Preferences::ReplaceShared(Preferences* replacement) {
    return sharedReplacement.exchange(replacement);
}

void Preferences::RegisterDefaults(const nlohmann::json& dict) {
    if (!dict.is_object()) return;
    std::lock_guard lock(mutex);
    for (const auto& [key, value] : dict.items())
        defaults[key] = value;
}

std::optional<nlohmann::json> Preferences::Lookup(const std::string& key) const {
    std::lock_guard lock(mutex);
    if (auto it = stored.find(key); it != stored.end()) return *it;
    if (auto it = defaults.find(key); it != defaults.end()) return *it;
    return std::nullopt;
}

bool Preferences::GetBool(const std::string& key) const {
    std::optional<nlohmann::json> value = Lookup(key);
    if (!value) return false;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0.0;
    if (value->is_string()) {
        const std::string& text = value->get_ref<const std::string&>();
        if (::strcasecmp(text.c_str(), "yes") == 0 || ::strcasecmp(text.c_str(), "true") == 0)
            return true;
        return IntFromText(text) != 0;
    }
    return false;
}

std::int32_t Preferences::GetInt(const std::string& key) const {
    std::optional<nlohmann::json> value = Lookup(key);
    if (!value) return 0;
    if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
    if (value->is_number_unsigned())
        return ClampToInt32(static_cast<double>(value->get<std::uint64_t>()));
    if (value->is_number_integer())
        return ClampToInt32(static_cast<double>(value->get<std::int64_t>()));
    if (value->is_number()) return ClampToInt32(value->get<double>());
    if (value->is_string()) return IntFromText(value->get_ref<const std::string&>());
    return 0;
}

std::optional<nlohmann::json> Preferences::GetObject(const std::string& key) const {
    return Lookup(key);
}

bool Preferences::SetObject(const std::string& key, const nlohmann::json& value) {
    std::lock_guard lock(mutex);
    // Start from what is on disk so that keys another instance wrote meanwhile survive;
    // values this process set while the file could not be written are kept as well.
    nlohmann::json merged = ReadStore(file);
    for (const auto& [storedKey, storedValue] : stored.items())
        if (!merged.contains(storedKey)) merged[storedKey] = storedValue;
    merged[key] = value;
    stored = std::move(merged);
    return WriteStore(file, stored);
}

void DeclareReaderDefaults() {
    Preferences::Shared().RegisterDefaults({{kIgnoreRegionsContainingWholeFile, true},
                                            {kProcessFileIfNoRegions, true},
                                            {kSkipBadRegion, 0}});
}

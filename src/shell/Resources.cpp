#include "shell/Resources.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

// A resource name names one file in the folder: no separators, no way up.
bool IsPlainName(const std::string& text) {
    return text.find('/') == std::string::npos && text.find('\0') == std::string::npos &&
           text != "." && text != "..";
}

} // namespace

std::filesystem::path ResourceDirectory() {
    const char* override = std::getenv("QUILL_RESOURCES");
    if (override != nullptr && override[0] != '\0') return override;
    std::error_code error;
    if (std::filesystem::is_directory(QUILL_SHARE_RESOURCES, error)) return QUILL_SHARE_RESOURCES;
    return QUILL_SOURCE_RESOURCES;
}

std::optional<std::string> PathForResource(const std::string& name, const std::string& type) {
    if (name.empty() || !IsPlainName(name) || !IsPlainName(type)) return std::nullopt;
    const std::string leaf = type.empty() ? name : name + "." + type;
    std::filesystem::path path = ResourceDirectory() / leaf;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    return path.string();
}

std::optional<std::vector<std::uint8_t>> ContentsOfFile(const std::string& path) {
    std::error_code error;
    if (path.empty() || std::filesystem::is_directory(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::optional<nlohmann::json> DictionaryFromFile(const std::string& path) {
    std::optional<std::vector<std::uint8_t>> bytes = ContentsOfFile(path);
    if (!bytes) return std::nullopt;
    nlohmann::json parsed = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

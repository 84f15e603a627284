#include "jobs/OutputNames.h"

#include <cctype>

#include "jobs/SaveOptions.h"

std::string StripOutputExtension(const std::string& path, const std::string& extension) {
    const std::string dotted = "." + extension;
    if (path.size() <= dotted.size()) return path;
    const std::size_t stem = path.size() - dotted.size();
    if (path.compare(stem, dotted.size(), dotted) != 0 || path[stem - 1] == '/') return path;
    return path.substr(0, stem);
}

std::optional<NamedFormat> FormatNamedByExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot <= slash + 1))
        return std::nullopt;
    const std::string extension = path.substr(dot + 1);
    std::string lower = extension;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "wav") return NamedFormat{kFileTypeBroadcastWave, path.substr(0, dot), extension};
    if (lower == "aif" || lower == "aiff")
        return NamedFormat{kFileTypeAIFF, path.substr(0, dot), extension};
    return std::nullopt;
}

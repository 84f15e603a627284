#include "jobs/OutputNames.h"

std::string StripOutputExtension(const std::string& path, const std::string& extension) {
    const std::string dotted = "." + extension;
    if (path.size() <= dotted.size()) return path;
    const std::size_t stem = path.size() - dotted.size();
    if (path.compare(stem, dotted.size(), dotted) != 0 || path[stem - 1] == '/') return path;
    return path.substr(0, stem);
}

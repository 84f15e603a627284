#include "shell/FSSpec.h"

#include <cstring>

#include "shell/PascalString.h"

bool MakeFSSpec(const std::string& directory, const std::string& leafName, FSSpec* spec) {
    unsigned char name[256];
    if (!getPascalString(leafName, name) || name[0] > kFSSpecMaxName) return false;
    spec->directory = directory;
    std::memcpy(spec->name, name, name[0] + 1);
    return true;
}

std::string FSSpecLeafName(const FSSpec& spec) {
    unsigned char name[256];
    const int length = spec.name[0] > kFSSpecMaxName ? kFSSpecMaxName : spec.name[0];
    name[0] = static_cast<unsigned char>(length);
    std::memcpy(name + 1, spec.name + 1, length);
    return stringWithPascalString(name);
}

std::string FSSpecFullPath(const FSSpec& spec) {
    const std::string leaf = FSSpecLeafName(spec);
    if (spec.directory.empty()) return leaf;
    if (spec.directory.back() == '/') return spec.directory + leaf;
    return spec.directory + "/" + leaf;
}

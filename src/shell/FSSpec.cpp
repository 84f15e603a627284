#include "shell/FSSpec.h"

#include <cstring>

#include "shell/PascalString.h"

bool MakeFSSpec(const std::string& directory, const std::string& leafName, FSSpec* fileRef) {
    unsigned char name[256];
    if (!getPascalString(leafName, name) || name[0] > kFSSpecMaxName) return false;
    fileRef->directory = directory;
    std::memcpy(fileRef->name, name, name[0] + 1);
    return true;
}

std::string FSSpecLeafName(const FSSpec& fileRef) {
    unsigned char name[256];
    const int length = fileRef.name[0] > kFSSpecMaxName ? kFSSpecMaxName : fileRef.name[0];
    name[0] = static_cast<unsigned char>(length);
    std::memcpy(name + 1, fileRef.name + 1, length);
    return stringWithPascalString(name);
}

std::string FSSpecFullPath(const FSSpec& fileRef) {
    const std::string leaf = FSSpecLeafName(fileRef);
    if (fileRef.directory.empty()) return leaf;
    if (fileRef.directory.back() == '/') return fileRef.directory + leaf;
    return fileRef.directory + "/" + leaf;
}

#pragma once
// A file reference: the folder a file lives in plus its leaf name. The engine keeps names as
// Pascal strings (Mac Roman), so the leaf is one here too; the folder is an ordinary UTF-8
// path. A reference may name a file that does not exist yet (a file about to be created).
//
//   directory  absolute or relative path of the containing folder, UTF-8, no trailing '/'
//              needed ("" means the current folder)
//   name       Pascal string: name[0] is the length (at most kFSSpecMaxName), then the bytes,
//              Mac Roman; the file names the engine writes stay within 31 characters

#include <cstdint>
#include <string>

inline constexpr int kFSSpecMaxName = 63;

struct FSSpec {
    std::string directory;
    unsigned char name[kFSSpecMaxName + 1] = {0};
};

// Fills `fileRef` from a folder and a UTF-8 leaf name. False (and `fileRef` unchanged) when the
// leaf cannot be written in Mac Roman or is longer than kFSSpecMaxName bytes.
bool MakeFSSpec(const std::string& directory, const std::string& leafName, FSSpec* fileRef);

// The leaf name as UTF-8.
std::string FSSpecLeafName(const FSSpec& fileRef);

// The full path: directory + '/' + leaf name (just the leaf when the directory is empty).
std::string FSSpecFullPath(const FSSpec& fileRef);

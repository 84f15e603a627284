#pragma once
// Path-level file operations: what lies at a path, removing a tree, making a folder, moving a
// file, and telling the desktop that something changed. They sit behind PathServices so that
// tests can install a replacement that makes any of them fail. TxFiles answers questions about
// any path string through the current PathServices.

#include <string>

#include "shell/ScopedInstall.h"

enum class PathKind {
    kMissing,     // nothing at the path
    kFile,        // anything that is not a directory (symlinks are followed)
    kDirectory,   // a directory
    kUnreachable, // the answer is unknown (permissions, a file in the middle of the path, ...)
};

class PathServices {
  public:
    virtual ~PathServices() = default;

    // What the path leads to, following symbolic links.
    virtual PathKind Kind(const std::string& path) = 0;
    // Removes the path and, for a directory, everything below it. Symbolic links are removed,
    // never followed. Stops at the first error and returns false; what was removed stays
    // removed. A missing path is an error.
    virtual bool RemoveTree(const std::string& path) = 0;
    // Makes one directory (its parent must exist); false when it exists already or on error.
    virtual bool CreateDirectory(const std::string& path) = 0;
    // Creates an empty file; false when anything exists at the path or on error.
    virtual bool CreateFile(const std::string& path) = 0;
    // Moves a file to `to`, replacing a file there; across file systems by copying and then
    // removing the original. False on error, with `from` left in place.
    virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
    // Tells file browsers that the file system changed at the path (nothing to do here).
    virtual void TellDesktop(const std::string& path) = 0;

    // The installed services, else the POSIX ones.
    static PathServices& Current();
    // Installs `services` (nullptr: the POSIX services again); returns the previous
    // installation.
    static PathServices* SetCurrent(PathServices* services);
};

class PosixPathServices : public PathServices {
  public:
    PathKind Kind(const std::string& path) override;
    bool RemoveTree(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    bool CreateFile(const std::string& path) override;
    bool MoveFile(const std::string& from, const std::string& to) override;
    void TellDesktop(const std::string& path) override;
};

// Installs `services` for the lifetime of the object.
using ScopedPathServices = ScopedInstall<PathServices, &PathServices::SetCurrent>;

namespace TxFiles {

// Whether the path resolves; `isDirectory` (when given) is set to whether it is a directory.
bool isExistingPath(const std::string& path, bool* isDirectory);
bool isExistingPath(const std::string& path);
// Exists and is not a directory.
bool isExistingFile(const std::string& path);
// Exists and is a directory.
bool isExistingDirectory(const std::string& path);
// True when `path` is `directory` or lies anywhere below it on the same volume; false when
// either cannot be examined or they lie on different volumes.
bool livesInsideDirectoryHierarchy(const std::string& path, const std::string& directory);

} // namespace TxFiles

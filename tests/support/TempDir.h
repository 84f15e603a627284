#pragma once
// A temporary folder that is removed with everything in it when the object goes away, and
// small whole-file helpers for tests.

#include <cstdint>
#include <string>
#include <vector>

#include "shell/FSSpec.h"

class TempDir {
  public:
    TempDir(); // a new, empty folder below $TMPDIR (or /tmp)
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    // The path of `name` inside the folder (nothing is created).
    std::string File(const std::string& name) const;
    // A file reference for `name` inside the folder.
    FSSpec Spec(const std::string& name) const;

  private:
    std::string path;
};

// The whole content of a file (empty when it cannot be read).
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// Replaces the file's content; false on failure.
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

#pragma once
// Where a job keeps its output until it is complete: a file or folder of its own, named
// "quilfile-" and random hex digits, beside the target; the finished output replaces the target
// by a rename. Every change to the file system goes through the current FileServices.

#include <string>

#include "soundfile/Status.h"

// The leaf name a job's output has until it is complete; each job adds a suffix of its own.
inline constexpr const char* kTemporaryFileStem = "quilfile";

// The folder part of a path, "" for a bare name (the current folder).
std::string FolderOf(const std::string& path);
// `leaf` inside `folder` ("" is the current folder).
std::string JoinPath(const std::string& folder, const std::string& leaf);
// "quilfile-" and twelve random hex digits: a name no other job picks.
std::string TemporaryLeafName();

// Why `folder` cannot take new files (it is missing, not a folder, unreachable), in the
// operating system's words; "" when it is a folder.
std::string FolderProblem(const std::string& folder);
// `reason`, followed by the target it was making unless it names it already: a failure inside
// a temporary file or folder otherwise leaves the user guessing which output it was.
std::string NamingTarget(const std::string& reason, const std::string& target);
// The thread's last file error in words, for failures whose status did not come back.
std::string LastFileErrorText();

// Removes `folder` and the plain files in it; the status of the first step that failed (the
// rest is then left as it is).
Status RemoveFolderOfFiles(const std::string& folder);

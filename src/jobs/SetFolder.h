#pragma once
// The folder of a set of files (a phase check, a level check, a line-up signal split into one
// file per speaker). The set is written into a new folder of its own beside the chosen one and
// takes the chosen folder's place only when every file is complete: an earlier set there is
// replaced, a folder holding anything else is refused, and an unfinished set is removed.

#include <functional>
#include <string>

#include "shell/QuillException.h"

class SetFolder {
  public:
    // Whether a leaf name is one the set's writer makes.
    using Belongs = std::function<bool(const std::string& leafName)>;
    // Writes one log line: the failure's name and reason.
    using Log = std::function<void(const std::string& name, const std::string& reason)>;

    // `writer` names who makes such sets in messages: "a phase check".
    SetFolder(std::string directory, Belongs belongs, std::string writer, Log log);
    // Removes the folder being written when finish() was not reached.
    ~SetFolder();
    SetFolder(const SetFolder&) = delete;
    SetFolder& operator=(const SetFolder&) = delete;

    // Refuses a chosen folder that holds anything but such files, then makes the folder the
    // set is written into and returns its path. Raises "QUILException" naming the folder.
    const std::string& begin();
    // Moves the finished set to the chosen folder, replacing an earlier set; when the new one
    // cannot be put in place, the earlier one comes back. Raises "QUILException".
    void finish();

    // Nothing, or a folder of nothing but the set's files, is at `path`.
    bool holdsOnlyOwnFiles(const std::string& path) const;
    // Removes the folder at `path` with the set's files in it; false, and nothing removed, when
    // it holds anything else or something other than a folder is there.
    bool removeOwnFolder(const std::string& path) const;

  private:
    QuillException Foreign(const std::string& path) const;

    std::string directory;
    Belongs belongs;
    std::string writer;
    Log log;
    std::string building; // the folder of the unfinished set
};

#pragma once
// The core of `quillgen info`, callable without the command line.

#include <ostream>
#include <string>

namespace quillgen {

struct InfoOptions {
    std::string path;
    bool json = false;
    bool levels = false; // read every frame for each channel's peak and RMS level
};

// Reads the sound file at `options.path` and prints what it holds to `out` (text, or one JSON
// object), or why it cannot be read to `err`. Returns the exit status: 0, or 1 when the file
// could not be read.
int ShowInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

} // namespace quillgen

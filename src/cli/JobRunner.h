#pragma once
// Runs a tone or sweep job of AppController from the command line: the job on a worker thread,
// a progress bar on the main thread, Ctrl-C (and SIGTERM, SIGHUP) as the stop button.

#include <optional>
#include <string>

class AppController;

namespace quillgen {

// Where a single-file job writes, and in which format.
struct OutputTarget {
    std::string format;     // "aiff" or "bwf"
    std::string chosenPath; // handed to the job, which adds "." + the extension
    std::string extension;  // as the user spelled it ("aiff", "WAV"); empty: the format's own
    std::string problem;    // why -o and --format cannot both be followed; empty when they can
};

// Follows -o (`output`) and --format (`format`, when given) as other audio tools do: an existing
// folder, or a path ending in "/", gets `proposedName` inside it; an extension .wav or
// .aif/.aiff (in any case) chooses the format when none is given and is kept as spelled, and
// contradicting a given format is a problem; any other name gets the format's extension added.
// Without -o the proposed name is written in the current folder. The default format is
// `defaultFormat`.
OutputTarget ResolveOutput(const std::optional<std::string>& output,
                           const std::optional<std::string>& format,
                           const std::string& defaultFormat, const std::string& proposedName);

// Draws a progress bar at `fraction` (0 to 1) over the current line of stderr.
void DrawProgressBar(double fraction);

// Starts the job for `chosenPath` and waits for it. Returns the exit status: 0 written (the
// path is printed on stdout), 1 failed, 128 + the signal number when SIGINT (130), SIGHUP (129)
// or SIGTERM (143) stopped it.
int RunJob(AppController& controller, const std::string& chosenPath, bool quiet);

} // namespace quillgen

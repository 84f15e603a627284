#pragma once
// Runs a tone or sweep job of AppController from the command line: the job on a worker thread,
// a progress bar on the main thread, Ctrl-C (and SIGTERM, SIGHUP) as the stop button.

#include <optional>
#include <string>

class AppController;

namespace quillgen {

// The path handed to the job (the file is that plus "." + extension): `output` without its
// extension when it already carries it, or the proposed name in the current folder.
std::string ChosenPath(const std::optional<std::string>& output, const std::string& proposedName,
                       const std::string& extension);

// Starts the job for `chosenPath` and waits for it. Returns the exit status: 0 written (the
// path is printed on stdout), 1 failed, 128 + the signal number when SIGINT (130), SIGHUP (129)
// or SIGTERM (143) stopped it.
int RunJob(AppController& controller, const std::string& chosenPath, bool quiet);

} // namespace quillgen

// quillgen: the command-line front end to the same jobs the window runs.
#include <csignal>

#include "cli/Commands.h"

int main(int argc, char** argv) {
    // A file-size limit then makes the write fail (EFBIG), so the job reports it and removes
    // its unfinished file, instead of the process being ended with it left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    int status = 0;
    CLI::App app;
    quillgen::DefineCommandLine(app, status);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 reports --help and --version as success and everything else as a usage error.
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    return status;
}

// Writes quillgen's manual page and its bash completion from the option definitions, at build
// time: quillgen-manual MANUAL-PAGE COMPLETION-SCRIPT
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "cli/Commands.h"
#include "cli/OptionDocs.h"

namespace {

// Each file appears under its name only once it is complete.
bool WriteFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
    const std::string partial = path + ".part";
    std::ofstream out(partial, std::ios::trunc);
    if (out) {
        write(out);
        out.close();
    }
    if (!out) {
        std::fprintf(stderr, "quillgen-manual: cannot write '%s': %s\n", partial.c_str(),
                     std::strerror(errno));
        std::remove(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "quillgen-manual: cannot rename '%s' to '%s': %s\n", partial.c_str(),
                     path.c_str(), std::strerror(errno));
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillgen-manual MANUAL-PAGE COMPLETION-SCRIPT\n");
        return 2;
    }
    int status = 0; // no command runs here
    CLI::App app;
    quillgen::DefineCommandLine(app, status);
    const quillgen::ManualFacts facts{QUILLGEN_VERSION, QUILLGEN_DATE, QUILL_SHARE_RESOURCES};
    const bool written =
        WriteFile(argv[1],
                  [&](std::ostream& out) { quillgen::WriteManualPage(app, facts, out); }) &&
        WriteFile(argv[2], [&](std::ostream& out) { quillgen::WriteBashCompletion(app, out); });
    return written ? 0 : 1;
}

#include "cli/Commands.h"

#include <memory>

#include "cli/OptionDocs.h"

namespace quillgen {

CLI::Option* AddFormatOption(CLI::App* command, std::string& format) {
    return command->add_option("--format", format, "file format")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"aiff", "bwf"}))
        ->capture_default_str();
}

CLI::Option* AddBitsOption(CLI::App* command, std::string& bits) {
    return command
        ->add_option("--bits", bits,
                     "bits per sample; 32f is 32-bit floating point (Broadcast WAVE only), never "
                     "clipped nor dithered")
        ->type_name("BITS")
        ->check(CLI::IsMember({"16", "24", "32f"}))
        ->capture_default_str();
}

void DefineCommandLine(CLI::App& app, int& status) {
    app.name("quillgen");
    app.description("calibrated test signals for studio monitoring chains");
    // Set before the subcommands are added: each takes the help flag and layout it finds here.
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", std::string("quillgen ") + QUILLGEN_VERSION,
                         "print the version and exit");
    app.require_subcommand(1);
    AddJobCommands(app, status);
    AddInfoCommand(app, status);
}

} // namespace quillgen

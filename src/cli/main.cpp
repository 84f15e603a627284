// quillgen: the command-line front end. Subcommands are added by their own files.
#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    CLI::App app{"quillgen: calibrated test signals for studio monitoring chains"};
    app.require_subcommand(1);
    CLI11_PARSE(app, argc, argv);
    return 0;
}

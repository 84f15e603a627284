#pragma once
// Each quillgen subcommand lives in a file of its own and registers itself here.
// A subcommand's callback stores its exit status in `exitStatus`.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace quillgen {

// 0 success, 1 the job failed or a file could not be read, 2 usage error, 130 cancelled.
inline int exitStatus = 0;

using Registrar = void (*)(CLI::App& app);

// Adds a registrar; returns true so that it can initialise a namespace-scope constant.
bool RegisterCommand(Registrar registrar);
// The registrars added so far.
const std::vector<Registrar>& Registrars();

// --format FORMAT (aiff or bwf) and --bits BITS (16 or 24), as every job command has them.
CLI::Option* AddFormatOption(CLI::App* command, std::string& format);
CLI::Option* AddBitsOption(CLI::App* command, int& bits);

// The whole command line on `app`: the program's name, --help and --version, the help layout
// and every registered subcommand. quillgen, its manual page and its completion all read it.
void DefineCommandLine(CLI::App& app);

} // namespace quillgen

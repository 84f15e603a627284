#pragma once
// quillgen's command line: the job commands, made from the job descriptions, and info. Each
// command's callback leaves the program's exit status in the variable it was given.

#include <string>

#include <CLI/CLI.hpp>

namespace quillgen {

// --format FORMAT (aiff or bwf) and --bits BITS (16, 24 or 32f), as every job command has them.
CLI::Option* AddFormatOption(CLI::App* command, std::string& format);
CLI::Option* AddBitsOption(CLI::App* command, std::string& bits);

// The whole command line on `app`: the program's name, --help and --version, the help layout
// and every subcommand. quillgen, its manual page and its completion all read it. The command
// that runs sets `status`: 0 success, 1 the job failed or a file could not be read, 2 a usage
// error, 128 + the signal that stopped a job. `status` must outlive `app`.
void DefineCommandLine(CLI::App& app, int& status);
// One command per kind of job (JobCommands.cpp), and info (InfoCommand.cpp).
void AddJobCommands(CLI::App& app, int& status);
void AddInfoCommand(CLI::App& app, int& status);

} // namespace quillgen

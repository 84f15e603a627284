#pragma once
// What the --help screens, the manual page and the shell completion say about quillgen's
// commands, read from the option definitions themselves so that an option is documented the
// moment it is defined.
//
// Conventions the definitions follow for this to work:
//  - a value's placeholder is its type name ("HZ", "DB"); FILE and PATH ask the shell to complete
//    file names, DIR folder names;
//  - the values an option accepts, when limited, are its CLI::IsMember check;
//  - a switch is one flag with its negated form ("--announce,!--no-announce") and its default
//    given by default_str("on") or default_str("off"); its help says what the switch does, as
//    an imperative ("speak ..."), which the negated form prefixes with "do not".

#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace quillgen {

// One option as the documentation shows it.
struct OptionDoc {
    std::vector<std::string> names;     // "-o", "--output": the forms that set it
    std::vector<std::string> negations; // "--no-announce": the forms that clear a switch
    std::string placeholder;            // "HZ"; empty for a flag
    std::vector<std::string> choices;   // the only values accepted, when limited
    std::string defaultValue;           // empty when the option has none worth showing
    std::string help;
    bool positional = false;
};

// One line of an option in a listing: the names it is given under and what it does.
struct OptionForm {
    std::vector<std::string> names;
    std::string placeholder;
    std::string text; // the help, its choices and its default
};

// A command, or the program itself (empty name), with its options in definition order.
struct CommandDoc {
    std::string name;
    std::string description;
    std::vector<OptionDoc> options;
    std::string footer;
};

enum class ValueKind { none, text, file, folder };

OptionDoc DescribeOption(const CLI::Option& option);
std::vector<OptionForm> FormsOf(const OptionDoc& option);
ValueKind KindOf(const OptionDoc& option);
// The program first, then its subcommands in the order they were added.
std::vector<CommandDoc> DescribeCommands(const CLI::App& app);

// The --help screen of every command: a usage line, the description, one line per option
// form with its placeholder, choices and default.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override;
};

// What the manual page says besides the options.
struct ManualFacts {
    std::string version;        // "0.1.0 (v0.1.0-3-gabcdef0)"
    std::string date;           // "2026-12-07"; may be empty
    std::string resourceFolder; // where the installed program finds its voices
};

// The manual page quillgen(1) in roff (man macros).
void WriteManualPage(const CLI::App& app, const ManualFacts& facts, std::ostream& out);
// A bash completion script defining and registering the function _quillgen.
void WriteBashCompletion(const CLI::App& app, std::ostream& out);

} // namespace quillgen

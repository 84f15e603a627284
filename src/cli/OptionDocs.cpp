#include "cli/OptionDocs.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace quillgen {

namespace {

constexpr std::size_t kScreenWidth = 80;
constexpr std::size_t kNameColumn = 26; // where an option's text starts on the help screen

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const auto& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// "aiff or bwf", "stereo, quad or lcrs".
std::string Alternatives(const std::vector<std::string>& choices) {
    std::string text;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
        text += choices[i];
    }
    return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

// A description as a sentence: "Write a tone." for "write a tone".
std::string Sentence(std::string text) {
    if (text.empty()) return text;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (text.back() != '.') text += '.';
    return text;
}

CommandDoc DescribeCommand(const CLI::App& app) {
    CommandDoc command{app.get_name(), app.get_description(), {}, app.get_footer()};
    for (const CLI::Option* option : app.get_options()) {
        if (!option->get_group().empty()) // an empty group hides an option
            command.options.push_back(DescribeOption(*option));
    }
    return command;
}

std::vector<const CLI::App*> Subcommands(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App*) { return true; });
}

// Breaks `text` into lines of at most `width` columns after `indent` spaces; the first line
// continues whatever precedes it.
std::string Wrapped(const std::string& text, std::size_t indent, std::size_t width) {
    std::string out, line;
    for (const auto& word : Split(text, ' ')) {
        if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
            out += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line;
}

// "-o, --output PATH", indented so that long names line up whether or not a short one exists.
std::string FormLabel(const OptionForm& form, bool positional) {
    if (positional) return Joined(form.names, ", ");
    const bool shortFirst = form.names.front().size() == 2;
    std::string label = shortFirst ? "" : "    ";
    label += Joined(form.names, ", ");
    if (!form.placeholder.empty()) label += " " + form.placeholder;
    return label;
}

void ListRows(std::ostream& out, const std::vector<std::pair<std::string, std::string>>& rows) {
    for (const auto& [label, text] : rows) {
        out << "  " << label;
        if (2 + label.size() + 2 > kNameColumn)
            out << "\n" << std::string(kNameColumn, ' ');
        else
            out << std::string(kNameColumn - 2 - label.size(), ' ');
        out << Wrapped(text, kNameColumn, kScreenWidth) << "\n";
    }
}

void ListOptions(std::ostream& out, const char* heading, const std::vector<OptionDoc>& options,
                 bool positional) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& option : options) {
        if (option.positional != positional) continue;
        for (const auto& form : FormsOf(option))
            rows.emplace_back(FormLabel(form, positional), form.text);
    }
    if (rows.empty()) return;
    out << "\n" << heading << ":\n";
    ListRows(out, rows);
}

// Text for roff: backslashes and hyphens escaped (so that option names copy as typed), and a
// line that would start with a control character made plain.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

// Paragraphs of plain text; blank lines separate them.
void RoffParagraphs(std::ostream& out, const std::string& text) {
    for (const auto& line : Split(text, '\n')) {
        if (line.empty())
            out << ".PP\n";
        else
            out << Roff(line) << "\n";
    }
}

// The arguments first, then the options.
void RoffOptions(std::ostream& out, const std::vector<OptionDoc>& options) {
    std::vector<OptionDoc> ordered = options;
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const OptionDoc& option) { return option.positional; });
    for (const auto& option : ordered) {
        for (const auto& form : FormsOf(option)) {
            out << ".TP\n";
            std::string label;
            for (const auto& name : form.names)
                label += std::string(label.empty() ? "" : ", ") +
                         (option.positional ? "\\fI" : "\\fB") + Roff(name) + "\\fR";
            if (!form.placeholder.empty()) label += " \\fI" + Roff(form.placeholder) + "\\fR";
            out << label << "\n" << Roff(form.text) << "\n";
        }
    }
}

std::string Usage(const CommandDoc& command, const std::string& program) {
    std::string usage = program + (command.name.empty() ? "" : " " + command.name);
    usage += " [options]";
    for (const auto& option : command.options)
        if (option.positional) usage += " " + option.names.front();
    return usage;
}

// Words of a shell case pattern: "tone --format" | "sweep --format".
std::string CasePattern(const std::vector<std::string>& words) {
    std::string pattern;
    for (const auto& word : words)
        pattern += (pattern.empty() ? "\"" : " | \"") + word + "\"";
    return pattern;
}

const char* kManualDescription =
    R"(quillgen writes calibrated test signals for studio monitoring chains into AIFF and
Broadcast WAVE files, 16 or 24 bits per sample (Broadcast WAVE also 32-bit float; files past
4 GiB become RF64): steady sine tones, full and custom sweeps with markers at preferred-number frequencies, pink or white calibration noise at an RMS level,
phase and channel check and level check sets for speaker layouts from stereo to 9.1.6, one file
per speaker or one interleaved file, and the studio line-up signals (EBU R68 and SMPTE RP155
tones, the EBU stereo ident, GLITS, BLITS, the film-style multichannel ident and the sync pop). Tones, sweeps and noise can be preceded by a spoken
announcement of their parameters, and dithered. It runs the same jobs as the desktop
application quillwavecaster.

Each job command prints the path it wrote on standard output. A job writes under a temporary
name ("quilfile-...") beside its target and renames it over the target only once it is complete
and flushed to the disk; a failed or stopped job removes it and leaves a file or set already at
the target as it was. Ctrl-C stops a running job.)";

const char* kExitStatus[][2] = {
    {"0", "success"},
    {"1", "the job failed (the alert and the log line are on standard error), or info could not "
          "read the file"},
    {"2", "a usage error or a value out of range; nothing is written"},
    {"128 + signal", "stopped by a signal, nothing written: 130 for Ctrl-C (SIGINT), 143 for "
                     "SIGTERM, 129 for SIGHUP"},
};

const char* kExamples[][2] = {
    {"quillgen tone", "a 1000 Hz tone at -10 dBFS for 10 seconds, announced, in the current "
                      "folder under its proposed name"},
    {"quillgen tone \\-\\-freq 440 \\-\\-level \\-20 \\-o a440.wav",
     "a 440 Hz tone as a Broadcast WAVE file, chosen by the extension"},
    {"quillgen sweep \\-\\-from 20 \\-\\-to 20000 \\-\\-length 30 \\-\\-bits 24 \\-o takes/",
     "a 30-second 24-bit sweep into the folder takes"},
    {"quillgen phase\\-check \\-\\-layout 7.1 \\-\\-format bwf",
     "one Broadcast WAVE file per speaker of a 7.1 layout into \"Phase Check for 7.1\""},
    {"quillgen phase\\-check \\-\\-layout 7.1.4 \\-\\-format bwf \\-\\-interleaved",
     "one 12-channel Broadcast WAVE file, its channels in the order of its channel mask"},
    {"quillgen lineup blits \\-\\-format bwf \\-\\-bits 24",
     "BLITS as one 5.1 Broadcast WAVE file, 30 seconds rounded up to whole cycles"},
    {"quillgen lineup film\\-ident \\-\\-layout 7.1.4 \\-\\-split \\-o ident",
     "the film-style ident for 7.1.4, one mono file per speaker in the folder ident"},
    {"quillgen lineup pop \\-\\-fps 24 \\-\\-timecode 00:59:58:00 \\-o pop.wav",
     "a sync pop placed at 00:59:58:00, where a DAW spots it two seconds before the programme"},
    {"quillgen info \\-\\-levels take.wav", "what a file holds, with each channel's peak and "
                                            "RMS level"},
};

} // namespace

OptionDoc DescribeOption(const CLI::Option& option) {
    OptionDoc doc;
    doc.help = option.get_description();
    doc.positional = !option.nonpositional();
    if (doc.positional) doc.names.push_back(option.get_single_name());
    for (const auto& name : option.get_snames())
        (Contains(option.get_fnames(), name) ? doc.negations : doc.names).push_back("-" + name);
    for (const auto& name : option.get_lnames())
        (Contains(option.get_fnames(), name) ? doc.negations : doc.names).push_back("--" + name);
    if (option.get_items_expected_max() > 0) {
        // "FORMAT:{aiff,bwf}": the type name, then what each check says it accepts.
        const std::vector<std::string> parts = Split(option.get_type_name(), ':');
        if (!parts.empty()) doc.placeholder = parts.front();
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string& part = parts[i];
            if (part.size() >= 2 && part.front() == '{' && part.back() == '}')
                doc.choices = Split(part.substr(1, part.size() - 2), ',');
        }
        if (doc.positional) doc.placeholder.clear(); // its name is its placeholder
    }
    doc.defaultValue = option.get_default_str();
    return doc;
}

std::vector<OptionForm> FormsOf(const OptionDoc& option) {
    std::string text = option.help;
    if (!option.choices.empty()) text += ": " + Alternatives(option.choices);
    if (option.negations.empty()) {
        if (!option.defaultValue.empty()) text += " (default: " + option.defaultValue + ")";
        return {{option.names, option.placeholder, text}};
    }
    std::vector<OptionForm> forms;
    // A flag may be defined with its negated form alone ("!--no-color").
    if (!option.names.empty())
        forms.push_back(
            {option.names, "", text + (option.defaultValue == "on" ? " (default)" : "")});
    forms.push_back({option.negations, "",
                     "do not " + text + (option.defaultValue == "off" ? " (default)" : "")});
    return forms;
}

ValueKind KindOf(const OptionDoc& option) {
    const std::string& placeholder = option.positional ? option.names.front() : option.placeholder;
    if (placeholder.empty()) return ValueKind::none;
    if (placeholder == "FILE" || placeholder == "PATH") return ValueKind::file;
    if (placeholder == "DIR") return ValueKind::folder;
    return ValueKind::text;
}

std::vector<CommandDoc> DescribeCommands(const CLI::App& app) {
    std::vector<CommandDoc> commands{DescribeCommand(app)};
    commands.front().name.clear();
    for (const CLI::App* subcommand : Subcommands(app))
        commands.push_back(DescribeCommand(*subcommand));
    return commands;
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string name,
                                     CLI::AppFormatMode) const {
    const CommandDoc command = DescribeCommand(*app);
    const std::vector<const CLI::App*> subcommands = Subcommands(*app);
    std::ostringstream out;
    out << "Usage: " << name << " [OPTIONS]";
    for (const auto& option : command.options)
        if (option.positional) out << " " << option.names.front();
    if (!subcommands.empty()) out << " COMMAND";
    out << "\n";
    if (!command.description.empty())
        out << "\n" << Wrapped(Sentence(command.description), 0, kScreenWidth) << "\n";
    ListOptions(out, "Arguments", command.options, true);
    ListOptions(out, "Options", command.options, false);
    if (!subcommands.empty()) {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const CLI::App* subcommand : subcommands)
            rows.emplace_back(subcommand->get_name(), subcommand->get_description());
        out << "\nCommands:\n";
        ListRows(out, rows);
        out << "\nRun '" << name << " COMMAND --help' for the options of a command.\n";
    }
    if (!command.footer.empty()) out << "\n" << Wrapped(command.footer, 0, kScreenWidth) << "\n";
    return out.str();
}

void WriteManualPage(const CLI::App& app, const ManualFacts& facts, std::ostream& out) {
    const std::vector<CommandDoc> commands = DescribeCommands(app);
    const CommandDoc& program = commands.front();
    const std::string name = app.get_name();
    std::string upperName = name;
    for (auto& c : upperName)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out << ".\\\" Written from " << name << "'s option definitions; change those, not this.\n"
        << ".TH " << Roff(upperName) << " 1 \"" << facts.date << "\" \"Quillwavecaster "
        << Roff(facts.version.substr(0, facts.version.find(' '))) << "\" \"User Commands\"\n"
        << ".nh\n.ad l\n" // option names and defaults are not hyphenated, lines not stretched
        << ".SH NAME\n"
        << name << " \\- " << Roff(program.description) << "\n"
        << ".SH SYNOPSIS\n";
    for (std::size_t i = 1; i < commands.size(); ++i) {
        if (i > 1) out << ".br\n";
        out << "\\fB" << Roff(name + " " + commands[i].name) << "\\fR [\\fIoptions\\fR]";
        for (const auto& option : commands[i].options)
            if (option.positional) out << " \\fI" << Roff(option.names.front()) << "\\fR";
        out << "\n";
    }
    out << ".br\n\\fB" << name << "\\fR [\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR]\n"
        << ".SH DESCRIPTION\n";
    RoffParagraphs(out, kManualDescription);
    out << ".SH OPTIONS\n";
    RoffOptions(out, program.options);
    out << ".SH COMMANDS\n";
    for (std::size_t i = 1; i < commands.size(); ++i) {
        const CommandDoc& command = commands[i];
        out << ".SS \"" << Roff(Usage(command, name)) << "\"\n";
        RoffParagraphs(out, Sentence(command.description));
        RoffOptions(out, command.options);
        if (!command.footer.empty()) {
            out << ".PP\n";
            RoffParagraphs(out, command.footer);
        }
    }
    out << ".SH EXIT STATUS\n";
    for (const auto& [status, meaning] : kExitStatus)
        out << ".TP\n.B " << Roff(status) << "\n" << Roff(meaning) << "\n";
    out << ".SH ENVIRONMENT\n"
        << ".TP\n.B QUILL_RESOURCES\n"
        << "A folder to read the voice samples and the speaker table from instead of "
        << Roff(facts.resourceFolder) << ".\n"
        << ".TP\n.B XDG_CONFIG_HOME\n"
        << "Where the preferences folder quillwavecaster is kept (default: ~/.config).\n"
        << ".SH FILES\n"
        << ".TP\n.I " << Roff(facts.resourceFolder) << "\n"
        << "The voice samples the announcements are made of and the speaker table.\n"
        << ".TP\n.I $XDG_CONFIG_HOME/quillwavecaster/preferences.json\n"
        << "The preferences shared with quillwavecaster.\n"
        << ".SH EXAMPLES\n";
    for (const auto& [command, meaning] : kExamples)
        out << ".TP\n.B \"" << command << "\"\n" << Roff(meaning) << "\n";
}

namespace {

// The value after an option: one of its choices, a file or folder name, or nothing to offer
// (a number).
void WriteValueCompletions(const std::vector<CommandDoc>& commands, std::ostream& out) {
    std::vector<std::string> files, folders, numbers;
    for (const auto& command : commands) {
        for (const auto& option : command.options) {
            const ValueKind kind = KindOf(option);
            if (option.positional || kind == ValueKind::none) continue;
            std::vector<std::string> keys;
            for (const auto& name : option.names)
                keys.push_back(command.name + " " + name);
            if (!option.choices.empty()) {
                out << "    " << CasePattern(keys) << ")\n        COMPREPLY=($(compgen -W \""
                    << Joined(option.choices, " ")
                    << "\" -- \"$cur\"))\n        return\n        ;;\n";
                continue;
            }
            auto& group = kind == ValueKind::file     ? files
                          : kind == ValueKind::folder ? folders
                                                      : numbers;
            group.insert(group.end(), keys.begin(), keys.end());
        }
    }
    for (const auto& [keys, action] :
         {std::pair{&files, "_quillgen_files -f"}, std::pair{&folders, "_quillgen_files -d"},
          std::pair{&numbers, "COMPREPLY=()"}}) {
        if (!keys->empty())
            out << "    " << CasePattern(*keys) << ")\n        " << action
                << "\n        return\n        ;;\n";
    }
}

// The words each command takes: its options, the choices of a positional value with choices,
// and for the program its commands; a file or folder name for another positional value.
void WriteCommandWords(const std::vector<CommandDoc>& commands,
                       const std::vector<std::string>& commandNames, std::ostream& out) {
    for (const auto& command : commands) {
        std::vector<std::string> words;
        std::string positional;
        for (const auto& option : command.options) {
            if (option.positional && !option.choices.empty()) {
                words.insert(words.end(), option.choices.begin(), option.choices.end());
                continue;
            }
            if (option.positional) {
                positional = KindOf(option) == ValueKind::folder ? "-d" : "-f";
                continue;
            }
            words.insert(words.end(), option.names.begin(), option.names.end());
            words.insert(words.end(), option.negations.begin(), option.negations.end());
        }
        if (command.name.empty())
            words.insert(words.end(), commandNames.begin(), commandNames.end());
        out << "    \"" << command.name << "\")\n        words=\"" << Joined(words, " ") << "\"\n";
        if (!positional.empty()) out << "        positional=" << positional << "\n";
        out << "        ;;\n";
    }
}

} // namespace

void WriteBashCompletion(const CLI::App& app, std::ostream& out) {
    const std::vector<CommandDoc> commands = DescribeCommands(app);
    std::vector<std::string> commandNames;
    for (std::size_t i = 1; i < commands.size(); ++i)
        commandNames.push_back(commands[i].name);

    out << "# bash completion for " << app.get_name() << ", written from its option definitions\n\n"
        << "_quillgen_files()\n{\n"
        << "    compopt -o filenames 2>/dev/null\n"
        << "    local IFS=$'\\n'\n"
        << "    COMPREPLY=($(compgen \"$1\" -- \"$cur\"))\n}\n\n"
        << "_quillgen()\n{\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" command=\"\" i\n"
        << "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
        << "    # bash splits --option=value at the '='\n"
        << "    if [[ $cur == \"=\" ]]; then\n        cur=\"\"\n"
        << "    elif [[ $prev == \"=\" ]] && ((COMP_CWORD > 1)); then\n"
        << "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n    fi\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        case ${COMP_WORDS[i]} in\n"
        << "        " << CasePattern(commandNames)
        << ")\n            command=${COMP_WORDS[i]}\n            break\n            ;;\n"
        << "        esac\n    done\n"
        << "    case \"$command $prev\" in\n";
    WriteValueCompletions(commands, out);
    out << "    esac\n"
        << "    local words=\"\" positional=\"\"\n"
        << "    case $command in\n";
    WriteCommandWords(commands, commandNames, out);
    out << "    esac\n"
        << "    if [[ -n $positional && $cur != -* ]]; then\n"
        << "        _quillgen_files \"$positional\"\n        return\n    fi\n"
        << "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n}\n\n"
        << "complete -F _quillgen " << app.get_name() << "\n";
}

} // namespace quillgen

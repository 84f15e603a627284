// The command line: a value quillgen cannot take is a usage error (exit status 2) that names the
// option and what it accepts, and nothing is written; the help screens, the manual page and the
// bash completion name every command and option.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/Commands.h"
#include "cli/OptionDocs.h"
#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

class UsageError : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(UsageError, Exits2NamingTheOptionAndWritesNothing) {
    TempDir dir;
    const Outcome run = RunQuillgen(dir.Path(), GetParam().first);
    EXPECT_EQ(run.exit, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, testing::HasSubstr(GetParam().second));
    EXPECT_TRUE(Files(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Values, UsageError,
    testing::ValuesIn(std::vector<std::pair<std::string, std::string>>{
        {"tone --freq 22050", "--freq 22050 is out of range; accepted: 1 to 22049 Hz"},
        {"tone --rate nan", "--rate nan is out of range; accepted: a whole number of hertz"},
        {"sweep --rate 12345.6", "--rate 12345.6 is out of range; accepted: a whole number"},
        {"phase-check --repeats 2.5", "--repeats 2.5 is out of range; accepted: a whole number"},
        {"tone --length 30000 --bits 24", "the longest a 24-bit AIFF file holds at 44100 Hz"},
        {"tone --bits 20", "--bits: 20 not in {16,24,32f}"},
        {"tone --bits 32f", "--bits 32f needs a Broadcast WAVE file"},
        {"phase-check --bits 32f --format aiff", "--bits 32f needs a Broadcast WAVE file"},
        {"tone --format mp3", "--format: mp3 not in {aiff,bwf}"},
        {"tone -o take.wav --format aiff", "Broadcast WAVE, which contradicts --format aiff"},
        {"sweep --to 24001", "--to 24001 is out of range; accepted: 1 to 24000 Hz"},
        {"noise --level -6", "--level -6 is out of range; accepted: -120 to -12.5 dB RMS"},
        {"noise --band 1k-2k", "--band: expects LOW-HIGH in Hz, e.g. 500-2000, not 1k-2k"},
        {"level-check --layout 10.2 --rate 384000 --length 3000", "at most 233.01 s per speaker"},
        {"phase-check --silence 60.5", "--silence 60.5 is out of range; accepted: 0 to 60 s"},
        {"phase-check --repeats 101", "--repeats 101 is out of range; accepted: 0 to 100"},
        {"phase-check --rate 7999",
         "--rate 7999 is out of range; accepted: a whole number of hertz from 8000 to 384000 Hz"},
        {"phase-check --layout 9.1", "--layout: 9.1 not in {stereo,quad,lcrs,5.1"},
        {"", "A subcommand is required"},
        {"info", "FILE is required"}}),
    [](const auto& info) { return CaseName(info.param.first); });

// `word` in `text` with no name character (letter, digit, '-') joined to it on either side.
bool HasWord(const std::string& text, const std::string& word) {
    return std::regex_search(text, std::regex("(^|[^-A-Za-z0-9])" + word + "($|[^-A-Za-z0-9])"));
}

// A name as roff spells it: "\-\-output".
std::string Roff(const std::string& name) {
    return std::regex_replace(name, std::regex("-"), "\\-");
}

// Walks the definitions themselves: a command or option that a generator leaves out, or one
// without a description, fails here.
TEST(CommandLine, DocumentationNamesEveryCommandAndOption) {
    int status = 0;
    CLI::App app;
    quillgen::DefineCommandLine(app, status);
    std::ostringstream manualText, completionText;
    quillgen::WriteManualPage(app, {"9.9.9 (test)", "2026-01-01", "/usr/share/quill"}, manualText);
    quillgen::WriteBashCompletion(app, completionText);
    const std::string manual = manualText.str(), completion = completionText.str();
    auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    ASSERT_EQ(commands.size(), 8u); // seven kinds of job and info
    commands.push_back(&app);
    for (const CLI::App* command : commands) {
        const std::string name = command->get_name();
        const std::string help = command == &app ? app.help() : command->help("quillgen");
        EXPECT_TRUE(command == &app ||
                    (HasWord(app.help(), name) && HasWord(completion, name) &&
                     manual.find(".SS \"quillgen " + Roff(name) + " ") != std::string::npos))
            << name;
        for (const CLI::Option* option : command->get_options()) {
            EXPECT_FALSE(option->get_description().empty()) << name << " " << option->get_name();
            // Every name the option goes by, without the value a flag form sets ("{false}").
            const std::string all = option->get_name(false, true);
            for (const auto& form :
                 CLI::detail::split(std::regex_replace(all, std::regex("\\{[^}]*\\}"), ""), ','))
                EXPECT_TRUE(HasWord(help, form) &&
                            manual.find(Roff(form) + "\\fR") != std::string::npos &&
                            (!option->nonpositional() || HasWord(completion, form)))
                    << name << " " << form;
        }
    }
}

} // namespace

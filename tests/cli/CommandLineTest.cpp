// The command line: a value quillgen cannot take is a usage error (exit status 2) that names the
// option and what it accepts, and nothing is written; --help and --version succeed; the help
// screens, the manual page and the bash completion name every command and option.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/OptionDocs.h"
#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

struct UsageCase {
    std::string args;
    std::string says; // on standard error
};

class UsageError : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageError, Exits2NamingTheOptionAndWritesNothing) {
    TempDir dir;
    const Outcome run = RunQuillgen(dir.Path(), Words(GetParam().args));
    EXPECT_EQ(run.exit, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, testing::HasSubstr(GetParam().says));
    EXPECT_TRUE(Entries(dir.Path()).empty());
}

const std::string kOutOfRange = " is out of range; accepted: ";

INSTANTIATE_TEST_SUITE_P(
    Values, UsageError,
    testing::Values(
        UsageCase{"tone --freq 30000", "--freq 30000" + kOutOfRange + "1 to 22050 Hz"},
        UsageCase{"tone --rate nan", "--rate nan" + kOutOfRange + "8000 to 384000 Hz"},
        UsageCase{"tone --length 30000 --bits 24",
                  "at most 16231.63 s, the longest a 24-bit AIFF file holds at 44100 Hz"},
        UsageCase{"tone --bits 20", "--bits: 20 not in {16,24}"},
        UsageCase{"tone --format mp3", "--format: mp3 not in {aiff,bwf}"},
        UsageCase{
            "tone -o take.wav --format aiff",
            "the extension of -o take.wav names Broadcast WAVE, which contradicts --format aiff"},
        UsageCase{"sweep --to 24001", "--to 24001" + kOutOfRange + "1 to 24000 Hz"},
        UsageCase{"sweep --from-level -121", "--from-level -121" + kOutOfRange + "-120 to 0 dB"},
        UsageCase{"full-sweep --length 0", "--length 0" + kOutOfRange + "at least one frame"},
        UsageCase{"noise --level -6", "--level -6" + kOutOfRange + "-120 to -12.5 dB RMS"},
        UsageCase{"noise --band 5-100", "--band 5-100" + kOutOfRange},
        UsageCase{"noise --band 1k-2k", "--band: expects LOW-HIGH in Hz, e.g. 500-2000, not 1k-2k"},
        UsageCase{"level-check --layout 10.2 --rate 384000 --length 3000",
                  "--length 3000" + kOutOfRange +
                      "at least one frame (2.6e-06 s) and at most 233.01 s per speaker"},
        UsageCase{"phase-check --silence 60.5", "--silence 60.5" + kOutOfRange + "0 to 60 s"},
        UsageCase{"phase-check --silence nan", "--silence nan" + kOutOfRange},
        UsageCase{"phase-check --repeats 101", "--repeats 101" + kOutOfRange + "0 to 100"},
        UsageCase{"phase-check --rate 7999", "--rate 7999" + kOutOfRange + "8000 to 384000 Hz"},
        UsageCase{"phase-check --layout 9.1", "--layout: 9.1 not in {stereo,quad,lcrs,5.1"},
        UsageCase{"", "A subcommand is required"}, UsageCase{"info", "FILE is required"}),
    [](const auto& info) { return CaseName(info.param.args); });

// CLI11 ends --help and --version through its parse errors too; they are no usage error.
TEST(CommandLine, VersionAndHelpSucceedOnStandardOutput) {
    TempDir dir;
    const Outcome version = RunQuillgen(dir.Path(), {"--version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_EQ(version.out, std::string("quillgen ") + QUILLGEN_VERSION + "\n");
    const Outcome help = RunQuillgen(dir.Path(), {"tone", "--help"});
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.out.rfind("Usage: quillgen tone [OPTIONS]\n", 0), 0u) << help.out;
    EXPECT_EQ(version.err + help.err, "");
}

// `word` in `text` with no name character (letter, digit, '-') joined to it on either side.
bool HasWord(const std::string& text, const std::string& word) {
    auto inName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !inName(text[at - 1])) && (end == text.size() || !inName(text[end])))
            return true;
    }
    return false;
}

// A name as roff spells it: "\-\-output".
std::string Roff(const std::string& name) {
    std::string roff;
    for (char c : name)
        roff += c == '-' ? std::string("\\-") : std::string(1, c);
    return roff;
}

// Walks the definitions themselves: a command or option that a generator leaves out, or one
// without a description, fails here, as does a manual page that groff warns about.
TEST(CommandLine, DocumentationNamesEveryCommandAndOption) {
    CLI::App app;
    quillgen::DefineCommandLine(app);
    std::ostringstream manualText, completionText;
    quillgen::WriteManualPage(app, {"9.9.9 (test)", "2026-01-01", "/usr/share/quill"}, manualText);
    quillgen::WriteBashCompletion(app, completionText);
    const std::string manual = manualText.str(), completion = completionText.str();
    auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    ASSERT_EQ(commands.size(), 7u);
    for (const CLI::App* command : commands) {
        const std::string name = command->get_name();
        EXPECT_TRUE(HasWord(app.help(), name) && HasWord(completion, name)) << name;
        EXPECT_NE(manual.find(".SS \"quillgen " + Roff(name) + " "), std::string::npos) << name;
    }
    commands.push_back(&app);
    for (const CLI::App* command : commands) {
        const std::string help = command == &app ? app.help() : command->help("quillgen");
        for (const CLI::Option* option : command->get_options()) {
            std::vector<std::string> names;
            for (const auto& name : option->get_snames())
                names.push_back("-" + name);
            for (const auto& name : option->get_lnames())
                names.push_back("--" + name);
            if (!option->nonpositional()) names.push_back(option->get_name(true));
            EXPECT_FALSE(option->get_description().empty()) << names[0];
            for (const auto& name : names)
                EXPECT_TRUE(HasWord(help, name) &&
                            manual.find(Roff(name) + "\\fR") != std::string::npos &&
                            (!option->nonpositional() || HasWord(completion, name)))
                    << command->get_name() << " " << name;
        }
    }
    TempDir dir;
    std::ofstream(dir.File("quillgen.1")) << manual;
    EXPECT_EQ(std::system(("groff -man -Tutf8 -ww -z '" + dir.File("quillgen.1") + "' 2>'" +
                           dir.File("warnings") + "'")
                              .c_str()),
              0);
    EXPECT_EQ(ReadText(dir.File("warnings")), "");
}

} // namespace

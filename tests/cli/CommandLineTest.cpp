// quillgen's conventions: --version, and the help screens, manual page and bash completion,
// which must name every command and option the command line defines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QuillgenProcess.h"
#include "cli/Commands.h"
#include "cli/OptionDocs.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

// `word` in `text` with no name character (letter, digit, '-') joined to it on either side.
bool HasWord(const std::string& text, const std::string& word) {
    auto partOfName = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !partOfName(text[at - 1])) &&
            (end == text.size() || !partOfName(text[end])))
            return true;
    }
    return false;
}

std::string RoffName(std::string name) {
    for (std::size_t at = name.find('-'); at != std::string::npos; at = name.find('-', at + 2))
        name.insert(at, "\\");
    return name;
}

struct Documents {
    Documents() {
        quillgen::DefineCommandLine(app);
        std::ostringstream manualText, completionText;
        quillgen::WriteManualPage(app, {"9.9.9 (test)", "2026-01-01", "/usr/share/quill"},
                                  manualText);
        quillgen::WriteBashCompletion(app, completionText);
        manual = manualText.str();
        completion = completionText.str();
    }
    CLI::App app;
    std::string manual, completion;
};

// Runs `script` with bash in the folder "work" of `folder`; its standard output, and in `errors`
// its standard error and exit status unless it succeeded.
std::string Shell(const TempDir& folder, const std::string& script, std::string* errors) {
    std::ofstream(folder.File("script.sh")) << script;
    fs::create_directories(folder.File("work"));
    const std::string command =
        "cd '" + folder.File("work") + "' && bash ../script.sh >../out.txt 2>../err.txt";
    const int status = std::system(command.c_str());
    *errors = ReadText(folder.File("err.txt"));
    if (status != 0) *errors += "\nexit status " + std::to_string(status);
    return ReadText(folder.File("out.txt"));
}

} // namespace

// Walks the definitions themselves, so that a command or option the generators skip, or one
// defined without a description, fails here.
TEST(CommandLine, HelpManualAndCompletionNameEveryCommandAndOption) {
    Documents docs;
    std::vector<const CLI::App*> commands{&docs.app};
    for (const CLI::App* sub : docs.app.get_subcommands([](const CLI::App*) { return true; })) {
        commands.push_back(sub);
        EXPECT_THAT(docs.manual, HasSubstr(".SS \"quillgen " + RoffName(sub->get_name()) + " "));
        EXPECT_TRUE(HasWord(docs.completion, sub->get_name())) << sub->get_name();
        EXPECT_TRUE(HasWord(docs.app.help(), sub->get_name())) << sub->get_name();
    }
    ASSERT_GE(commands.size(), 6u);
    for (const CLI::App* command : commands) {
        const std::string help = command == &docs.app ? command->help() : command->help("quillgen");
        for (const CLI::Option* option : command->get_options()) {
            const std::string where = command->get_name() + " " + option->get_name(true, true);
            EXPECT_FALSE(option->get_description().empty()) << where;
            std::vector<std::string> names;
            for (const auto& name : option->get_snames())
                names.push_back("-" + name);
            for (const auto& name : option->get_lnames())
                names.push_back("--" + name);
            if (!option->nonpositional()) names.push_back(option->get_name(true));
            for (const auto& name : names) {
                EXPECT_THAT(docs.manual, HasSubstr(RoffName(name) + "\\fR")) << where;
                EXPECT_TRUE(HasWord(help, name)) << where << " in\n" << help;
                if (option->nonpositional()) {
                    EXPECT_TRUE(HasWord(docs.completion, name)) << where;
                }
            }
            // The values a check limits it to, "TYPE:{a,b}" in the type name.
            const std::string type = option->get_type_name();
            const std::size_t open = type.find('{'), close = type.find('}');
            if (open == std::string::npos || close == std::string::npos) continue;
            std::istringstream choices(type.substr(open + 1, close - open - 1));
            for (std::string choice; std::getline(choices, choice, ',');) {
                EXPECT_TRUE(HasWord(docs.completion, choice)) << where << " " << choice;
                EXPECT_TRUE(HasWord(help, choice)) << where << " " << choice;
            }
        }
    }
}

TEST(CommandLine, ManualRendersWithoutWarningsWithItsSections) {
    Documents docs;
    TempDir folder;
    std::ofstream(folder.File("quillgen.1")) << docs.manual;
    std::string errors;
    const std::string page =
        Shell(folder, "groff -man -Tutf8 -ww -P-cbou ../quillgen.1\n", &errors);
    EXPECT_EQ(errors, "");
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS",
                                "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"})
        EXPECT_THAT(page, HasSubstr("\n" + std::string(section) + "\n")) << section;
    EXPECT_THAT(page, HasSubstr("quillgen - calibrated test signals"));
    EXPECT_THAT(page, HasSubstr("--layout LAYOUT"));
    EXPECT_THAT(page, HasSubstr("(default: 5.1)"));
}

struct CompletionCase {
    std::vector<std::string> words; // the command line, the last word being completed
    std::string offered;            // COMPREPLY, one per line
};
class Completion : public testing::TestWithParam<CompletionCase> {};
TEST_P(Completion, OffersWhatFitsThePosition) {
    Documents docs;
    TempDir folder;
    fs::create_directories(folder.File("work/scenes"));
    std::ofstream(folder.File("work/scratch take.wav")).put('x');
    std::ofstream(folder.File("quillgen.bash")) << docs.completion;
    std::string script = "source ../quillgen.bash\nCOMP_WORDS=(";
    for (const auto& word : GetParam().words)
        script += " '" + word + "'";
    script += ")\nCOMP_CWORD=" + std::to_string(GetParam().words.size() - 1) +
              "\n_quillgen\nprintf '%s\\n' \"${COMPREPLY[@]}\" | sort\n";
    std::string errors;
    EXPECT_EQ(Shell(folder, script, &errors), GetParam().offered);
    EXPECT_EQ(errors, "");
}
INSTANTIATE_TEST_SUITE_P(
    Positions, Completion,
    testing::Values(
        CompletionCase{{"quillgen", "t"}, "tone\n"},
        CompletionCase{{"quillgen", "tone", "--no"}, "--no-announce\n"},
        CompletionCase{{"quillgen", "sweep", "--format", ""}, "aiff\nbwf\n"},
        CompletionCase{{"quillgen", "tone", "--bits", "=", ""}, "16\n24\n"},
        CompletionCase{{"quillgen", "phase-check", "--layout", "5"}, "5.1\n"},
        CompletionCase{{"quillgen", "tone", "--freq", ""}, "\n"},
        CompletionCase{{"quillgen", "full-sweep", "-o", "sc"}, "scenes\nscratch take.wav\n"},
        CompletionCase{{"quillgen", "phase-check", "--output", ""}, "scenes\n"},
        CompletionCase{{"quillgen", "info", "--json", "s"}, "scenes\nscratch take.wav\n"},
        CompletionCase{{"quillgen", "info", "--l"}, "--levels\n"}));

TEST(CommandLine, VersionAndHelpGoToStandardOutputWithSuccess) {
    TempDir folder;
    struct {
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {{{"--version"}, std::string("quillgen ") + QUILLGEN_VERSION + "\n"},
                 {{"tone", "--help"}, "Usage: quillgen tone [OPTIONS]\n"}};
    for (const auto& c : cases) {
        std::string out, err;
        EXPECT_EQ(WaitQuillgen(StartQuillgen(folder.Path(), folder.Path(), c.args), folder.Path(),
                               out, err),
                  0);
        EXPECT_EQ(out.substr(0, c.shown.size()), c.shown);
        EXPECT_EQ(err, "");
    }
}

// The command line: a value quillgen cannot take is a usage error (exit status 2) that names the
// option and what it accepts, and nothing is written; --help and --version succeed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/QuillgenProcess.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

struct UsageCase {
    std::string args;
    std::string says; // on standard error
};

void PrintTo(const UsageCase& c, std::ostream* out) {
    *out << c.args;
}

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
        UsageCase{"", "A subcommand is required"}, UsageCase{"info", "FILE is required"}));

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

} // namespace

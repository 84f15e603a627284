#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "shell/ConsoleDesktopServices.h"
#include "shell/DesktopServices.h"
#include "shell/QuillException.h"
#include "shell/Resources.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Points resource lookups at a folder of its own for the lifetime of the object.
class ResourceFolder {
public:
    ResourceFolder() {
        if (const char* saved = std::getenv("QUILL_RESOURCES")) previous = saved;
        setenv("QUILL_RESOURCES", dir.Path().c_str(), 1);
    }
    ~ResourceFolder() {
        previous ? setenv("QUILL_RESOURCES", previous->c_str(), 1) : unsetenv("QUILL_RESOURCES");
    }
    void Put(const std::string& leaf, const std::string& bytes) const {
        std::ofstream(dir.File(leaf), std::ios::binary) << bytes;
    }
    TempDir dir;

private:
    std::optional<std::string> previous;
};

class RecordingDesktop : public DesktopServices {
public:
    void alert(const std::string& title, const std::string& message) override {
        lines.push_back("alert " + title + "|" + message);
    }
    void log(const std::string& line) override { lines.push_back("log " + line); }
    std::vector<std::string> lines;
};

std::string ContentsOf(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    for (int c; (c = std::fgetc(stream)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

} // namespace

struct Lookup {
    std::string name, type;
    bool found;
};

class ResourceLookup : public ::testing::TestWithParam<Lookup> {};

// Only regular files directly in the folder are found; names that reach out of it are not.
TEST_P(ResourceLookup, FindsRegularFilesInTheFolderOnly) {
    ResourceFolder folder;
    folder.Put("one.sample", "ab");
    fs::create_directory(folder.dir.File("folder.sample"));
    fs::create_directory(folder.dir.File("sub"));
    folder.Put("sub/inner.sample", "x");
    const auto path = PathForResource(GetParam().name, GetParam().type);
    EXPECT_EQ(path.has_value(), GetParam().found);
    if (GetParam().found) {
        EXPECT_EQ(path, folder.dir.File(GetParam().name + "." + GetParam().type));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ResourceLookup,
    ::testing::Values(Lookup{"one", "sample", true}, Lookup{"one", "plist", false},
                      Lookup{"folder", "sample", false}, Lookup{"sub/inner", "sample", false},
                      Lookup{"../etc/passwd", "", false}, Lookup{"..", "", false},
                      Lookup{"", "sample", false}, Lookup{"inner", "sample/../../x", false},
                      Lookup{std::string("one\0x", 5), "sample", false}));

TEST(Resources, ContentsAreReturnedByteForByte) {
    ResourceFolder folder;
    const std::string bytes("\0\x01\xff\n\r\0end", 9);
    folder.Put("raw.sample", bytes);
    folder.Put("empty.sample", "");
    auto contents = ContentsOfFile(folder.dir.File("raw.sample"));
    ASSERT_TRUE(contents);
    EXPECT_EQ(std::string(contents->begin(), contents->end()), bytes);
    auto empty = ContentsOfFile(folder.dir.File("empty.sample"));
    EXPECT_TRUE(empty && empty->empty());
    EXPECT_FALSE(ContentsOfFile(folder.dir.File("missing")));
    EXPECT_FALSE(ContentsOfFile(folder.dir.Path()));
}

class Dictionaries : public ::testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(Dictionaries, OnlyAJsonObjectIsADictionary) {
    ResourceFolder folder;
    folder.Put("speakers.plist", GetParam().first);
    EXPECT_EQ(DictionaryFromFile(folder.dir.File("speakers.plist")).has_value(),
              GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Texts, Dictionaries,
                         ::testing::Values(std::pair{R"({"stereo": ["L", "R"]})", true},
                                           std::pair{"[1]", false}, std::pair{"{\"a\": ", false},
                                           std::pair{"<?xml version=\"1.0\"?><plist/>", false}));

TEST(QuillException, RaiseFormatsWholeReasonsAndTheLogLineCarriesTheUserInfo) {
    try {
        QuillException::Raise(kTxSoundFileException,
                              "error %d while writing sample data into file '%s'", -34, "/x.aif");
        FAIL() << "Raise returned";
    } catch (const QuillException& e) {
        EXPECT_TRUE(e.Is(kTxSoundFileException));
        EXPECT_EQ(e.LogLine(), "TxSoundFileException thrown: error -34 while writing sample data "
                               "into file '/x.aif' - ");
    }
    const std::string longName(5000, 'n');
    try {
        QuillException::Raise(kQUILException, "could not read '%s'", longName.c_str());
    } catch (const QuillException& e) {
        EXPECT_EQ(e.reason(), "could not read '" + longName + "'");
    }
    QuillException withInfo(kQUILPhaseCheckStopException, "stopped", {{"file", "L\xff"}});
    EXPECT_EQ(withInfo.LogLine(),
              "QUILPhaseCheckStopException thrown: stopped - {\"file\":\"L\xEF\xBF\xBD\"}");
}

TEST(DesktopServices, InstalledServicesReceiveCallsUntilTheScopeEnds) {
    DesktopServices& console = DesktopServices::Current();
    RecordingDesktop recording;
    {
        ScopedDesktopServices scope(recording);
        DesktopServices::Current().log("one");
        std::thread worker([] { DesktopServices::Current().alert("Title", "Message"); });
        worker.join();
    }
    EXPECT_EQ(&DesktopServices::Current(), &console);
    EXPECT_EQ(recording.lines, (std::vector<std::string>{"log one", "alert Title|Message"}));
}

TEST(ConsoleDesktopServices, AlertsAndLogLinesFromSeveralThreadsStayWhole) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        ConsoleDesktopServices console(stream);
        console.alert("Could not save sound file", "An error occurred.");
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&console, t] {
                for (int i = 0; i < 50; ++i) console.log(std::string(200, static_cast<char>('a' + t)));
            });
        for (auto& thread : threads) thread.join();
    }
    const std::string text = ContentsOf(stream);
    std::fclose(stream);
    const std::string first = "Could not save sound file: An error occurred.\n";
    ASSERT_EQ(text.substr(0, first.size()), first);
    std::size_t lines = 0;
    for (std::size_t at = first.size(); at < text.size(); at += 201, ++lines) {
        const std::string line = text.substr(at, 201);
        ASSERT_EQ(line, std::string(200, line[0]) + "\n");
    }
    EXPECT_EQ(lines, 200u);
}

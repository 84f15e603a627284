// The preferences store: stored value over declared default over nothing, the file replaced
// whole on every store, damaged files read as empty, and the key names files already carry.
#include "shell/Preferences.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(Preferences, StoredValueWinsOverDefaultAndOnlyTheStoreReachesTheNextRun) {
    TempDir dir;
    const std::string file = dir.File("nested/folder/preferences.json");
    {
        Preferences prefs(file);
        EXPECT_FALSE(prefs.GetObject("Kind"));
        prefs.RegisterDefaults({{"Flag", true}, {"Kind", 7}});
        EXPECT_TRUE(prefs.GetBool("Flag"));
        EXPECT_EQ(prefs.GetInt("Kind"), 7);
        ASSERT_TRUE(prefs.SetObject("Flag", false));
        EXPECT_FALSE(prefs.GetBool("Flag"));
        ASSERT_TRUE(prefs.SetObject("SaveOptions", {{"Kind", 2}, {"Format", 2}}));
    }
    Preferences next(file);
    EXPECT_EQ(next.GetObject("SaveOptions"), (nlohmann::json{{"Kind", 2}, {"Format", 2}}));
    EXPECT_FALSE(next.GetObject("Kind"));
}

// A reader still holding the old file sees it whole: a store writes a new file beside it and
// renames it into place, leaving no temporary file behind.
TEST(Preferences, StoreReplacesTheFileWholeInsteadOfRewritingIt) {
    TempDir dir;
    const std::string file = dir.File("p.json");
    ASSERT_TRUE(Preferences(file).SetObject("A", 1));
    const std::string before = ReadText(file);
    fs::create_hard_link(file, dir.File("held-by-a-reader"));
    ASSERT_TRUE(Preferences(file).SetObject("B", 2));
    EXPECT_EQ(ReadText(dir.File("held-by-a-reader")), before);
    EXPECT_EQ(Preferences(file).GetInt("A") + Preferences(file).GetInt("B"), 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(Preferences, DamagedFilesReadAsEmptyAndAreReplacedByTheNextStore) {
    for (const std::string& text : {std::string(), std::string("{\"Kind\": "),
                                    std::string("[1, 2]"), std::string("\0\xff\xfe", 3)}) {
        TempDir dir;
        const std::string file = dir.File("p.json");
        WriteText(file, text);
        Preferences prefs(file);
        prefs.RegisterDefaults({{"Kind", 3}});
        EXPECT_EQ(prefs.GetInt("Kind"), 3);
        ASSERT_TRUE(prefs.SetObject("SaveOptions", {{"Kind", 1}}));
        EXPECT_EQ(Preferences(file).GetObject("SaveOptions"), (nlohmann::json{{"Kind", 1}}));
    }
}

TEST(Preferences, FailedStoreIsReportedAndKeptForThisRun) {
    TempDir dir;
    WriteText(dir.File("blocker"), "a file where the folder should be");
    Preferences prefs(dir.File("blocker/p.json"));
    EXPECT_FALSE(prefs.SetObject("Kind", 4));
    EXPECT_EQ(prefs.GetInt("Kind"), 4);
}

TEST(Preferences, StoredValuesReadAsBooleansAndClampedIntegers) {
    struct { nlohmann::json stored; bool asBool; std::int32_t asInt; } cases[] = {
        {true, true, 1}, {0, false, 0}, {-2.9, true, -2}, {0.25, true, 0},
        {1e12, true, 2147483647}, {-1e12, true, -2147483647 - 1},
        {18446744073709551615ull, true, 2147483647}, {"YES", true, 0}, {"12", true, 12},
        {nlohmann::json::object(), false, 0}};
    TempDir dir;
    for (const auto& c : cases) {
        WriteText(dir.File("p.json"), nlohmann::json{{"key", c.stored}}.dump());
        Preferences prefs(dir.File("p.json"));
        EXPECT_EQ(prefs.GetBool("key"), c.asBool) << c.stored;
        EXPECT_EQ(prefs.GetInt("key"), c.asInt) << c.stored;
    }
}

TEST(Preferences, StoresFromSeveralThreadsAndInstancesAllLand) {
    TempDir dir;
    Preferences prefs(dir.File("p.json")), other(dir.File("p.json"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&prefs, t] {
            for (int i = 0; i < 10; ++i) prefs.SetObject("k" + std::to_string(t * 10 + i), i);
        });
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(other.SetObject("other", 5));
    Preferences reader(dir.File("p.json"));
    for (int k = 0; k < 40; ++k) EXPECT_EQ(reader.GetInt("k" + std::to_string(k)), k % 10);
    EXPECT_EQ(reader.GetInt("other"), 5);
}

TEST(Preferences, DefaultFileFollowsXdgConfigHomeAndIgnoresRelativeValues) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/some/where", 1);
    EXPECT_EQ(Preferences::DefaultFile(), "/some/where/quillwavecaster/preferences.json");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        EXPECT_EQ(Preferences::DefaultFile(), fs::path(home) / ".config/quillwavecaster/preferences.json");
    }
    if (saved) setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

// Files written by earlier runs carry these key names; the readers' defaults apply without one.
TEST(Preferences, ReaderKeysKeepTheirNamesAndDefaults) {
    TempDir dir;
    Preferences declared(dir.File("declared.json"));
    {
        ScopedSharedPreferences scope(declared);
        DeclareReaderDefaults();
    }
    EXPECT_NE(&Preferences::Shared(), &declared);
    EXPECT_TRUE(declared.GetBool(kIgnoreRegionsContainingWholeFile));
    EXPECT_TRUE(declared.GetBool(kProcessFileIfNoRegions));
    EXPECT_EQ(declared.GetObject(kSkipBadRegion), nlohmann::json(0));
    EXPECT_FALSE(fs::exists(dir.File("declared.json"))); // declared, never written

    WriteText(dir.File("stored.json"), R"({"Ignore Regions Containing Whole File": false,
        "Process File If No Regions": false, "Skip Bad Region": 1})");
    Preferences stored(dir.File("stored.json"));
    {
        ScopedSharedPreferences scope(stored);
        DeclareReaderDefaults();
    }
    EXPECT_FALSE(stored.GetBool(kIgnoreRegionsContainingWholeFile));
    EXPECT_FALSE(stored.GetBool(kProcessFileIfNoRegions));
    EXPECT_EQ(stored.GetInt(kSkipBadRegion), 1);
}

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

} // namespace

TEST(Preferences, StoredValueWinsOverDefaultWhichWinsOverNothing) {
    TempDir dir;
    Preferences prefs(dir.File("p.json"));
    EXPECT_FALSE(prefs.GetObject("Kind"));
    EXPECT_EQ(prefs.GetInt("Kind"), 0);

    prefs.RegisterDefaults({{"Flag", true}, {"Kind", 7}});
    EXPECT_TRUE(prefs.GetBool("Flag"));
    EXPECT_EQ(prefs.GetInt("Kind"), 7);

    ASSERT_TRUE(prefs.SetObject("Flag", false));
    EXPECT_FALSE(prefs.GetBool("Flag"));
}

TEST(Preferences, StoreSurvivesIntoTheNextRunButDefaultsDoNot) {
    TempDir dir;
    const std::string file = dir.File("nested/folder/preferences.json");
    const nlohmann::json options = {{"Kind", 2}, {"FileType", 1}, {"Format", 2}};
    {
        Preferences prefs(file);
        prefs.RegisterDefaults({{"Skip Bad Region", 5}});
        ASSERT_TRUE(prefs.SetObject("SaveOptions", options));
    }
    Preferences next(file);
    EXPECT_EQ(next.GetObject("SaveOptions"), options);
    EXPECT_EQ(next.GetInt("Skip Bad Region"), 0);
    // Only the store itself is left in the folder: no temporary files.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file).parent_path()),
                            fs::directory_iterator()),
              1);
}

TEST(Preferences, KeysWrittenByAnotherInstanceSurviveAStore) {
    TempDir dir;
    const std::string file = dir.File("p.json");
    Preferences first(file), second(file);
    ASSERT_TRUE(first.SetObject("A", 1));
    ASSERT_TRUE(second.SetObject("B", 2));
    Preferences reader(file);
    EXPECT_EQ(reader.GetInt("A") + reader.GetInt("B"), 3);
}

class CorruptPreferences : public ::testing::TestWithParam<std::string> {};

TEST_P(CorruptPreferences, ReadAsEmptyAndAreReplacedByTheNextStore) {
    TempDir dir;
    const std::string file = dir.File("p.json");
    WriteText(file, GetParam());
    Preferences prefs(file);
    prefs.RegisterDefaults({{"Kind", 3}});
    EXPECT_EQ(prefs.GetInt("Kind"), 3);
    ASSERT_TRUE(prefs.SetObject("SaveOptions", {{"Kind", 1}}));
    EXPECT_EQ(Preferences(file).GetObject("SaveOptions"), (nlohmann::json{{"Kind", 1}}));
}

INSTANTIATE_TEST_SUITE_P(Contents, CorruptPreferences,
                         ::testing::Values("", "{\"Kind\": ", "[1, 2]",
                                           std::string("\0\xff\xfe", 3)));

TEST(Preferences, FailedStoreIsReportedAndKeptForThisRun) {
    TempDir dir;
    WriteText(dir.File("blocker"), "a file where the folder should be");
    Preferences prefs(dir.File("blocker/p.json"));
    EXPECT_FALSE(prefs.SetObject("Kind", 4));
    EXPECT_EQ(prefs.GetInt("Kind"), 4);
}

struct Reading {
    nlohmann::json stored;
    bool asBool;
    std::int32_t asInt;
};

class PreferenceReading : public ::testing::TestWithParam<Reading> {};

TEST_P(PreferenceReading, ConvertsStoredValues) {
    TempDir dir;
    WriteText(dir.File("p.json"), nlohmann::json{{"key", GetParam().stored}}.dump());
    Preferences prefs(dir.File("p.json"));
    EXPECT_EQ(prefs.GetBool("key"), GetParam().asBool);
    EXPECT_EQ(prefs.GetInt("key"), GetParam().asInt);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PreferenceReading,
    ::testing::Values(Reading{true, true, 1}, Reading{0, false, 0}, Reading{-2.9, true, -2},
                      Reading{0.25, true, 0}, Reading{1e12, true, 2147483647},
                      Reading{-1e12, true, -2147483647 - 1},
                      Reading{18446744073709551615ull, true, 2147483647},
                      Reading{"YES", true, 0}, Reading{"12", true, 12},
                      Reading{nlohmann::json::object(), false, 0}));

TEST(Preferences, ConcurrentStoresFromSeveralThreadsAllLand) {
    TempDir dir;
    Preferences prefs(dir.File("p.json"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&prefs, t] {
            for (int i = 0; i < 10; ++i) prefs.SetObject("k" + std::to_string(t * 10 + i), i);
        });
    for (auto& thread : threads) thread.join();
    Preferences reader(dir.File("p.json"));
    for (int k = 0; k < 40; ++k) EXPECT_EQ(reader.GetInt("k" + std::to_string(k)), k % 10);
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

TEST(Preferences, ReaderDefaultsAreDeclaredInTheSharedStoreOnly) {
    TempDir dir;
    Preferences replacement(dir.File("p.json"));
    {
        ScopedSharedPreferences scope(replacement);
        DeclareReaderDefaults();
    }
    EXPECT_NE(&Preferences::Shared(), &replacement);
    EXPECT_TRUE(replacement.GetBool(kProcessFileIfNoRegions));
    EXPECT_EQ(replacement.GetObject(kSkipBadRegion), nlohmann::json(0));
    // Declared, never written.
    EXPECT_FALSE(fs::exists(dir.File("p.json")));
}

// The preferences store: stored value over declared default over nothing, the file replaced
// whole on every store, damaged files read as empty, and the key names files already carry.
#include "shell/Preferences.h"

#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(path, {text.begin(), text.end()}));
}

} // namespace

TEST(Preferences, StoredValueWinsOverDefaultAndOnlyTheStoreReachesTheNextRun) {
    TempDir dir;
    const std::string file = dir.File("nested/folder/preferences.json");
    {
        Preferences prefs(file);
        EXPECT_FALSE(prefs.GetObject("Kind"));
        prefs.RegisterDefaults({{"Flag", true}, {"Kind", 7}});
        EXPECT_EQ(prefs.GetInt("Kind"), 7);
        ASSERT_TRUE(prefs.SetObject("Flag", false));
        EXPECT_FALSE(prefs.GetBool("Flag"));
        ASSERT_TRUE(prefs.SetObject("SaveOptions", {{"Kind", 2}, {"Format", 2}}));
    }
    Preferences next(file);
    EXPECT_EQ(next.GetObject("SaveOptions"), (nlohmann::json{{"Kind", 2}, {"Format", 2}}));
    EXPECT_FALSE(next.GetObject("Kind"));
    // A store that cannot be written is reported and kept for this run.
    WriteText(dir.File("blocker"), "a file where the folder should be");
    Preferences blocked(dir.File("blocker/p.json"));
    EXPECT_FALSE(blocked.SetObject("Kind", 4));
    EXPECT_EQ(blocked.GetInt("Kind"), 4);
}

// A reader still holding the old file sees it whole: a store writes a new file beside it and
// renames it into place, leaving no temporary file behind.
TEST(Preferences, StoreReplacesTheFileWholeInsteadOfRewritingIt) {
    TempDir dir;
    const std::string file = dir.File("p.json");
    ASSERT_TRUE(Preferences(file).SetObject("A", 1));
    const auto before = ReadFileBytes(file);
    fs::create_hard_link(file, dir.File("held-by-a-reader"));
    ASSERT_TRUE(Preferences(file).SetObject("B", 2));
    EXPECT_EQ(ReadFileBytes(dir.File("held-by-a-reader")), before);
    EXPECT_EQ(Preferences(file).GetInt("A") + Preferences(file).GetInt("B"), 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(Preferences, DamagedFilesReadAsEmptyAndAreReplacedByTheNextStore) {
    for (const std::string& text : {std::string(), std::string("{\"Kind\": "),
                                    std::string("[1, 2]"), std::string("\0\xff\xfe", 3)}) {
        TempDir dir;
        WriteText(dir.File("p.json"), text);
        Preferences prefs(dir.File("p.json"));
        prefs.RegisterDefaults({{"Kind", 3}});
        EXPECT_EQ(prefs.GetInt("Kind"), 3);
        ASSERT_TRUE(prefs.SetObject("SaveOptions", {{"Kind", 1}}));
        EXPECT_EQ(Preferences(dir.File("p.json")).GetObject("SaveOptions"),
                  (nlohmann::json{{"Kind", 1}}));
    }
}

// Files written by earlier runs carry these key names; the readers' defaults apply without one.
TEST(Preferences, ReaderKeysKeepTheirNamesAndDefaults) {
    struct {
        const char* stored;
        bool ignoreWhole, processIfNone;
        int skipBad;
    } cases[] = {
        {"{}", true, true, 0},
        {R"({"Ignore Regions Containing Whole File": false, "Process File If No Regions": false,
             "Skip Bad Region": 1})",
         false, false, 1}};
    for (const auto& c : cases) {
        TempDir dir;
        WriteText(dir.File("p.json"), c.stored);
        Preferences prefs(dir.File("p.json"));
        {
            ScopedSharedPreferences scope(prefs);
            DeclareReaderDefaults();
        }
        EXPECT_EQ(prefs.GetBool(kIgnoreRegionsContainingWholeFile), c.ignoreWhole) << c.stored;
        EXPECT_EQ(prefs.GetBool(kProcessFileIfNoRegions), c.processIfNone) << c.stored;
        EXPECT_EQ(prefs.GetObject(kSkipBadRegion), nlohmann::json(c.skipBad)) << c.stored;
        EXPECT_EQ(ReadFileBytes(dir.File("p.json")).size(), std::strlen(c.stored)); // not written
    }
}

// File references (folder + leaf of at most 63 bytes in Mac Roman), TxPath's rules for turning
// a path into a reference, and removing a tree.
#include <filesystem>

#include <gtest/gtest.h>

#include "shell/FSSpec.h"
#include "shell/TxFiles.h"
#include "shell/TxPath.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    ASSERT_TRUE(WriteFileBytes(path, {text.begin(), text.end()}));
}
std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}
int EntriesIn(const std::string& folder) {
    return int(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(FSSpec, JoinsFolderAndLeafAndRefusesNamesItCannotHold) {
    struct {
        std::string directory, leaf, full;
    } made[] = {{"/tmp/dir", "Caf\u00E9.aif", "/tmp/dir/Caf\u00E9.aif"},
                {"/", "x", "/x"},
                {"", "x", "x"},
                {"/tmp", std::string(63, 'n'), "/tmp/" + std::string(63, 'n')}}; // the longest name
    FSSpec fileRef;
    for (const auto& m : made) {
        ASSERT_TRUE(MakeFSSpec(m.directory, m.leaf, &fileRef)) << m.leaf;
        EXPECT_EQ(FSSpecLeafName(fileRef), m.leaf);
        EXPECT_EQ(FSSpecFullPath(fileRef), m.full);
    }
    EXPECT_FALSE(MakeFSSpec("/tmp", std::string(64, 'n'), &fileRef));
    EXPECT_FALSE(MakeFSSpec("/tmp", "\u4E2D", &fileRef));
    EXPECT_EQ(FSSpecLeafName(fileRef), std::string(63, 'n')); // unchanged by the failures
}

TEST(TxPath, ReferenceToAMissingFileCreatesNothingUnlessAsked) {
    TempDir dir;
    FSSpec fileRef;
    struct {
        std::string path, directory, full;
    } made[] = {{dir.File("Grüße.aif"), dir.Path(), dir.File("Grüße.aif")},
                {dir.Path() + "/./x.aif//", dir.Path(), dir.File("x.aif")},
                {"/tone.aif", "/", "/tone.aif"}};
    for (const auto& m : made) {
        ASSERT_TRUE(TxPath(m.path).toFSSpec(&fileRef)) << m.path;
        EXPECT_EQ(fileRef.directory, m.directory);
        EXPECT_EQ(FSSpecFullPath(fileRef), m.full);
    }
    EXPECT_EQ(EntriesIn(dir.Path()), 0);
    // Creating first makes an empty file, once only.
    ASSERT_TRUE(TxPath(dir.File("new")).toFSSpecCreateFirst(&fileRef, true));
    EXPECT_EQ(fs::file_size(dir.File("new")), 0u);
    EXPECT_FALSE(TxPath(dir.File("new")).toFSSpecCreateFirst(&fileRef, true));
    // A relative path gets the current folder.
    const fs::path saved = fs::current_path();
    fs::current_path(dir.Path());
    const bool ok = TxPath("tone.aif").toFSSpec(&fileRef);
    fs::current_path(saved);
    ASSERT_TRUE(ok);
    EXPECT_EQ(FSSpecFullPath(fileRef), dir.File("tone.aif"));
}

TEST(TxPath, PathsNoReferenceCanNameFailWithoutLeavingAFile) {
    TempDir dir;
    WriteText(dir.File("plain"), "x");
    for (const std::string& path :
         {std::string(), dir.File(".."), dir.File("no/file"), dir.File("plain/below"),
          dir.File(std::string(64, 'n')), dir.File("emoji-\xF0\x9F\x8E\xB5.aif")}) {
        FSSpec fileRef;
        EXPECT_FALSE(TxPath(path).toFSSpec(&fileRef)) << path;
        EXPECT_FALSE(TxPath(path).toFSSpecCreateFirst(&fileRef, true)) << path;
    }
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

TEST(TxPath, StoredDictionaryPrefersTheLiveFileAndFallsBackToTheString) {
    TempDir dir;
    WriteText(dir.File("real"), "x");
    nlohmann::json dict = TxPath(dir.File("real")).dictionary();
    dict[kTxStringValueKey] = "/elsewhere";
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), dir.File("real"));
    fs::remove(dir.File("real"));
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), "/elsewhere");
    struct {
        const char* json;
        const char* path;
    } damaged[] = {{R"({"TxStringValue":"/fallback","TxAliasData":[47,300]})", "/fallback"},
                   {R"({"TxStringValue":"/fallback","TxAliasData":"/tmp"})", "/fallback"},
                   {R"({"TxStringValue":5})", ""},
                   {"[]", ""}};
    for (const auto& d : damaged)
        EXPECT_EQ(TxPath::initWithDictionary(nlohmann::json::parse(d.json)).stringValue(), d.path);
}

TEST(PathServices, RemovingATreeNeverFollowsLinksOutOfIt) {
    TempDir dir, outside;
    WriteText(outside.File("keep"), "precious");
    const std::string victim = dir.File("victim");
    fs::create_directories(victim + "/a/b");
    fs::create_directory_symlink(outside.Path(), victim + "/a/out");
    fs::create_symlink(outside.File("keep"), victim + "/keep-link");
    ASSERT_TRUE(PathServices::Current().RemoveTree(victim));
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));
    // A link named directly is removed itself, not what it points to.
    fs::create_directory_symlink(outside.Path(), dir.File("link"));
    ASSERT_TRUE(PathServices::Current().RemoveTree(dir.File("link")));
    EXPECT_EQ(ReadText(outside.File("keep")), "precious");
}

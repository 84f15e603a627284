// File names and paths: Pascal-string names in Mac Roman, file references (folder + leaf of at
// most 63 bytes), TxPath's rules for turning a path into a reference, and the file-system
// services behind them.
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "shell/FSSpec.h"
#include "shell/PascalString.h"
#include "shell/TxFiles.h"
#include "shell/TxPath.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A Pascal string holding `text` as bytes (no conversion).
struct P {
    explicit P(const std::string& text) {
        bytes[0] = static_cast<unsigned char>(text.size());
        std::memcpy(bytes + 1, text.data(), text.size());
    }
    unsigned char bytes[256] = {0};
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int EntriesIn(const std::string& folder) {
    return int(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(PascalString, EveryMacRomanByteSurvivesTheTripThroughUtf8) {
    EXPECT_EQ(stringWithPascalString(P("Caf\x8E \xA5 \xDB \xF0 \xC9").bytes),
              "Caf\u00E9 \u2022 \u20AC \uF8FF \u2026");
    P all("");
    for (int c = 1; c < 256; ++c) all.bytes[c] = static_cast<unsigned char>(c == 255 ? 0 : c);
    all.bytes[0] = 255;
    unsigned char back[256];
    ASSERT_TRUE(getPascalString(stringWithPascalString(all.bytes), back));
    EXPECT_TRUE(pstrcmp(back, all.bytes));
    EXPECT_FALSE(pstrcmp(P("abc").bytes, P("ab").bytes));
}

TEST(PascalString, TextThatDoesNotFitIsRefusedAndCatStopsAt254) {
    unsigned char out[256];
    EXPECT_TRUE(getPascalString(std::string(255, 'a'), out));
    // Too long, not in Mac Roman, cut-off UTF-8, overlong UTF-8.
    for (const std::string& text : {std::string(256, 'a'), std::string("\u4E2D"),
                                    std::string("\xC3"), std::string("\xC0\x80")}) {
        EXPECT_FALSE(getPascalString(text, out)) << text.size();
        EXPECT_EQ(out[0], 0);
    }
    P a(std::string(200, 'a'));
    pstrcat(a.bytes, P(std::string(200, 'b')).bytes);
    EXPECT_EQ(a.bytes[0], 254);
    EXPECT_EQ(a.bytes[254], 'b');
}

TEST(FSSpec, JoinsFolderAndLeafAndRefusesNamesItCannotHold) {
    struct { std::string directory, leaf, full; } made[] = {
        {"/tmp/dir", "Caf\u00E9.aif", "/tmp/dir/Caf\u00E9.aif"}, {"/", "x", "/x"},
        {"", "x", "x"}, {"/tmp", std::string(63, 'n'), "/tmp/" + std::string(63, 'n')}};
    FSSpec fileRef;
    for (const auto& m : made) {
        ASSERT_TRUE(MakeFSSpec(m.directory, m.leaf, &fileRef)) << m.leaf;
        EXPECT_EQ(FSSpecLeafName(fileRef), m.leaf);
        EXPECT_EQ(FSSpecFullPath(fileRef), m.full);
    }
    EXPECT_EQ(fileRef.name[0], 63);
    EXPECT_FALSE(MakeFSSpec("/tmp", std::string(64, 'n'), &fileRef));
    EXPECT_FALSE(MakeFSSpec("/tmp", "\u4E2D", &fileRef));
    EXPECT_EQ(FSSpecLeafName(fileRef), std::string(63, 'n')); // unchanged by the failures
}

TEST(TxPath, ReferenceToAMissingFileCreatesNothingUnlessAsked) {
    TempDir dir;
    FSSpec fileRef;
    ASSERT_TRUE(TxPath(dir.File("Grüße.aif")).toFSSpec(&fileRef));
    EXPECT_EQ(fileRef.directory, dir.Path());
    EXPECT_EQ(FSSpecFullPath(fileRef), dir.File("Grüße.aif"));
    EXPECT_EQ(EntriesIn(dir.Path()), 0);
    ASSERT_TRUE(TxPath(dir.Path() + "/./x.aif//").toFSSpec(&fileRef));
    EXPECT_EQ(FSSpecFullPath(fileRef), dir.File("x.aif"));
    ASSERT_TRUE(TxPath("/tone.aif").toFSSpec(&fileRef));
    EXPECT_EQ(fileRef.directory, "/");

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
    for (const std::string& path : {std::string(), dir.File(".."), dir.File("no/file"),
                                    dir.File("plain/below"), dir.File(std::string(64, 'n')),
                                    dir.File("emoji-\xF0\x9F\x8E\xB5.aif")}) {
        FSSpec fileRef;
        EXPECT_FALSE(TxPath(path).toFSSpec(&fileRef)) << path;
        EXPECT_FALSE(TxPath(path).toFSSpecCreateFirst(&fileRef, true)) << path;
    }
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

TEST(TxPath, FaultsOfThePathServicesAreFailures) {
    struct Scripted : PosixPathServices {
        PathKind Kind(const std::string& path) override {
            return path == unreachable ? PathKind::kUnreachable : PosixPathServices::Kind(path);
        }
        bool CreateFile(const std::string&) override { return false; }
        std::string unreachable;
    } scripted;
    TempDir dir;
    ScopedPathServices scope(scripted);
    FSSpec fileRef;
    scripted.unreachable = dir.File("locked");
    EXPECT_FALSE(TxPath(dir.File("locked")).toFSSpec(&fileRef));
    EXPECT_FALSE(TxPath(dir.File("f")).toFSSpecCreateFirst(&fileRef, true));
    scripted.unreachable = dir.Path();
    EXPECT_FALSE(TxPath(dir.File("f")).toFSSpec(&fileRef));
}

TEST(TxPath, StoredDictionaryPrefersTheLiveFileAndFallsBackToTheString) {
    TempDir dir;
    WriteText(dir.File("real"), "x");
    nlohmann::json dict = nlohmann::json::parse(TxPath(dir.File("real")).dictionary().dump());
    dict[kTxStringValueKey] = "/elsewhere";
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), dir.File("real"));
    fs::remove(dir.File("real"));
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), "/elsewhere");
    EXPECT_FALSE(TxPath(dir.File("real")).dictionary().contains(kTxAliasDataKey));

    struct { const char* json; const char* path; } damaged[] = {
        {R"({"TxStringValue":"/fallback","TxAliasData":[47,300]})", "/fallback"},
        {R"({"TxStringValue":"/fallback","TxAliasData":"/tmp"})", "/fallback"},
        {R"({"TxStringValue":"/fallback","TxAliasData":[47,0,47]})", "/fallback"},
        {R"({"TxStringValue":5})", ""}, {"[]", ""}};
    for (const auto& d : damaged)
        EXPECT_EQ(TxPath::initWithDictionary(nlohmann::json::parse(d.json)).stringValue(), d.path);
}

// A small tree: file, dir/, dir/inner, link-to-dir -> dir, dangling -> missing.
class PathTree : public ::testing::Test {
protected:
    void SetUp() override {
        WriteText(dir.File("file"), "x");
        fs::create_directory(dir.File("dir"));
        WriteText(dir.File("dir/inner"), "y");
        fs::create_directory_symlink(dir.File("dir"), dir.File("link-to-dir"));
        fs::create_symlink(dir.File("missing"), dir.File("dangling"));
    }
    TempDir dir;
};

TEST_F(PathTree, KindsFollowWhatLiesAtThePath) {
    struct { const char* name; PathKind kind; } kinds[] = {
        {"file", PathKind::kFile}, {"dir", PathKind::kDirectory},
        {"link-to-dir", PathKind::kDirectory}, {"dangling", PathKind::kMissing},
        {"file/below", PathKind::kUnreachable}};
    for (const auto& k : kinds) {
        const std::string path = dir.File(k.name);
        EXPECT_EQ(PathServices::Current().Kind(path), k.kind) << k.name;
        bool isDirectory = k.kind != PathKind::kDirectory;
        EXPECT_EQ(TxFiles::isExistingPath(path, &isDirectory),
                  k.kind == PathKind::kFile || k.kind == PathKind::kDirectory);
        EXPECT_EQ(isDirectory, k.kind == PathKind::kDirectory);
        EXPECT_EQ(TxFiles::isExistingFile(path), k.kind == PathKind::kFile);
    }
}

TEST_F(PathTree, RemovingATreeNeverFollowsLinksOutOfIt) {
    TempDir outside;
    WriteText(outside.File("keep"), "precious");
    const std::string victim = dir.File("victim");
    fs::create_directories(victim + "/a/b");
    fs::create_directory_symlink(outside.Path(), victim + "/a/out");
    fs::create_symlink(outside.File("keep"), victim + "/keep-link");
    ASSERT_TRUE(PathServices::Current().RemoveTree(victim));
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));
    EXPECT_EQ(ReadText(outside.File("keep")), "precious");
    // A link named directly is removed itself, not what it points to.
    ASSERT_TRUE(PathServices::Current().RemoveTree(dir.File("link-to-dir")));
    EXPECT_EQ(ReadText(dir.File("dir/inner")), "y");
    EXPECT_FALSE(PathServices::Current().RemoveTree(dir.File("missing")));
}

TEST_F(PathTree, CreateRefusesWhatExistsAndMoveReplacesTheTarget) {
    PathServices& services = PathServices::Current();
    EXPECT_TRUE(services.CreateDirectory(dir.File("new")));
    EXPECT_FALSE(services.CreateDirectory(dir.File("new")));
    EXPECT_FALSE(services.CreateDirectory(dir.File("no/such/parent")));
    EXPECT_FALSE(services.CreateFile(dir.File("file")));
    EXPECT_EQ(ReadText(dir.File("file")), "x");
    WriteText(dir.File("target"), "old");
    ASSERT_TRUE(services.MoveFile(dir.File("file"), dir.File("target")));
    EXPECT_EQ(ReadText(dir.File("target")), "x");
    EXPECT_FALSE(services.MoveFile(dir.File("file"), dir.File("target")));
    EXPECT_EQ(ReadText(dir.File("target")), "x");
}

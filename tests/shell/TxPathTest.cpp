#include "shell/TxPath.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "shell/TxFiles.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Answers and fails as told, otherwise passes through to the real file system.
class ScriptedPathServices : public PosixPathServices {
public:
    PathKind Kind(const std::string& path) override {
        return path == unreachable ? PathKind::kUnreachable : PosixPathServices::Kind(path);
    }
    bool CreateFile(const std::string& path) override {
        ++creates;
        return !failCreate && PosixPathServices::CreateFile(path);
    }
    std::string unreachable;
    bool failCreate = false;
    int creates = 0;
};

} // namespace

TEST(TxPath, SpecForAMissingFileCreatesNothingUnlessAsked) {
    TempDir dir;
    FSSpec fileRef;
    ASSERT_TRUE(TxPath(dir.File("Grüße.aif")).toFSSpec(&fileRef));
    EXPECT_EQ(FSSpecFullPath(fileRef), dir.File("Grüße.aif"));
    EXPECT_FALSE(fs::exists(dir.File("Grüße.aif")));
    EXPECT_EQ(TxPath::initWithFSSpec(fileRef).stringValue(), dir.File("Grüße.aif"));

    // Creating first makes an empty file, once only.
    ASSERT_TRUE(TxPath(dir.File("new")).toFSSpecCreateFirst(&fileRef, true));
    EXPECT_EQ(fs::file_size(dir.File("new")), 0u);
    EXPECT_FALSE(TxPath(dir.File("new")).toFSSpecCreateFirst(&fileRef, true));
    EXPECT_TRUE(TxPath(dir.File("new")).toFSSpec(&fileRef));
}

class UnreferenceablePath : public ::testing::TestWithParam<std::string> {};

TEST_P(UnreferenceablePath, FailsWithoutLeavingAFile) {
    TempDir dir;
    std::ofstream(dir.File("plain")) << "x";
    const std::string path = GetParam().empty() || GetParam()[0] == '/' ? GetParam()
                                                                        : dir.File(GetParam());
    FSSpec fileRef;
    EXPECT_FALSE(TxPath(path).toFSSpec(&fileRef));
    EXPECT_FALSE(TxPath(path).toFSSpecCreateFirst(&fileRef, true));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnreferenceablePath,
                         ::testing::Values("", "no-folder/file", "plain/below",
                                           std::string(64, 'n'), "emoji-\xF0\x9F\x8E\xB5.aif"));

TEST(TxPath, RelativePathsGetAnAbsoluteFolder) {
    TempDir dir;
    const fs::path saved = fs::current_path();
    fs::current_path(dir.Path());
    FSSpec fileRef;
    const bool ok = TxPath("tone.aif").toFSSpec(&fileRef);
    fs::current_path(saved);
    ASSERT_TRUE(ok);
    EXPECT_EQ(fs::path(fileRef.directory), fs::path(dir.Path()).lexically_normal());
    EXPECT_EQ(FSSpecLeafName(fileRef), "tone.aif");
}

TEST(TxPath, FaultsOfThePathServicesAreFailures) {
    TempDir dir;
    ScriptedPathServices scripted;
    ScopedPathServices scope(scripted);
    FSSpec fileRef;
    scripted.unreachable = dir.File("locked");
    EXPECT_FALSE(TxPath(dir.File("locked")).toFSSpec(&fileRef));
    scripted.failCreate = true;
    EXPECT_FALSE(TxPath(dir.File("f")).toFSSpecCreateFirst(&fileRef, true));
    EXPECT_EQ(scripted.creates, 1);
    scripted.unreachable = dir.Path();
    EXPECT_FALSE(TxPath(dir.File("f")).toFSSpec(&fileRef));
}

TEST(TxPath, ReferenceOnlyForWhatExists) {
    TempDir dir;
    FSRef ref;
    EXPECT_FALSE(TxPath(dir.File("none")).toFSRef(&ref));
    EXPECT_FALSE(TxPath(dir.File("none")).dataWithAlias());
    EXPECT_FALSE(TxPath(dir.File("none")).exists());
    ASSERT_TRUE(TxPath(dir.Path() + "/./").toFSRef(&ref));
    EXPECT_EQ(TxPath::pathFromFSRef(ref), dir.Path());
}

TEST(TxPath, DictionaryPrefersTheLiveReferenceAndFallsBackToTheString) {
    TempDir dir;
    std::ofstream(dir.File("real")) << "x";
    nlohmann::json dict = TxPath(dir.File("real")).dictionary();
    ASSERT_TRUE(dict.contains(kTxAliasDataKey));
    // Through a file and back, as a stored dictionary would travel.
    dict = nlohmann::json::parse(dict.dump());
    dict[kTxStringValueKey] = "/elsewhere";
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), dir.File("real"));

    fs::remove(dir.File("real"));
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), "/elsewhere");
    const std::string gone = dir.File("real");
    EXPECT_FALSE(TxPath::stringWithAliasData(TxPath::AliasData(gone.begin(), gone.end())));
    EXPECT_FALSE(TxPath(dir.File("real")).dictionary().contains(kTxAliasDataKey));
}

class MalformedDictionary : public ::testing::TestWithParam<nlohmann::json> {};

TEST_P(MalformedDictionary, GivesTheStringOrTheEmptyPath) {
    nlohmann::json dict = GetParam();
    const bool hasString = dict.is_object() && dict.contains(kTxStringValueKey) &&
                           dict[kTxStringValueKey].is_string();
    EXPECT_EQ(TxPath::initWithDictionary(dict).stringValue(), hasString ? "/fallback" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Dictionaries, MalformedDictionary,
    ::testing::Values(nlohmann::json::parse(R"({"TxStringValue":"/fallback","TxAliasData":[47,300]})"),
                      nlohmann::json::parse(R"({"TxStringValue":"/fallback","TxAliasData":"/tmp"})"),
                      nlohmann::json::parse(R"({"TxStringValue":"/fallback","TxAliasData":[47,0,47]})"),
                      nlohmann::json::parse(R"({"TxStringValue":5})"), nlohmann::json::parse("[]"),
                      nlohmann::json::object()));

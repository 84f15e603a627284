#include "shell/TxFiles.h"

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

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

} // namespace

struct KindCase {
    const char* name;
    PathKind kind;
};

class PathKinds : public PathTree, public ::testing::WithParamInterface<KindCase> {};

TEST_P(PathKinds, AnswerWhatLiesAtThePath) {
    const std::string path = dir.File(GetParam().name);
    const PathKind kind = GetParam().kind;
    EXPECT_EQ(PathServices::Current().Kind(path), kind);
    bool isDirectory = !(kind == PathKind::kDirectory);
    EXPECT_EQ(TxFiles::isExistingPath(path, &isDirectory),
              kind == PathKind::kFile || kind == PathKind::kDirectory);
    EXPECT_EQ(isDirectory, kind == PathKind::kDirectory);
    EXPECT_EQ(TxFiles::isExistingFile(path), kind == PathKind::kFile);
    EXPECT_EQ(TxFiles::isExistingDirectory(path), kind == PathKind::kDirectory);
}

INSTANTIATE_TEST_SUITE_P(Tree, PathKinds,
                         ::testing::Values(KindCase{"file", PathKind::kFile},
                                           KindCase{"dir", PathKind::kDirectory},
                                           KindCase{"link-to-dir", PathKind::kDirectory},
                                           KindCase{"dangling", PathKind::kMissing},
                                           KindCase{"file/below", PathKind::kUnreachable}));

TEST_F(PathTree, RemovingATreeNeverFollowsLinksOutOfIt) {
    TempDir outside;
    WriteText(outside.File("keep"), "precious");
    const std::string victim = dir.File("victim");
    fs::create_directories(victim + "/a/b");
    WriteText(victim + "/a/b/f", "1");
    fs::create_directory_symlink(outside.Path(), victim + "/a/out");
    fs::create_symlink(outside.File("keep"), victim + "/keep-link");

    ASSERT_TRUE(PathServices::Current().RemoveTree(victim));
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));
    EXPECT_EQ(ReadText(outside.File("keep")), "precious");

    // A link named directly is removed itself, not what it points to.
    ASSERT_TRUE(PathServices::Current().RemoveTree(dir.File("link-to-dir")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.File("link-to-dir"))));
    EXPECT_EQ(ReadText(dir.File("dir/inner")), "y");
    EXPECT_FALSE(PathServices::Current().RemoveTree(dir.File("missing")));
}

TEST_F(PathTree, CreateDirectoryAndFileRefuseWhatExists) {
    PathServices& services = PathServices::Current();
    EXPECT_TRUE(services.CreateDirectory(dir.File("new")));
    EXPECT_FALSE(services.CreateDirectory(dir.File("new")));
    EXPECT_FALSE(services.CreateDirectory(dir.File("no/such/parent")));
    EXPECT_TRUE(services.CreateFile(dir.File("new/empty")));
    EXPECT_FALSE(services.CreateFile(dir.File("file")));
    EXPECT_EQ(ReadText(dir.File("file")), "x");
}

TEST_F(PathTree, MoveReplacesTheTargetAndFailsQuietlyWithoutASource) {
    WriteText(dir.File("target"), "old");
    ASSERT_TRUE(PathServices::Current().MoveFile(dir.File("file"), dir.File("target")));
    EXPECT_EQ(ReadText(dir.File("target")), "x");
    EXPECT_FALSE(PathServices::Current().MoveFile(dir.File("file"), dir.File("target")));
    EXPECT_EQ(ReadText(dir.File("target")), "x");
}

TEST_F(PathTree, MoveAcrossFileSystemsCopiesAndRemovesTheOriginal) {
    struct stat a {}, b {};
    if (::stat(dir.Path().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system to move to";
    const std::string source = dir.File("big");
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    WriteText(source, content);
    ::chmod(source.c_str(), 0640);
    const std::string target = "/dev/shm/quill-move-" + std::to_string(::getpid());
    ASSERT_TRUE(PathServices::Current().MoveFile(source, target));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(ReadText(target), content);
    struct stat moved {};
    ASSERT_EQ(::stat(target.c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mode & 0777, 0640u);
    fs::remove(target);
}

struct Hierarchy {
    const char* path;
    const char* directory;
    bool inside;
};

class LivesInside : public PathTree, public ::testing::WithParamInterface<Hierarchy> {};

TEST_P(LivesInside, ComparesTheDirectoriesThemselves) {
    const std::string path = GetParam().path[0] == '/' ? GetParam().path : dir.File(GetParam().path);
    EXPECT_EQ(TxFiles::livesInsideDirectoryHierarchy(path, dir.File(GetParam().directory)),
              GetParam().inside);
}

INSTANTIATE_TEST_SUITE_P(
    Tree, LivesInside,
    ::testing::Values(Hierarchy{"dir", "dir", true}, Hierarchy{"dir/inner", ".", true},
                      Hierarchy{"link-to-dir/inner", "dir", true},
                      Hierarchy{"dir/../file", "dir", false}, Hierarchy{"dir", "dir/inner", false},
                      Hierarchy{"missing", ".", false}, Hierarchy{"/", "dir", false}));

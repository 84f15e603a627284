#include "shell/TxFiles.h"

#include "shell/PosixIO.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<PathServices*> installed{nullptr};

// Opens a directory below `parentFd` without following a symbolic link at `name`, so that a
// link swapped in for a directory while we walk cannot lead the removal out of the tree.
int OpenDirectoryNoFollow(int parentFd, const char* name) {
    return ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Empties the directory open at `fd` (which it takes over), depth first; stops at the first
// entry it cannot remove.
bool RemoveContents(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (ok) {
        errno = 0;
        dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            ok = errno == 0;
            break;
        }
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
        } else if (S_ISDIR(info.st_mode)) {
            int child = OpenDirectoryNoFollow(fd, entry->d_name);
            ok = child >= 0 && RemoveContents(child) &&
                 ::unlinkat(fd, entry->d_name, AT_REMOVEDIR) == 0;
        } else {
            ok = ::unlinkat(fd, entry->d_name, 0) == 0;
        }
    }
    ::closedir(dir);
    return ok;
}

std::string ParentOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Copies the regular file `from` into the already open, empty `out`.
bool CopyInto(const std::string& from, int out) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat info {};
    bool ok = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) &&
              ::fchmod(out, info.st_mode & 07777) == 0;
    char buffer[65536];
    while (ok) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buffer, static_cast<std::size_t>(n));
    }
    ::close(in);
    return ok && ::fsync(out) == 0;
}

} // namespace

PathServices& PathServices::Current() {
    if (PathServices* services = installed.load()) return *services;
    static PosixPathServices posix;
    return posix;
}

PathServices* PathServices::SetCurrent(PathServices* services) {
    return installed.exchange(services);
}

PathKind PosixPathServices::Kind(const std::string& path) {
    if (path.empty()) return PathKind::kMissing;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? PathKind::kDirectory : PathKind::kFile;
    return errno == ENOENT ? PathKind::kMissing : PathKind::kUnreachable;
}

bool PosixPathServices::RemoveTree(const std::string& path) {
    if (path.empty()) return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return false;
    // A link is removed itself, whatever it points to.
    if (!S_ISDIR(info.st_mode)) return ::unlink(path.c_str()) == 0;
    int fd = OpenDirectoryNoFollow(AT_FDCWD, path.c_str());
    if (fd < 0) return false;
    return RemoveContents(fd) && ::rmdir(path.c_str()) == 0;
}

bool PosixPathServices::CreateDirectory(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool PosixPathServices::CreateFile(const std::string& path) {
    if (path.empty()) return false;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    return ::close(fd) == 0;
}

bool PosixPathServices::MoveFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    // Another file system: copy beside the target, rename the copy into place, then drop the
    // original. The target is never seen half-written, and a failure leaves `from` alone.
    std::string temporary = ParentOf(to) + "/.quillmove.XXXXXX";
    int out = ::mkstemp(temporary.data());
    if (out < 0) return false;
    bool copied = CopyInto(from, out);
    copied = ::close(out) == 0 && copied;
    if (!copied || ::rename(temporary.c_str(), to.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return ::unlink(from.c_str()) == 0;
}

void PosixPathServices::TellDesktop(const std::string&) {
    // File browsers on this platform watch the file system themselves.
}

namespace TxFiles {

bool isExistingPath(const std::string& path, bool* isDirectory) {
    PathKind kind = PathServices::Current().Kind(path);
    if (isDirectory != nullptr) *isDirectory = kind == PathKind::kDirectory;
    return kind == PathKind::kFile || kind == PathKind::kDirectory;
}

bool isExistingPath(const std::string& path) {
    return isExistingPath(path, nullptr);
}

bool isExistingFile(const std::string& path) {
    return PathServices::Current().Kind(path) == PathKind::kFile;
}

bool isExistingDirectory(const std::string& path) {
    return PathServices::Current().Kind(path) == PathKind::kDirectory;
}

bool livesInsideDirectoryHierarchy(const std::string& path, const std::string& directory) {
    struct stat target {};
    if (directory.empty() || ::stat(directory.c_str(), &target) != 0) return false;
    char resolved[PATH_MAX];
    if (path.empty() || ::realpath(path.c_str(), resolved) == nullptr) return false;
    // Walk up from the resolved path comparing file identities, so that different spellings of
    // the same directory (links, "..") agree.
    std::string current = resolved;
    for (;;) {
        struct stat info {};
        if (::stat(current.c_str(), &info) != 0) return false;
        if (info.st_dev != target.st_dev) return false;
        if (info.st_ino == target.st_ino) return true;
        if (current == "/") return false;
        current = ParentOf(current);
    }
}

} // namespace TxFiles

#include "soundfile/FileServices.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Files of several GiB are written and read through these offsets.
static_assert(sizeof(off_t) >= 8, "file offsets beyond 2 GiB need a 64-bit off_t");

namespace {

thread_local int lastFileError = 0;

FileServices*& CurrentPointer() {
    static PosixFileServices posix;
    static FileServices* current = &posix;
    return current;
}

} // namespace

FileServices& CurrentFileServices() {
    return *CurrentPointer();
}

FileServicesScope::FileServicesScope(FileServices& replacement) : previous(CurrentPointer()) {
    CurrentPointer() = &replacement;
}

FileServicesScope::~FileServicesScope() {
    CurrentPointer() = previous;
}

int LastFileError() {
    return lastFileError;
}
void NoteFileError(int error) {
    lastFileError = error;
}
void ClearFileError() {
    lastFileError = 0;
}

std::string FileStatusText(Status status) {
    const int error = lastFileError;
    std::string text = error != 0 && PosixFileServices::StatusFromErrno(error) == status
                           ? std::strerror(error)
                           : StatusText(status);
    return text + " (error " + std::to_string(status) + ")";
}

Status FileServices::Remove(const std::string&) {
    return kErrNotSupported;
}
Status FileServices::CreateDirectory(const std::string&) {
    return kErrNotSupported;
}
Status FileServices::Rename(const std::string&, const std::string&) {
    return kErrNotSupported;
}
Status FileServices::Kind(const std::string&, bool, EntryKind*) {
    return kErrNotSupported;
}
Status FileServices::List(const std::string&, std::vector<std::string>*) {
    return kErrNotSupported;
}

Status PosixFileServices::StatusFromErrno(int error) {
    lastFileError = error;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kErrFileNotFound;
    case EEXIST:
        return kErrDuplicateFile;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kErrDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return kErrPermission;
    case ENOMEM:
        return kErrMemoryFull;
    default:
        return kErrIO;
    }
}

PosixFileServices::~PosixFileServices() {
    for (const auto& file : files)
        if (file) {
            // Files left open by their owner: the bytes go out, but no one is left to hear
            // that they could not.
            (void)SendStaged(*file);
            ::close(file->fd);
        }
}

PosixFileServices::OpenFile* PosixFileServices::Find(std::int16_t refNum) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (refNum < 1 || std::size_t(refNum) > files.size()) return nullptr;
    return files[std::size_t(refNum) - 1].get();
}

Status PosixFileServices::Settled(std::int16_t refNum, int* fd) const {
    OpenFile* file = Find(refNum);
    if (file == nullptr) return kErrFileNotOpen;
    // Whatever follows reads or moves: the gathered bytes go first.
    *fd = file->fd;
    return SendStaged(*file);
}

Status PosixFileServices::Create(const FSSpec& fileRef, std::uint32_t, std::uint32_t) {
    const std::string path = FSSpecFullPath(fileRef);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return StatusFromErrno(errno);
    ::close(fd);
    return kNoErr;
}

Status PosixFileServices::Open(const FSSpec& fileRef, FilePermission permission,
                               std::int16_t* refNum) {
    const std::string path = FSSpecFullPath(fileRef);
    // Opened without blocking, so that a FIFO or a device put where a file was expected is
    // refused below instead of hanging here; reads and writes on the file itself block again.
    const int flags = (permission == FilePermission::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC |
                      O_NONBLOCK | O_NOCTTY;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) return StatusFromErrno(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return kErrIO; // a directory or device is not a file the engine can use
    }
    std::lock_guard<std::mutex> lock(mutex);
    std::size_t slot = 0;
    while (slot < files.size() && files[slot])
        ++slot;
    if (slot >= std::size_t(INT16_MAX)) {
        ::close(fd);
        return kErrIO; // too many open files
    }
    auto file = std::make_unique<OpenFile>();
    file->fd = fd;
    file->writable = permission == FilePermission::ReadWrite;
    if (slot == files.size())
        files.push_back(std::move(file));
    else
        files[slot] = std::move(file);
    *refNum = static_cast<std::int16_t>(slot + 1);
    return kNoErr;
}

// Moves *count bytes with `transfer` (read or write), retrying short and interrupted calls;
// `atEnd` is the status when the call moves nothing. *count becomes the bytes moved.
namespace {

template <class Transfer>
[[nodiscard]] Status TransferAll(std::int32_t* count, Status atEnd, Transfer transfer) {
    if (*count < 0) return kErrParameter;
    std::int32_t done = 0;
    Status status = kNoErr;
    while (done < *count) {
        const ssize_t n = transfer(done, std::size_t(*count - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            status = PosixFileServices::StatusFromErrno(errno);
            break;
        }
        if (n == 0) {
            status = atEnd;
            break;
        }
        done += static_cast<std::int32_t>(n);
    }
    *count = done;
    return status;
}

} // namespace

Status PosixFileServices::Read(std::int16_t refNum, std::int32_t* count, void* buffer) {
    int fd = -1;
    if (const Status status = Settled(refNum, &fd); status != kNoErr) return status;
    char* bytes = static_cast<char*>(buffer);
    return TransferAll(count, kErrEndOfFile, [&](std::int32_t done, std::size_t size) {
        return ::read(fd, bytes + done, size);
    });
}

Status PosixFileServices::WriteThrough(OpenFile& file, const char* bytes, std::int32_t* count) {
    const Status status = TransferAll(count, kErrIO, [&](std::int32_t done, std::size_t size) {
        return ::write(file.fd, bytes + done, size);
    });
    if (*count > 0) StartWriteback(file, *count);
    return status;
}

Status PosixFileServices::SendStaged(OpenFile& file) {
    if (file.staged.empty()) return kNoErr;
    auto count = std::int32_t(file.staged.size());
    const Status status = WriteThrough(file, file.staged.data(), &count);
    file.stagedAt += count;
    file.staged.clear();
    return status;
}

Status PosixFileServices::Write(std::int16_t refNum, std::int32_t* count, const void* buffer) {
    OpenFile* file = Find(refNum);
    if (file == nullptr) return kErrFileNotOpen;
    if (*count < 0) return kErrParameter;
    if (!file->writable) {
        *count = 0;
        return StatusFromErrno(EBADF);
    }
    const char* bytes = static_cast<const char*>(buffer);
    const std::int32_t asked = *count;
    std::int32_t done = 0;
    Status status = kNoErr;
    while (done < asked && status == kNoErr) {
        if (file->staged.empty()) {
            const off_t at = ::lseek(file->fd, 0, SEEK_CUR);
            if (at < 0) {
                status = StatusFromErrno(errno);
                break;
            }
            file->stagedAt = at;
        }
        const std::int64_t end = file->stagedAt + std::int64_t(file->staged.size());
        const auto room = std::int32_t(kStageBytes - end % kStageBytes);
        const std::int32_t left = asked - done;
        if (file->staged.empty() && left >= room) {
            // Straight from the caller's bytes, up to the last boundary they reach.
            std::int32_t n = room + std::int32_t((left - room) / kStageBytes * kStageBytes);
            status = WriteThrough(*file, bytes + done, &n);
            done += n;
            continue;
        }
        const std::int32_t n = std::min(room, left);
        if (file->staged.capacity() == 0) file->staged.reserve(std::size_t(kStageBytes));
        file->staged.insert(file->staged.end(), bytes + done, bytes + done + n);
        done += n;
        if (n == room) status = SendStaged(*file);
    }
    *count = done;
    return status;
}

void PosixFileServices::StartWriteback(OpenFile& file, std::int64_t bytes) {
    file.unwritten += bytes;
    if (file.unwritten < kWritebackBytes) return;
    file.unwritten = 0;
    // Only starts the writing; a failure shows when the file is flushed on closing.
    (void)::sync_file_range(file.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

Status PosixFileServices::SetPosition(std::int16_t refNum, FilePositionMode mode,
                                      std::int64_t offset) {
    // A move to where the next gathered byte goes (the next write's own) costs nothing.
    const OpenFile* file = Find(refNum);
    if (file != nullptr && mode == FilePositionMode::FromStart && !file->staged.empty() &&
        offset == file->stagedAt + std::int64_t(file->staged.size()))
        return kNoErr;
    int fd = -1;
    if (const Status status = Settled(refNum, &fd); status != kNoErr) return status;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return StatusFromErrno(errno);
    const std::int64_t size = info.st_size;
    std::int64_t base = 0;
    if (mode == FilePositionMode::FromCurrent) {
        base = ::lseek(fd, 0, SEEK_CUR);
        if (base < 0) return StatusFromErrno(errno);
    } else if (mode == FilePositionMode::FromEnd) {
        base = size;
    }
    // Both terms lie within what off_t holds, but their sum may not.
    if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset))
        return kErrParameter;
    const std::int64_t target = base + offset;
    if (target < 0) return kErrPositionBeforeStart;
    if (target > size) {
        if (::lseek(fd, off_t(size), SEEK_SET) < 0) return StatusFromErrno(errno);
        return kErrEndOfFile;
    }
    if (::lseek(fd, off_t(target), SEEK_SET) < 0) return StatusFromErrno(errno);
    return kNoErr;
}

Status PosixFileServices::GetPosition(std::int16_t refNum, std::int64_t* position) {
    int fd = -1;
    if (const Status status = Settled(refNum, &fd); status != kNoErr) return status;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0) return StatusFromErrno(errno);
    *position = at;
    return kNoErr;
}

Status PosixFileServices::GetEndOfFile(std::int16_t refNum, std::int64_t* length) {
    int fd = -1;
    if (const Status status = Settled(refNum, &fd); status != kNoErr) return status;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return StatusFromErrno(errno);
    *length = info.st_size;
    return kNoErr;
}

Status PosixFileServices::SetEndOfFile(std::int16_t refNum, std::int64_t length) {
    int fd = -1;
    if (const Status status = Settled(refNum, &fd); status != kNoErr) return status;
    if (length < 0) return kErrParameter;
    if (::ftruncate(fd, off_t(length)) != 0) return StatusFromErrno(errno);
    return kNoErr;
}

Status PosixFileServices::Close(std::int16_t refNum) {
    std::unique_ptr<OpenFile> file;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (refNum < 1 || std::size_t(refNum) > files.size() || !files[std::size_t(refNum) - 1])
            return kErrFileNotOpen;
        file = std::move(files[std::size_t(refNum) - 1]);
    }
    const Status sent = SendStaged(*file);
    // A full disk or an exceeded size limit may show only here, when the data reaches the disk.
    const int flushError = ::fsync(file->fd) != 0 && errno != EINVAL ? errno : 0;
    if (::close(file->fd) != 0 && errno != EINTR) return StatusFromErrno(errno);
    if (sent != kNoErr) return sent;
    return flushError != 0 ? StatusFromErrno(flushError) : kNoErr;
}

Status PosixFileServices::GetInformation(const FSSpec& fileRef, FileInformation* information) {
    const std::string path = FSSpecFullPath(fileRef);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return StatusFromErrno(errno);
    information->isDirectory = S_ISDIR(info.st_mode);
    information->parentDirectory = fileRef.directory;
    return kNoErr;
}

Status PosixFileServices::Remove(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return StatusFromErrno(errno);
    const int result = S_ISDIR(info.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
    return result != 0 ? StatusFromErrno(errno) : kNoErr;
}

Status PosixFileServices::CreateDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) != 0 ? StatusFromErrno(errno) : kNoErr;
}

Status PosixFileServices::Rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) != 0 ? StatusFromErrno(errno) : kNoErr;
}

Status PosixFileServices::Kind(const std::string& path, bool follow, EntryKind* kind) {
    struct stat info {};
    const int result = follow ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (result != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return StatusFromErrno(errno);
        *kind = EntryKind::none;
        return kNoErr;
    }
    *kind = S_ISREG(info.st_mode)   ? EntryKind::file
            : S_ISDIR(info.st_mode) ? EntryKind::folder
                                    : EntryKind::other;
    return kNoErr;
}

Status PosixFileServices::List(const std::string& folder, std::vector<std::string>* names) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return StatusFromErrno(errno);
    names->clear();
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    const int error = errno;
    ::closedir(listing);
    return error != 0 ? StatusFromErrno(error) : kNoErr;
}

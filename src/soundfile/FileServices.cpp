#include "soundfile/FileServices.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
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

FileServices& CurrentFileServices() { return *CurrentPointer(); }

FileServicesScope::FileServicesScope(FileServices& replacement) : previous(CurrentPointer()) {
    CurrentPointer() = &replacement;
}

FileServicesScope::~FileServicesScope() { CurrentPointer() = previous; }

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

Status FileServices::Remove(const std::string&) { return kErrNotSupported; }
Status FileServices::CreateDirectory(const std::string&) { return kErrNotSupported; }
Status FileServices::Rename(const std::string&, const std::string&) { return kErrNotSupported; }

Status PosixFileServices::StatusFromErrno(int error) {
    lastFileError = error;
    switch (error) {
    case ENOENT:
    case ENOTDIR: return kErrFileNotFound;
    case EEXIST: return kErrDuplicateFile;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrDiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return kErrPermission;
    case ENOMEM: return kErrMemoryFull;
    default: return kErrIO;
    }
}

PosixFileServices::~PosixFileServices() {
    for (int fd : descriptors)
        if (fd >= 0) ::close(fd);
}

int PosixFileServices::Descriptor(std::int16_t refNum) const {
    std::lock_guard<std::mutex> lock(mutex);
    if (refNum < 1 || std::size_t(refNum) > descriptors.size()) return -1;
    return descriptors[refNum - 1];
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
    while (slot < descriptors.size() && descriptors[slot] >= 0) ++slot;
    if (slot >= std::size_t(INT16_MAX)) {
        ::close(fd);
        return kErrIO; // too many open files
    }
    if (slot == descriptors.size()) descriptors.push_back(fd);
    else descriptors[slot] = fd;
    *refNum = static_cast<std::int16_t>(slot + 1);
    return kNoErr;
}

// Moves *count bytes with `transfer` (read or write), retrying short and interrupted calls;
// `atEnd` is the status when the call moves nothing. *count becomes the bytes moved.
namespace {

template <class Transfer>
Status TransferAll(std::int32_t* count, Status atEnd, Transfer transfer) {
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
    const int fd = Descriptor(refNum);
    if (fd < 0) return kErrFileNotOpen;
    char* bytes = static_cast<char*>(buffer);
    return TransferAll(count, kErrEndOfFile, [&](std::int32_t done, std::size_t size) {
        return ::read(fd, bytes + done, size);
    });
}

Status PosixFileServices::Write(std::int16_t refNum, std::int32_t* count, const void* buffer) {
    const int fd = Descriptor(refNum);
    if (fd < 0) return kErrFileNotOpen;
    const char* bytes = static_cast<const char*>(buffer);
    const Status status = TransferAll(count, kErrIO, [&](std::int32_t done, std::size_t size) {
        return ::write(fd, bytes + done, size);
    });
    if (*count > 0) StartWriteback(refNum, fd, *count);
    return status;
}

void PosixFileServices::StartWriteback(std::int16_t refNum, int fd, std::int64_t bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (std::size_t(refNum) > unwritten.size()) unwritten.resize(std::size_t(refNum), 0);
        std::int64_t& pending = unwritten[std::size_t(refNum) - 1];
        pending += bytes;
        if (pending < kWritebackBytes) return;
        pending = 0;
    }
    // Only starts the writing; a failure shows when the file is flushed on closing.
    (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

Status PosixFileServices::SetPosition(std::int16_t refNum, FilePositionMode mode,
                                      std::int64_t offset) {
    const int fd = Descriptor(refNum);
    if (fd < 0) return kErrFileNotOpen;
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
    const int fd = Descriptor(refNum);
    if (fd < 0) return kErrFileNotOpen;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0) return StatusFromErrno(errno);
    *position = at;
    return kNoErr;
}

Status PosixFileServices::GetEndOfFile(std::int16_t refNum, std::int64_t* length) {
    const int fd = Descriptor(refNum);
    if (fd < 0) return kErrFileNotOpen;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return StatusFromErrno(errno);
    *length = info.st_size;
    return kNoErr;
}

Status PosixFileServices::SetEndOfFile(std::int16_t refNum, std::int64_t length) {
    const int fd = Descriptor(refNum);
    if (fd < 0) return kErrFileNotOpen;
    if (length < 0) return kErrParameter;
    if (::ftruncate(fd, off_t(length)) != 0) return StatusFromErrno(errno);
    return kNoErr;
}

Status PosixFileServices::Close(std::int16_t refNum) {
    std::lock_guard<std::mutex> lock(mutex);
    if (refNum < 1 || std::size_t(refNum) > descriptors.size() || descriptors[refNum - 1] < 0)
        return kErrFileNotOpen;
    const int fd = descriptors[refNum - 1];
    descriptors[refNum - 1] = -1;
    if (std::size_t(refNum) <= unwritten.size()) unwritten[std::size_t(refNum) - 1] = 0;
    // A full disk or an exceeded size limit may show only here, when the data reaches the disk.
    const int flushError = ::fsync(fd) != 0 && errno != EINVAL ? errno : 0;
    if (::close(fd) != 0 && errno != EINTR) return StatusFromErrno(errno);
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

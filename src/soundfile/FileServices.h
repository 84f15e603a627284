#pragma once
// Byte-level file services used by the sound file engine and the format classes. Every
// operation returns a status: kNoErr, or kErrFileNotOpen (-38), kErrEndOfFile (-39),
// kErrPositionBeforeStart (-40), kErrFileNotFound (-43), kErrDuplicateFile (-48),
// kErrMemoryFull (-108), kErrDiskFull, kErrPermission, kErrParameter or kErrIO.
//
// Open files are named by a 16-bit reference (the engine's refNum) into a table kept by the
// service. Positions and lengths are 64-bit byte offsets, so that files beyond 2 GiB (a RIFF
// WAVE file reaches 4 GiB) can be written and read; a single transfer stays below 2 GiB. The
// process-wide current service is the POSIX one; tests replace it with FileServicesScope to make
// any operation fail.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shell/FSSpec.h"
#include "soundfile/Status.h"

enum class FilePermission { ReadOnly, ReadWrite };
enum class FilePositionMode { FromStart, FromCurrent, FromEnd };

struct FileInformation {
    bool isDirectory = false;
    std::string parentDirectory; // the folder the file lives in
};

// What stands at a path, as the jobs ask before they write or replace.
enum class EntryKind { none, file, folder, other };

class FileServices {
  public:
    virtual ~FileServices() = default;

    // Creates an empty file. kErrDuplicateFile when something of that name exists. The type
    // and creator codes are not kept.
    [[nodiscard]] virtual Status Create(const FSSpec& fileRef, std::uint32_t fileType,
                                        std::uint32_t creator) = 0;
    // Opens an existing file; its reference goes to `*refNum`.
    [[nodiscard]] virtual Status Open(const FSSpec& fileRef, FilePermission permission,
                                      std::int16_t* refNum) = 0;
    // Reads up to `*count` bytes at the current position; `*count` becomes the number read.
    // Fewer bytes than asked because the file ends gives kErrEndOfFile.
    [[nodiscard]] virtual Status Read(std::int16_t refNum, std::int32_t* count, void* buffer) = 0;
    // Writes `*count` bytes at the current position; `*count` becomes the number written.
    [[nodiscard]] virtual Status Write(std::int16_t refNum, std::int32_t* count,
                                       const void* buffer) = 0;
    // Moves the position. A position past the end of the file gives kErrEndOfFile and leaves
    // the position at the end of the file; one before the start gives kErrPositionBeforeStart
    // and leaves the position unchanged.
    [[nodiscard]] virtual Status SetPosition(std::int16_t refNum, FilePositionMode mode,
                                             std::int64_t offset) = 0;
    [[nodiscard]] virtual Status GetPosition(std::int16_t refNum, std::int64_t* position) = 0;
    [[nodiscard]] virtual Status GetEndOfFile(std::int16_t refNum, std::int64_t* length) = 0;
    // Truncates or extends (with zeros) the file to `length` bytes.
    [[nodiscard]] virtual Status SetEndOfFile(std::int16_t refNum, std::int64_t length) = 0;
    // Flushes what was written to the disk, then closes the file. A failed flush or close is
    // reported; the reference is released either way.
    [[nodiscard]] virtual Status Close(std::int16_t refNum) = 0;
    // kErrFileNotFound when nothing exists at `fileRef`.
    [[nodiscard]] virtual Status GetInformation(const FSSpec& fileRef,
                                                FileInformation* information) = 0;

    // Path-level operations of the jobs. Remove takes a file, a symbolic link (never followed)
    // or an empty folder. CreateDirectory makes one folder and fails with kErrDuplicateFile
    // when anything exists at the path. Rename replaces a file at `to` in one step. A service
    // that holds no folders (one in memory, for reading) may keep these, which refuse with
    // kErrNotSupported.
    [[nodiscard]] virtual Status Remove(const std::string& path);
    [[nodiscard]] virtual Status CreateDirectory(const std::string& path);
    [[nodiscard]] virtual Status Rename(const std::string& from, const std::string& to);
    // What stands at `path`: a symbolic link is taken as itself (kind other) unless `follow`.
    // Nothing there is kind none with kNoErr; a path that cannot be looked at gives its status.
    [[nodiscard]] virtual Status Kind(const std::string& path, bool follow, EntryKind* kind);
    // The names in `folder`, without "." and "..", in no particular order.
    [[nodiscard]] virtual Status List(const std::string& folder, std::vector<std::string>* names);
};

// The operating system's reason for the last failed POSIX file operation of this thread (an
// errno value, 0 when none); file services that fail on their own set it with
// NoteFileError. ClearFileError forgets it.
int LastFileError();
void NoteFileError(int error);
void ClearFileError();

// The reason for a status in words: the operating system's text ("File too large") when the
// thread's last file error explains the status, else the engine's text; the code follows in
// parentheses: "File too large (error -34)".
std::string FileStatusText(Status status);

// Files through POSIX descriptors.
class PosixFileServices : public FileServices {
  public:
    PosixFileServices() = default;
    ~PosixFileServices() override; // closes what is still open
    PosixFileServices(const PosixFileServices&) = delete;
    PosixFileServices& operator=(const PosixFileServices&) = delete;

    [[nodiscard]] Status Create(const FSSpec& fileRef, std::uint32_t fileType,
                                std::uint32_t creator) override;
    [[nodiscard]] Status Open(const FSSpec& fileRef, FilePermission permission,
                              std::int16_t* refNum) override;
    [[nodiscard]] Status Read(std::int16_t refNum, std::int32_t* count, void* buffer) override;
    [[nodiscard]] Status Write(std::int16_t refNum, std::int32_t* count,
                               const void* buffer) override;
    [[nodiscard]] Status SetPosition(std::int16_t refNum, FilePositionMode mode,
                                     std::int64_t offset) override;
    [[nodiscard]] Status GetPosition(std::int16_t refNum, std::int64_t* position) override;
    [[nodiscard]] Status GetEndOfFile(std::int16_t refNum, std::int64_t* length) override;
    [[nodiscard]] Status SetEndOfFile(std::int16_t refNum, std::int64_t length) override;
    [[nodiscard]] Status Close(std::int16_t refNum) override;
    [[nodiscard]] Status GetInformation(const FSSpec& fileRef,
                                        FileInformation* information) override;
    [[nodiscard]] Status Remove(const std::string& path) override;
    [[nodiscard]] Status CreateDirectory(const std::string& path) override;
    [[nodiscard]] Status Rename(const std::string& from, const std::string& to) override;
    [[nodiscard]] Status Kind(const std::string& path, bool follow, EntryKind* kind) override;
    [[nodiscard]] Status List(const std::string& folder, std::vector<std::string>* names) override;

    // The status for an errno value: ENOENT -> -43, EEXIST -> -48, ENOSPC -> kErrDiskFull,
    // EACCES/EPERM/EROFS -> kErrPermission, ENOMEM -> -108, others kErrIO.
    [[nodiscard]] static Status StatusFromErrno(int error);

  private:
    // Small sequential writes are gathered into pieces that end on kStageBytes boundaries of the
    // file, so that the kernel receives whole pages instead of zeroing and filling each page
    // twice. A failed write of gathered bytes is reported by the call that sends them: a later
    // Write, any call that moves or reads, or Close.
    static constexpr std::int64_t kStageBytes = std::int64_t(64) << 10;
    // Hands what was written to the disk every kWritebackBytes, without waiting for it, so
    // that the flush on closing finds little left to write and a long job's writing overlaps
    // its computing.
    static constexpr std::int64_t kWritebackBytes = std::int64_t(2) << 20;
    struct OpenFile {
        int fd = -1;
        bool writable = false;
        std::int64_t unwritten = 0; // bytes written since the last writeback began
        std::int64_t stagedAt = 0;  // file offset of staged[0]: the descriptor's position
        std::vector<char> staged;   // bytes accepted but not yet written
    };
    OpenFile* Find(std::int16_t refNum) const; // null when refNum is not open
    // The descriptor of refNum once its gathered bytes are written: kErrFileNotOpen, or the
    // status of writing them.
    [[nodiscard]] Status Settled(std::int16_t refNum, int* fd) const;
    // Writes the gathered bytes; after a failure they are dropped and the failure returned.
    [[nodiscard]] static Status SendStaged(OpenFile& file);
    [[nodiscard]] static Status WriteThrough(OpenFile& file, const char* bytes,
                                             std::int32_t* count);
    static void StartWriteback(OpenFile& file, std::int64_t bytes);
    mutable std::mutex mutex;
    std::vector<std::unique_ptr<OpenFile>> files; // refNum n is files[n - 1]; null = free
};

// The current service: the one a sound file takes when it is made without services of its own,
// and the one the jobs ask about folders.
FileServices& CurrentFileServices();

// Makes `replacement` the current service for the lifetime of the scope.
class FileServicesScope {
  public:
    explicit FileServicesScope(FileServices& replacement);
    ~FileServicesScope();
    FileServicesScope(const FileServicesScope&) = delete;
    FileServicesScope& operator=(const FileServicesScope&) = delete;

  private:
    FileServices* previous;
};

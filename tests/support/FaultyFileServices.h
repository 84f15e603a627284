#pragma once
// A FileServices that passes every call on to a real one (POSIX unless told otherwise) and can
// be told to make chosen calls fail. Install it with FileServicesScope:
//
//   FaultyFileServices faulty;
//   FileServicesScope scope(faulty);
//   faulty.FailAt(FileOperation::Write, 2, kErrDiskFull); // the second write fails
//
// A failing Read or Write transfers nothing and reports a count of 0. A failing Close still closes
// the file. A planned failure leaves no operating system reason behind (the thread's file error is
// cleared).

#include <array>
#include <cstdint>
#include <map>
#include <memory>

#include "soundfile/FileServices.h"

enum class FileOperation {
    Create,
    Open,
    Read,
    Write,
    SetPosition,
    GetPosition,
    GetEndOfFile,
    SetEndOfFile,
    Close,
    GetInformation,
    Remove,
    CreateDirectory,
    Rename,
    Kind,
    List,
};
inline constexpr int kFileOperationCount = 15;

class FaultyFileServices : public FileServices {
  public:
    FaultyFileServices();                              // forwards to its own POSIX service
    explicit FaultyFileServices(FileServices& target); // forwards to `target`

    // The `nth` call of `operation` (counted from 1 over the object's whole life, see Calls)
    // returns `status` instead of being carried out.
    void FailAt(FileOperation operation, int nth, Status status);
    // Every call of `operation` from now on fails with `status`.
    void FailAlways(FileOperation operation, Status status);

    int Calls(FileOperation operation) const { return calls[std::size_t(operation)]; }

    Status Create(const FSSpec& fileRef, std::uint32_t fileType, std::uint32_t creator) override;
    Status Open(const FSSpec& fileRef, FilePermission permission, std::int16_t* refNum) override;
    Status Read(std::int16_t refNum, std::int32_t* count, void* buffer) override;
    Status Write(std::int16_t refNum, std::int32_t* count, const void* buffer) override;
    Status SetPosition(std::int16_t refNum, FilePositionMode mode, std::int64_t offset) override;
    Status GetPosition(std::int16_t refNum, std::int64_t* position) override;
    Status GetEndOfFile(std::int16_t refNum, std::int64_t* length) override;
    Status SetEndOfFile(std::int16_t refNum, std::int64_t length) override;
    Status Close(std::int16_t refNum) override;
    Status GetInformation(const FSSpec& fileRef, FileInformation* information) override;
    Status Remove(const std::string& path) override;
    Status CreateDirectory(const std::string& path) override;
    Status Rename(const std::string& from, const std::string& to) override;
    Status Kind(const std::string& path, bool follow, EntryKind* kind) override;
    Status List(const std::string& folder, std::vector<std::string>* names) override;

  private:
    // Counts the call and returns the planned failure for it, or kNoErr.
    Status Planned(FileOperation operation);

    std::unique_ptr<PosixFileServices> own;
    FileServices& target;
    std::array<int, kFileOperationCount> calls{};
    std::array<Status, kFileOperationCount> always{};
    std::map<std::pair<int, int>, Status> once; // (operation, call number) -> status
};

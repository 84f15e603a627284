#include "FaultyFileServices.h"

FaultyFileServices::FaultyFileServices()
    : own(std::make_unique<PosixFileServices>()), target(*own) {}

FaultyFileServices::FaultyFileServices(FileServices& forwardTo) : target(forwardTo) {}

void FaultyFileServices::FailAt(FileOperation operation, int nth, Status status) {
    once[{int(operation), nth}] = status;
}

void FaultyFileServices::FailAlways(FileOperation operation, Status status) {
    always[std::size_t(operation)] = status;
}

Status FaultyFileServices::Planned(FileOperation operation) {
    const int call = ++calls[std::size_t(operation)];
    const auto it = once.find({int(operation), call});
    const Status status = it != once.end() ? it->second : always[std::size_t(operation)];
    if (status != kNoErr) ClearFileError();
    return status;
}

Status FaultyFileServices::Create(const FSSpec& fileRef, std::uint32_t fileType,
                                  std::uint32_t creator) {
    const Status status = Planned(FileOperation::Create);
    return status != kNoErr ? status : target.Create(fileRef, fileType, creator);
}

Status FaultyFileServices::Open(const FSSpec& fileRef, FilePermission permission,
                                std::int16_t* refNum) {
    const Status status = Planned(FileOperation::Open);
    return status != kNoErr ? status : target.Open(fileRef, permission, refNum);
}

Status FaultyFileServices::Read(std::int16_t refNum, std::int32_t* count, void* buffer) {
    const Status status = Planned(FileOperation::Read);
    if (status != kNoErr) {
        *count = 0;
        return status;
    }
    return target.Read(refNum, count, buffer);
}

Status FaultyFileServices::Write(std::int16_t refNum, std::int32_t* count, const void* buffer) {
    const Status status = Planned(FileOperation::Write);
    if (status != kNoErr) {
        *count = 0;
        return status;
    }
    return target.Write(refNum, count, buffer);
}

Status FaultyFileServices::SetPosition(std::int16_t refNum, FilePositionMode mode,
                                       std::int64_t offset) {
    const Status status = Planned(FileOperation::SetPosition);
    return status != kNoErr ? status : target.SetPosition(refNum, mode, offset);
}

Status FaultyFileServices::GetPosition(std::int16_t refNum, std::int64_t* position) {
    const Status status = Planned(FileOperation::GetPosition);
    return status != kNoErr ? status : target.GetPosition(refNum, position);
}

Status FaultyFileServices::GetEndOfFile(std::int16_t refNum, std::int64_t* length) {
    const Status status = Planned(FileOperation::GetEndOfFile);
    return status != kNoErr ? status : target.GetEndOfFile(refNum, length);
}

Status FaultyFileServices::SetEndOfFile(std::int16_t refNum, std::int64_t length) {
    const Status status = Planned(FileOperation::SetEndOfFile);
    return status != kNoErr ? status : target.SetEndOfFile(refNum, length);
}

Status FaultyFileServices::Close(std::int16_t refNum) {
    // A planned close failure still closes the file, so that tests do not leak descriptors.
    const Status status = Planned(FileOperation::Close);
    const Status closed = target.Close(refNum);
    return status != kNoErr ? status : closed;
}

Status FaultyFileServices::GetInformation(const FSSpec& fileRef, FileInformation* information) {
    const Status status = Planned(FileOperation::GetInformation);
    return status != kNoErr ? status : target.GetInformation(fileRef, information);
}

Status FaultyFileServices::Remove(const std::string& path) {
    const Status status = Planned(FileOperation::Remove);
    return status != kNoErr ? status : target.Remove(path);
}

Status FaultyFileServices::CreateDirectory(const std::string& path) {
    const Status status = Planned(FileOperation::CreateDirectory);
    return status != kNoErr ? status : target.CreateDirectory(path);
}

Status FaultyFileServices::Rename(const std::string& from, const std::string& to) {
    const Status status = Planned(FileOperation::Rename);
    return status != kNoErr ? status : target.Rename(from, to);
}

Status FaultyFileServices::Kind(const std::string& path, bool follow, EntryKind* kind) {
    const Status status = Planned(FileOperation::Kind);
    return status != kNoErr ? status : target.Kind(path, follow, kind);
}

Status FaultyFileServices::List(const std::string& folder, std::vector<std::string>* names) {
    const Status status = Planned(FileOperation::List);
    return status != kNoErr ? status : target.List(folder, names);
}

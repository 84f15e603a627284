#include "MemoryFileServices.h"

#include <algorithm>
#include <cstring>
#include <limits>

void MemoryFileServices::Put(const FSSpec& fileRef, const std::uint8_t* bytes, std::size_t size) {
    files[FSSpecFullPath(fileRef)].assign(bytes, bytes + size);
}

int MemoryFileServices::OpenCount() const {
    return int(std::count_if(open.begin(), open.end(),
                             [](const OpenFile& file) { return file.bytes != nullptr; }));
}

MemoryFileServices::OpenFile* MemoryFileServices::Find(std::int16_t refNum) {
    if (refNum < 1 || std::size_t(refNum) > open.size()) return nullptr;
    OpenFile& file = open[std::size_t(refNum) - 1];
    return file.bytes ? &file : nullptr;
}

Status MemoryFileServices::Create(const FSSpec& fileRef, std::uint32_t, std::uint32_t) {
    const auto [it, created] = files.try_emplace(FSSpecFullPath(fileRef));
    return created ? kNoErr : kErrDuplicateFile;
}

Status MemoryFileServices::Open(const FSSpec& fileRef, FilePermission permission,
                                std::int16_t* refNum) {
    const auto it = files.find(FSSpecFullPath(fileRef));
    if (it == files.end()) return kErrFileNotFound;
    auto slot = std::find_if(open.begin(), open.end(),
                             [](const OpenFile& file) { return file.bytes == nullptr; });
    if (slot == open.end()) {
        if (open.size() >= std::size_t(std::numeric_limits<std::int16_t>::max())) return kErrIO;
        slot = open.insert(open.end(), OpenFile{});
    }
    *slot = OpenFile{&it->second, 0, permission == FilePermission::ReadWrite};
    *refNum = std::int16_t(slot - open.begin() + 1);
    return kNoErr;
}

Status MemoryFileServices::Read(std::int16_t refNum, std::int32_t* count, void* buffer) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    if (*count < 0) return kErrParameter;
    const std::int64_t size = std::int64_t(file->bytes->size());
    const std::int64_t n = std::clamp<std::int64_t>(size - file->position, 0, *count);
    if (n > 0) std::memcpy(buffer, file->bytes->data() + file->position, std::size_t(n));
    file->position += n;
    const bool short_ = n < *count;
    *count = std::int32_t(n);
    return short_ ? kErrEndOfFile : kNoErr;
}

Status MemoryFileServices::Write(std::int16_t refNum, std::int32_t* count, const void* buffer) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    if (*count < 0) return kErrParameter;
    if (!file->writable) {
        *count = 0;
        return kErrIO; // as a write on a descriptor opened for reading
    }
    const std::int64_t end = file->position + *count;
    if (end > kCapacity) {
        *count = 0;
        return kErrDiskFull;
    }
    if (std::size_t(end) > file->bytes->size()) file->bytes->resize(std::size_t(end));
    if (*count > 0) std::memcpy(file->bytes->data() + file->position, buffer, std::size_t(*count));
    file->position = end;
    return kNoErr;
}

Status MemoryFileServices::SetPosition(std::int16_t refNum, FilePositionMode mode,
                                       std::int64_t offset) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    const std::int64_t size = std::int64_t(file->bytes->size());
    std::int64_t base = 0;
    if (mode == FilePositionMode::FromCurrent)
        base = file->position;
    else if (mode == FilePositionMode::FromEnd)
        base = size;
    const std::int64_t target = base + offset;
    if (target < 0) return kErrPositionBeforeStart;
    if (target > size) {
        file->position = size;
        return kErrEndOfFile;
    }
    file->position = target;
    return kNoErr;
}

Status MemoryFileServices::GetPosition(std::int16_t refNum, std::int64_t* position) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    *position = file->position;
    return kNoErr;
}

Status MemoryFileServices::GetEndOfFile(std::int16_t refNum, std::int64_t* length) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    *length = std::int64_t(file->bytes->size());
    return kNoErr;
}

Status MemoryFileServices::SetEndOfFile(std::int16_t refNum, std::int64_t length) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    if (length < 0) return kErrParameter;
    if (!file->writable) return kErrIO;
    if (length > kCapacity) return kErrDiskFull;
    file->bytes->resize(std::size_t(length));
    return kNoErr;
}

Status MemoryFileServices::Close(std::int16_t refNum) {
    OpenFile* file = Find(refNum);
    if (!file) return kErrFileNotOpen;
    *file = OpenFile{};
    return kNoErr;
}

Status MemoryFileServices::GetInformation(const FSSpec& fileRef, FileInformation* information) {
    if (files.find(FSSpecFullPath(fileRef)) == files.end()) return kErrFileNotFound;
    information->isDirectory = false;
    information->parentDirectory = fileRef.directory;
    return kNoErr;
}

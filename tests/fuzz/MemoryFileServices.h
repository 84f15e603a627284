#pragma once
// A FileServices whose files are byte vectors held in memory, keyed by their full path. It
// keeps the POSIX service's contract (statuses, end-of-file and position rules, read-only
// references that refuse writes), so that the readers can be driven by bytes alone. Files grow
// to kCapacity bytes at most; beyond that a write fails as on a full disk.
//
//   MemoryFileServices files;
//   files.Put(fileRef, bytes, size);
//   FileServicesScope scope(files);
//   reader.ISoundFile(&fileRef); reader.Open(); ...

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "soundfile/FileServices.h"

class MemoryFileServices : public FileServices {
  public:
    static constexpr std::int64_t kCapacity = 64 << 20;

    // Makes (or replaces) the file at `fileRef` with these bytes.
    void Put(const FSSpec& fileRef, const std::uint8_t* bytes, std::size_t size);
    // References still open.
    int OpenCount() const;

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

  private:
    struct OpenFile {
        std::vector<std::uint8_t>* bytes = nullptr; // null: the slot is free
        std::int64_t position = 0;
        bool writable = false;
    };
    OpenFile* Find(std::int16_t refNum);

    std::map<std::string, std::vector<std::uint8_t>> files;
    std::vector<OpenFile> open; // refNum n is open[n - 1]
};

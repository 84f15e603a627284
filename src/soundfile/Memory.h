#pragma once
// Owned, resizable memory blocks whose allocation failures are reported as statuses, and the
// allocation check that follows every allocation. A process-wide hook lets tests make any
// allocation fail.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "soundfile/Status.h"

// The memory status of the last allocation or resize on this thread (0 or kErrMemoryFull).
[[nodiscard]] Status MemError();
void SetMemError(Status status);

// Called before every block allocation or resize with the requested size; returning true
// makes that request fail as if memory were exhausted. Empty by default.
using AllocationHook = std::function<bool(std::size_t size)>;
void SetAllocationHook(AllocationHook hook);

// The check made after an allocation. `p` is the new pointer (levels 1) or handle (levels 2,
// a pointer to a pointer). When every level is non-null: the last memory error (normally 0);
// when a level is null: the last memory error, or kErrAllocationFailed when there is none.
[[nodiscard]] Status MyMemError(const void* p, std::int16_t levels);

// A malloc'd block that frees itself. Moving hands the block over.
class MemBlock {
  public:
    MemBlock() = default;
    ~MemBlock() { Free(); }
    MemBlock(MemBlock&& other) noexcept;
    MemBlock& operator=(MemBlock&& other) noexcept;
    MemBlock(const MemBlock&) = delete;
    MemBlock& operator=(const MemBlock&) = delete;

    // Replaces the block by a new one of `size` bytes (zero-filled when asked). On failure the
    // old block is kept and the memory status is returned.
    [[nodiscard]] Status Allocate(std::size_t size, bool zeroFill);
    // Resizes the block, keeping its contents up to the smaller size; on failure the block is
    // unchanged and the memory status is returned. Resizing an empty block allocates.
    [[nodiscard]] Status Resize(std::size_t size);
    void Free();

    std::uint8_t* Data() { return data; }
    const std::uint8_t* Data() const { return data; }
    std::size_t Size() const { return size; }
    explicit operator bool() const { return data != nullptr; }

  private:
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

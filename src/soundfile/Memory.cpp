#include "soundfile/Memory.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

thread_local Status lastMemError = kNoErr;

AllocationHook& Hook() {
    static AllocationHook hook;
    return hook;
}

bool HookRefuses(std::size_t size) {
    const AllocationHook& hook = Hook();
    return hook && hook(size);
}

} // namespace

[[nodiscard]] Status MemError() {
    return lastMemError;
}
void SetMemError(Status status) {
    lastMemError = status;
}
void SetAllocationHook(AllocationHook hook) {
    Hook() = std::move(hook);
}

[[nodiscard]] Status MyMemError(const void* p, std::int16_t levels) {
    const void* level = p;
    for (std::int16_t k = 0; k < levels; ++k) {
        if (level == nullptr) return lastMemError != kNoErr ? lastMemError : kErrAllocationFailed;
        if (k + 1 < levels) level = *static_cast<const void* const*>(level);
    }
    return lastMemError;
}

MemBlock::MemBlock(MemBlock&& other) noexcept
    : data(std::exchange(other.data, nullptr)), size(std::exchange(other.size, 0)) {}

MemBlock& MemBlock::operator=(MemBlock&& other) noexcept {
    if (this != &other) {
        Free();
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
    }
    return *this;
}

Status MemBlock::Allocate(std::size_t newSize, bool zeroFill) {
    void* block = HookRefuses(newSize) ? nullptr
                  : zeroFill           ? std::calloc(newSize == 0 ? 1 : newSize, 1)
                                       : std::malloc(newSize == 0 ? 1 : newSize);
    if (block == nullptr) {
        lastMemError = kErrMemoryFull;
        return kErrMemoryFull;
    }
    Free();
    data = static_cast<std::uint8_t*>(block);
    size = newSize;
    lastMemError = kNoErr;
    return kNoErr;
}

Status MemBlock::Resize(std::size_t newSize) {
    if (data == nullptr) return Allocate(newSize, false);
    void* block = HookRefuses(newSize) ? nullptr : std::realloc(data, newSize == 0 ? 1 : newSize);
    if (block == nullptr) {
        lastMemError = kErrMemoryFull;
        return kErrMemoryFull;
    }
    data = static_cast<std::uint8_t*>(block);
    size = newSize;
    lastMemError = kNoErr;
    return kNoErr;
}

void MemBlock::Free() {
    std::free(data);
    data = nullptr;
    size = 0;
}

#pragma once
// The process-wide cancel flag: set by the main thread (stop button, Ctrl-C), read by the
// running job at its check points, cleared when a new job is confirmed and after a cancel.

#include <atomic>
#include <cstdint>

inline std::atomic<std::uint8_t> shouldStop{0};

#pragma once
// What a running job tells the thread that shows its progress. The worker writes these fields
// and the main thread polls them; both sides touch them without a lock, so each is atomic.

#include <atomic>
#include <cstdint>
#include <string>

struct JobProgress {
    std::atomic<double> percentage{0.0}; // fraction of the job done, 0.0 to 1.0
    std::atomic<bool> done{false};       // the job has finished, successfully or not
    std::atomic<bool> error{false};      // the job met a failure and has told the user
    std::atomic<bool> cancelled{false};  // the job stopped on the user's request, output discarded
    std::atomic<std::uint32_t> step{0};  // steps done so far (voice samples inserted)
    std::atomic<std::uint32_t> numsteps{0}; // steps expected; 0 = progress comes as a fraction

    // The worker's reset at the start of a job; `step` is left to the jobs that count steps.
    void Begin();

    // The fraction to show now. A job that counts steps has its fraction computed from them
    // (and stored in `percentage`); otherwise the fraction last reported stands.
    double Poll();
};

// "Writing... 46 % done" for 0.4567.
std::string ProgressMessage(double fraction);

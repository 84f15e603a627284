#include "jobs/JobProgress.h"

#include <cstdio>

void JobProgress::Begin() {
    done = false;
    error = false;
    cancelled = false;
    numsteps = 0;
    percentage = 0.0;
}

double JobProgress::Poll() {
    std::uint32_t expected = numsteps;
    if (expected != 0)
        percentage = static_cast<double>(step.load()) / static_cast<double>(expected);
    return percentage;
}

std::string ProgressMessage(double fraction) {
    char text[64];
    std::snprintf(text, sizeof text, "Writing... %.0f %% done", 100.0 * fraction);
    return text;
}

#pragma once
// The desktop services the jobs call below the user interface: a modal alert that the calling
// thread waits on, and the failure log. The console version prints to stderr; the desktop
// application installs its own. Tests install a recording fake with ScopedDesktopServices.

#include <string>

#include "shell/ScopedInstall.h"

class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    // Shows an alert with one default button and returns once the user has dismissed it.
    // `reason` says what failed, on which path and why, where the alert reports a failure.
    // May be called from a worker thread, which then waits.
    virtual void alert(const std::string& title, const std::string& message,
                       const std::string& reason = {}) = 0;
    // Writes one line to the log.
    virtual void log(const std::string& line) = 0;

    // The process-wide services: the installed ones, else the console services.
    static DesktopServices& Current();
    // Installs `services` (nullptr: the console services again) and returns the previous
    // installation (nullptr when none was installed).
    static DesktopServices* SetCurrent(DesktopServices* services);
};

// Tells the user of a failure: `logLine` to the log, then the alert with its reason.
void LogAndAlert(const std::string& logLine, const std::string& reason, const char* title,
                 const char* message);

// Installs `services` for the lifetime of the object.
using ScopedDesktopServices = ScopedInstall<DesktopServices, &DesktopServices::SetCurrent>;

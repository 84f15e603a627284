#include "shell/DesktopServices.h"

#include <atomic>

#include "shell/ConsoleDesktopServices.h"

namespace {
std::atomic<DesktopServices*> installed{nullptr};
}

DesktopServices& DesktopServices::Current() {
    if (DesktopServices* services = installed.load()) return *services;
    static ConsoleDesktopServices console;
    return console;
}

DesktopServices* DesktopServices::SetCurrent(DesktopServices* services) {
    return installed.exchange(services);
}

void LogAndAlert(const std::string& logLine, const std::string& reason, const char* title,
                 const char* message) {
    DesktopServices& desktop = DesktopServices::Current();
    desktop.log(logLine);
    desktop.alert(title, message, reason);
}

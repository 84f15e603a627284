#include "shell/ConsoleDesktopServices.h"

void ConsoleDesktopServices::alert(const std::string& title, const std::string& message,
                                   const std::string&) {
    // Nobody is there to dismiss it: once printed, the caller may go on. The reason is in the
    // log line printed just before.
    WriteLine(title + ": " + message);
}

void ConsoleDesktopServices::log(const std::string& line) {
    WriteLine(line);
}

void ConsoleDesktopServices::WriteLine(const std::string& line) {
    std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

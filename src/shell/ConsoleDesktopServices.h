#pragma once
// Desktop services for the command line: an alert prints "title: message" to stderr and
// returns at once, a log line goes to stderr. Lines from several threads never interleave.

#include <cstdio>
#include <mutex>

#include "shell/DesktopServices.h"

class ConsoleDesktopServices : public DesktopServices {
  public:
    // Writes to `stream` (stderr unless told otherwise).
    explicit ConsoleDesktopServices(std::FILE* stream = stderr) : stream(stream) {}

    void alert(const std::string& title, const std::string& message,
               const std::string& reason) override;
    void log(const std::string& line) override;

  private:
    void WriteLine(const std::string& line);

    std::FILE* stream;
    std::mutex mutex;
};

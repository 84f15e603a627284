#pragma once
// The one exception type of the job layer: a name that catchers test, a reason for people and
// optional user info. The engine never throws; the jobs and the sound file wrapper raise these.

#include <cstdarg>
#include <exception>
#include <string>

#include <nlohmann/json.hpp>

// The log's line for a failure: "<name> thrown: <reason> - <user info>".
std::string FailureLogLine(const std::string& name, const std::string& reason,
                           const std::string& userInfo = {});

// A job's own failures.
inline constexpr const char* kQUILException = "QUILException";
// The user stopped a phase check.
inline constexpr const char* kQUILPhaseCheckStopException = "QUILPhaseCheckStopException";
// A write through the sound file wrapper failed.
inline constexpr const char* kTxSoundFileException = "TxSoundFileException";

class QuillException : public std::exception {
  public:
    QuillException(std::string name, std::string reason,
                   nlohmann::json userInfo = nlohmann::json());

    // Throws a QuillException called `name` whose reason is `format` filled printf-style.
    [[noreturn]] static void Raise(const std::string& name, const char* format, ...)
        __attribute__((format(printf, 2, 3)));

    const std::string& name() const { return exceptionName; }
    const std::string& reason() const { return exceptionReason; }
    const nlohmann::json& userInfo() const { return info; }
    bool Is(const std::string& otherName) const { return exceptionName == otherName; }

    // The reason.
    const char* what() const noexcept override { return exceptionReason.c_str(); }

    // The failure line of the log: "<name> thrown: <reason> - <user info>", the user info
    // written as JSON and left blank when there is none.
    std::string LogLine() const;

  private:
    std::string exceptionName;
    std::string exceptionReason;
    nlohmann::json info;
};

// printf-style formatting into a std::string.
std::string StringWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StringWithFormatList(const char* format, std::va_list arguments);

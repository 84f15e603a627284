#include "shell/QuillException.h"

#include <cstdio>
#include <vector>

QuillException::QuillException(std::string name, std::string reason, nlohmann::json userInfo)
    : exceptionName(std::move(name)), exceptionReason(std::move(reason)),
      info(std::move(userInfo)) {}

void QuillException::Raise(const std::string& name, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::string reason = StringWithFormatList(format, arguments);
    va_end(arguments);
    throw QuillException(name, std::move(reason));
}

std::string QuillException::LogLine() const {
    const bool noInfo = info.is_null() || (info.is_object() && info.empty());
    // Text that is not UTF-8 (a file name, say) is shown replaced rather than dropped.
    const std::string infoText =
        noInfo ? std::string()
               : info.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return FailureLogLine(exceptionName, exceptionReason, infoText);
}

std::string FailureLogLine(const std::string& name, const std::string& reason,
                           const std::string& userInfo) {
    return name + " thrown: " + reason + " - " + userInfo;
}

std::string StringWithFormatList(const char* format, std::va_list arguments) {
    std::va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string StringWithFormat(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::string text = StringWithFormatList(format, arguments);
    va_end(arguments);
    return text;
}

#include "jobs/MarkerLabels.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "jobs/SoundFileReport.h"

std::string MarkerLabelText(const nlohmann::json& report) {
    const double rate = report.value("sampleRate", 0.0);
    struct Label {
        std::int64_t position;
        std::string text;
    };
    std::vector<Label> labels;
    for (const auto& marker : report.value("markers", nlohmann::json::array())) {
        std::string text = marker.value("name", "");
        // A tab or line break would end the field or the line.
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
            ' ');
        labels.push_back({marker.value("position", std::int64_t(0)), std::move(text)});
    }
    std::stable_sort(labels.begin(), labels.end(),
                     [](const Label& a, const Label& b) { return a.position < b.position; });
    std::string out;
    for (const Label& label : labels) {
        char seconds[64];
        const double at = rate > 0.0 ? double(label.position) / rate : 0.0;
        std::snprintf(seconds, sizeof seconds, "%.6f\t%.6f\t", at, at);
        out += seconds + label.text + "\n";
    }
    return out;
}

std::string MarkerLabelPath(const std::string& soundPath) {
    return std::filesystem::path(soundPath).replace_extension(".txt").string();
}

namespace {

// Writes all of `text` to `fd` and flushes it to the disk; errno on failure, else 0.
int WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += std::size_t(n);
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

} // namespace

std::string WriteMarkerLabels(const std::string& soundPath) {
    std::string why;
    const std::optional<nlohmann::json> report = ReadSoundFileReport(soundPath, false, &why);
    if (!report) return why;
    const std::string text = MarkerLabelText(*report);
    const std::string target = MarkerLabelPath(soundPath);
    const std::filesystem::path place(target);
    // A fresh name beside the target, so that the rename stays within one file system; the
    // exclusive create never reuses a file of another run.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string leaf = ".";
        leaf.append(place.filename().string())
            .append(".")
            .append(std::to_string(::getpid()))
            .append("-")
            .append(std::to_string(attempt));
        temporary = (place.parent_path() / leaf).string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return "cannot create a file beside '" + target + "': " + std::strerror(errno);
    const int error = WriteAll(fd, text);
    const bool closed = ::close(fd) == 0;
    if (error != 0 || !closed) {
        const int reason = error != 0 ? error : errno;
        ::unlink(temporary.c_str());
        return "cannot write '" + temporary + "': " + std::strerror(reason);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        return "cannot move '" + temporary + "' to '" + target + "': " + std::strerror(reason);
    }
    return {};
}

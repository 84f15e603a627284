#include "jobs/OutputFiles.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <system_error>
#include <vector>

#include "soundfile/FileServices.h"

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& leaf) {
    if (folder.empty()) return leaf;
    if (folder.back() == '/') return folder + leaf;
    return folder + "/" + leaf;
}

std::string TemporaryLeafName() {
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}() ^
                                     (static_cast<std::uint64_t>(getpid()) << 32)};
    std::lock_guard lock(mutex);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%012llx",
                  static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFULL));
    return std::string(kTemporaryFileStem) + "-" + suffix;
}

std::filesystem::file_type EntryType(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type();
}

bool EntryExists(const std::string& path) {
    auto type = EntryType(path);
    return type != std::filesystem::file_type::not_found &&
           type != std::filesystem::file_type::none;
}

std::string FolderProblem(const std::string& folder) {
    std::error_code error;
    auto status = std::filesystem::status(folder.empty() ? "." : folder, error);
    if (error) return error.message();
    if (status.type() != std::filesystem::file_type::directory) return std::strerror(ENOTDIR);
    return {};
}

std::string NamingTarget(const std::string& reason, const std::string& target) {
    const std::string quoted = "'" + target + "'";
    if (reason.find(quoted) != std::string::npos) return reason;
    return reason + " (making " + quoted + ")";
}

std::string LastFileErrorText() {
    const int error = LastFileError();
    return error != 0 ? std::strerror(error) : "reason unknown";
}

Status RemoveFolderOfFiles(const std::string& folder) {
    // Listed first, removed after, so that the listing does not run over its own removals.
    std::vector<std::string> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        entries.push_back(entry->path().string());
    if (error) {
        NoteFileError(error.value());
        return PosixFileServices::StatusFromErrno(error.value());
    }
    FileServices& files = CurrentFileServices();
    for (const auto& entry : entries)
        if (Status status = files.Remove(entry); status != kNoErr) return status;
    return files.Remove(folder);
}

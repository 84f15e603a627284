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

std::string FolderProblem(const std::string& folder) {
    EntryKind kind = EntryKind::none;
    const Status status = CurrentFileServices().Kind(folder.empty() ? "." : folder, true, &kind);
    if (status != kNoErr) return LastFileErrorText();
    if (kind == EntryKind::none) return std::strerror(ENOENT);
    if (kind != EntryKind::folder) return std::strerror(ENOTDIR);
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
    FileServices& files = CurrentFileServices();
    // Listed first, removed after, so that the listing does not run over its own removals.
    std::vector<std::string> names;
    if (Status status = files.List(folder, &names); status != kNoErr) return status;
    for (const auto& name : names)
        if (Status status = files.Remove(JoinPath(folder, name)); status != kNoErr) return status;
    return files.Remove(folder);
}

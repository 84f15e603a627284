#pragma once
// Runs quillgen as a child process in a folder of its own, its output streams kept in files.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillgen_test {

inline std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sorted leaf names of what `dir` holds.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Starts quillgen with `args` in `cwd`; its stdout and stderr go to logs/stdout, logs/stderr
// (or logs/<logName>.stdout and .stderr when a name is given). `fileSizeLimit` bytes, when
// given, is the most any file the child writes may hold: a write beyond fails with "File too
// large" (EFBIG) instead of the signal that would end the child.
inline pid_t StartQuillgen(const std::filesystem::path& cwd, const std::filesystem::path& logs,
                           const std::vector<std::string>& args, rlim_t fileSizeLimit = 0,
                           const std::string& logName = {}) {
    const std::string prefix = logName.empty() ? std::string() : logName + ".";
    const std::string outLog = logs / (prefix + "stdout"), errLog = logs / (prefix + "stderr");
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        dup2(open(outLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (fileSizeLimit > 0) {
            // SIGXFSZ keeps its default (end the process): quillgen must turn the limit into a
            // failed write it can clean up after.
            signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        std::vector<char*> argv{const_cast<char*>(QUILLGEN_PATH)};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(QUILLGEN_PATH, argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for `pid`; the exit status, or 128 + the signal that ended it.
inline int WaitQuillgen(pid_t pid, const std::filesystem::path& logs, std::string& out,
                        std::string& err, const std::string& logName = {}) {
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string prefix = logName.empty() ? std::string() : logName + ".";
    out = ReadText(logs / (prefix + "stdout"));
    err = ReadText(logs / (prefix + "stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace quillgen_test

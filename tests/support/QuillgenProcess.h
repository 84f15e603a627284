#pragma once
// Runs the quillgen program as a child process, and what a folder holds before and after.
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace quillgen_test {

struct Outcome {
    int exit = -1; // the exit status, or 128 + the signal that ended the program
    std::string out, err;
};

inline std::string Text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// quillgen started in the folder `cwd` with the words of `line` ("tone --freq 440"). A file it
// writes may hold at most `fileSizeLimit` bytes when that is given (a write beyond fails with "File
// too large").
class Quillgen {
  public:
    Quillgen(const std::string& cwd, const std::string& line, rlim_t fileSizeLimit = 0)
        : fds{memfd_create("out", MFD_CLOEXEC), memfd_create("err", MFD_CLOEXEC)}, pid(fork()) {
        if (pid != 0) return;
        dup2(fds[0], 1);
        dup2(fds[1], 2);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        if (chdir(cwd.c_str()) != 0 || (fileSizeLimit > 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0))
            _exit(127);
        signal(SIGXFSZ, SIG_DFL); // quillgen itself must keep the limit from ending it
        std::istringstream words(line);
        std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        std::vector<char*> argv{const_cast<char*>(QUILLGEN_PATH)};
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(QUILLGEN_PATH, argv.data());
        _exit(127);
    }
    ~Quillgen() { Wait(); }

    Outcome Wait() {
        if (pid <= 0) return result;
        int status = 0;
        waitpid(pid, &status, 0);
        result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        for (int i : {0, 1}) {
            (i == 0 ? result.out : result.err) = Text("/proc/self/fd/" + std::to_string(fds[i]));
            close(fds[i]);
        }
        pid = 0;
        return result;
    }

    int fds[2];
    pid_t pid;
    Outcome result;
};

inline Outcome RunQuillgen(const std::string& cwd, const std::string& line, rlim_t limit = 0) {
    return Quillgen(cwd, line, limit).Wait();
}

// A test case's name made of a command line's letters and digits: "tone_bits_20".
inline std::string CaseName(const std::string& line) {
    const std::string name = std::regex_replace(line, std::regex("[^A-Za-z0-9]+"), "_");
    return name.empty() ? "none" : name;
}

// Everything below `dir` by its path relative to `dir`: a file's content, "/" for a folder.
inline std::map<std::string, std::string> Files(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        files[std::filesystem::relative(entry.path(), dir).string()] =
            entry.is_directory() ? "/" : Text(entry.path());
    return files;
}

} // namespace quillgen_test

#pragma once
// Runs the quillgen program as a child process: what it printed and how it ended.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quillgen_test {

struct Outcome {
    int exit = -1; // the exit status, or 128 + the signal that ended the program
    std::string out, err;
};

// quillgen started with `args` in the folder `cwd`. `fileSizeLimit` bytes, when given, is the
// most a file it writes may hold (a write beyond it fails with "File too large"); `configHome`,
// when given, is where it looks for its preferences.
class Quillgen {
  public:
    Quillgen(const std::string& cwd, const std::vector<std::string>& args, rlim_t fileSizeLimit = 0,
             const std::string& configHome = {})
        : outFd(memfd_create("out", MFD_CLOEXEC)), errFd(memfd_create("err", MFD_CLOEXEC)) {
        pid = fork();
        if (pid != 0) return;
        dup2(outFd, 1);
        dup2(errFd, 2);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        if (chdir(cwd.c_str()) != 0 || (fileSizeLimit > 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0))
            _exit(127);
        signal(SIGXFSZ, SIG_DFL); // quillgen itself must keep the limit from ending it
        if (!configHome.empty()) setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(QUILLGEN_PATH)};
        for (const auto& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(QUILLGEN_PATH, argv.data());
        _exit(127);
    }
    ~Quillgen() { Wait(); }
    Quillgen(const Quillgen&) = delete;
    Quillgen& operator=(const Quillgen&) = delete;

    Outcome Wait() {
        if (pid > 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result = {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Text(outFd),
                      Text(errFd)};
            close(outFd);
            close(errFd);
            pid = 0;
        }
        return result;
    }
    pid_t pid;

  private:
    static std::string Text(int fd) {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, off_t(text.size()))) > 0;)
            text.append(buffer, std::size_t(n));
        return text;
    }
    int outFd, errFd;
    Outcome result;
};

inline Outcome RunQuillgen(const std::string& cwd, const std::vector<std::string>& args,
                           rlim_t fileSizeLimit = 0) {
    return Quillgen(cwd, args, fileSizeLimit).Wait();
}

// The words of a command line: "tone --freq 440" -> {"tone", "--freq", "440"}.
inline std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A test case's name made of a command line's letters and digits: "tone_bits_20".
inline std::string CaseName(const std::string& line) {
    std::string name;
    for (char c : line)
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "none" : name;
}

inline std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sorted names of what `dir` holds.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file below `dir` (its path relative to `dir`) with its content.
inline std::map<std::string, std::string> Files(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), dir).string()] = ReadText(entry.path());
    return files;
}

} // namespace quillgen_test

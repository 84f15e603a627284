#include "cli/JobRunner.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <thread>

#include "jobs/AppController.h"
#include "jobs/OutputNames.h"
#include "shell/SharedFlags.h"
#include "soundfile/FileServices.h"

namespace quillgen {

namespace {

volatile sig_atomic_t interrupted = 0; // the signal that stopped the job, 0 when none

extern "C" void StopOnSignal(int signal) {
    if (interrupted == 0) interrupted = signal;
    shouldStop.store(1); // lock-free, so safe in a signal handler
}

// SIGINT, SIGTERM and SIGHUP act as the stop button while the job runs: the job removes what
// it has not finished before the program ends.
class StopSignals {
  public:
    StopSignals() {
        struct sigaction action {};
        action.sa_handler = StopOnSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &action, &previous[i]);
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &previous[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous[std::size(kSignals)]{};
};

} // namespace

void DrawProgressBar(double fraction) {
    constexpr int width = 40;
    if (fraction < 0.0) fraction = 0.0;
    if (fraction > 1.0) fraction = 1.0;
    int filled = static_cast<int>(fraction * width);
    std::fprintf(stderr, "\r[%.*s%*s] %3.0f %%", filled, "########################################",
                 width - filled, "", 100.0 * fraction);
    std::fflush(stderr);
}

OutputTarget ResolveOutput(const std::optional<std::string>& output,
                           const std::optional<std::string>& format,
                           const std::string& defaultFormat, const std::string& proposedName) {
    OutputTarget target{format.value_or(defaultFormat), proposedName, "", ""};
    if (!output) return target;
    const std::string& path = *output;
    // A folder gets the proposed name inside it rather than a name of its own plus ".aif".
    EntryKind kind = EntryKind::none;
    const bool folder = !path.empty() && CurrentFileServices().Kind(path, true, &kind) == kNoErr &&
                        kind == EntryKind::folder;
    if (path.empty() || path.back() == '/' || folder) {
        target.chosenPath =
            path.empty() || path.back() == '/' ? path + proposedName : path + "/" + proposedName;
        return target;
    }
    target.chosenPath = path;
    const std::optional<NamedFormat> named = FormatNamedByExtension(path);
    if (!named) return target; // not a sound file's extension: the format's is added
    const std::string namedFormat = named->fileType == kFileTypeBroadcastWave ? "bwf" : "aiff";
    if (format && *format != namedFormat) {
        target.problem = "the extension of -o " + path + " names " +
                         (named->fileType == kFileTypeBroadcastWave ? "Broadcast WAVE" : "AIFF") +
                         ", which contradicts --format " + *format;
        return target;
    }
    target.format = namedFormat;
    target.chosenPath = named->stem;
    target.extension = named->extension;
    return target;
}

int RunJob(AppController& controller, const std::string& chosenPath, bool quiet) {
    StopSignals signals;
    interrupted = 0;
    bool showBar = !quiet && isatty(STDERR_FILENO);
    // The worker is started with the stop signals blocked, so that they reach this thread,
    // which waits in short sleeps where a signal is taken at once (also under sanitizers that
    // defer signals to a safe point).
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, stop);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    std::thread worker = controller.startJob(chosenPath);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (!worker.joinable()) {
        std::fprintf(stderr, "quillgen: another job of this process is still running\n");
        return 1;
    }
    JobProgress& progress = controller.progress();
    // The bar is redrawn every 100 ms, and the end of the job is seen within 10 ms.
    for (int tick = 0; !progress.done; ++tick) {
        if (showBar && tick % 10 == 0) DrawProgressBar(progress.Poll());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    worker.join();
    if (showBar) {
        if (!progress.error && !progress.cancelled) DrawProgressBar(1.0);
        std::fputc('\n', stderr);
    }
    if (progress.cancelled) {
        if (!quiet) std::fprintf(stderr, "quillgen: stopped, nothing written\n");
        return 128 + (interrupted != 0 ? int(interrupted) : SIGINT);
    }
    if (progress.error) return 1;
    std::printf("%s\n", controller.targetPath(chosenPath).c_str());
    return 0;
}

} // namespace quillgen

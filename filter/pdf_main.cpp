// pdftoPeltrin: the CUPS filter for PDF pages. Ghostscript's rasterizer
// (gstoraster, from cups-filters) turns the pages into CUPS raster, which
// this process prints exactly as rastertoPeltrin prints a raster job.
// The rasterizer runs with color management off (the job option
// cm-calibration=true): pure black then stays in the K band and pure red
// goes to M and Y only. With the default color profiles black is spread
// over all four bands and would print in both colors on two-color paper.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/job/log.h"
#include "filter/cancel.h"
#include "filter/driver.h"

namespace {

std::string rasterizerPath()
{
    const char* serverBin = std::getenv("CUPS_SERVERBIN");
    return std::string(serverBin != nullptr && *serverBin != '\0' ? serverBin : "/usr/lib/cups") +
           "/filter/gstoraster";
}

// Starts the rasterizer with the job's arguments (and color management
// off), its standard output into a pipe that becomes this process's
// standard input. Returns its process id, or -1 (with an ERROR: line) when
// it cannot be started.
pid_t startRasterizer(const std::string& path, int argc, char* argv[], LogOutput& log)
{
    int fds[2];
    if (pipe(fds) != 0) {
        logFormat(&log, "ERROR: Unable to create a pipe: %s\n", std::strerror(errno));
        return -1;
    }
    // Nothing is pending in the log here, so the child starts with no copy
    // of it; the lines it writes begin a line of the shared stream.
    log.flush();
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        logFormat(&log, "ERROR: Unable to start %s: %s\n", path.c_str(), std::strerror(errno));
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        // A cancelled job ends this process at once (the spooler signals only
        // the filters it started): the rasterizer ends with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        signal(SIGPIPE, SIG_DFL);
        std::string options = argv[5];
        options += options.empty() ? "cm-calibration=true" : " cm-calibration=true";
        char name[] = "gstoraster";
        char* args[8] = {name, argv[1], argv[2], argv[3], argv[4], options.data(), argc == 7 ? argv[6] : nullptr,
                         nullptr};
        execv(path.c_str(), args);
        const std::string line = "ERROR: Unable to start " + path + ": " + std::strerror(errno) + "\n";
        (void)!write(STDERR_FILENO, line.data(), line.size());
        _exit(1);
    }
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
    close(fds[1]);
    return pid;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("pdftoPeltrin %s\n", PELTRIN_VERSION);
        return 0;
    }
    LogFileSink logSink(stderr);
    LogOutput log(logSink);
    if (argc != 6 && argc != 7)
        return runFilter(argc, argv, stdout, &log); // the usage line

    const std::string path = rasterizerPath();
    const pid_t rasterizer = startRasterizer(path, argc, argv, log);
    if (rasterizer < 0)
        return 1;

    int status = runFilter(6, argv, stdout, &log); // the raster on standard input

    // The rest of the raster is not needed: let the rasterizer end.
    close(STDIN_FILENO);
    int rasterizerStatus = 0;
    while (waitpid(rasterizer, &rasterizerStatus, 0) < 0 && errno == EINTR) {
    }
    // A rasterizer ended by SIGPIPE wrote past the job's end, which is not an error.
    const bool stoppedByUs = WIFSIGNALED(rasterizerStatus) && WTERMSIG(rasterizerStatus) == SIGPIPE;
    if (!stoppedByUs && (!WIFEXITED(rasterizerStatus) || WEXITSTATUS(rasterizerStatus) != 0)) {
        logFormat(&log, "ERROR: %s failed (%s %d)\n", path.c_str(),
                     WIFEXITED(rasterizerStatus) ? "exit status" : "signal",
                     WIFEXITED(rasterizerStatus) ? WEXITSTATUS(rasterizerStatus) : WTERMSIG(rasterizerStatus));
        status = 1;
    }
    return status;
}

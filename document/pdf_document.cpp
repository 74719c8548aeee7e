#include "document/pdf_document.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "document/color_rule.h"
#include "engine/job/log.h"
#include "engine/job/print_options.h"
#include "engine/job/raster_job.h"

namespace {

constexpr int kDpi = 203;
constexpr std::size_t kHeaderWindow = 1024;

using Clock = std::chrono::steady_clock;

// The renderer's process and the read ends of its standard output and error.
struct Renderer {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    std::string errText; // a line of its standard error not yet ended
    Clock::time_point deadline;
};

void closeFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// The widest page rendered: the roll's, or a custom length's paper's.
uint32_t renderedWidth(const DocumentRequest& r) { return std::max(r.maxWidth, r.paperWidth); }

// Starts the renderer; false (ERROR: line logged) when it cannot be.
bool startRenderer(const DocumentRequest& r, Renderer& proc, LogOutput* log)
{
    std::vector<std::string> args = {r.renderer, "draw", "-q", "-r", std::to_string(kDpi),
                                     "-w", std::to_string(renderedWidth(r)), "-A", "0",
                                     "-c", "rgb", "-F", "ppm",
                                     "-R", std::to_string(r.turn), "-o", "-", r.path};
    if (!r.pages.empty())
        args.push_back(r.pages);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        logFormat(log, "ERROR: Unable to create a pipe: %s\n", std::strerror(errno));
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        logFormat(log, "ERROR: Unable to create a pipe: %s\n", std::strerror(errno));
        close(out[0]);
        close(out[1]);
        return false;
    }
    // The renderer gets no descriptor of ours but its pipes and a document
    // named by its descriptor (/dev/fd/N).
    unsigned keep = 0;
    if (r.path.starts_with("/dev/fd/"))
        keep = static_cast<unsigned>(std::strtoul(r.path.c_str() + 8, nullptr, 10));
    logFlush(log);
    const pid_t parent = getpid();
    const rlimit cpu{r.limits.cpuSeconds, r.limits.cpuSeconds + 1};
    // At most what a 32-bit rlim_t holds.
    const rlim_t space = static_cast<rlim_t>(std::min<uint64_t>(r.limits.addressSpace, RLIM_INFINITY - 1));
    const rlimit memory{space, space};
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls here: the printer application forks
        // from one of its threads.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        setrlimit(RLIMIT_CPU, &cpu);
        setrlimit(RLIMIT_AS, &memory);
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        if (keep > STDERR_FILENO) {
            close_range(STDERR_FILENO + 1, keep - 1, 0);
            close_range(keep + 1, ~0U, 0);
        } else {
            close_range(STDERR_FILENO + 1, ~0U, 0);
        }
        execv(argv[0], argv.data());
        static const char kFailed[] = "unable to start the renderer\n";
        (void)!write(STDERR_FILENO, kFailed, sizeof kFailed - 1);
        _exit(127);
    }
    const int forkError = errno;
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        logFormat(log, "ERROR: Unable to start %s: %s\n", r.renderer.c_str(), std::strerror(forkError));
        return false;
    }
    setpgid(pid, pid); // as the child does: whichever runs first
    proc.pid = pid;
    proc.out = out[0];
    proc.err = err[0];
    proc.deadline = Clock::now() + std::chrono::seconds(r.limits.wallSeconds);
    return true;
}

// The renderer's standard error as DEBUG lines of the job's log.
void logRendererText(Renderer& proc, LogOutput* log, bool all)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = proc.errText.find('\n', start);
        if (end == std::string::npos)
            break;
        logFormat(log, "DEBUG: mutool: %s\n", proc.errText.substr(start, end - start).c_str());
        start = end + 1;
    }
    proc.errText.erase(0, start);
    if (all && !proc.errText.empty()) {
        logFormat(log, "DEBUG: mutool: %s\n", proc.errText.c_str());
        proc.errText.clear();
    }
    // A line without end is logged in pieces rather than held without bound.
    if (proc.errText.size() > 4096) {
        logFormat(log, "DEBUG: mutool: %s\n", proc.errText.c_str());
        proc.errText.clear();
    }
}

// Reads what the renderer has written on its standard error.
bool drainError(Renderer& proc, LogOutput* log)
{
    char buffer[4096];
    const ssize_t got = read(proc.err, buffer, sizeof buffer);
    if (got <= 0) {
        if (got < 0 && errno == EINTR)
            return true;
        closeFd(proc.err);
        logRendererText(proc, log, true);
        return false;
    }
    proc.errText.append(buffer, static_cast<std::size_t>(got));
    logRendererText(proc, log, false);
    return true;
}

enum class ReadResult { ok, end, timeout, stopped };

// Reads exactly `size` bytes of the renderer's output. `end` when the output
// ends first (`got` says how much was read), `timeout` past the deadline,
// `stopped` when `stop` says so; its standard error is logged meanwhile.
ReadResult readExactly(Renderer& proc, uint8_t* data, std::size_t size, std::size_t& got,
                       const std::function<bool()>& stop, LogOutput* log)
{
    got = 0;
    while (got < size) {
        if (stop && stop())
            return ReadResult::stopped;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(proc.deadline - Clock::now());
        if (left.count() <= 0)
            return ReadResult::timeout;
        pollfd fds[2] = {{proc.out, POLLIN, 0}, {proc.err, POLLIN, 0}};
        const int ready = poll(fds, proc.err >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(left.count(), 100)));
        if (ready < 0 && errno != EINTR)
            return ReadResult::end;
        if (ready <= 0)
            continue;
        if (proc.err >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            drainError(proc, log);
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        const ssize_t n = read(proc.out, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ReadResult::end;
        got += static_cast<std::size_t>(n);
    }
    return ReadResult::ok;
}

// The renderer's end: killed (its group) unless it ended by itself, waited
// for, its last words logged. Returns its wait status.
int endRenderer(Renderer& proc, bool kill, LogOutput* log)
{
    if (kill)
        ::kill(-proc.pid, SIGKILL);
    closeFd(proc.out);
    while (proc.err >= 0) {
        pollfd fd{proc.err, POLLIN, 0};
        // A renderer that ended leaves its standard error at its end; one
        // whose own child still holds it open is given a second.
        if (poll(&fd, 1, 1000) <= 0) {
            ::kill(-proc.pid, SIGKILL);
            closeFd(proc.err);
            break;
        }
        drainError(proc, log);
    }
    logRendererText(proc, log, true);
    int status = 0;
    while (waitpid(proc.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// A PNM page header: "P5" (gray) or "P6" (RGB), width, height, 255.
struct PnmHeader {
    int channels = 0;
    uint64_t width = 0, height = 0, maxValue = 0;
};

enum class HeaderResult { ok, end, garbled, timeout, stopped };

HeaderResult readPnmHeader(Renderer& proc, PnmHeader& header, const std::function<bool()>& stop, LogOutput* log)
{
    uint8_t magic[2];
    std::size_t got = 0;
    ReadResult r = readExactly(proc, magic, 2, got, stop, log);
    if (r == ReadResult::end)
        return got == 0 ? HeaderResult::end : HeaderResult::garbled;
    if (r != ReadResult::ok)
        return r == ReadResult::timeout ? HeaderResult::timeout : HeaderResult::stopped;
    if (magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6'))
        return HeaderResult::garbled;
    header.channels = magic[1] == '5' ? 1 : 3;
    uint64_t* fields[3] = {&header.width, &header.height, &header.maxValue};
    uint8_t c = 0;
    for (uint64_t* field : fields) {
        // Blanks and comments, then digits, then the one blank after them.
        bool digits = false;
        for (;;) {
            r = readExactly(proc, &c, 1, got, stop, log);
            if (r != ReadResult::ok)
                return r == ReadResult::end ? HeaderResult::garbled
                       : r == ReadResult::timeout ? HeaderResult::timeout : HeaderResult::stopped;
            if (c >= '0' && c <= '9') {
                digits = true;
                *field = *field * 10 + (c - '0');
                if (*field > 0xFFFFFF)
                    return HeaderResult::garbled;
            } else if (digits) {
                break;
            } else if (c == '#') {
                while (c != '\n') {
                    if (readExactly(proc, &c, 1, got, stop, log) != ReadResult::ok)
                        return HeaderResult::garbled;
                }
            } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                return HeaderResult::garbled;
            }
        }
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return HeaderResult::garbled;
    }
    return HeaderResult::ok;
}

// The engine's page for a rendered page of w x h dots: 1-bit K, or 1-bit
// banded CMYK for two colors.
cups_page_header_t enginePage(uint32_t w, uint32_t h, bool twoColors)
{
    cups_page_header_t header{};
    const uint32_t plane = (w + 7) / 8;
    header.HWResolution[0] = header.HWResolution[1] = kDpi;
    header.PageSize[0] = static_cast<unsigned>(w * 72.0 / kDpi + 0.5);
    header.PageSize[1] = static_cast<unsigned>(h * 72.0 / kDpi + 0.5);
    header.NumCopies = 1;
    header.cupsWidth = w;
    header.cupsHeight = h;
    header.cupsBitsPerColor = 1;
    header.cupsBitsPerPixel = 1;
    header.cupsColorOrder = twoColors ? CUPS_ORDER_BANDED : CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = twoColors ? CUPS_CSPACE_CMYK : CUPS_CSPACE_K;
    header.cupsBytesPerLine = twoColors ? 4 * plane : plane;
    return header;
}

const char* readFailure(ReadResult r)
{
    return r == ReadResult::timeout ? "timeout" : r == ReadResult::stopped ? "stopped" : "end";
}

} // namespace

uint32_t maxPageWidth(const PrintSettings& settings, const ModelRow& model)
{
    const int32_t size = settings.pageSize != 0 ? settings.pageSize : defaultRoll(model);
    for (const PageSizeChoice& m : pageSizes()) {
        if (m.keyword == size)
            return static_cast<uint32_t>(m.width * kDpi / 72.0 + 0.5);
    }
    return defaultRoll(model) == 80 ? 576 : 384;
}

std::string pdfRefusal(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::string("ERROR: Unable to open the document: ") + std::strerror(errno) + "\n";
    char start[kHeaderWindow];
    std::size_t size = 0;
    while (size < sizeof start) {
        const ssize_t got = read(fd, start + size, sizeof start - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    close(fd);
    if (size >= 2 && start[0] == '%' && start[1] == '!')
        return "ERROR: The document is PostScript, not PDF: it is not printed\n";
    static constexpr char kPdf[] = "%PDF-";
    if (memmem(start, size, kPdf, sizeof kPdf - 1) == nullptr)
        return "ERROR: The document is not a PDF (no %PDF- in its first 1024 bytes): it is not printed\n";
    return {};
}

uint32_t turnOfOrientation(int orientation)
{
    switch (orientation) {
    case 4: return 270; // landscape: the page's top to the left
    case 5: return 90;  // reverse-landscape
    case 6: return 180; // reverse-portrait
    default: return 0;
    }
}

DocumentEnd printPdfDocument(JobState& job, const DocumentRequest& request, const std::function<bool()>& stop)
{
    LogOutput* log = job.log;
    if (const std::string refusal = pdfRefusal(request.path); !refusal.empty()) {
        logText(log, refusal.c_str());
        return DocumentEnd::failed;
    }
    Renderer proc;
    if (!startRenderer(request, proc, log))
        return DocumentEnd::failed;
    logFormat(log, "DEBUG: Rendering with %s at %d dpi, at most %u dots wide, turned %u degrees, for %s\n",
              request.renderer.c_str(), kDpi, renderedWidth(request), request.turn,
              request.twoColors ? "two colors" : "monochrome");

    std::vector<uint8_t> line, rows;
    int pageNumber = 0;
    const char* failure = nullptr; // the ERROR: line's reason
    DocumentEnd end = DocumentEnd::ended;
    bool killRenderer = true;
    for (;;) {
        PnmHeader pnm;
        const HeaderResult h = readPnmHeader(proc, pnm, stop, log);
        if (h == HeaderResult::end) {
            killRenderer = false;
            break;
        }
        ++pageNumber;
        if (h == HeaderResult::stopped) {
            end = DocumentEnd::stopped;
            break;
        }
        if (h == HeaderResult::timeout) {
            failure = "timeout";
            break;
        }
        const int channels = 3;
        if (h == HeaderResult::garbled || pnm.channels != channels || pnm.maxValue != 255 || pnm.width == 0 ||
            pnm.width > renderedWidth(request) || pnm.height == 0) {
            failure = "garbled";
            break;
        }
        if (pnm.height > request.limits.maxPageRows) {
            logFormat(log, "ERROR: Page %d is %llu dots long, longer than the %u dots a page may be\n", pageNumber,
                      static_cast<unsigned long long>(pnm.height), request.limits.maxPageRows);
            end = DocumentEnd::failed;
            break;
        }
        // On a custom length's paper, the middle of the page.
        const auto w = static_cast<uint32_t>(std::min<uint64_t>(pnm.width, request.maxWidth));
        const auto height = static_cast<uint32_t>(pnm.height);
        const std::size_t first = (static_cast<std::size_t>(pnm.width) - w) / 2 * channels;
        const cups_page_header_t header = enginePage(w, height, request.twoColors);
        const uint32_t plane = (w + 7) / 8;
        line.resize(static_cast<std::size_t>(pnm.width) * channels);
        rows.assign(static_cast<std::size_t>(header.cupsBytesPerLine) * height, 0);
        ReadResult r = ReadResult::ok;
        for (uint32_t y = 0; y < height && r == ReadResult::ok; ++y) {
            std::size_t got = 0;
            r = readExactly(proc, line.data(), line.size(), got, stop, log);
            if (r != ReadResult::ok)
                break;
            uint8_t* row = rows.data() + static_cast<std::size_t>(y) * header.cupsBytesPerLine;
            if (request.twoColors) {
                // Banded CMYK: the second color in M and Y, black in K.
                rgbLineToDots(line.data() + first, w, y, row + 3 * plane, row + plane);
                std::memcpy(row + 2 * plane, row + plane, plane);
            } else {
                rgbLineToDots(line.data() + first, w, y, row, nullptr);
            }
        }
        if (r != ReadResult::ok) {
            if (r == ReadResult::stopped)
                end = DocumentEnd::stopped;
            else
                failure = readFailure(r);
            break;
        }
        const PageRowReader copyRows = [&rows](std::span<uint8_t> to) {
            if (to.size() > rows.size())
                return false;
            std::memcpy(to.data(), rows.data(), to.size());
            return true;
        };
        const PageOutcome outcome = printRasterPage(job, header, copyRows);
        if (outcome == PageOutcome::failJob) {
            end = DocumentEnd::failed;
            break;
        }
        if (outcome == PageOutcome::endJob)
            break;
    }
    const int status = endRenderer(proc, killRenderer, log);
    if (end != DocumentEnd::ended)
        return end;
    if (failure != nullptr && std::strcmp(failure, "timeout") == 0) {
        logFormat(log, "ERROR: The document took longer than %u seconds to render: it was stopped\n",
                  request.limits.wallSeconds);
        return DocumentEnd::failed;
    }
    if (killRenderer && failure == nullptr)
        return DocumentEnd::ended; // a page ended the job
    // The renderer's own failure explains a page stream that broke off.
    if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
        const int signal = WTERMSIG(status);
        if (signal == SIGXCPU)
            logFormat(log, "ERROR: The renderer used more than its %u seconds of CPU time: it was stopped\n",
                      request.limits.cpuSeconds);
        else
            logFormat(log, "ERROR: The renderer failed (signal %d)\n", signal);
        return DocumentEnd::failed;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && pageNumber == 0) {
        logFormat(log, "ERROR: The renderer failed: %s could not be started (package mupdf-tools)\n",
                  request.renderer.c_str());
        return DocumentEnd::failed;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        logFormat(log, "ERROR: The renderer failed (exit status %d): see the DEBUG lines before\n",
                  WEXITSTATUS(status));
        return DocumentEnd::failed;
    }
    if (failure != nullptr) {
        logFormat(log, "ERROR: The renderer's page %d is %s\n", pageNumber,
                  std::strcmp(failure, "garbled") == 0 ? "not a page it can send" : "cut short");
        return DocumentEnd::failed;
    }
    if (pageNumber == 0)
        logText(log, "ERROR: The document has no page to print\n");
    return pageNumber == 0 ? DocumentEnd::failed : DocumentEnd::ended;
}

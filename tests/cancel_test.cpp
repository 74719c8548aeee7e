// The SIGTERM cancel through the real executable, at controlled moments of a
// job: waiting for input between pages and inside a page, blocked on a full
// output pipe, at spread-out moments of a long job, and after the job's end.
//
// Whatever the moment, the printer must receive a prefix of the bytes the
// uncancelled job sends, then 720 zero bytes and ESC @, and the process must
// exit with status 0. After the normal job end SIGTERM changes nothing.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Model 11 with PageCut 2 ends every page with 0A 0A 1D 56 41 01; both
// drawers kick (10 bytes) before the first page. LogoPosition 4 sends nothing
// for the page itself, so the bytes of the job are known page by page.
const std::string kOptions = "LogoPosition=4 PageCut=2 CashDrawer=3 CashDrawerOpen=0";
std::size_t bytesAfterPages(std::size_t pages)
{
    return 2 + (pages > 0 ? 10 : 0) + 6 * pages;
}
const std::string kCancelTail = std::string(720, '\0') + "\x1B\x40";

const std::string& ppdPath()
{
    static const std::string path = writeTempFile("cancel.ppd", TestPpd::full(11).text());
    return path;
}

std::string dotPages(std::size_t count, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> pixels((width + 7) / 8 * height, 0);
    pixels[0] = 0x80;
    return rasterStream(std::vector<TestPage>(count, monoPage(width, height, pixels)));
}

int pipeBytes(int fd)
{
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

char processState(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
}

// The filter as a child process whose pipes the test drives: how much input
// it gets, whether its output and log are read, and when it is signalled.
// Neither the job-start ESC @ nor the log shows when the cancel is installed
// (both wait in blocks until the first flush), and under qemu-user the
// process's signal masks show qemu's own handlers. What does show it is
// input taken: the filter reads nothing before the job start.
struct Child {
    explicit Child(std::string stream, int outPipeSize = 0, int errPipeSize = 0) : input(std::move(stream))
    {
        signal(SIGPIPE, SIG_IGN); // for the test: writes to a child that has ended
        int p[3][2]; // standard input, output, error
        for (auto& fds : p)
            if (pipe2(fds, O_CLOEXEC) != 0)
                throw std::runtime_error("pipe");
        for (int i : {1, 2})
            if (const int size = i == 1 ? outPipeSize : errPipeSize; size > 0)
                fcntl(p[i][0], F_SETPIPE_SZ, size);
        const char* argv[] = {"rastertoPeltrin", "1", "user", "title", "1", kOptions.c_str(), nullptr};
        const std::string& ppd = ppdPath();
        if ((pid = fork()) < 0)
            throw std::runtime_error("fork");
        if (pid == 0) {
            for (int i = 0; i < 3; ++i)
                dup2(p[i][i == 0 ? 0 : 1], i);
            signal(SIGPIPE, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            setenv("PPD", ppd.c_str(), 1);
            execv(filterPath(), const_cast<char* const*>(argv));
            _exit(127);
        }
        for (int i = 0; i < 3; ++i) {
            close(p[i][i == 0 ? 0 : 1]);
            fd[i] = p[i][i == 0 ? 1 : 0];
            fcntl(fd[i], F_SETFL, O_NONBLOCK);
        }
    }
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int f : fd)
            if (f >= 0)
                close(f);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::size_t feedLimit = SIZE_MAX; // input bytes the child gets
    bool keepInputOpen = false;       // else closed once the child has taken all of it
    bool readOut = true, readErr = true;
    std::string out, err;

    void terminate() { kill(pid, SIGTERM); }
    // Input bytes the child has read.
    std::size_t taken() const { return fd[0] < 0 ? fed : fed - static_cast<std::size_t>(pipeBytes(fd[0])); }

    // Pumps input and output until `done` holds; false when `seconds` pass first.
    bool pumpUntil(const std::function<bool()>& done, double seconds = 10)
    {
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            pump();
        }
        return true;
    }

    // The child has taken every byte fed (at least one) and sleeps: it is
    // blocked reading its input.
    bool waitBlockedOnInput()
    {
        int quiet = 0;
        return pumpUntil([&] {
            const bool blocked = fed >= limit() && taken() == fed && fed > 0 && processState(pid) == 'S';
            quiet = blocked ? quiet + 1 : 0;
            return quiet >= 3;
        });
    }

    bool exited()
    {
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid)
            pid = -1;
        return pid < 0;
    }

    // Reads both outputs to their end and reaps the child. Returns the exit
    // status; -1 for a signal, -2 when it does not end in time.
    int finish()
    {
        readOut = readErr = true;
        if (!pumpUntil([&] { return fd[1] < 0 && fd[2] < 0; }) || !pumpUntil([&] { return exited(); }))
            return -2;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::size_t limit() const { return std::min(feedLimit, input.size()); }
    void closeFd(int i)
    {
        close(fd[i]);
        fd[i] = -1;
    }
    void pump()
    {
        if (fd[0] >= 0 && fed >= input.size() && !keepInputOpen && pipeBytes(fd[0]) == 0)
            closeFd(0);
        const bool wanted[3] = {fed < limit(), readOut, readErr};
        pollfd fds[3];
        for (int i = 0; i < 3; ++i) // poll skips negative descriptors
            fds[i] = {wanted[i] ? fd[i] : -1, static_cast<short>(i == 0 ? POLLOUT : POLLIN), 0};
        if (poll(fds, 3, 2) <= 0)
            return;
        if (fds[0].revents != 0) {
            const ssize_t w = write(fd[0], input.data() + fed, limit() - fed);
            if (w > 0)
                fed += static_cast<std::size_t>(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                closeFd(0);
        }
        for (int i : {1, 2}) {
            if (fds[i].revents == 0)
                continue;
            char buf[65536];
            const ssize_t r = read(fd[i], buf, sizeof buf);
            if (r > 0)
                (i == 1 ? out : err).append(buf, static_cast<std::size_t>(r));
            else if (r == 0 || (errno != EAGAIN && errno != EINTR))
                closeFd(i);
        }
    }

    std::string input;
    std::size_t fed = 0;
    pid_t pid = -1;
    int fd[3] = {-1, -1, -1}; // standard input, output, error
    int status = 0;
};

FilterRun reference(const std::string& input)
{
    FilterRun run = runFilter(rasterJob(ppdPath(), kOptions, input));
    EXPECT_EQ(run.status, 0);
    return run;
}

// A cancelled job: its bytes are a prefix of the reference's, then the fill
// and ESC @; its log is a prefix of the reference's log. Returns the length
// of the byte prefix.
std::size_t checkCancelled(const Child& child, const FilterRun& reference)
{
    EXPECT_TRUE(reference.err.starts_with(child.err)) << "the log is not a prefix of the uncancelled job's:\n"
                                                      << child.err.substr(child.err.size() > 300 ? child.err.size() - 300 : 0);
    const std::string& out = child.out;
    if (!out.ends_with(kCancelTail)) {
        ADD_FAILURE() << "last bytes: " << hexBytes(out.substr(out.size() > 16 ? out.size() - 16 : 0));
        return 0;
    }
    const std::size_t prefix = out.size() - kCancelTail.size();
    EXPECT_TRUE(prefix <= reference.out.size() && reference.out.compare(0, prefix, out, 0, prefix) == 0)
        << "not a prefix of the uncancelled job (" << prefix << " of " << reference.out.size() << " bytes)";
    return prefix;
}

// Waiting for the next page header, or inside a page's header or pixels:
// everything the job produced reaches the printer before the fill.
TEST(Cancel, WhileWaitingForInput)
{
    const std::string stream = dotPages(4, 512, 100); // 6400 bytes of pixels per page
    const FilterRun full = reference(stream);
    ASSERT_EQ(full.out.size(), bytesAfterPages(4));

    const std::size_t page = (stream.size() - 4) / 4; // after the sync word
    const struct {
        const char* name;
        std::size_t fed;   // input bytes the child gets
        std::size_t pages; // pages complete by then
    } cases[] = {
        {"inside the stream's sync word", 1, 0},
        {"after the sync word", 4, 0},
        {"inside the first header", 4 + 200, 0},
        {"inside the first page's pixels", 4 + page / 2, 0},
        {"before the second header", 4 + page, 1},
        {"inside the third page's pixels", 4 + 2 * page + 1000, 2},
        {"one byte short of the last page", 4 + 4 * page - 1, 3},
        {"after the last page, input still open", 4 + 4 * page, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Child child(stream);
        child.feedLimit = c.fed;
        child.keepInputOpen = true;
        ASSERT_TRUE(child.waitBlockedOnInput());
        child.terminate();
        EXPECT_EQ(child.finish(), 0);
        EXPECT_EQ(checkCancelled(child, full), bytesAfterPages(c.pages));
        // Every line logged before the signal is there, the last one whole:
        // the settings, and the lines of each page printed.
        EXPECT_TRUE(child.err.ends_with("\n")) << child.err;
        EXPECT_NE(child.err.find("The Printer Model is : 11\n"), std::string::npos) << child.err;
        const std::size_t lastPage = child.err.rfind("\nPAGE: ");
        EXPECT_EQ(lastPage == std::string::npos ? 0 : std::stoul(child.err.substr(lastPage + 7)), c.pages);
    }
}

// A job long enough to fill the output pipe: the child blocks in the middle
// of handing a block to the printer, and the fill follows the part of the
// block that got out.
TEST(Cancel, WhileTheOutputPipeIsFull)
{
    const std::string stream = dotPages(12000, 8, 1);
    const FilterRun full = reference(stream);
    ASSERT_EQ(full.out.size(), bytesAfterPages(12000));

    Child child(stream, 4096);
    child.readOut = false;
    ASSERT_TRUE(child.pumpUntil(
        [&] { return pipeBytes(child.fd[1]) >= 4096 && processState(child.pid) == 'S'; }));
    child.terminate();
    EXPECT_EQ(child.finish(), 0);
    EXPECT_GE(checkCancelled(child, full), 4096u);
}

// SIGTERM at spread-out moments of a long job whose output is read as it
// comes, some with the output left unread for a while.
TEST(Cancel, AtArbitraryMoments)
{
    const std::string stream = dotPages(12000, 8, 1);
    const auto start = Clock::now();
    const FilterRun full = reference(stream);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    constexpr int kRuns = 10;
    int cancelled = 0;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        Child child(stream, i % 2 == 0 ? 0 : 4096);
        child.readOut = i % 3 != 2;
        const auto at = Clock::now() + std::chrono::duration<double>(seconds * i / kRuns);
        ASSERT_TRUE(child.pumpUntil([&] { return (Clock::now() >= at && child.taken() > 0) || child.exited(); }));
        if (child.exited())
            continue;
        child.terminate();
        EXPECT_EQ(child.finish(), 0);
        // A run that got past its job end first ignores the signal.
        if (child.out == full.out)
            continue;
        checkCancelled(child, full);
        ++cancelled;
    }
    EXPECT_GE(cancelled, kRuns / 2);
}

// After the normal job end SIGTERM is ignored: the child is held in its last
// log write (the log pipe is small and left unread) once all printer bytes
// are out, then signalled; it ends as if nothing had happened.
TEST(Cancel, AfterTheJobEndChangesNothing)
{
    const std::string stream = dotPages(100, 8, 1);
    const FilterRun full = reference(stream);
    ASSERT_GT(full.err.size(), 8192u);

    Child child(stream, 0, 4096);
    ASSERT_TRUE(child.pumpUntil([&] { return child.out.size() >= full.out.size(); }));
    child.readErr = false;
    ASSERT_TRUE(child.pumpUntil([&] {
        const char state = processState(child.pid);
        return state == 'S' || state == 'Z';
    }));
    ASSERT_FALSE(child.exited()) << "the child should still be writing its log";
    child.terminate();
    EXPECT_EQ(child.finish(), 0);
    EXPECT_EQ(hexBytes(child.out), hexBytes(full.out));
    EXPECT_EQ(child.err, full.err);
}

} // namespace

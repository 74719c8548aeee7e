// The SIGTERM cancel through the real executable, at controlled moments of a
// job: waiting for input between pages and inside a page, blocked on a full
// output or log pipe, and after the job's end.
//
// Whatever the moment, the printer must receive a prefix of the bytes the
// uncancelled job sends, then 720 zero bytes and ESC @, and the process must
// exit with status 0. After the normal job end SIGTERM changes nothing.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"
#include "tests/support/raster_writer.h"

namespace {

// Model 11 with PageCut 2 ends every page with 0A 0A 1D 56 41 01; both
// drawers kick (10 bytes) before the first page. LogoPosition 4 sends nothing
// for the page itself, so the bytes of the job are known page by page.
const std::string kOptions = "LogoPosition=4 PageCut=2 CashDrawer=3 CashDrawerOpen=0";
std::size_t bytesAfterPages(std::size_t pages) { return 2 + (pages > 0 ? 10 : 0) + 6 * pages; }

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
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
}

// The filter as a child process whose pipes the test drives: how much input
// it gets, whether its output and log are read, and when it is signalled.
// What shows that the cancel is installed is input taken: the filter reads
// nothing before the job start.
struct Child {
    explicit Child(std::string stream, int outPipeSize = 0, int errPipeSize = 0) : input(std::move(stream))
    {
        signal(SIGPIPE, SIG_IGN); // for the test: writes to a child that has ended
        int p[3][2]; // standard input, output, error
        for (auto& fds : p)
            pipe2(fds, O_CLOEXEC);
        for (const auto& [i, size] : {std::pair{1, outPipeSize}, {2, errPipeSize}})
            if (size > 0)
                fcntl(p[i][0], F_SETPIPE_SZ, size);
        const char* argv[] = {"rastertoPeltrin", "1", "user", "title", "1", kOptions.c_str(), nullptr};
        const std::string& ppd = ppdPath();
        if ((pid = fork()) == 0) {
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

    std::size_t feedLimit = SIZE_MAX; // input bytes the child gets; input stays open when set
    bool readOut = true, readErr = true;
    std::string input, out, err;
    std::size_t fed = 0;
    pid_t pid = -1;
    int fd[3] = {-1, -1, -1};
    int status = 0;

    std::size_t limit() const { return std::min(feedLimit, input.size()); }
    // Input bytes the child has read.
    std::size_t taken() const { return fd[0] < 0 ? fed : fed - static_cast<std::size_t>(pipeBytes(fd[0])); }

    // Pumps input and output until `done` holds; false when 10 s pass first.
    bool pumpUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done())
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            else
                pump();
        return true;
    }
    // The child has taken every byte fed and sleeps three polls in a row:
    // it is blocked reading its input.
    bool waitBlockedOnInput()
    {
        int quiet = 0;
        return pumpUntil([&] {
            quiet = fed >= limit() && taken() == fed && fed > 0 && processState(pid) == 'S' ? quiet + 1 : 0;
            return quiet >= 3;
        });
    }
    // Reads both outputs to their end and reaps the child: its exit status,
    // -1 for a signal, -2 when it does not end in time.
    int finish()
    {
        readOut = readErr = true;
        if (!pumpUntil([&] { return fd[1] < 0 && fd[2] < 0; }) ||
            !pumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }))
            return -2;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void closeFd(int i) { close(std::exchange(fd[i], -1)); }
    void pump()
    {
        if (fd[0] >= 0 && fed >= input.size() && feedLimit == SIZE_MAX && pipeBytes(fd[0]) == 0)
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
            char buf[65536];
            const ssize_t r = fds[i].revents == 0 ? -1 : read(fd[i], buf, sizeof buf);
            if (r > 0)
                (i == 1 ? out : err).append(buf, static_cast<std::size_t>(r));
            else if (fds[i].revents != 0 && (r == 0 || (errno != EAGAIN && errno != EINTR)))
                closeFd(i);
        }
    }
};

FilterRun reference(const std::string& input)
{
    FilterRun run = runFilter(rasterJob(ppdPath(), kOptions, input));
    EXPECT_EQ(run.status, 0);
    return run;
}

// A cancelled job: its log is a prefix of the reference's log, its bytes a
// prefix of the reference's, then the fill and ESC @. Returns the length of
// the byte prefix.
std::size_t checkCancelled(const Child& child, const FilterRun& reference)
{
    EXPECT_TRUE(reference.err.starts_with(child.err)) << "the log is not a prefix of the uncancelled job's";
    const std::string tail = std::string(720, '\0') + "\x1B\x40";
    if (!child.out.ends_with(tail)) {
        ADD_FAILURE() << "last bytes: " << hexBytes(child.out.substr(child.out.size() - std::min<std::size_t>(16, child.out.size())));
        return 0;
    }
    const std::size_t prefix = child.out.size() - tail.size();
    EXPECT_TRUE(prefix <= reference.out.size() && reference.out.compare(0, prefix, child.out, 0, prefix) == 0)
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
        std::size_t fed, pages; // input bytes the child gets, pages complete by then
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
        ASSERT_TRUE(child.waitBlockedOnInput());
        kill(child.pid, SIGTERM);
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
    ASSERT_TRUE(child.pumpUntil([&] { return pipeBytes(child.fd[1]) >= 4096 && processState(child.pid) == 'S'; }));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(child.finish(), 0);
    EXPECT_GE(checkCancelled(child, full), 4096u);
}

// A job whose log fills its pipe: the child blocks in the middle of handing
// a block of the log over; the cancel comes after that hand-over, so the
// log is still a prefix of the uncancelled job's, nothing in it twice.
TEST(Cancel, WhileTheLogPipeIsFull)
{
    const std::string stream = dotPages(2000, 8, 1);
    const FilterRun full = reference(stream);
    ASSERT_GT(full.err.size(), 2u << 16); // more than the log's block
    Child child(stream, 0, 4096);
    child.readErr = false;
    ASSERT_TRUE(child.pumpUntil([&] { return pipeBytes(child.fd[2]) >= 4096 && processState(child.pid) == 'S'; }));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(child.finish(), 0);
    checkCancelled(child, full);
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
    ASSERT_TRUE(child.pumpUntil([&] { return processState(child.pid) == 'S' || processState(child.pid) == 'Z'; }));
    ASSERT_NE(waitpid(child.pid, nullptr, WNOHANG), child.pid) << "the child should still be writing its log";
    kill(child.pid, SIGTERM);
    EXPECT_EQ(child.finish(), 0);
    EXPECT_EQ(hexBytes(child.out), hexBytes(full.out));
    EXPECT_EQ(child.err, full.err);
}

} // namespace

// The SIGTERM cancel through the real executable, at controlled moments of a
// job: waiting for input between pages and inside a page, blocked on a full
// output pipe, at arbitrary moments of a long job, and after the job's end.
//
// Whatever the moment, the printer must receive a prefix of the bytes the
// uncancelled job sends, then 720 zero bytes and ESC @, and the process must
// exit with status 0. After the normal job end SIGTERM changes nothing.
#include <chrono>
#include <csignal>
#include <cstring>
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
// drawers kick before the first page. LogoPosition 4 sends nothing for the
// page itself, so the bytes of the job are known page by page.
const std::string kOptions = "LogoPosition=4 PageCut=2 CashDrawer=3 CashDrawerOpen=0";
constexpr std::size_t kJobStart = 2;    // ESC @
constexpr std::size_t kKickBefore = 10; // two drawer kicks
constexpr std::size_t kPageEnd = 6;

const std::string kCancelTail = std::string(720, '\0') + "\x1B\x40";

std::size_t bytesAfterPages(std::size_t pages)
{
    return kJobStart + (pages > 0 ? kKickBefore : 0) + pages * kPageEnd;
}

const std::string& ppdPath()
{
    static const std::string path = writeTempFile("cancel.ppd", TestPpd::full(11).text());
    return path;
}

TestPage dotPage(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> pixels((width + 7) / 8 * height, 0);
    pixels[0] = 0x80;
    return monoPage(width, height, std::move(pixels));
}

int pipeBytes(int fd)
{
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

char processState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() ? text[close + 2] : '?';
}

// Whether the process catches (a handler is installed) or ignores SIGTERM,
// from the signal masks in /proc/<pid>/status.
bool termDisposition(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field))
            return (std::stoull(line.substr(std::strlen(field)), nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

bool termCaught(pid_t pid)
{
    return termDisposition(pid, "SigCgt:");
}

bool termIgnored(pid_t pid)
{
    return termDisposition(pid, "SigIgn:");
}

// The filter as a child process whose pipes the test drives: how much input
// it gets, whether its output is read, and when it is signalled.
class Child {
public:
    Child(std::string input, int outPipeSize = 0, int errPipeSize = 0) : input_(std::move(input))
    {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        if (outPipeSize > 0)
            fcntl(out[0], F_SETPIPE_SZ, outPipeSize);
        if (errPipeSize > 0)
            fcntl(err[0], F_SETPIPE_SZ, errPipeSize);
        std::vector<std::string> args{"rastertoPeltrin", "1", "user", "title", "1", kOptions};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string ppd = ppdPath();
        pid_ = fork();
        if (pid_ < 0)
            throw std::runtime_error("fork");
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            signal(SIGPIPE, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            setenv("PPD", ppd.c_str(), 1);
            execv(filterPath(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
        for (int fd : {in_, out_, err_})
            fcntl(fd, F_SETFL, O_NONBLOCK);
    }

    ~Child()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {in_, out_, err_})
            if (fd >= 0)
                close(fd);
    }

    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    int outPipe() const { return out_; }

    // Input is fed up to this many bytes; all of it closes the input unless
    // keepInputOpen is set.
    std::size_t feedLimit = 0;
    bool keepInputOpen = false;
    bool readOut = true;
    bool readErr = true;
    std::string out, err;

    bool fedAll() const { return fed_ >= feedLimit; }

    // One round of feeding and reading, waiting at most `ms`.
    void pump(int ms)
    {
        pollfd fds[3];
        int n = 0, inIdx = -1, outIdx = -1, errIdx = -1;
        if (in_ >= 0 && !fedAll())
            inIdx = n, fds[n++] = {in_, POLLOUT, 0};
        if (out_ >= 0 && readOut)
            outIdx = n, fds[n++] = {out_, POLLIN, 0};
        if (err_ >= 0 && readErr)
            errIdx = n, fds[n++] = {err_, POLLIN, 0};
        if (poll(fds, n, ms) <= 0)
            return;
        if (inIdx >= 0 && fds[inIdx].revents != 0) {
            ssize_t w = write(in_, input_.data() + fed_, feedLimit - fed_);
            if (w > 0)
                fed_ += static_cast<std::size_t>(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                closeFd(in_);
        }
        if (in_ >= 0 && fed_ >= input_.size() && !keepInputOpen)
            closeFd(in_);
        if (outIdx >= 0 && fds[outIdx].revents != 0)
            readSome(out_, out);
        if (errIdx >= 0 && fds[errIdx].revents != 0)
            readSome(err_, err);
    }

    // Pumps until `done` holds; false when `seconds` pass first.
    bool pumpUntil(const std::function<bool()>& done, double seconds = 10)
    {
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            pump(2);
        }
        return true;
    }

    // Waits until the child has started the job (the cancel is installed),
    // has taken every byte fed so far and sleeps: it is blocked reading its
    // input.
    bool waitBlockedOnInput()
    {
        int quiet = 0;
        return pumpUntil([&] {
            const bool blocked = fedAll() && (in_ < 0 || pipeBytes(in_) == 0) && termCaught(pid_) &&
                                 processState(pid_) == 'S';
            quiet = blocked ? quiet + 1 : 0;
            return quiet >= 3;
        });
    }

    bool exited()
    {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            pid_ = -1;
        }
        return pid_ < 0;
    }

    void terminate() { kill(pid_, SIGTERM); }

    // Reads everything up to the end of both outputs and reaps the child.
    // Returns the exit status; -1 for a signal, -2 when it does not end in time.
    int finish(double seconds = 10)
    {
        readOut = readErr = true;
        if (!pumpUntil([&] { return out_ < 0 && err_ < 0; }, seconds))
            return -2;
        if (!pumpUntil([&] { return exited(); }, seconds))
            return -2;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    void closeFd(int& fd)
    {
        close(fd);
        fd = -1;
    }

    void readSome(int& fd, std::string& into)
    {
        char buf[65536];
        ssize_t r = read(fd, buf, sizeof buf);
        if (r > 0)
            into.append(buf, static_cast<std::size_t>(r));
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            closeFd(fd);
    }

    std::string input_;
    std::size_t fed_ = 0;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    int status_ = 0;
};

class Cancel : public testing::Test {
protected:
    static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }

    static FilterRun reference(const std::string& input)
    {
        FilterRun run = runFilter(rasterJob(ppdPath(), kOptions, input));
        EXPECT_EQ(run.status, 0);
        return run;
    }

    // A cancelled job's bytes: a prefix of the reference, then the fill and
    // ESC @. Returns the length of the prefix.
    static std::size_t checkCancelled(const std::string& out, const std::string& reference)
    {
        EXPECT_TRUE(out.size() >= kCancelTail.size() && out.ends_with(kCancelTail))
            << "last bytes: " << hexBytes(out.substr(out.size() > 16 ? out.size() - 16 : 0));
        if (out.size() < kCancelTail.size())
            return 0;
        const std::size_t prefix = out.size() - kCancelTail.size();
        EXPECT_TRUE(prefix <= reference.size() && reference.compare(0, prefix, out, 0, prefix) == 0)
            << "not a prefix of the uncancelled job (" << prefix << " of " << reference.size() << " bytes)";
        return prefix;
    }
};

// Waiting for the next page header, or inside a page's header or pixels:
// everything the job produced reaches the printer before the fill.
TEST_F(Cancel, WhileWaitingForInput)
{
    std::vector<TestPage> pages;
    for (int i = 0; i < 4; ++i)
        pages.push_back(dotPage(512, 100)); // 6400 bytes of pixels per page
    const std::string stream = rasterStream(pages);
    const std::string full = reference(stream).out;
    ASSERT_EQ(full.size(), bytesAfterPages(4));

    const std::size_t pageBytes = (stream.size() - 4) / 4; // after the sync word
    struct Case {
        const char* name;
        std::size_t fed;   // input bytes the child gets
        std::size_t pages; // pages complete by then
    } cases[] = {
        {"before the stream's sync word", 0, 0},
        {"after the sync word", 4, 0},
        {"inside the first header", 4 + 200, 0},
        {"inside the first page's pixels", 4 + pageBytes / 2, 0},
        {"before the second header", 4 + pageBytes, 1},
        {"inside the third page's pixels", 4 + 2 * pageBytes + 1000, 2},
        {"one byte short of the last page", 4 + 4 * pageBytes - 1, 3},
        {"after the last page, input still open", 4 + 4 * pageBytes, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Child child(stream);
        child.feedLimit = c.fed;
        child.keepInputOpen = true;
        ASSERT_TRUE(child.waitBlockedOnInput());
        child.terminate();
        EXPECT_EQ(child.finish(), 0);
        EXPECT_EQ(checkCancelled(child.out, full), bytesAfterPages(c.pages));
    }
}

// A job long enough to fill the output pipe: the child blocks in the middle
// of handing a block to the printer, and the fill follows the part of the
// block that got out.
TEST_F(Cancel, WhileTheOutputPipeIsFull)
{
    std::vector<TestPage> pages(12000, dotPage(8, 1));
    const std::string stream = rasterStream(pages);
    const std::string full = reference(stream).out;
    ASSERT_EQ(full.size(), bytesAfterPages(12000));

    Child child(stream, 4096);
    child.feedLimit = stream.size();
    child.readOut = false;
    ASSERT_TRUE(child.pumpUntil([&] {
        return pipeBytes(child.outPipe()) >= 4096 && processState(child.pid()) == 'S';
    }));
    child.terminate();
    EXPECT_EQ(child.finish(), 0);
    EXPECT_GE(checkCancelled(child.out, full), 4096u);
}

// SIGTERM at spread-out moments of a long job whose output is read as it
// comes, some with the output left unread for a while.
TEST_F(Cancel, AtArbitraryMoments)
{
    std::vector<TestPage> pages(12000, dotPage(8, 1));
    const std::string stream = rasterStream(pages);
    const auto start = Clock::now();
    const std::string full = reference(stream).out;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    constexpr int kRuns = 10;
    int cancelled = 0;
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE("run " + std::to_string(i));
        Child child(stream, i % 2 == 0 ? 0 : 4096);
        child.feedLimit = stream.size();
        child.readOut = i % 3 != 2;
        const auto at = Clock::now() + std::chrono::duration<double>(seconds * i / kRuns);
        ASSERT_TRUE(child.pumpUntil([&] { return (Clock::now() >= at && termCaught(child.pid())) || child.exited(); }));
        if (child.exited())
            continue;
        child.terminate();
        EXPECT_EQ(child.finish(), 0);
        // A run that got past its job end first ignores the signal.
        if (child.out == full)
            continue;
        checkCancelled(child.out, full);
        ++cancelled;
    }
    EXPECT_GE(cancelled, kRuns / 2);
}

// After the normal job end SIGTERM is ignored: the child is held in its last
// log write (the log pipe is small and left unread) once all printer bytes
// are out, then signalled; it ends as if nothing had happened.
TEST_F(Cancel, AfterTheJobEndChangesNothing)
{
    std::vector<TestPage> pages(100, dotPage(8, 1));
    const std::string stream = rasterStream(pages);
    const FilterRun full = reference(stream);
    ASSERT_GT(full.err.size(), 8192u);

    Child child(stream, 0, 4096);
    child.feedLimit = stream.size();
    ASSERT_TRUE(child.pumpUntil([&] { return child.out.size() >= full.out.size(); }));
    child.readErr = false;
    ASSERT_TRUE(child.pumpUntil([&] {
        const char state = processState(child.pid());
        return state == 'S' || state == 'Z';
    }));
    ASSERT_FALSE(child.exited()) << "the child should still be writing its log";
    EXPECT_TRUE(termIgnored(child.pid()));
    child.terminate();
    EXPECT_EQ(child.finish(), 0);
    EXPECT_EQ(hexBytes(child.out), hexBytes(full.out));
    EXPECT_EQ(child.err, full.err);
}

} // namespace

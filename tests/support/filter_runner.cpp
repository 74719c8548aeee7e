#include "tests/support/filter_runner.h"
#include "tests/support/ppd_writer.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#ifndef PELTRIN_FILTER_PATH
#error "PELTRIN_FILTER_PATH must name the filter executable"
#endif

#ifndef PELTRIN_PREVIEW_PATH
#error "PELTRIN_PREVIEW_PATH must name the preview program"
#endif

const char* filterPath()
{
    return PELTRIN_FILTER_PATH;
}

const char* previewPath()
{
    return PELTRIN_PREVIEW_PATH;
}

FilterInvocation rasterJob(const std::string& ppdPath, const std::string& options, std::string input)
{
    return FilterInvocation{{"1", "user", "title", "1", options}, ppdPath, std::move(input)};
}

FilterRun runFilter(const FilterInvocation& invocation)
{
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");

    const std::string name = invocation.program.substr(invocation.program.rfind('/') + 1);
    std::vector<std::string> argvStrings{invocation.program.empty() ? "rastertoPeltrin" : name};
    argvStrings.insert(argvStrings.end(), invocation.args.begin(), invocation.args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        if (invocation.ppd)
            setenv("PPD", invocation.ppd->c_str(), 1);
        else if (invocation.program.empty())
            unsetenv("PPD");
        for (const auto& [name, value] : invocation.env)
            setenv(name.c_str(), value.c_str(), 1);
        if (invocation.program.empty())
            execv(filterPath(), argv.data());
        else
            execvp(invocation.program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);

    FilterRun run;
    std::size_t written = 0;
    int inFd = in[1];
    if (invocation.input.empty()) {
        close(inFd);
        inFd = -1;
    } else {
        fcntl(inFd, F_SETFL, O_NONBLOCK);
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(invocation.timeoutSeconds);
    bool outOpen = true, errOpen = true;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (outOpen) { outIdx = n; fds[n++] = {out[0], POLLIN, 0}; }
        if (errOpen) { errIdx = n; fds[n++] = {err[0], POLLIN, 0}; }
        if (inFd >= 0) { inIdx = n; fds[n++] = {inFd, POLLOUT, 0}; }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int ready = left > 0 ? poll(fds, n, static_cast<int>(std::min<long long>(left, 1000))) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            break;
        if (ready == 0) {
            if (Clock::now() < deadline)
                continue;
            kill(pid, SIGKILL); // hung: what it wrote so far is kept
            break;
        }
        if (outIdx >= 0 && fds[outIdx].revents) {
            ssize_t r = read(out[0], buf, sizeof buf);
            if (r > 0) run.out.append(buf, r); else outOpen = false;
        }
        if (errIdx >= 0 && fds[errIdx].revents) {
            ssize_t r = read(err[0], buf, sizeof buf);
            if (r > 0) run.err.append(buf, r); else errOpen = false;
        }
        if (inIdx >= 0 && fds[inIdx].revents) {
            if (fds[inIdx].revents & (POLLERR | POLLHUP)) {
                close(inFd);
                inFd = -1;
            } else {
                std::size_t count = invocation.input.size() - written;
                if (invocation.inputPiece != 0) {
                    count = std::min(count, invocation.inputPiece);
                    usleep(300); // lets the filter read each piece on its own
                }
                ssize_t w = write(inFd, invocation.input.data() + written, count);
                if (w > 0)
                    written += static_cast<std::size_t>(w);
                if (w < 0 && errno != EAGAIN && errno != EINTR) {
                    close(inFd);
                    inFd = -1;
                } else if (written == invocation.input.size()) {
                    close(inFd);
                    inFd = -1;
                }
            }
        }
    }
    if (inFd >= 0)
        close(inFd);
    close(out[0]);
    close(err[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

FilterRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input)
{
    FilterInvocation invocation{args, std::nullopt, input};
    invocation.program = program;
    return runFilter(invocation);
}

FilterRun runPreview(std::vector<std::string> args, std::string input, std::vector<std::string> env)
{
    FilterInvocation invocation{std::move(args), std::nullopt, std::move(input)};
    invocation.program = previewPath();
    for (const std::string& setting : env) {
        const std::size_t eq = setting.find('=');
        invocation.env.emplace_back(setting.substr(0, eq), eq == std::string::npos ? "" : setting.substr(eq + 1));
    }
    return runFilter(invocation);
}

std::string hexBytes(const std::string& bytes)
{
    std::string s;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        s += b;
    }
    if (!s.empty())
        s.pop_back();
    return s;
}

std::string bytesOf(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

std::string jobCaseBytes(const std::string& name)
{
    const std::string text = readFile(std::string(PELTRIN_JOBS_DIR) + "/" + name + ".hex");
    std::istringstream hex(text.substr(0, text.find("exit")));
    std::string bytes;
    for (std::string byte; hex >> byte;)
        bytes.push_back(static_cast<char>(std::stoul(byte, nullptr, 16)));
    return bytes;
}

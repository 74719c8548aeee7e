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

const char* filterPath()
{
    return PELTRIN_FILTER_PATH;
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
    const std::string program = invocation.program.empty() ? filterPath() : invocation.program;
    std::vector<std::string> argvStrings{program.substr(program.rfind('/') + 1)};
    argvStrings.insert(argvStrings.end(), invocation.args.begin(), invocation.args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        if (invocation.ppd)
            setenv("PPD", invocation.ppd->c_str(), 1);
        else if (invocation.program.empty())
            unsetenv("PPD");
        for (const std::string& setting : invocation.env)
            putenv(const_cast<char*>(setting.c_str()));
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    FilterRun run;
    std::size_t written = 0;
    int fds[3] = {invocation.input.empty() ? -1 : in[1], out[0], err[0]}; // closed: -1
    if (fds[0] < 0)
        close(in[1]);
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    const auto closeFd = [&](int i) { close(fds[i]); fds[i] = -1; };
    while (fds[1] >= 0 || fds[2] >= 0) {
        pollfd p[3];
        for (int i = 0; i < 3; ++i) // poll skips negative descriptors
            p[i] = {fds[i], static_cast<short>(i == 0 ? POLLOUT : POLLIN), 0};
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL); // hung: what it wrote so far is kept
            break;
        }
        if (poll(p, 3, 1000) <= 0)
            continue;
        for (int i : {1, 2})
            if (p[i].revents != 0) {
                char buf[65536];
                const ssize_t r = read(fds[i], buf, sizeof buf);
                if (r > 0)
                    (i == 1 ? run.out : run.err).append(buf, static_cast<std::size_t>(r));
                else if (r == 0 || errno != EINTR)
                    closeFd(i);
            }
        if (p[0].revents & (POLLERR | POLLHUP)) {
            closeFd(0);
        } else if (p[0].revents != 0) {
            std::size_t count = invocation.input.size() - written;
            if (invocation.inputPiece != 0) {
                count = std::min(count, invocation.inputPiece);
                usleep(300); // lets the program read each piece on its own
            }
            const ssize_t w = write(fds[0], invocation.input.data() + written, count);
            written += w > 0 ? static_cast<std::size_t>(w) : 0;
            if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == invocation.input.size())
                closeFd(0);
        }
    }
    for (int fd : fds)
        if (fd >= 0)
            close(fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return run;
}

FilterRun runProgram(const std::string& program, const std::vector<std::string>& args)
{
    return runFilter({args, std::nullopt, "", 0, program});
}

FilterRun runPreview(std::vector<std::string> args, std::string input, std::vector<std::string> env)
{
    return runFilter({std::move(args), std::nullopt, std::move(input), 0, PELTRIN_PREVIEW_PATH, std::move(env)});
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

std::string bytesFromHex(const std::string& hex)
{
    std::istringstream in(hex);
    std::string bytes;
    for (std::string byte; in >> byte;)
        bytes.append(byte.size() > 3 ? std::stoul(byte.substr(3)) : 1, static_cast<char>(std::stoul(byte, nullptr, 16)));
    return bytes;
}

std::string jobCaseBytes(const std::string& name)
{
    const std::string text = readFile(std::string(PELTRIN_JOBS_DIR) + "/" + name + ".hex");
    return bytesFromHex(text.substr(0, text.find("exit")));
}

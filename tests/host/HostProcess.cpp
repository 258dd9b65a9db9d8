#include "HostProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QCAN_HOST_BINARY
#error "QCAN_HOST_BINARY must name the qcan-host program"
#endif

namespace {

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

HostProcess::Result HostProcess::run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                                     int signalNumber, size_t signalAfterLines, long long timeoutMs)
{
    Result r;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return r;
    const long long start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        for (const std::string& e : env)
            setenv(e.substr(0, e.find('=')).c_str(), e.substr(e.find('=') + 1).c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(QCAN_HOST_BINARY));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QCAN_HOST_BINARY, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    bool signalled = signalNumber == 0;
    long long signalTime = 0;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const long long now = nowMs();
        if (!signalled && static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n')) >= signalAfterLines) {
            kill(pid, signalNumber);
            signalled = true;
            signalTime = now;
        }
        if (now - start >= timeoutMs) {
            r.timedOut = true;
            kill(pid, SIGKILL);
        }
        const int ready = poll(fds, 2, 10);
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const long long end = nowMs();
    r.elapsedMs = end - start;
    if (signalNumber != 0 && signalTime != 0)
        r.afterSignalMs = end - signalTime;
    if (WIFEXITED(status))
        r.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        r.termSignal = WTERMSIG(status);
    return r;
}

std::vector<std::string> HostProcess::lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

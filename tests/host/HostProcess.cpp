#include "HostProcess.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include "TextFiles.h"

#ifndef QCAN_HOST_BINARY
#error "QCAN_HOST_BINARY must name the qcan-host program"
#endif

HostProcess::Result HostProcess::run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                                     int signalNumber, size_t signalAfterLines, long long timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto msSince = [](Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    };
    Result r;
    // The output goes to files, which never fill up however long the program waits to be read.
    char outPath[] = "/tmp/qcan_host_out_XXXXXX", errPath[] = "/tmp/qcan_host_err_XXXXXX";
    const int outFd = mkstemp(outPath), errFd = mkstemp(errPath);
    if (outFd < 0 || errFd < 0)
        return r;
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return r;
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        for (const std::string& e : env)
            setenv(e.substr(0, e.find('=')).c_str(), e.substr(e.find('=') + 1).c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(QCAN_HOST_BINARY)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QCAN_HOST_BINARY, argv.data());
        _exit(127);
    }
    close(outFd);
    close(errFd);
    Clock::time_point signalled = start;
    bool toSignal = signalNumber != 0;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (toSignal) {
            const std::string out = TextFiles::read(outPath);
            if (static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) >= signalAfterLines) {
                kill(pid, signalNumber);
                toSignal = false;
                signalled = Clock::now();
            }
        }
        if (msSince(start) >= timeoutMs && !r.timedOut) {
            r.timedOut = true;
            kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    r.elapsedMs = msSince(start);
    if (signalNumber != 0 && !toSignal)
        r.afterSignalMs = msSince(signalled);
    if (WIFEXITED(status))
        r.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        r.termSignal = WTERMSIG(status);
    r.out = TextFiles::read(outPath);
    r.err = TextFiles::read(errPath);
    unlink(outPath);
    unlink(errPath);
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

#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const std::string& command)
{
    stop();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = pid;
    return true;
}

int ChildProcess::wait(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, timeoutMs < 0 ? 0 : WNOHANG);
        if (r != 0) {
            pid_ = -1;
            return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= until)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void ChildProcess::stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    if (wait(2000) == -1 && pid_ > 0) {
        kill(pid_, SIGKILL);
        wait(-1);
    }
}

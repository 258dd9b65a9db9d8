#pragma once

// A shell command run beside the test (can-utils, ip), started and ended by its own process id.

#include <string>
#include <sys/types.h>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // ends a command still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::string& command);
    // Waits up to timeoutMs for the command to end; its exit status, or -1 (still running or killed).
    int wait(int timeoutMs);
    // SIGTERM (then SIGKILL after 2 s) and reap; harmless when it has ended.
    void stop();

private:
    pid_t pid_ = -1;
};

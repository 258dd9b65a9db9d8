#pragma once

// Runs qcan-host as a user does: a child process with its own environment and arguments, its
// standard output and error captured, optionally sent a signal once it has printed some lines.

#include <string>
#include <vector>

class HostProcess {
public:
    struct Result {
        int exitStatus = -1;  // -1 when it did not exit normally
        int termSignal = 0;   // the signal that ended it, if any
        bool timedOut = false;
        std::string out, err;
        long long elapsedMs = 0;       // from start to exit
        long long afterSignalMs = -1;  // from the signal to exit
    };

    // env: "NAME=value" entries set on top of the inherited environment. signalNumber, when not 0,
    // is sent as soon as standard output holds signalAfterLines complete lines.
    static Result run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                      int signalNumber = 0, size_t signalAfterLines = 0, long long timeoutMs = 15000);

    static std::vector<std::string> lines(const std::string& text);
};

#include "ReplayOptions.h"

#include <cerrno>
#include <cstdlib>

const char* const ReplayOptions::DUMMY_ADAPTER = "DUMMY_REPLAY";

bool ReplayOptions::extract(int argc, const char* const* argv, ReplayOptions& out, std::vector<std::string>& rest,
                            std::string& error)
{
    out = ReplayOptions();
    rest.clear();
    if (argc > 0)
        rest.push_back(argv[0]);
    bool replayOptionSeen = false;
    std::string firstReplayOption;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        const bool takesValue = arg == "--replay" || arg == "--replay-interval" || arg == "--pace";
        if (!takesValue && arg != "--loop") {
            rest.push_back(argv[i]);
            continue;
        }
        if (takesValue && !inlineValue) {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (arg != "--replay" && firstReplayOption.empty())
            firstReplayOption = arg;
        if (arg == "--replay") {
            if (value.empty()) {
                error = "--replay needs a log file";
                return false;
            }
            out.file = value;
        } else if (arg == "--loop") {
            if (inlineValue) {
                error = "option --loop takes no value";
                return false;
            }
            out.loop = true;
        } else if (arg == "--replay-interval") {
            errno = 0;
            char* end = nullptr;
            const long v = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || errno != 0 || *end != '\0' || v < 1 || v > 3600000) {
                error = "--replay-interval needs a whole number of milliseconds from 1 to 3600000, got '" + value + "'";
                return false;
            }
            out.intervalMs = v;
        } else if (value == "exact" || value == "classic") {
            out.pacing = value == "exact" ? Sensors::REPLAY_PACING_EXACT : Sensors::REPLAY_PACING_CLASSIC;
        } else {
            error = "--pace needs exact or classic, got '" + value + "'";
            return false;
        }
        replayOptionSeen = true;
    }
    if (replayOptionSeen && out.file.empty()) {
        error = firstReplayOption + " needs --replay";
        return false;
    }
    return true;
}

std::string ReplayOptions::usage()
{
    return "\n"
           "Replay (plays a BUSMASTER-form CAN log into the first adapter, into the dummy adapter\n"
           "DUMMY_REPLAY when no --adapter or --vendor is given; the run ends with the log):\n"
           "  --replay FILE          the log to play\n"
           "  --loop                 start again at the end of the log, until stopped\n"
           "  --replay-interval MS   one frame every MS milliseconds instead of the log's time stamps\n"
           "  --pace exact|classic   exact: every frame at its time from the start of the log (default);\n"
           "                         classic: each frame after its gap to the previous one has passed\n";
}

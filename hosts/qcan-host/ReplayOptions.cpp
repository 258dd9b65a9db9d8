#include "ReplayOptions.h"

#include <cerrno>
#include <cstdlib>

#include "OptionSplitter.h"

const char* const ReplayOptions::DUMMY_ADAPTER = "DUMMY_REPLAY";

bool ReplayOptions::extract(std::vector<std::string>& args, ReplayOptions& out, std::string& error)
{
    out = ReplayOptions();
    OptionSplitter options(args, {"--replay", "--replay-interval", "--pace"}, {"--loop"});
    bool replayOptionSeen = false;
    std::string firstReplayOption, arg, value;
    while (options.next(arg, value, error)) {
        if (arg != "--replay" && firstReplayOption.empty())
            firstReplayOption = arg;
        if (arg == "--replay") {
            if (value.empty()) {
                error = "--replay needs a log file";
                return false;
            }
            out.file = value;
        } else if (arg == "--loop") {
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
    if (!error.empty())
        return false;
    if (replayOptionSeen && out.file.empty()) {
        error = firstReplayOption + " needs --replay";
        return false;
    }
    args = options.rest();
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

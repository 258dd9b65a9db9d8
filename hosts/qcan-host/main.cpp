// qcan-host: a command-line host of the sensor plug-in. It shows every sensor on the connected
// CAN adapters live, as text on a terminal, or as JSON or XML for programs.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include <wx/init.h>

#include "HostLogging.h"
#include "HostOptions.h"
#include "HostReplay.h"
#include "HostRunner.h"
#include "MessageCatalog.h"
#include "ReplayOptions.h"

int main(int argc, char** argv)
{
    HostOptions options;
    HostLogging logging;
    ReplayOptions replayOptions;
    std::string error;
    // The recording options are taken out first, then the replay's; the rest are the host's own.
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!HostLogging::extract(args, logging, error)) {
        std::fprintf(stderr, "qcan-host: %s\n", error.c_str());
        return 2;
    }
    if (!ReplayOptions::extract(args, replayOptions, error)) {
        std::fprintf(stderr, "qcan-host: %s\n", error.c_str());
        return 2;
    }
    std::vector<const char*> hostArgv{argv[0]};
    for (const std::string& a : args)
        hostArgv.push_back(a.c_str());
    if (!HostOptions::parse(static_cast<int>(hostArgv.size()), hostArgv.data(), options, error)) {
        std::fprintf(stderr, "qcan-host: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs((HostOptions::usage() + HostLogging::usage() + ReplayOptions::usage()).c_str(), stdout);
        return 0;
    }
    if (replayOptions.enabled() && options.adapters.empty() && options.vendor.empty()) {
        // Only the log's traffic: a dummy adapter has none of its own.
        setenv("QCAN_ADAPTERS", (std::string(ReplayOptions::DUMMY_ADAPTER) + "=dummy").c_str(), 1);
        options.adapters.push_back(ReplayOptions::DUMMY_ADAPTER);
    }

    // The plug-in writes progress lines of its own to standard output. Our views keep the real
    // standard output to themselves, and the plug-in's lines go to standard error with its log.
    std::fflush(stdout);
    const int viewFd = dup(STDOUT_FILENO);
    std::FILE* out = viewFd >= 0 ? fdopen(viewFd, "w") : nullptr;
    if (!out || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "qcan-host: cannot set up standard output\n");
        return 1;
    }
    const bool terminal = isatty(viewFd) == 1;

    // Information lines (every button press, every connect step) would scroll the live table
    // away; the user's own choice wins.
    setenv("WISP_LOG_LEVEL", "warn", 0);

    HostRunner::installSignalHandlers();
    int status;
    {
        wxInitializer wx;
        if (!wx.IsOk()) {
            std::fprintf(stderr, "qcan-host: wxWidgets could not be initialised\n");
            return 1;
        }
        // Words instead of the plug-in's translation keys; without a catalogue the keys show.
        if (MessageCatalog::load().empty())
            std::fprintf(stderr, "qcan-host: no message catalogue in %s, texts are shown as their keys\n",
                         MessageCatalog::defaultFolder().c_str());
        HostRunner runner(options, out, stderr, terminal);
        if (logging.enabled())
            runner.setLogging(&logging);
        std::unique_ptr<HostReplay> replay;
        if (replayOptions.enabled()) {
            replay.reset(new HostReplay(replayOptions, stderr, isatty(STDERR_FILENO) == 1));
            runner.attach(replay.get());
        }
        status = runner.run();
    }
    std::fclose(out);
    return status;
}

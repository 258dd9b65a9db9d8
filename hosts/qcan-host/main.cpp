// qcan-host: a command-line host of the sensor plug-in. It shows every sensor on the connected
// CAN adapters live, as text on a terminal, or as JSON or XML for programs.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <wx/init.h>

#include "HostOptions.h"
#include "HostRunner.h"
#include "MessageCatalog.h"

int main(int argc, char** argv)
{
    HostOptions options;
    std::string error;
    if (!HostOptions::parse(argc, argv, options, error)) {
        std::fprintf(stderr, "qcan-host: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(HostOptions::usage().c_str(), stdout);
        return 0;
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
        status = HostRunner(options, out, stderr, terminal).run();
    }
    std::fclose(out);
    return status;
}

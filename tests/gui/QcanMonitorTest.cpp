// qcan-monitor as a process on the test's display: --config opens the dialog on its own, without it
// the diagnostics window opens; the pictures it takes are PNGs of the window.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

#include "ConfigurationFolder.h"

namespace {

int run(const std::string& arguments)
{
    const std::string command = std::string(QCAN_MONITOR_BINARY) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Width and height of a PNG picture (from its IHDR chunk); {0, 0} when the file is no PNG.
std::pair<unsigned, unsigned> pngSize(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char head[24] = {};
    if (!in.read(reinterpret_cast<char*>(head), 24) || std::string(reinterpret_cast<char*>(head), 8) != "\x89PNG\r\n\x1a\n")
        return {0, 0};
    const auto be32 = [&](int at) { return unsigned(head[at] << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3]); };
    return {be32(16), be32(20)};
}

}  // namespace

TEST(QcanMonitorTest, ConfigOpensTheDialogAndClosingItSaves)
{
    ConfigurationFolder folder;
    folder.write("<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" /></qcan>");
    const std::string png = folder.appData() + "/dialog.png";
    ASSERT_EQ(run("--config --screenshot=" + png), 0);
    // A dialog with its list, not an empty speck.
    const auto [width, height] = pngSize(png);
    EXPECT_GE(width, 200u);
    EXPECT_GE(height, 150u);
    // Closed through "Save and close": the entry has both switches written, its values kept.
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()),
              ConfigurationFolder::canonical("<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" scan=\"false\" /></qcan>"));
}

TEST(QcanMonitorTest, DefaultModeOpensTheDiagnosticsWindowAndEndsWhenItCloses)
{
    ConfigurationFolder folder;
    const std::string prefix = folder.appData() + "/monitor";
    // No adapter offered (the tests' environment): the window waits for one, and "Close" ends the
    // program with its plug-in thread stopped.
    ASSERT_EQ(run("--screenshot=" + prefix + " --page=manager"), 0);
    EXPECT_GT(pngSize(prefix + "-manager.png").first, 0u);
    EXPECT_EQ(run("--adapter=NO_SUCH_ADAPTER"), 1);
}

// qcan-monitor as a process on the test's display: --config opens the dialog on its own, without it
// the diagnostics window opens; the pictures it takes are PNGs of the window.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "ConfigurationFolder.h"

namespace {

int run(const std::string& arguments)
{
    const std::string command = std::string(QCAN_MONITOR_BINARY) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(QcanMonitorTest, ConfigOpensTheDialogAndClosingItSaves)
{
    ConfigurationFolder folder;
    const std::string file = "<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" /></qcan>";
    folder.write(file);
    const std::string png = folder.appData() + "/dialog.png";
    ASSERT_EQ(run("--config --screenshot=" + png), 0);

    std::ifstream in(png, std::ios::binary);
    std::string head(24, '\0');
    in.read(&head[0], 24);
    ASSERT_TRUE(in.good());
    EXPECT_EQ(head.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // Width and height (big-endian, IHDR): a dialog with its list, not an empty speck.
    const auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
               (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
    };
    EXPECT_GE(be32(16), 200u);
    EXPECT_GE(be32(20), 150u);

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
    std::ifstream in(prefix + "-manager.png", std::ios::binary);
    std::string head(8, '\0');
    in.read(&head[0], 8);
    EXPECT_TRUE(in.good());
    EXPECT_EQ(head, "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(run("--adapter=NO_SUCH_ADAPTER"), 1);
}

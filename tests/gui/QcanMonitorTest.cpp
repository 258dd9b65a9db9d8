// qcan-monitor as a process on the test's display: --config opens the dialog on its own; the
// picture it takes is a PNG of the window.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "ConfigurationFolder.h"
#include "TextFiles.h"

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
    folder.write("<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" /></qcan>");
    ASSERT_EQ(run("--config --screenshot=" + folder.appData() + "/dialog.png"), 0);
    const std::string png = TextFiles::read(folder.appData() + "/dialog.png");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // Width and height (big-endian in the IHDR chunk): a dialog with its list, not an empty sliver.
    EXPECT_GE(uint8_t(png[18]) << 8 | uint8_t(png[19]), 200);
    EXPECT_GE(uint8_t(png[22]) << 8 | uint8_t(png[23]), 150);
    // Closed through "Save and close": the entry has both switches written, its values kept.
    const std::string saved = "<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" scan=\"false\" /></qcan>";
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(saved));
}

TEST(QcanMonitorTest, AnAdapterThatIsNotOfferedEndsTheProgramWithStatusOne)
{
    EXPECT_EQ(run("--adapter=NO_SUCH_ADAPTER"), 1);
}

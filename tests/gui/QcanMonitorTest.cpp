// qcan-monitor as a process on the test's display: --config opens the dialog on its own; the
// picture it takes is a PNG of the window.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "ConfigurationFolder.h"
#include "TextFiles.h"

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
    const std::string head = TextFiles::read(file).substr(0, 24);
    if (head.size() < 24 || head.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return {0, 0};
    const auto be16 = [&](int at) { return unsigned(uint8_t(head[at]) << 8 | uint8_t(head[at + 1])); };
    return {be16(18), be16(22)};  // the low halves of the 32-bit fields: no window is wider
}

}  // namespace

TEST(QcanMonitorTest, ConfigOpensTheDialogAndClosingItSaves)
{
    ConfigurationFolder folder;
    folder.write("<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" /></qcan>");
    ASSERT_EQ(run("--config --screenshot=" + folder.appData() + "/dialog.png"), 0);
    const auto [width, height] = pngSize(folder.appData() + "/dialog.png");
    EXPECT_GE(width, 200u);  // a dialog with its list, not an empty speck
    EXPECT_GE(height, 150u);
    // Closed through "Save and close": the entry has both switches written, its values kept.
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()),
              ConfigurationFolder::canonical("<qcan><cua name=\"SIM_EXCAVATOR\" enable=\"true\" scan=\"false\" /></qcan>"));
}

TEST(QcanMonitorTest, AnAdapterThatIsNotOfferedEndsTheProgramWithStatusOne)
{
    EXPECT_EQ(run("--adapter=NO_SUCH_ADAPTER"), 1);
}

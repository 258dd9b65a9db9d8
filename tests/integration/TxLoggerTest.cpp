// The transmit logger of an adapter: switched on and off by the adapter, fed by every frame the
// adapter sends (direct and delayed), written out from the adapter's passes, and its file name, line
// format and closing text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>

#include "Clock.h"
#include "LogCapture.h"
#include "ScopedEnv.h"
#include "TestAdapter.h"
#include "TextFiles.h"

using namespace Sensors;

namespace {

using TextFiles::timeText;

std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

}  // namespace

TEST(TxLogger, SwitchedOnByTheAdapterAndFedByDirectAndDelayedSends)
{
    // The user configuration folder is a fresh temporary one.
    char dir[] = "/tmp/qcan_txlog_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string config = dir, logDir = config + "/Quillard/qcan/log";
    ScopedEnv xdg("XDG_CONFIG_HOME", config);
    TestAdapter a("DUMMY1", 1);
    ASSERT_TRUE(a.connect());
    {
        // The logger does not make its folder: without it the failures are logged and sending goes on.
        LogCapture log;
        a.device()->setTxLoggerEnabled(true);
        EXPECT_EQ(log.countPrefix(WispLogLevels::Warning, "FAILED TO CREATE QCAN LOGFILE:\n" + logDir + "/DUMMY1_"), 1);
        _TGENERIC_CAN_FRAME_HEADER h{0x1FFFFFFF, 1, 0, 8};
        uint8_t zero[8] = {0};
        for (int i = 0; i < 30; ++i)
            EXPECT_GE(a.device()->SendCanMessage(&h, zero, false), 0);
        a.pass();
        EXPECT_EQ(log.countPrefix(WispLogLevels::Warning, "FAILED TO OPEN QCAN LOGFILE: " + logDir + "/DUMMY1_"), 1);
        EXPECT_EQ(a.sentFrames().size(), 30u);
        a.device()->setTxLoggerEnabled(false);
        a.clearSent();
    }
    ASSERT_EQ(std::system(("mkdir -p " + logDir).c_str()), 0);
    const unsigned long long created = Clock::wallMs();
    a.device()->setTxLoggerEnabled(true);
    const std::string name = "DUMMY1_" + timeText(created, "%Y-%m-%d_%H-%M-%S") + "__TXLOG.log";
    ASSERT_EQ(filesIn(logDir), std::vector<std::string>{name});
    const std::string path = logDir + "/" + name;
    const std::string first = "Logfile created " + timeText(created, "%Y-%m-%d %H:%M:%S") + "\n";
    EXPECT_EQ(TextFiles::read(path), first);

    _TGENERIC_CAN_FRAME_HEADER direct{0x100117, 1, 0, 2};
    uint8_t data[8] = {0x01, 0xA0, 0xEE};
    EXPECT_GE(a.device()->SendCanMessage(&direct, data, false), 0);
    _TGENERIC_CAN_FRAME_HEADER delayed{0x123, 0, 0, 0};
    EXPECT_EQ(a.device()->SendCanMessage(&delayed, data, true), 1);
    EXPECT_EQ(a.sentFrames().size(), 2u);  // runs the passes that send the delayed frame
    // Short of 1024 characters the lines wait in memory.
    EXPECT_EQ(TextFiles::read(path), first);

    a.device()->setTxLoggerEnabled(false);
    EXPECT_EQ(TextFiles::read(path), first +
                                  " 000100117 EXT=1 RTR=0 DLC=2 QuilDevType=001 QuilDevNumber=023 QuilMsg=000 "
                                  "QuilCmd=004 QuilErr=0  Data: 01 A0 \n"
                                  " 000000123 EXT=0 RTR=0 DLC=0 QuilDevType=001 QuilDevNumber=035 QuilMsg=000 "
                                  "QuilCmd=000 QuilErr=0 \n"
                                  "\nEnd of log");

    // Switched off, sending goes on and nothing more is written.
    EXPECT_GE(a.device()->SendCanMessage(&direct, data, false), 0);
    a.pass();
    EXPECT_EQ(filesIn(logDir).size(), 1u);
    EXPECT_EQ(TextFiles::read(path).substr(TextFiles::read(path).size() - 10), "End of log");

    // A new log; from 1024 characters on, the lines are written from the adapter's passes. Maker
    // fields are read from every identifier, whatever its protocol: here 29 bits all set.
    Clock::advance(1000);
    const unsigned long long before = Clock::wallMs();
    a.device()->setTxLoggerEnabled(true);
    const unsigned long long after = Clock::wallMs();
    // The logger reads the clock itself: its second is the one before or after switching on.
    const auto stamped = [&](const std::string& text, const char* format) {
        return text == timeText(before, format) || text == timeText(after, format);
    };
    const std::vector<std::string> files = filesIn(logDir);
    ASSERT_EQ(files.size(), 2u);
    const std::string secondName = files[0] == name ? files[1] : files[0];
    EXPECT_TRUE(stamped(secondName, "DUMMY1_%Y-%m-%d_%H-%M-%S__TXLOG.log")) << secondName;
    _TGENERIC_CAN_FRAME_HEADER all{0x1FFFFFFF, 1, 1, 8};
    uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int i = 0; i < 12; ++i)
        a.device()->SendCanMessage(&all, eight, false);
    a.pass();
    std::string lines;
    for (int i = 0; i < 12; ++i)
        lines += " 01FFFFFFF EXT=1 RTR=1 DLC=8 QuilDevType=127 QuilDevNumber=127 QuilMsg=255 QuilCmd=007 "
                 "QuilErr=1  Data: 01 02 03 04 05 06 07 08 \n";
    const std::string text = TextFiles::read(logDir + "/" + secondName);
    const size_t header = text.find('\n') + 1;
    EXPECT_TRUE(stamped(text.substr(0, header), "Logfile created %Y-%m-%d %H:%M:%S\n")) << text;
    EXPECT_EQ(text.substr(header), lines);
    a.device()->setTxLoggerEnabled(false);
    std::system(("rm -rf " + config).c_str());
}

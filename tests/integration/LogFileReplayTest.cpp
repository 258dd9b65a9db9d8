// Log replay into a dummy adapter: refused files and their texts, frames and timing of BUSMASTER logs
// under the hand-driven clock, loop and position, deletion of a running replay, bad lines and a
// vanished adapter. The frames are seen where a parser sees them: in the adapter's parser list.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "Clock.h"
#include "DummyBus.h"
#include "FrameText.h"
#include "LogCapture.h"
#include "LogFileReplay.h"
#include "TestAdapter.h"
#include "TextFiles.h"

using Sensors::Clock;
using Replay = Sensors::LogFileReplay;
using WispLogLevels::Information;
using WispLogLevels::Warning;

namespace {

// The header our logger writes, up to and including the column line (11 lines).
std::vector<std::string> loggerHeader()
{
    return {"***BUSMASTER Ver 1.8.0***", "***PROTOCOL CAN***", "***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***",
            "***NOTE: CREATED WITH QUILLARD DATALOGGER***", "***START DATE AND TIME 05:12:2026 10:00:00:0000***",
            "***HEX***", "***SYSTEM MODE***", "***START CHANNEL BAUD RATE***",
            "***CHANNEL 1 - DUMMY1 - 0h - 250000 bps***", "***END CHANNEL BAUD RATE***",
            "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***"};
}

// A log file in the test's temporary folder, removed at the end; named after the process too, as
// test programs of several build trees may run at once.
class LogFile {
public:
    explicit LogFile(const std::string& name)
        : path_(std::string(::testing::TempDir()) + "qcan_replay_" + std::to_string(getpid()) + "_" + name)
    {
    }
    ~LogFile() { std::remove(path_.c_str()); }
    void write(const std::vector<std::string>& lines) const
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        for (const std::string& l : lines)
            out << l << "\r\n";  // the line ends of the machines the logs come from
    }
    void writeLog(const std::vector<std::string>& data) const
    {
        std::vector<std::string> lines = loggerHeader();
        lines.insert(lines.end(), data.begin(), data.end());
        lines.push_back("***END DATE AND TIME 05:12:2026 10:00:09:***");
        lines.push_back("***[STOP LOGGING SESSION]***");
        write(lines);
    }
    const std::string& path() const { return path_; }
    std::string name() const { return path_.substr(path_.rfind('/') + 1); }
    wxString wxPath() const { return wxString::FromUTF8(path_.c_str()); }

private:
    std::string path_;
};

struct Seen {
    _TGENERIC_CAN_FRAME frame;
    unsigned long long at;  // clock time when the parser saw it
};

// The adapter's only parser: records every frame with the clock time and claims it.
class Recorder {
public:
    explicit Recorder(TestAdapter& a)
    {
        a.device()->deleteAllParsers();
        a.device()->addParser(&Recorder::parse, this);
    }
    std::vector<Seen> frames()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return frames_;
    }
    size_t count() { return frames().size(); }

private:
    static PARSE_RESULT parse(void* frame, void*, void* context)
    {
        Recorder* self = static_cast<Recorder*>(context);
        std::lock_guard<std::mutex> guard(self->mutex_);
        self->frames_.push_back({static_cast<RxCANFrameT*>(frame)->frame, Clock::wallMs()});
        return PARSE_RESULT_OK;
    }
    std::mutex mutex_;
    std::vector<Seen> frames_;
};

// Waits until the replay thread sleeps on the hand-driven clock; false when it has ended.
bool asleep(Replay* replay)
{
    for (int i = 0; i < 400; ++i) {
        if (Clock::waitForSleepers(1, 5))
            return true;
        if (replay && replay->getStatus() == Sensors::REPLAY_END)
            return false;
    }
    return false;
}

// Moves the hand-driven clock 1 ms at a time, each step once the thread sleeps again; false once it ended.
bool step(unsigned int ms, Replay* replay = nullptr)
{
    for (unsigned int i = 0; i < ms; ++i) {
        if (!asleep(replay))
            return false;
        Clock::advance(1);
    }
    return asleep(replay);
}

bool stepUntil(Recorder& r, size_t n, unsigned int limitMs, Replay* replay = nullptr)
{
    for (unsigned int i = 0; i < limitMs && r.count() < n; ++i)
        if (!step(1, replay))
            break;
    return r.count() >= n;
}

// Waits in real time, without moving the clock, for the frames a pass sends at once (stepping right
// after start() could count the thread's cancelled idle wait as a sleeper).
bool waitFrames(Recorder& r, size_t n)
{
    for (int i = 0; i < 3000 && r.count() < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return r.count() >= n;
}

bool waitStatus(Replay& replay, int status)
{
    for (int i = 0; i < 600 && replay.getStatus() != status; ++i) {
        Clock::advance(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return replay.getStatus() == status;
}

std::vector<std::string> texts(const std::vector<Seen>& seen)
{
    std::vector<std::string> out;
    for (const Seen& s : seen)
        out.push_back(frameText(s.frame));
    return out;
}

// What the constructor prints, and the replay's status right after it.
std::pair<std::string, int> construct(const LogFile& file, int cuaId)
{
    ::testing::internal::CaptureStdout();
    Replay r(file.wxPath(), cuaId, false, false, -1, true);
    const int status = r.getStatus();
    return {::testing::internal::GetCapturedStdout(), status};
}

// Each test waits until the (detached) replay threads it started have ended; one left running fails it.
class LogFileReplay : public ::testing::Test {
protected:
    static int threadCount()
    {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
    }
    void TearDown() override
    {
        for (int i = 0; i < 1000 && threadCount() > threads; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_LE(threadCount(), threads);
    }
    // Counted after one thread has come and gone: a thread sanitizer starts its own helper thread
    // with the first thread of the process, and that one stays.
    const int threads = (std::thread([] {}).join(), threadCount());
};

}  // namespace

TEST_F(LogFileReplay, WhichFilesAreReplayedAndTheMessagesOfThoseRefused)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogCapture log;
    LogFile file("refused.log");
    const std::pair<std::string, int> notGood = {"Replay file was not good\n", -1};
    Replay missing(file.wxPath(), 1, false, false, -1, true);  // the file does not exist yet
    EXPECT_EQ(missing.toString(), "[ERROR] ");  // as the replay window lists it
    EXPECT_TRUE(log.has(Information, "Replay file open failed : " + file.path()));

    // Each marker missing in turn, in the order they are checked.
    const std::vector<std::pair<std::string, std::string>> markers = {
        {"***BUSMASTER Ver 1.8.0***", "Replay file missing ***BUSMASTER Ver"},
        {"***PROTOCOL CAN***", "Replay file missing ***PROTOCOL CAN*** "},
        {"***HEX***", "Replay file missing data format"},
        {"***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***",
         "Replay file start of data missing ***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>*** "}};
    const std::vector<std::string> data = {"10:00:00:000 Rx 1 0x10 s 1 01", "10:00:00:001 Rx 1 0x10 s 1 02"};
    for (const auto& m : markers) {
        std::vector<std::string> lines;
        for (const std::string& l : loggerHeader())
            if (l != m.first)
                lines.push_back(l);
        lines.insert(lines.end(), data.begin(), data.end());
        file.write(lines);
        log.clear();
        EXPECT_EQ(construct(file, 1), notGood) << m.second;
        EXPECT_EQ(log.count(Information, m.second), 1) << m.second;
    }

    // Without an END line (a logger that was not closed) the file is a log, but its data has no end.
    std::vector<std::string> open = loggerHeader();
    open.insert(open.end(), data.begin(), data.end());
    file.write(open);
    EXPECT_TRUE(Replay::validateLogFile(file.wxPath()));
    const std::pair<std::string, int> unended = construct(file, 1);
    EXPECT_NE(unended.first.find("Logfile error\n"), std::string::npos) << unended.first;
    EXPECT_EQ(unended.second, -1);
    file.writeLog(data);
    EXPECT_EQ(construct(file, 7), std::make_pair(std::string("Bad CUAID for replay\n"), -1));

    // BUSMASTER 1.x writes no column line: its frames follow the database block.
    file.write({"***BUSMASTER Ver 1.6.3***", "***PROTOCOL CAN***", "***[START LOGGING SESSION]***",
                "***START DATE AND TIME 28:5:2012 15:50:19:111***", "***HEX***", "***SYSTEM MODE***",
                "***START DATABASE FILES (DBF/DBC)***", "***END DATABASE FILES (DBF/DBC)***",
                "15:50:23:6543 Rx 2 0x661 s 3 00 00 01 ", "15:50:23:7539 Rx 2 0x10D s 1 02 ",
                "***END DATE AND TIME 28:5:2012 15:50:38:876***", "***[STOP LOGGING SESSION]***"});
    EXPECT_EQ(construct(file, 1).second, 1) << "a running replay";
}

TEST_F(LogFileReplay, BusmasterLogsReplayWithTheirTrueGapsAcrossSessionsAndMidnight)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogFile file("busmaster.log");
    // As BUSMASTER writes them: a first session without frames, then a HEX session whose frames are
    // stamped past its END time, then a DEC session; tenths of a millisecond; remote frames "xr".
    file.write({"***BUSMASTER Ver 1.6.3***", "***PROTOCOL CAN***", "***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***",
                "***[START LOGGING SESSION]***", "***START DATE AND TIME 28:5:2012 15:48:44:33***", "***HEX***",
                "***SYSTEM MODE***", "***START CHANNEL BAUD RATE***",
                "***CHANNEL 1 - Vector - Virtual Channel 1 SN - 0 Channel Index - 0 - 500.000 Kbps***",
                "***END CHANNEL BAUD RATE***", "***END DATE AND TIME 28:5:2012 15:48:53:127***",
                "***[STOP LOGGING SESSION]***", "", "***BUSMASTER Ver 1.6.3***", "***PROTOCOL CAN***",
                "***[START LOGGING SESSION]***", "***START DATE AND TIME 28:5:2012 15:50:19:111***", "***HEX***",
                "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***",
                "15:50:39:0541 Tx 1 0x661 s 3 00 00 00 ", "15:50:39:0541 Rx 2 0x661 s 3 00 00 01 ",
                "15:50:39:1541 Rx 2 0x10D s 8 00 00 00 00 00 00 00 02 ",  // 100.0 ms later
                "15:50:39:1542 Rx 2 0x200 xr 8 00 00 00 00 00 00 00 00 ",  // 0.1 ms later
                "***END DATE AND TIME 28:5:2012 15:50:38:876***", "***[STOP LOGGING SESSION]***", "",
                "***BUSMASTER Ver 2.0.0***", "***PROTOCOL CAN***", "***START DATE AND TIME 5:6:2013 23:59:59:0***",
                "***DEC***", "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***",
                "23:59:59:9900 Rx 1 0033 s 1 003 ",  // hours after the last session: no wait
                "00:00:00:0100 Rx 1 0033 s 1 004 ",  // past midnight: 20 ms later
                "2013-06-06T00:00:00:050 Rx 1 0033 s 1 005 ",  // the date-and-time form
                "2013-06-06T00:00:00:060 Rx 1 0033 s 1 006 ", "***END DATE AND TIME 6:6:2013 0:0:1:0***",
                "***[STOP LOGGING SESSION]***"});

    for (Sensors::ReplayPacing pacing : {Sensors::REPLAY_PACING_CLASSIC, Sensors::REPLAY_PACING_EXACT}) {
        Recorder rec(a);
        Replay replay(file.wxPath(), 1, false, false, -1, true, pacing);
        ASSERT_TRUE(stepUntil(rec, 7, 400, &replay)) << pacing;
        const std::vector<Seen> s = rec.frames();
        ASSERT_EQ(texts(s), (std::vector<std::string>{"0x661 | 00 00 01", "0x10D | 00 00 00 00 00 00 00 02",
                                                      "0x200 x r | 00 00 00 00 00 00 00 00", "0x21 | 03", "0x21 | 04",
                                                      "0x21 | 05", "0x21 | 06"}));
        // Classic: strictly more than the gap since the previous frame went out; exact: the gap
        // rounded up to the clock's millisecond.
        const bool classic = pacing == Sensors::REPLAY_PACING_CLASSIC;
        EXPECT_EQ(s[1].at - s[0].at, classic ? 101u : 100u);
        EXPECT_EQ(s[2].at - s[1].at, 1u);
        EXPECT_LE(s[3].at - s[2].at, 1u);
        EXPECT_EQ(s[4].at - s[3].at, classic ? 21u : 20u);
        // The date-and-time form counts from its own first frame: a new time line, no stall.
        EXPECT_LE(s[5].at - s[4].at, 1u);
        EXPECT_EQ(s[6].at - s[5].at, classic ? 11u : 10u);
    }
}

TEST_F(LogFileReplay, PositionLoopAndEndOfDataWithTheirTexts)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    Recorder rec(a);
    LogCapture log;
    LogFile file("loop.log");
    file.writeLog({"10:00:00:000 Rx 1 0x10 s 1 00", "10:00:00:001 Rx 1 0x10 s 1 01", "10:00:00:002 Rx 1 0x10 s 1 02",
                   "10:00:00:003 Rx 1 0x10 s 1 03"});
    Replay replay(file.wxPath(), 1, true, false, 1, false);
    const std::string shown = file.name() + " -> CUA#1 (";

    replay.setNewStartPos(3);  // refused: beyond the data
    replay.setNewStartPos(-1);
    EXPECT_EQ(replay.toString().ToStdString(), "[PAUSE] " + shown + "0 / 3)");
    replay.setNewStartPos(0);
    EXPECT_EQ(replay.toString().ToStdString(), "[PAUSE] " + shown + "1 / 3)");
    EXPECT_EQ(log.count(Information, "LogFileReplayThread new position was set too much !!!"), 2);

    // Paused, nothing goes out. Started, from the second data line; the loop restarts there too.
    ASSERT_TRUE(step(300));
    EXPECT_EQ(rec.count(), 0u);
    replay.start();
    ASSERT_TRUE(waitFrames(rec, 1));
    EXPECT_EQ(replay.toString().ToStdString(), "[ >>  ] " + shown + "2 / 3)");
    ASSERT_TRUE(stepUntil(rec, 6, 100, &replay)) << rec.count() << " frames; " << replay.toString();
    replay.setLoop(false);
    ASSERT_TRUE(waitStatus(replay, 2)) << replay.toString();
    EXPECT_EQ(replay.toString().Left(8), "[ END ] ");
    std::vector<int> order;
    for (const Seen& s : rec.frames())
        order.push_back(s.frame.data[0]);
    ASSERT_GE(order.size(), 6u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 6), (std::vector<int>{1, 2, 3, 1, 2, 3}));
    EXPECT_FALSE(replay.getThreadActive());
}

TEST_F(LogFileReplay, DeletionWhileRunningPausedOrInALongPauseIsPrompt)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    Recorder rec(a);
    LogFile file("delete.log");
    file.writeLog({"10:00:00:000 Rx 1 0x10 s 1 00", "10:00:00:000 Rx 1 0x10 s 1 01", "10:00:10:000 Rx 1 0x10 s 1 02"});
    // Waiting out a 10 s gap of the log, inside a 10-minute fixed pause, paused: the wait is cut short.
    const std::pair<int, bool> cases[] = {{-1, true}, {600000, true}, {-1, false}};
    for (const auto& c : cases) {
        auto* replay = new Replay(file.wxPath(), 1, false, false, c.first, c.second);
        ASSERT_TRUE(step(5));
        const auto t0 = std::chrono::steady_clock::now();
        delete replay;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500)) << c.first << c.second;
    }
    EXPECT_EQ(rec.count(), 3u) << "two frames before the 10 s gap, one before the long pause";
}

TEST_F(LogFileReplay, BadLinesArePassedOverWithAWarningAndAFileDeletedWhileReplayingPlaysOn)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    Recorder rec(a);
    LogCapture log;
    auto file = std::make_unique<LogFile>("bad.log");
    const char raw[] = "\x01\xff\xfe\x00\x80 Rx \x7f\xc3\x28 s 8 zz";
    // Odd but valid: no "0x", a DLC above 8 keeps eight bytes, a remote frame gets its length, no data.
    file->writeLog({"10:00:00:000 Rx 1 0x10 s 1 01", "10:00:00:000 Rx 1 123 s 2 0A ff",
                    "10:00:00:000 Tx 1 0x100 s 1 AA",
                    "10:00:00:000 Rx 1 0x7 s 12 01 02 03 04 05 06 07 08 09 0A 0B 0C", "10:00:00:000 Rx 1 0x7FF sr 4",
                    "10:00:00:000 Rx 1 0x1FFFFFFF x 0", "10:00:00:001 Rx 1 0x1F5 x 8 01 02",  // truncated
                    std::string(raw, sizeof raw - 1), std::string(10 * 1024 * 1024, '7'),
                    std::string(1024 * 1024, ' ') + "x", "10:00:00:002 Rx 1 0x10 s 1", "10:00:00:002 Rx 1 0x800 s 0",
                    "10:00:00:002 Rx 1 0x10 s 99999999999", "99999999999:99999:9999999:99999999 Rx 1 0x10 s 1 02",
                    "10:00:00:003 Rx 1 0x10 s 1 03"});
    Replay replay(file->wxPath(), 1, false, false, 1, true);
    file.reset();  // deleted: the replay holds the whole log already
    ASSERT_TRUE(stepUntil(rec, 7, 200, &replay));
    ASSERT_TRUE(waitStatus(replay, 2));
    // The absurd time still reads as a time.
    EXPECT_EQ(texts(rec.frames()),
              (std::vector<std::string>{"0x10 | 01", "0x123 | 0A FF", "0x7 | 01 02 03 04 05 06 07 08",
                                        "0x7FF r | 00 00 00 00", "0x1FFFFFFF x |", "0x10 | 02", "0x10 | 03"}));
    EXPECT_EQ(log.countPrefix(Warning, "Replay passed over line "), 7);
    bool truncatedNamed = false;
    for (const auto& m : log.messages())
        truncatedNamed |= m.message.find("line 18 of") != std::string::npos &&
                          m.message.find(": fewer data bytes than the DLC") != std::string::npos;
    EXPECT_TRUE(truncatedNamed);
}

TEST_F(LogFileReplay, AnAdapterRemovedWhileReplayingHoldsTheReplay)
{
    auto a = std::make_unique<TestAdapter>("DUMMY1", 1);
    TestAdapter second("DUMMY2", 2);  // keeps the hand-driven clock when the first one goes
    ASSERT_TRUE(a->connect());
    Recorder rec(*a);
    LogCapture log;
    LogFile file("removed.log");
    file.writeLog({"10:00:00:000 Rx 1 0x10 s 1 01", "10:00:00:001 Rx 1 0x10 s 1 02", "10:00:00:002 Rx 1 0x10 s 1 03"});
    Replay replay(file.wxPath(), 1, false, false, 1, true);
    // The first frame goes out at once; once the thread sleeps again its pass has ended and the
    // position is settled (a woken thread still counts as asleep until it runs).
    ASSERT_TRUE(waitFrames(rec, 1));
    ASSERT_TRUE(asleep(&replay));
    const std::string position = std::to_string(replay.getPosition());
    ::testing::internal::CaptureStdout();
    a.reset();  // between two passes: the replay thread sleeps on the clock
    const bool stepped = step(300);
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(stepped);
    EXPECT_NE(out.find("LogReplay:: No CUA Device\n"), std::string::npos);
    EXPECT_EQ(log.countPrefix(Warning, "Replay of "), 1);
    EXPECT_EQ(replay.toString().ToStdString(), "[ >>  ] " + file.name() + " -> CUA#1 (" + position + " / 2)");
}

// Asked to, the replay reports the bus state as the adapter library would: an adapter without status
// reports of its own stays connected; not asked, it times out.
TEST_F(LogFileReplay, BusStateReportsKeepAnAdapterWithoutStatusReportsConnected)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    a.setAutoReport(false);
    DummyBus::instance().setStatusReports(a.name(), false);
    LogFile file("busstate.log");
    file.writeLog({"10:00:00:000 Rx 1 0x10 s 1 01", "10:00:00:000 Rx 1 0x10 s 1 02"});
    for (bool report : {true, false}) {
        Replay replay(file.wxPath(), 1, true, report, 20, true);
        for (int i = 0; i < 600 && a.device()->getQCANDevStatus() == QCAN_STATUS_CONNECTED; ++i) {
            ASSERT_TRUE(asleep(&replay));
            a.pass(10);
        }
        EXPECT_EQ(a.device()->getQCANDevStatus() == QCAN_STATUS_CONNECTED, report) << report;
    }
}

TEST_F(LogFileReplay, ABusmasterLogGivesTheFramesAndTimesTsharkReadsFromIt)
{
    ASSERT_EQ(std::system("command -v tshark >/dev/null 2>&1"), 0)
        << "tshark is not installed (scripts/setup-deps.sh installs it)";
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogFile file("tshark.log");
    // A log as BUSMASTER 2 writes it, with its session and database blocks.
    file.write({"***BUSMASTER Ver 2.0.0***", "***PROTOCOL CAN***", "***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***",
                "***[START LOGGING SESSION]***", "***START DATE AND TIME 10:6:2013 14:15:13:50***", "***HEX***",
                "***SYSTEM MODE***", "***START CHANNEL BAUD RATE***",
                "***CHANNEL 1 - Kvaser - Virtual #0 (Channel 0) - 500000 bps***", "***END CHANNEL BAUD RATE***",
                "***START DATABASE FILES (DBF/DBC)***", "***END DATABASE FILES (DBF/DBC)***",
                "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***",
                "14:15:14:4909 Rx 1 0x100 x 8 00 11 22 33 44 55 66 77 ", "14:15:14:5000 Rx 1 0x7FF s 3 AA BB CC ",
                "14:15:14:5001 Rx 1 0x18FFB93C xr 8 00 00 00 00 00 00 00 00 ", "14:15:15:0011 Rx 1 0x123 s 0 ",
                "14:15:16:9999 Rx 1 0x1F5 x 8 01 02 03 04 05 06 07 08 ", "14:15:17:0000 Rx 1 0x10 s 1 7F ",
                "***END DATE AND TIME 10:6:2013 14:15:17:414***", "***[STOP LOGGING SESSION]***"});
    int status = -1;
    const std::string out = TextFiles::commandOutput("tshark -r '" + file.path() +
                                                         "' -T fields -E separator=/t -e frame.time_relative -e can.id "
                                                         "-e can.flags.xtd -e can.flags.rtr -e can.len -e data.data "
                                                         "2>/dev/null",
                                                     &status);
    ASSERT_EQ(status, 0) << out;

    // What tshark read, as frame lines and millisecond offsets from the first frame rounded up to the
    // clock's millisecond: exact pacing keeps to them, also where frames are closer than that.
    std::vector<std::string> read;
    std::vector<unsigned long long> readAt;
    std::istringstream in(out);
    for (std::string row; std::getline(in, row);) {
        std::vector<std::string> col = TextFiles::tabFields(row);
        col.resize(6);
        _TGENERIC_CAN_FRAME f{};
        f.header = {static_cast<uint32_t>(std::stoul(col[1])), col[2] == "1" || col[2] == "True",
                    col[3] == "1" || col[3] == "True", static_cast<uint16_t>(std::stoul(col[4]))};
        for (size_t b = 0; !f.header.rtr && 2 * b + 1 < col[5].size() && b < 8; ++b)
            f.data[b] = static_cast<uint8_t>(std::stoul(col[5].substr(2 * b, 2), nullptr, 16));
        read.push_back(frameText(f));
        readAt.push_back(static_cast<unsigned long long>(std::ceil(std::stod(col[0]) * 1000.0 - 1e-6)));
    }
    ASSERT_EQ(read.size(), 6u) << out;
    Recorder rec(a);
    Replay replay(file.wxPath(), 1, false, false, -1, true, Sensors::REPLAY_PACING_EXACT);
    ASSERT_TRUE(stepUntil(rec, 6, 4000, &replay));
    const std::vector<Seen> seen = rec.frames();
    EXPECT_EQ(texts(seen), read);
    std::vector<unsigned long long> at;
    for (const Seen& s : seen)
        at.push_back(s.at - seen[0].at);
    EXPECT_EQ(at, readAt);
}

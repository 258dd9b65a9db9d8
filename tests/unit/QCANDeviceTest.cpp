// The adapter object's connection state machine, driven pass by pass against dummy adapters of our
// adapter library, with the plug-in's clock driven by hand.
#include <gtest/gtest.h>

#include <utility>

#include <wx/filename.h>

#include "Clock.h"
#include "DummyBus.h"
#include "LogCapture.h"
#include "QCANDevice.h"
#include "QCANLibrary.h"
#include "ScopedEnv.h"
#include "TestAdapter.h"

using Sensors::Clock;
using Sensors::QCANDevice;
using W = WispLogLevels::WispLevel;

namespace {

const W Info = WispLogLevels::Information;
const W Warn = WispLogLevels::Warning;
const W Err = WispLogLevels::Error;

// Runs passes of stepMs until the status is reached; the number of passes, or -1.
int passUntil(TestAdapter& a, int status, int maxPasses = 2000, unsigned long long stepMs = 10)
{
    for (int i = 1; i <= maxPasses; ++i)
        if (a.pass(stepMs) == status)
            return i;
    return -1;
}

// The adapter and the dummy behind it stop sending status reports.
void silence(TestAdapter& a)
{
    a.setAutoReport(false);
    DummyBus::instance().setStatusReports(a.name(), false);
}

}  // namespace

TEST(QCANDevice, MissingLibraryStaysUninitializedAndRetriesEvery2500ms)
{
    TestAdapter a;
    ScopedEnv path("QCAN_API_PATH", "/nonexistent-folder");
    LogCapture log;
    EXPECT_EQ(a.pass(), QCAN_STATUS_UNINITIALIZED);
    EXPECT_EQ(log.count(Err, "QCANDevice init failed CUAID1"), 1);
    for (int t = 0; t < 2490; t += 10)
        a.pass();
    EXPECT_EQ(log.count(Err, "Failed to load QCAN API library"), 1) << "retried before 2500 ms";
    a.pass(20);
    EXPECT_EQ(log.count(Err, "Failed to load QCAN API library"), 2);
}

TEST(QCANDevice, LibraryWithoutInitEntryPointsOrRefusingInitFails)
{
    TestAdapter a;
    {
        const wxString folder = wxFileName(Sensors::QCANLibrary::libraryPath()).GetPath();
        ScopedEnv path("QCAN_API_PATH", folder.utf8_string() + "/noinit");
        LogCapture log;
        EXPECT_EQ(a.pass(), QCAN_STATUS_UNINITIALIZED);
        EXPECT_EQ(log.count(Err, "Failed to load QCAN API init functions"), 1);
    }
    DummyBus::instance().setLibraryFaults(true, false);
    LogCapture log;
    EXPECT_EQ(passUntil(a, -100, 510), -1);
    EXPECT_EQ(log.count(Err, "QCANDevice::init() QCAN API Init failed"), 2) << "one try per 2500 ms";
    DummyBus::instance().setLibraryFaults(false, false);
    EXPECT_TRUE(a.connect());
}

TEST(QCANDevice, AdapterThatCannotBeOpenedBacksOffUpTo3500ms)
{
    TestAdapter a;
    DummyBus::instance().setRefuseOpen(a.name(), true);
    LogCapture log;
    ASSERT_GT(passUntil(a, QCAN_STATUS_INITIALIZED), 0);
    ASSERT_GT(passUntil(a, QCAN_STATUS_UNINITIALIZED), 0);
    EXPECT_EQ(log.count(Err, "QCANDevice::Connect Failed to initialize CUA DUMMY1"), 1);
    // The next open is tried after the random back-off (0 to 3500 ms) plus the 250 ms gates.
    int elapsed = 0;
    while (log.count(Err, "QCANDevice connect failed CUAID1") < 2 && elapsed < 10000) {
        a.pass();
        elapsed += 10;
    }
    EXPECT_LE(elapsed, 3500 + 2 * 260);
    DummyBus::instance().setRefuseOpen(a.name(), false);
    EXPECT_TRUE(a.connect());
    EXPECT_EQ(log.count(Info, "QCANDevice connected successfully CUAID1"), 1);
}

TEST(QCANDevice, SilentAdapterTimesOutFlagsItsSensorsAndCloses)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    silence(a);
    DummyBus::instance().reportStatusNow(a.name());

    LogCapture log;
    ASSERT_EQ(a.pass(1500), QCAN_STATUS_CONNECTED) << "1500 ms of silence is not yet a timeout";
    ASSERT_EQ(a.pass(1), QCAN_STATUS_TIMEOUT);
    EXPECT_EQ(log.count(Warn, "QCANDevice timeout CUAID1 : 1501 ms since last good status message "), 1);
    EXPECT_EQ(a.device()->getErrorCount(), 1u);
    a.pass(1499);  // 3000 ms after the report: nothing yet
    EXPECT_FALSE(a.device()->getRemoveSensorsFlag());
    a.pass(1);
    EXPECT_TRUE(a.device()->getRemoveSensorsFlag()) << "sensors flagged 3000 ms after the report";
    EXPECT_EQ(a.pass(1999), QCAN_STATUS_TIMEOUT);
    EXPECT_EQ(a.pass(2), QCAN_STATUS_DISCONNECTING);
    EXPECT_EQ(log.count(Warn, "QCANDevice CUAID1 : disconnect due timeout"), 1);
    EXPECT_GT(passUntil(a, QCAN_STATUS_DISCONNECTED), 0);
    EXPECT_FALSE(DummyBus::instance().isOpen(a.name()));
    EXPECT_GT(passUntil(a, QCAN_STATUS_CLEANUP), 0);  // what follows is the manager's (SensorManagerTest)
}

TEST(QCANDevice, NeverReportingAdapterIsExcusedFor10sAfterConnecting)
{
    TestAdapter a;
    silence(a);
    ASSERT_GT(passUntil(a, QCAN_STATUS_CONNECTING), 0);
    const unsigned long long connected = Clock::wallMs();
    LogCapture log;
    // The deadline starts 5000 ms in the future; silence counts from there.
    while (Clock::wallMs() < connected + 10000)
        ASSERT_EQ(a.pass(100), QCAN_STATUS_CONNECTING);
    EXPECT_EQ(log.count(Warn, "QCANDevice timeout CUAID1 : 3500 ms since last good status message IGNORED"), 1);
    EXPECT_EQ(a.pass(100), QCAN_STATUS_TIMEOUT);
}

TEST(QCANDevice, VirtualAdapterNeverTimesOutAndAHardwareFailureReportIsNoGoodStatus)
{
    TestAdapter v("SOFTCAN", 2);
    ASSERT_TRUE(v.connect());
    silence(v);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(v.pass(100), QCAN_STATUS_CONNECTED);

    TestAdapter a;
    ASSERT_TRUE(a.connect());
    silence(a);
    DummyBus::instance().setBusState(a.name(), -1);
    a.pass(1000);
    ASSERT_TRUE(DummyBus::instance().reportStatusNow(a.name()));
    EXPECT_EQ(a.device()->getCANBusStateString(), "HW Failure");
    EXPECT_EQ(a.pass(501), QCAN_STATUS_TIMEOUT) << "a HW failure report does not reset the silence";
}

TEST(QCANDevice, ErrorRestartsAndDisconnectNowClosesAtOnce)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    LogCapture log;
    a.device()->setQCANDevStatus(QCAN_STATUS_ERROR);
    EXPECT_EQ(a.pass(), QCAN_STATUS_DISCONNECTING);
    EXPECT_EQ(log.count(Warn, "QCANDevice CUAID1 : ERROR. Restarting device"), 1);
    EXPECT_EQ(a.device()->getDeviceLog(0).AfterFirst(']').Trim(false), "Error");

    ASSERT_GT(passUntil(a, QCAN_STATUS_CLEANUP), 0);
    a.device()->setQCANDevStatus(QCAN_STATUS_UNINITIALIZED);
    ASSERT_TRUE(a.connect());
    EXPECT_TRUE(a.device()->Disconnect(QCAN_DISCONNECT_NOW));
    EXPECT_EQ(a.device()->getStatusString(), "DISCONNECTED");
    EXPECT_FALSE(DummyBus::instance().isOpen(a.name())) << "option 0 closes the adapter at once";
}

// Hosts and the event log show these texts; each state has its own, CLEANUP twice.
TEST(QCANDevice, EveryConnectionStateHasItsText)
{
    const std::pair<int, const char*> texts[] = {
        {-1, "ERROR"}, {0, "UNINITIALIZED"}, {1, "INITIALIZED"}, {2, "CONNECTING"}, {3, "CONNECTED"},
        {4, "TIMEOUT"}, {5, "HALT"}, {6, "RESTORE"}, {7, "DISCONNECTING"}, {8, "DISCONNECTED"},
        {9, "CLEANUP"}, {10, "CLEANUP"}, {11, "UNKNOWN (11)"}, {-2, "UNKNOWN (-2)"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(QCANDevice::translateStatusString(static_cast<QCANConnStatus>(t.first)), t.second) << t.first;
}

TEST(QCANDevice, DisabledPassesHaltThenRestore)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(a.device()->processDevice(Clock::wallMs(), false), QCAN_STATUS_HALT);
    EXPECT_FALSE(DummyBus::instance().isOpen(a.name()));
    EXPECT_EQ(a.device()->getDeviceLog(0).AfterFirst(']').Trim(false), "Status HALT");
    EXPECT_EQ(a.pass(), QCAN_STATUS_RESTORE);
    EXPECT_EQ(a.pass(), QCAN_STATUS_UNINITIALIZED);
    EXPECT_TRUE(a.connect());
}

TEST(QCANDevice, EventLogKeeps16NewestEntriesAndVendorIsGuessedFromTheName)
{
    QCANDevice device(7, wxT("DUMMY7"));
    for (int i = 0; i < 17; ++i)
        device.logDeviceEvent(wxString::Format(wxT("event %d"), i));
    EXPECT_TRUE(device.getDeviceLog(15).EndsWith(wxT("] event 1")));
    EXPECT_TRUE(device.getDeviceLog(0).StartsWith(wxT("[")));
    EXPECT_TRUE(device.getDeviceLog(0).EndsWith(wxT("] event 16")));

    // By the first two characters.
    const std::pair<const wchar_t*, const wchar_t*> vendors[] = {
        {L"QU_1", L"Quillard"}, {L"Q0x", L"Quillard"}, {L"PKUSB", L"Peak"},        {L"KV0", L"Kvaser"},
        {L"SOFT", L"Virtual"},  {L"SS0", L"Socket"},   {L"WX", L"Socket"},         {L"SIM", L"Simulation"},
        {L"BSx", L"Blender"},   {L"DUMMY", L"Dummy"},  {L"du", L"Unknown vendor"}, {L"X", L"Unknown vendor"}};
    for (const auto& v : vendors)
        EXPECT_EQ(QCANDevice(1, v.first).getVendorName(), v.second) << v.first;
}

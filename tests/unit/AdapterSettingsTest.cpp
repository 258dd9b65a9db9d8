// Settings pushed to an adapter and checked against what it reports, statistics, build string, and
// the listing of adapters, against dummy adapters of our adapter library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>

#include "DeviceList.h"
#include "DummyBus.h"
#include "LogCapture.h"
#include "QCANDevice.h"
#include "TestAdapter.h"

using Sensors::DeviceList;
using Sensors::QCANDevice;

namespace {
const auto Err = WispLogLevels::Error;
const auto Warn = WispLogLevels::Warning;
const char* kBaudError = "QCANDevice: Failed to set QCAN Device bus baud correctly";
const char* kModeError = "QCANDevice: Failed to set QCAN Device mode";
const char* kTermError = "QCANDevice: Failed to set QCAN Device bus termination correctly";
const char* kPowerError = "QCANDevice: Failed to set QCAN Device bus power correctly";
}  // namespace

TEST(AdapterSettings, SettingsArePushedOnConnectAndVerified)
{
    TestAdapter a;
    LogCapture log;
    ASSERT_TRUE(a.connect());
    int baud, mode, term, power;
    ASSERT_TRUE(DummyBus::instance().settings(a.name(), baud, mode, term, power));
    EXPECT_EQ(std::make_tuple(baud, mode, term, power),
              std::make_tuple(int(CAN_BAUD_250K), int(CAN_MODE_NORMAL), 0, 1));
    EXPECT_EQ(a.device()->getBaudrateAsInt(), 250);
    EXPECT_EQ(log.count(Err, kBaudError) + log.count(Err, kTermError) + log.count(Err, kPowerError), 0);

    // A new rate waits for the next pass, which applies it.
    const int setsBefore = DummyBus::instance().callCount(a.name(), QCAN_ENTRY_SET_BAUD);
    a.device()->SetBaudrate(CAN_BAUD_500K);
    EXPECT_EQ(DummyBus::instance().callCount(a.name(), QCAN_ENTRY_SET_BAUD), setsBefore);
    a.pass();
    ASSERT_TRUE(DummyBus::instance().settings(a.name(), baud, mode, term, power));
    EXPECT_EQ(baud, CAN_BAUD_500K);
    EXPECT_EQ(a.device()->getBaudrateAsInt(), 500);

    // An adapter that reports no valid rate is never given one.
    DummyBus::instance().setReportedBaud(a.name(), CAN_BAUD_NONE);
    const int sets = DummyBus::instance().callCount(a.name(), QCAN_ENTRY_SET_BAUD);
    a.device()->SetBaudrate(CAN_BAUD_1M);
    a.pass();
    EXPECT_EQ(DummyBus::instance().callCount(a.name(), QCAN_ENTRY_SET_BAUD), sets);
}

TEST(AdapterSettings, MismatchIsReportedOnEveryHealthyPassUntilItClears)
{
    TestAdapter a;
    DummyBus::instance().setReportedBaud(a.name(), CAN_BAUD_125K);
    DummyBus::instance().setReportedTermination(a.name(), 1);
    DummyBus::instance().setReportedBusPower(a.name(), 0);
    LogCapture log;
    ASSERT_TRUE(a.connect());
    const int first = log.count(Err, kBaudError);
    EXPECT_GE(first, 1);
    EXPECT_EQ(log.count(Err, kTermError), first);
    EXPECT_EQ(log.count(Err, kPowerError), first);
    EXPECT_EQ(log.count(Err, kModeError), 0);
    a.pass();
    EXPECT_EQ(log.count(Err, kBaudError), first + 1) << "the next healthy pass verifies again";
    EXPECT_EQ(a.device()->getQCANDevStatus(), QCAN_STATUS_CONNECTED) << "a mismatch never disconnects";

    DummyBus::instance().setReportedBaud(a.name(), -1);
    DummyBus::instance().setReportedTermination(a.name(), -1);
    DummyBus::instance().setReportedBusPower(a.name(), -1);
    a.pass();
    a.pass();
    EXPECT_EQ(log.count(Err, kTermError), first + 1);
}

TEST(AdapterSettings, SleepModeExcusesSilenceUntilNormalModeReturns)
{
    TestAdapter a;
    ASSERT_TRUE(a.connect());
    EXPECT_EQ(a.device()->SetMode(CAN_MODE_SLEEP), CAN_MODE_SLEEP);
    a.setAutoReport(false);
    DummyBus::instance().setStatusReports(a.name(), false);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(a.pass(100), QCAN_STATUS_CONNECTED);
    EXPECT_EQ(a.device()->SetMode(CAN_MODE_NORMAL), CAN_MODE_NORMAL);
    EXPECT_EQ(a.pass(100), QCAN_STATUS_TIMEOUT);
}

TEST(AdapterSettings, BuildStringOfTheLibrary)
{
    TestAdapter a;
    EXPECT_EQ(a.device()->getQCANBuildInfo(), "QCANAPI not loaded");
    ASSERT_TRUE(a.connect());
    DummyBus::instance().setBuildString("dummy build 7");
    EXPECT_EQ(a.device()->getQCANBuildInfo(), "dummy build 7");
    LogCapture log;
    DummyBus::instance().setBuildString("");
    EXPECT_EQ(a.device()->getQCANBuildInfo(), "");
    EXPECT_EQ(log.count(Warn, "Didn't get QCAN Build info string correctly"), 1);
    DummyBus::instance().setBuildString(nullptr);
}

TEST(AdapterEnumeration, ListsAdaptersWithTheirVendorCodes)
{
    setenv("QCAN_ADAPTERS", "AKVDU1=dummy;PLAIN=dummy;QU_A=dummy;XWX=dummy", 1);
    DummyBus::instance().reset();
    std::unique_ptr<DeviceList> list(QCANDevice::GetAvailableQCANDevices());
    ASSERT_TRUE(list);
    ASSERT_EQ(list->getSize(), 4);
    std::string listed;  // in AKVDU1 a later code (DU) overrides an earlier one (KV)
    for (int i = 0; i < 4; ++i)
        listed += std::string(list->getDeviceInfo(i).name.utf8_str()) + ":" +
                  std::string(list->getDeviceInfo(i).vendor.utf8_str()) + " ";
    EXPECT_EQ(listed, "AKVDU1:Dummy PLAIN:Unknown QU_A:QUILLARD XWX:Virtual ");
    EXPECT_TRUE(list->containsItemName(wxT("PLAIN")));
    EXPECT_FALSE(list->containsItemName(wxT("plain")));
    QCANDevice::DeleteQCANDeviceList(list.release());
}

TEST(AdapterEnumeration, EachFailureGivesNoListAndOneError)
{
    LogCapture log;
    setenv("QCAN_API_PATH", "/nonexistent-folder", 1);
    EXPECT_EQ(QCANDevice::GetAvailableQCANDevices(), nullptr);
    unsetenv("QCAN_API_PATH");
    EXPECT_EQ(log.count(Err, "QCAN_API.dll not found. CUAs disabled"), 1);
    DummyBus::instance().setLibraryFaults(true, false);
    EXPECT_EQ(QCANDevice::GetAvailableQCANDevices(), nullptr);
    EXPECT_EQ(log.count(Err, "QCANDevice::GetAvailableQCANDevices() FAIL"), 1);
    DummyBus::instance().setLibraryFaults(false, true);
    EXPECT_EQ(QCANDevice::GetAvailableQCANDevices(), nullptr);
    EXPECT_EQ(log.count(Err, "Cannot get handle to QCAN device list"), 1);
    DummyBus::instance().setLibraryFaults(false, false);
    EXPECT_EQ(log.messages().size(), 3u);
}

// Everything at once, as a host with a busy user interface meets adapters that come and go: four
// host threads call every host operation and make sensors send; one thread connects, disconnects
// and silences adapters; one thread per adapter injects every make's frames as fast as the dummy
// takes them. Under the sanitizers it must end without a report, leaving no thread and no adapter.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "DummyBus.h"
#include "EveryMakeFrames.h"
#include "Frames.h"
#include "MobaCommProtocol.h"
#include "SandvikTIMSensor.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "SlopeZeroingThread.h"
#include "TiltSensorG1.h"

using namespace Sensors;

extern double stressSeconds;  // set by the stress program's main from its command line

namespace {

const char* const kAdapters[] = {"STRESS1", "STRESS2", "STRESS3"};
constexpr int kAdapterCount = 3;

// Every host operation with an adapter id, copies of sensors with the ids the frames use, and
// sensors told to send (copies through the manager, the live Moba sensor under its own
// lock as a host holding it would).
void hostRound(SensorManager* m, int cua, unsigned round)
{
    m->getStatus(cua);
    m->getStatus(0);
    m->isConnected(cua);
    m->isAPIConnected();
    m->getFirstDevId();
    m->QCANDeviceExists(cua);
    m->getDeviceStatus(cua);
    QCANDeviceInfo info;
    m->getDeviceInfo(cua, &info);
    m->getReceived(cua);
    int r[7];
    m->GetDeviceReceived(cua, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
    _TCANStats stats;
    m->GetDeviceCanStats(cua, &stats, true);
    m->GetDeviceRXBufferCount(cua);
    m->GetDeviceTXBufferCount(cua);
    m->GetDeviceErrorCount(cua);
    m->GetDeviceBaudRate(cua);
    m->GetDeviceBaudRateInt(cua);
    m->getDeviceEventLog(cua, -1);
    m->getBusPower(cua);
    m->getTermination(cua);
    m->getSensorCount(cua);
    m->getActiveSensorCount(1000, cua);
    m->getSensorsCount(cua);
    for (int adapter : {cua, 0}) {
        std::vector<SensorInfo*> infos = m->getSensorsInfo(adapter);
        m->deleteSensorsInfo(infos);
    }
    _SensorInfo one;
    m->getSensorInfo(cua, 0, &one);
    m->ToXML(0, 1, cua);
    m->ToXML(3, 1, 0);

    // ToXML above copies every make's sensor under its lock as the typed getters do; the getters
    // whose paths differ, and the status texts of their copies.
    m->getDT500Sensor(46, cua).getStatus();  // read without marking the sensor active
    m->getAnySensor(3, SDT_G1, cua).getStatus();
    m->getTiltSensorG1(3, cua).getStatus();

    // Sensors told to send, through their copies and the manager.
    m->getTiltSensorG1(3, cua).sendPing(2);
    SandvikTIMSensor tim = m->getSandvikTIMSensor(117, cua);
    tim.sendHeartBeat();
    _TIMCmdMessage record = {1, 2, 3};
    tim.sendCommand(4, &record, false);
    unsigned char value[5] = {0x01, 30, 0x00, 0x07, 0x2A};
    m->getMobaCommProtocol(91, cua).SendValue(value, 1);
    if (round % 16 == 0)
        m->getDSM500SensorComponent(11, cua).sendChangeId(13);
    if (round % 64 == 0)
        m->getSlopeSensor(120, cua).Zero();
    _TGENERIC_CAN_FRAME generic = frame(0x321, {0, 0});
    m->sendGenCanMsg(cua, &generic, round % 2 == 0);
    _TQUIL1G5_CAN_FRAME quil = {};
    quil.header.devType = SDT_G1;
    quil.header.devNumber = 3;
    quil.header.dlc = 1;
    m->sendCanMsg(cua, &quil, true);

    // The live Moba sensor, sending while its lock is held and its frames arrive.
    if (Sensor* live = m->getSensor(91, SDT_MOBA_PROTOCOL, cua, true)) {
        if (auto* protocol = dynamic_cast<MobaCommProtocol*>(live))
            protocol->SendValue(value, 1);
        live->UnlockSensor();
    }

    // The adapter list, as a host's adapter dialog reads it.
    if (round % 8 == 0) {
        void* list = m->createQCANDeviceList();
        for (int i = 0; i < m->getDeviceListItemCount(list); ++i) {
            wxString name, description, vendor;
            m->getDeviceListItemInfo(list, i, name, description, vendor);
        }
        m->deleteQCANDeviceList(list);
    }
}

}  // namespace

TEST(HostStress, HostThreadsAdapterCyclesAndFullSpeedFramesTogether)
{
    setenv("QCAN_ADAPTERS", "STRESS1=dummy;STRESS2=dummy;STRESS3=dummy", 1);
    DummyBus::instance().reset();
    SensorManager* m = SensorManager::getInstance();
    std::atomic<long long> rounds{0}, cycled{0}, injected{0};
    std::atomic<bool> stop(false);
    // Ids of the adapters now in the table, by name; 0 for none. Written by the cycler only.
    std::atomic<int> ids[kAdapterCount];
    for (int k = 0; k < kAdapterCount; ++k) {
        ids[k] = m->connect(wxString::FromUTF8(kAdapters[k]));
        ASSERT_GT(ids[k].load(), 0);
    }

    std::vector<std::thread> threads;
    for (int k = 0; k < kAdapterCount; ++k)
        threads.emplace_back([&, k] {
            const std::vector<TestFrame> frames = everyMakeFrames();
            while (!stop) {
                for (const TestFrame& f : frames)
                    injected += DummyBus::instance().inject(kAdapters[k], f.id, f.ext, f.data);
                // A closed dummy refuses at once; do not spin on it.
                if (!DummyBus::instance().isOpen(kAdapters[k]))
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    for (int h = 0; h < 4; ++h)
        threads.emplace_back([&, h] {
            for (unsigned round = static_cast<unsigned>(h); !stop; ++round, ++rounds)
                hostRound(m, ids[round % kAdapterCount].load(), round);
        });
    // The cycler: a disconnect of one adapter and its reconnect (by name, or found in the adapter
    // list as a host's search does), a removal of its sensors, a silence long enough to time it
    // out, and now and then a disconnect of all adapters.
    threads.emplace_back([&] {
        for (unsigned step = 0; !stop; ++step, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            const int k = static_cast<int>(step % kAdapterCount);
            const wxString name = wxString::FromUTF8(kAdapters[k]);
            if (step % 7 == 0 || step % 7 == 3) {
                m->disconnect(0, ids[k]);
                for (int i = 0; i < 200 && m->QCANDeviceExists(ids[k]) && !stop; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ids[k] = step % 7 == 0 ? m->connect(name) : m->findAndConnect(CUA_MATCH_NAME, CUA_NAME_EQUALS, name, 0);
                ++cycled;
            } else if (step % 7 == 1) {
                m->removeSensors(ids[k]);
            } else if (step % 14 == 2) {
                DummyBus::instance().setStatusReports(kAdapters[k], false);
                for (int i = 0; i < 200 && m->getDeviceStatus(ids[k]) != QCAN_STATUS_TIMEOUT && !stop; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                DummyBus::instance().setStatusReports(kAdapters[k], true);
            } else if (step % 35 == 5) {
                m->disconnect(0, 0);
                for (int j = 0; j < kAdapterCount; ++j, ++cycled)
                    ids[j] = m->connect(wxString::FromUTF8(kAdapters[j]));
            }
        }
    });

    std::this_thread::sleep_for(std::chrono::duration<double>(stressSeconds));
    stop = true;
    for (std::thread& t : threads)
        t.join();
    m->disconnect(5000, 0);
    EXPECT_FALSE(m->isThreadRunning());
    EXPECT_EQ(m->getQCANDeviceCount(), 0);
    // Zeroing threads end within their own time; none may outlive the run by more.
    const auto zeroingDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (SlopeZeroingThread::liveCount() > 0 && std::chrono::steady_clock::now() < zeroingDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(SlopeZeroingThread::liveCount(), 0);
    std::printf("stress: %.0f s, %lld host rounds, %lld adapters cycled, %lld frames injected\n", stressSeconds,
                rounds.load(), cycled.load(), injected.load());
    EXPECT_GT(rounds.load(), 0);
    EXPECT_GT(cycled.load(), 0);
    EXPECT_GT(injected.load(), 0);
}

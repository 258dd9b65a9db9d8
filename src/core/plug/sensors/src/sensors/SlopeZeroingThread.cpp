#include "SlopeZeroingThread.h"

#include <cmath>
#include <cstring>

#include "Clock.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "WispEasyWrapper.h"

namespace Sensors {

std::atomic<int> SlopeZeroingThread::live(0);

SlopeZeroingThread::SlopeZeroingThread(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : wxThread(wxTHREAD_DETACHED), manager(manager_), cuaId(cuaId_), sensorId(sensorId_)
{
    ++live;
}

SlopeZeroingThread::~SlopeZeroingThread()
{
    --live;
}

int SlopeZeroingThread::liveCount()
{
    return live.load();
}

SlopeZeroingThread::Reading SlopeZeroingThread::read()
{
    // The manager thread keeps parsing into the same sensor; take one consistent look at it. A
    // sensor that is gone reads as not ok, which ends the zeroing.
    Reading r{0, 0, false, false, false};
    if (manager)
        manager->withLiveSensor(sensorId, SDT_SLOPE, cuaId, [&r](Sensor& s) {
            if (const SlopeSensor* slope = dynamic_cast<const SlopeSensor*>(&s))
                r = Reading{slope->slopeX, slope->slopeY, slope->unitOk, slope->slopeXInRange, slope->slopeYInRange};
        });
    return r;
}

void SlopeZeroingThread::finish()
{
    if (manager)
        manager->withLiveSensor(sensorId, SDT_SLOPE, cuaId, [](Sensor& s) {
            if (SlopeSensor* slope = dynamic_cast<SlopeSensor*>(&s))
                slope->zeroing = false;
        });
}

void SlopeZeroingThread::send(unsigned char command)
{
    _TGENERIC_CAN_FRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.header.id = COMMAND_ID;
    frame.header.ext = 0;
    frame.header.rtr = 0;
    frame.header.dlc = 8;
    frame.data[0] = command;
    if (manager)
        manager->sendGenCanMsg(cuaId, &frame, false);
}

wxThread::ExitCode SlopeZeroingThread::Entry()
{
    QLOG_INFO("Entry") << "Zeroing Slope Sensor";
    Reading before = read();
    if (!usable(before)) {
        QLOG_INFO("Entry") << "Slope sensor not OK, cannot zero";
        finish();
        return 0;
    }
    Clock::sleepMs(STABILITY_WAIT_MS);
    Reading after = read();
    if (!usable(after)) {
        QLOG_INFO("Entry") << "Slope sensor not OK, cannot zero";
        finish();
        return 0;
    }
    if (std::fabs(after.x - before.x) > 0.2 || std::fabs(after.y - before.y) > 0.2) {
        QLOG_INFO("Entry") << "Slope sensor not stable, cannot zero";
        finish();
        return 0;
    }

    send(1);
    QLOG_INFO("Entry") << "MDS2000 Send Zero frame 701 ";
    Clock::sleepMs(ZERO_HOLD_MS);
    send(0);
    QLOG_INFO("Entry") << "MDS2000 Send unZero frame 701 ";

    const unsigned long long start = SensorManager::getTickCount();
    Reading now = read();
    while (SensorManager::getTickCount() - start < SETTLE_TIMEOUT_MS) {
        if ((std::fabs(now.x) < 0.1 && std::fabs(now.y) < 0.1) || !now.unitOk)
            break;
        Clock::sleepMs(SETTLE_POLL_MS);
        now = read();
    }

    if (!now.unitOk)
        QLOG_INFO("Entry") << "MDS2000 Zero slope aborted. Not OK ";
    if (std::fabs(now.x) >= 0.11 || std::fabs(now.y) >= 0.11)
        QLOG_INFO("Entry") << "MDS2000 Zero slope FAIL";
    else
        QLOG_INFO("Entry") << "MDS2000 Zero slope OK";
    finish();
    return 0;
}

}  // namespace Sensors

#include "SlopeZeroingThread.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "Clock.h"
#include "SensorManager.h"
#include "SlopeSensor.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

// Every zeroing thread not yet joined. Built on first use, after the manager, so that its end at
// program exit (which stops and joins the threads) comes before the manager's.
struct ZeroingThreads {
    std::mutex lock;
    std::vector<SlopeZeroingThread*> threads;
    ~ZeroingThreads() { SlopeZeroingThread::stopAll(); }
};

ZeroingThreads& zeroingThreads()
{
    static ZeroingThreads list;
    return list;
}

}  // namespace

SlopeZeroingThread::SlopeZeroingThread(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : wxThread(wxTHREAD_JOINABLE), manager(manager_), cuaId(cuaId_), sensorId(sensorId_), cancelled(false), ended(false)
{
}

SlopeZeroingThread::~SlopeZeroingThread() = default;

SlopeZeroingThread::Start SlopeZeroingThread::start(SensorManager* manager, int cuaId, unsigned char sensorId)
{
    join(false);
    ZeroingThreads& list = zeroingThreads();
    SlopeZeroingThread* thread = new SlopeZeroingThread(manager, cuaId, sensorId);
    if (thread->Create() != wxTHREAD_NO_ERROR) {
        delete thread;  // never ran: a joinable thread object that was not started is deleted
        return Start::NotCreated;
    }
    {
        // Listed before it runs, so that stopAll never misses a running thread.
        std::lock_guard<std::mutex> guard(list.lock);
        list.threads.push_back(thread);
    }
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        {
            std::lock_guard<std::mutex> guard(list.lock);
            list.threads.erase(std::remove(list.threads.begin(), list.threads.end(), thread), list.threads.end());
        }
        delete thread;
        return Start::NotStarted;
    }
    return Start::Running;
}

void SlopeZeroingThread::join(bool all)
{
    ZeroingThreads& list = zeroingThreads();
    std::vector<SlopeZeroingThread*> done;
    {
        std::lock_guard<std::mutex> guard(list.lock);
        auto keep = std::stable_partition(list.threads.begin(), list.threads.end(),
                                          [all](SlopeZeroingThread* t) { return !all && !t->ended.load(); });
        done.assign(keep, list.threads.end());
        list.threads.erase(keep, list.threads.end());
        for (SlopeZeroingThread* t : done)
            t->cancelled = true;
    }
    if (done.empty())
        return;
    Clock::wakeSleepers();
    // Outside the list's lock: joining waits for wxWidgets' own end of the thread.
    for (SlopeZeroingThread* t : done) {
        t->Wait();
        delete t;
    }
}

int SlopeZeroingThread::liveCount()
{
    join(false);
    ZeroingThreads& list = zeroingThreads();
    std::lock_guard<std::mutex> guard(list.lock);
    return static_cast<int>(list.threads.size());
}

void SlopeZeroingThread::stopAll()
{
    join(true);
}

bool SlopeZeroingThread::pause(unsigned int ms)
{
    return Clock::sleepMsUnless(ms, cancelled);
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
    run();
    finish();
    // The last act of the thread: whoever joins it now waits only for its return.
    ended = true;
    return 0;
}

void SlopeZeroingThread::run()
{
    QLOG_INFO("Entry") << "Zeroing Slope Sensor";
    Reading before = read();
    if (!usable(before)) {
        QLOG_INFO("Entry") << "Slope sensor not OK, cannot zero";
        return;
    }
    if (!pause(STABILITY_WAIT_MS))
        return;
    Reading after = read();
    if (!usable(after)) {
        QLOG_INFO("Entry") << "Slope sensor not OK, cannot zero";
        return;
    }
    if (std::fabs(after.x - before.x) > 0.2 || std::fabs(after.y - before.y) > 0.2) {
        QLOG_INFO("Entry") << "Slope sensor not stable, cannot zero";
        return;
    }

    send(1);
    QLOG_INFO("Entry") << "MDS2000 Send Zero frame 701 ";
    // Released even when told to stop meanwhile: the unit must not be left holding the zero command.
    pause(ZERO_HOLD_MS);
    send(0);
    QLOG_INFO("Entry") << "MDS2000 Send unZero frame 701 ";

    const unsigned long long start = SensorManager::getTickCount();
    Reading now = read();
    while (SensorManager::getTickCount() - start < SETTLE_TIMEOUT_MS) {
        if ((std::fabs(now.x) < 0.1 && std::fabs(now.y) < 0.1) || !now.unitOk)
            break;
        if (!pause(SETTLE_POLL_MS))
            return;
        now = read();
    }

    if (!now.unitOk)
        QLOG_INFO("Entry") << "MDS2000 Zero slope aborted. Not OK ";
    if (std::fabs(now.x) >= 0.11 || std::fabs(now.y) >= 0.11)
        QLOG_INFO("Entry") << "MDS2000 Zero slope FAIL";
    else
        QLOG_INFO("Entry") << "MDS2000 Zero slope OK";
}

}  // namespace Sensors

#include "SensorManagerThread.h"

#include <exception>
#include <string>
#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <wx/utils.h>

#include "QCANDevice.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

std::atomic<int> SensorManagerThread::live{0};
std::atomic<long> SensorManagerThread::lastThreadId{0};

SensorManagerThread::SensorManagerThread() : wxThread(wxTHREAD_DETACHED)
{
    ++live;
}

SensorManagerThread::~SensorManagerThread()
{
    --live;
}

int SensorManagerThread::liveCount()
{
    return live;
}

void SensorManagerThread::waitUntilGone(unsigned int timeoutMs)
{
    unsigned int waited = 0;
    for (; liveCount() > 0 && waited < timeoutMs; waited += 2)
        wxMilliSleep(2);
#ifdef __linux__
    const long id = lastThreadId.load();
    if (id == 0)
        return;
    const std::string task = "/proc/self/task/" + std::to_string(id);
    for (; access(task.c_str(), F_OK) == 0 && waited < timeoutMs; waited += 2)
        wxMilliSleep(2);
#endif
}

wxThread::ExitCode SensorManagerThread::Entry()
{
#ifdef __linux__
    lastThreadId = static_cast<long>(syscall(SYS_gettid));
#endif
    SensorManager* manager = SensorManager::getInstance();
    manager->setThreadActive(true);
    for (;;) {
        if (!manager->isSensorManagerOK() || TestDestroy())
            break;
        if (!manager->getThreadRun())
            break;
        // The table lock is held only to read the size and one entry, never across a pass.
        for (int i = 0; i < manager->getQCANDeviceCount(); ++i) {
            QCANDevice* device = manager->getQCANDeviceByIndex(i);
            if (!device) {
                QLOG_WARN("Entry") << "NULL Dev in Manager Thread?";
                continue;
            }
            const bool enabled = manager->isEnabled();
            const unsigned long long now = SensorManager::getTickCount();
            int result;
            try {
                result = device->processDevice(now, enabled);
            } catch (const std::exception& e) {
                QLOG_ERROR("Entry") << "SensorManagerThread exception when processing device" << device->getCuaId()
                                    << device->getDevName() << " : " << e.what();
                continue;
            }
            if (result == QCAN_STATUS_CLEANUP) {
                if (manager->isSensorManagerEnabled() && device->getReconn()) {
                    device->setQCANDevStatus(QCAN_STATUS_UNINITIALIZED);
                } else if (!manager->removeQCANDevice(device->getCuaId())) {
                    QLOG_ERROR("Entry") << "SensorManager: tried to remove device, but failed?";
                } else {
                    --i;  // the next adapter moved into this place
                }
            }
        }
        if (manager->isSensorManagerEnabled())
            manager->processRxBuffer();
        manager->wait(100);
    }
    manager->managerThreadDisconnected();
    return 0;
}

}  // namespace Sensors

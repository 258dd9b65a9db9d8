#include "SensorManagerThread.h"

#include <exception>

#include "QCANDevice.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

SensorManagerThread::SensorManagerThread() : wxThread(wxTHREAD_JOINABLE) {}

wxThread::ExitCode SensorManagerThread::Entry()
{
    SensorManager* manager = SensorManager::getInstance();
    manager->setThreadActive(true);
    for (;;) {
        if (!manager->isSensorManagerOK() || TestDestroy())
            break;
        if (!manager->getThreadRun())
            break;
        // The table lock is held only to read the size and one entry, never across a pass.
        for (int i = 0; i < manager->getQCANDeviceCount(); ++i) {
            // Held for the pass: a host may remove the adapter meanwhile.
            const QCANDeviceRef device = manager->holdQCANDeviceByIndex(i);
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

#include "CANTrafficGeneratorThread.h"

#include "Clock.h"
#include "QCANDevice.h"

namespace Sensors {

namespace {

void putLe32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

CANTrafficGeneratorThread::CANTrafficGeneratorThread(QCANDeviceRef device_, int frames_, int interval_)
    : wxThread(wxTHREAD_JOINABLE), device(std::move(device_)), frames(frames_), interval(interval_), stopping(false),
      ended(false)
{
}

void CANTrafficGeneratorThread::stop()
{
    stopping = true;
    Clock::wakeSleepers();
}

wxThread::ExitCode CANTrafficGeneratorThread::Entry()
{
    if (device && frames >= 1 && interval >= 1) {
        SensorManager* manager = SensorManager::getInstance();
        for (int i = 0; i < frames; ++i) {
            if (stopping || TestDestroy())
                break;
            if (i % 100 == 0 && !manager->isEnabled())
                break;
            _TGENERIC_CAN_FRAME frame = {{FRAME_ID, 1, 0, 8}, {0}};
            putLe32(frame.data, static_cast<uint32_t>(i));
            putLe32(frame.data + 4, Clock::tickCount());
            device->SendCanMessage(&frame, false);
            if (i % 2 == 0)
                Clock::sleepMsUnless(static_cast<unsigned int>(interval), stopping);
        }
    }
    device.reset();
    ended = true;
    return nullptr;
}

}  // namespace Sensors

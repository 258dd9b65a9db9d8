#include "GeneratorThread.h"

#include "Clock.h"
#include "QCANDevice.h"
#include "SensorGenerator.h"
#include "SensorManager.h"

namespace Sensors {

namespace {

// One DSM500 reading as a pair of standard frames, the value little-endian (L H) in both.
void feedPair(QCANDevice& device, uint32_t firstId, int cm)
{
    const uint8_t low = static_cast<uint8_t>(cm & 0xFF);
    const uint8_t high = static_cast<uint8_t>((cm >> 8) & 0xFF);
    _TGENERIC_CAN_FRAME_HEADER header = {firstId, 0, 0, 8};
    uint8_t first[8] = {0x00, 0x01, low, high, low, high, 0x00, 0x64};
    device.RxHandler(&header, first);
    header = {firstId + 1, 0, 0, 7};
    uint8_t second[8] = {0x01, low, high, low, high, 0x00, 0x64, 0x00};
    device.RxHandler(&header, second);
}

}  // namespace

GeneratorThread::GeneratorThread(SensorGenerator* window_)
    : wxThread(wxTHREAD_JOINABLE), window(window_), running(true), stopping(false)
{
}

void GeneratorThread::stop()
{
    {
        wxMutexLocker guard(lock);
        running = false;
    }
    stopping = true;
    Clock::wakeSleepers();
}

bool GeneratorThread::isRunning()
{
    wxMutexLocker guard(lock);
    return running;
}

wxThread::ExitCode GeneratorThread::Entry()
{
    // The interval is read once; a pause of at least 1 ms keeps a cleared field from spinning.
    const long pause = window->getSettings().interval;
    const unsigned int pauseMs = pause > 0 ? static_cast<unsigned int>(pause) : 1u;
    long cuaId = 0;
    bool lookedUp = false;
    QCANDeviceRef device;
    while (isRunning()) {
        const SensorGenerator::Settings s = window->getSettings();
        if (s.on) {
            // Looked up again when the field changes, and while no adapter has the number.
            if (!lookedUp || s.cuaId != cuaId || !device) {
                cuaId = s.cuaId;
                lookedUp = true;
                device = SensorManager::getInstance()->holdQCANDeviceByID(static_cast<int>(cuaId));
                window->showBadCuaId(!device);
            }
            if (device && s.dsm500) {
                window->showDistance(false, s.distance);
                feedPair(*device, 0x78, s.distance);
            }
            if (device && s.feed) {
                window->showDistance(true, s.feedDistance);
                feedPair(*device, 0x7A, s.feedDistance);
            }
        }
        Clock::sleepMsUnless(pauseMs, stopping);
    }
    return nullptr;
}

}  // namespace Sensors

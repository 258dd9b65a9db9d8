#pragma once

// Frame parsers: free functions that decide from a frame's identifier which sensor it belongs to,
// find or create that sensor on the receiving adapter and let it decode the frame.

#include "CANFrameTypes.h"
#include "QCANDevice.h"
#include "QCANDeviceTypes.h"
#include "Sensor.h"
#include "SensorManager.h"

namespace Sensors {

// Registered by every new adapter as its only parser.
PARSE_RESULT parseDefault(void* frame, void* device, void* context);

// The common find-or-create step for one sensor class T with the pair (id, type): a found sensor
// comes back locked; a missing one is created only when the frame allows it (manager thread).
template <class T>
PARSE_RESULT getSensorAndParse(void* frame, void* device, unsigned short id, SensorDeviceType type)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    RxCANFrameT* rx = static_cast<RxCANFrameT*>(frame);
    QCANDevice* dev = static_cast<QCANDevice*>(device);
    Sensor* sensor = dev->getSensor(id, type, true);
    if (!sensor) {
        if (!rx->createAllowed)
            return PARSE_RESULT_SENSOR_MISSING;
        sensor = new T(SensorManager::getInstance(), dev->getCuaId(), static_cast<unsigned char>(id));
        if (!dev->addSensor(sensor)) {
            // The adapter left CONNECTED meanwhile: nobody owns the new sensor.
            delete sensor;
            return PARSE_RESULT_UNKNOWN;
        }
        sensor->LockSensor();
    }
    sensor->Parse(&rx->frame, rx->time);
    sensor->UnlockSensor();
    return PARSE_RESULT_OK;
}

}  // namespace Sensors

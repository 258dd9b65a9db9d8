#pragma once

// Frame parsers: free functions that decide from a frame's identifier which sensor it belongs to,
// find or create that sensor on the receiving adapter and let it decode the frame.
//
// All of them have the adapter's parser signature: frame is an RxCANFrameT*, device the receiving
// QCANDevice*; the context is not used. Each returns PARSE_RESULT_ERROR for a null frame or device,
// PARSE_RESULT_UNKNOWN for a frame it does not claim, otherwise the result of the find-or-create step.

#include <cstddef>

#include "CANFrameTypes.h"
#include "QCANDevice.h"
#include "QCANDeviceTypes.h"
#include "Sensor.h"
#include "SensorManager.h"

namespace Sensors {

// Registered by every new adapter as its only parser: offers the frame to the six make parsers
// below in their fixed order and queues a frame whose sensor must first be created.
PARSE_RESULT parseDefault(void* frame, void* device, void* context);

// The loop of parseDefault over any chain of parsers. The first OK or SENSOR_MISSING ends it; a
// SENSOR_MISSING frame seen in the receive callback is queued for the manager's pass, which may
// create the sensor. ERROR ends it as well and names the parser's position on standard error.
PARSE_RESULT parseInOrder(const QCANParserFunction* chain, size_t count, void* frame, void* device, void* context);

// The maker's own protocol (tilt sensors, simulator client, CAN GNSS, laser receiver, KM7).
PARSE_RESULT parseQuillardSensorMsg(void* frame, void* device, void* context);
// Moba devices, the MDS2000 controller and the CANopen DSM500 units.
PARSE_RESULT parseMobaSensorMsg(void* frame, void* device, void* context);
// Steelwrist, Rototilt, Engcon and the CANopen encoder of node 32.
PARSE_RESULT parseSteelwristSensorMsg(void* frame, void* device, void* context);
// NMEA 2000 vessel heading.
PARSE_RESULT parseNMEA2KSensorMsg(void* frame, void* device, void* context);
// SICK DT500 distance sensor.
PARSE_RESULT parseSICKSensorMsg(void* frame, void* device, void* context);
// Sandvik TIM.
PARSE_RESULT parseSandvikTIMSensorMsg(void* frame, void* device, void* context);

// Hands a newly made sensor to the adapter and returns it locked. Its lock is made before the
// sensor becomes visible to other threads. When the adapter refuses it (it left CONNECTED
// meanwhile) the sensor is deleted and false returned.
bool adoptNewSensor(QCANDevice* device, Sensor* sensor);

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
        if (!adoptNewSensor(dev, sensor))
            return PARSE_RESULT_UNKNOWN;
    }
    sensor->Parse(&rx->frame, rx->time);
    sensor->UnlockSensor();
    return PARSE_RESULT_OK;
}

}  // namespace Sensors

#pragma once

// A small sensor kind for exercising the receive path: it keeps the first data byte of each frame
// as its reading and times out after 500 ms. Its frames are extended identifiers 0x1000 + id.

#include "FrameParsers.h"
#include "Sensor.h"

class CountingSensor : public Sensors::Sensor {
public:
    static constexpr Sensors::SensorDeviceType TYPE = Sensors::SDT_QUILLARD_SPARE;
    static constexpr uint32_t ID_BASE = 0x1000;

    CountingSensor(Sensors::SensorManager* manager, int cuaId, unsigned char sensorId)
        : Sensor(manager, cuaId, sensorId, TYPE)
    {
        SetErrorTimeoutTime(500);
    }
    Sensor* Clone() override { return new CountingSensor(*this); }
    void Clean() override { reading = 0; }
    using Sensor::Parse;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override
    {
        acceptFrame(time);
        reading = frame->data[0];
        return true;
    }

    int reading = 0;
};

// Claims extended frames 0x1000 to 0x10FF for CountingSensor; a frame whose sensor is missing in
// the library's callback is queued so that the manager's pass creates the sensor.
inline PARSE_RESULT parseCounting(void* frame, void* device, void*)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    RxCANFrameT* rx = static_cast<RxCANFrameT*>(frame);
    if (!rx->frame.header.ext || (rx->frame.header.id & ~0xFFu) != CountingSensor::ID_BASE)
        return PARSE_RESULT_UNKNOWN;
    const PARSE_RESULT r = Sensors::getSensorAndParse<CountingSensor>(frame, device, rx->frame.header.id & 0xFF,
                                                                      CountingSensor::TYPE);
    if (r == PARSE_RESULT_SENSOR_MISSING && !rx->createAllowed)
        static_cast<Sensors::QCANDevice*>(device)->pushToRxBuffer(rx);
    return r;
}

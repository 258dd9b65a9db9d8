#pragma once

// The MDS2000 controller (device type 141): its run state and the inputs, outputs and flags it
// reports on small standard identifiers. Until the controller reports that it runs, only its state
// frame (identifier 1) is read.

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

class MDS2000IO : public Sensor {
public:
    enum State { STATE_UNKNOWN = -1, STATE_BOOT = 0, STATE_OK = 1, STATE_SHUTDOWN = 2 };

    MDS2000IO(SensorManager* manager, int cuaId, unsigned char sensorId);
    MDS2000IO(const MDS2000IO& other) = default;
    MDS2000IO& operator=(const MDS2000IO& other) = default;

    MDS2000IO* Clone() override;
    ~MDS2000IO() override;
    void Clean() override;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;
    using Sensor::ToXML;
    virtual wxString ToXML() const;

    int getState() const { return state; }

    // Readings, named after the identifier that carries them; each with its receive time.
    int32_t state;
    unsigned long long stateTime;
    uint32_t input6[3];  // id 6, data 2-3, 4-5, 6-7; 16-bit raw values
    unsigned long long input6Time[3];
    uint32_t input7;  // id 7, data 0-1; 16-bit raw value
    unsigned long long input7Time;
    uint8_t output8[8];  // id 8: the output image
    bool output8Pending;  // an output image is waiting to be confirmed by the controller
    bool flag109;
    unsigned long long flag109Time;
    bool flag111;
    unsigned long long flag111Time;
    bool flag300;
    unsigned long long flag300Time;
    uint32_t value303[2];
    unsigned long long value303Time[2];
    uint32_t value304;
    unsigned long long value304Time;
    unsigned long long heartbeat501Time;
    uint32_t value702;  // data 2-5
    unsigned long long value702Time;
    uint16_t value702Short;  // data 6-7
    unsigned long long value702ShortTime;
    bool flag703;
    unsigned long long flag703Time;
};

}  // namespace Sensors

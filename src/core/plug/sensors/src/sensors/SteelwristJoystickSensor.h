#pragma once

#include <cstdint>

#include "Sensor.h"

namespace Sensors {

// The operator's two joysticks, read from the J1939 basic and extended joystick messages that the
// Steelwrist control unit (source 0xA9) sends for each of them.
class SteelwristJoystickSensor : public Sensor {
public:
    // One axis: three 2-bit position states (0 off, 1 on, 2 error, 3 not available) and the
    // deflection in 10 bits, 0.1 % per bit, in the direction that the states name.
    struct Axis {
        uint8_t neutral;
        uint8_t negative;
        uint8_t positive;
        uint16_t position;
    };
    // Two axes and the two 2-bit status fields that follow them.
    struct AxisGroup {
        Axis x;
        Axis y;
        uint8_t status1;
        uint8_t status2;
    };

    static constexpr int kJoysticks = 2;
    static constexpr int kButtons = 12;
    enum ButtonState { BUTTON_UP = 0, BUTTON_DOWN = 1, BUTTON_ERROR = 2, BUTTON_NA = 3 };

    SteelwristJoystickSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    SteelwristJoystickSensor(const SteelwristJoystickSensor& other) = default;

    SteelwristJoystickSensor* Clone() override;
    void Clean() override;
    using Sensor::ToXML;  // the element that the XML of the adapter and of the manager is made of
    wxString ToXML() const;
    using Sensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    // Joysticks are numbered 1 and 2, buttons 0 to 11. Out-of-range numbers give an all-zero
    // group and BUTTON_NA.
    AxisGroup getAxes(int joystick) const;
    AxisGroup getExtendedAxes(int joystick) const;
    unsigned char getButtonState(int joystick, int button) const;

    // One line per basic axis for diagnostics: the signed deflection, then a scale from full
    // negative to full positive with the centre '|' and the stick '+'.
    wxString PrintPosition() const;

private:
    struct Joystick {
        AxisGroup basic;
        AxisGroup extended;
        uint8_t buttons[kButtons];
    };

    static void decodeAxes(const uint8_t* data, AxisGroup& out);
    void decodeButtons(int joystick, const uint8_t* data);

    Joystick sticks[kJoysticks];
};

}  // namespace Sensors

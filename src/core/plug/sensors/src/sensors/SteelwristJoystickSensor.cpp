#include "SteelwristJoystickSensor.h"

#include <algorithm>
#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

using FrameBytes::bitField;

namespace {
const uint32_t kBasicJoystick1 = 0x0CFDD6A9;
const uint32_t kExtendedJoystick1 = 0x0CFDD7A9;
const uint32_t kBasicJoystick2 = 0x0CFDD8A9;
const uint32_t kExtendedJoystick2 = 0x0CFDD9A9;

const char* const kButtonStateText[] = {" Up", " Down", " ERROR", " N/A"};

// Deflection with its direction: negative when the negative state is on, positive when the
// positive one is, otherwise none.
int signedPosition(const SteelwristJoystickSensor::Axis& axis)
{
    if (axis.negative == 1)
        return -static_cast<int>(axis.position);
    if (axis.positive == 1)
        return axis.position;
    return 0;
}

wxString axisLine(const wxString& label, const SteelwristJoystickSensor::Axis& axis)
{
    // 21 cells for -100 % to +100 %, 10 % each.
    const int cells = 21, centre = 10;
    const int value = signedPosition(axis);
    const int stick = std::min(cells - 1, std::max(0, centre + (value >= 0 ? value + 50 : value - 50) / 100));
    wxString line = label + wxString::Format(wxT("%d "), value);
    for (int cell = 0; cell < cells; ++cell) {
        if (cell == stick)
            line += wxT("+");
        else if (cell == centre)
            line += wxT("|");
        else
            line += wxT("-");
    }
    return line + wxT("\n");
}
}  // namespace

SteelwristJoystickSensor::SteelwristJoystickSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_JOYSTICK)
{
    errorTimeoutTime = 5000;
    Clean();
}

SteelwristJoystickSensor* SteelwristJoystickSensor::Clone()
{
    return new SteelwristJoystickSensor(*this);
}

void SteelwristJoystickSensor::Clean()
{
    std::memset(sticks, 0, sizeof sticks);
}

wxString SteelwristJoystickSensor::ToXML() const
{
    return wxT(".SteelwristJoystickSensor");
}

bool SteelwristJoystickSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool SteelwristJoystickSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    switch (frame->header.id) {
    case kBasicJoystick1:
    case kBasicJoystick2: {
        const int joystick = frame->header.id == kBasicJoystick1 ? 0 : 1;
        acceptFrame(time);
        decodeAxes(frame->data, sticks[joystick].basic);
        decodeButtons(joystick, frame->data + 5);
        return true;
    }
    case kExtendedJoystick1:
    case kExtendedJoystick2:
        acceptFrame(time);
        decodeAxes(frame->data, sticks[frame->header.id == kExtendedJoystick1 ? 0 : 1].extended);
        return true;
    default:
        return false;
    }
}

// Bytes 0-1 the X axis, bytes 2-3 the Y axis, each laid out as
//   first byte: bits 0-1 neutral, 2-3 negative, 4-5 positive, 6-7 low two bits of the position;
//   second byte: high eight bits of the position.
// Byte 4: two 2-bit status fields in bits 0-1 and 2-3.
void SteelwristJoystickSensor::decodeAxes(const uint8_t* data, AxisGroup& out)
{
    Axis* axes[] = {&out.x, &out.y};
    for (int i = 0; i < 2; ++i) {
        const uint8_t low = data[2 * i];
        const uint8_t high = data[2 * i + 1];
        axes[i]->neutral = static_cast<uint8_t>(bitField(low, 0, 2));
        axes[i]->negative = static_cast<uint8_t>(bitField(low, 2, 2));
        axes[i]->positive = static_cast<uint8_t>(bitField(low, 4, 2));
        axes[i]->position = static_cast<uint16_t>(high * 4 + bitField(low, 6, 2));
    }
    out.status1 = static_cast<uint8_t>(bitField(data[4], 0, 2));
    out.status2 = static_cast<uint8_t>(bitField(data[4], 2, 2));
}

// Twelve 2-bit button states in three bytes, four per byte from bit 0 up.
void SteelwristJoystickSensor::decodeButtons(int joystick, const uint8_t* data)
{
    uint8_t* stored = sticks[joystick].buttons;
    for (int button = 0; button < kButtons; ++button) {
        const uint8_t state = static_cast<uint8_t>(bitField(data[button / 4], 2 * (button % 4), 2));
        if (state != stored[button]) {
            // Only changes are logged, so that a held button does not flood the log.
            QLOG_INFO("Parse") << "J" << (joystick + 1) << " Button " << button << kButtonStateText[state];
            stored[button] = state;
        }
    }
}

SteelwristJoystickSensor::AxisGroup SteelwristJoystickSensor::getAxes(int joystick) const
{
    if (joystick < 1 || joystick > kJoysticks)
        return AxisGroup{};
    return sticks[joystick - 1].basic;
}

SteelwristJoystickSensor::AxisGroup SteelwristJoystickSensor::getExtendedAxes(int joystick) const
{
    if (joystick < 1 || joystick > kJoysticks)
        return AxisGroup{};
    return sticks[joystick - 1].extended;
}

unsigned char SteelwristJoystickSensor::getButtonState(int joystick, int button) const
{
    if (joystick < 1 || joystick > kJoysticks || button < 0 || button >= kButtons)
        return BUTTON_NA;
    return sticks[joystick - 1].buttons[button];
}

wxString SteelwristJoystickSensor::PrintPosition() const
{
    wxString picture;
    for (int j = 0; j < kJoysticks; ++j) {
        picture += axisLine(wxString::Format(wxT("J%d X: "), j + 1), sticks[j].basic.x);
        picture += axisLine(wxString::Format(wxT("J%d Y: "), j + 1), sticks[j].basic.y);
    }
    return picture;
}

}  // namespace Sensors

#include "NMEA2KHeadingSensor.h"

#include <wx/intl.h>

#include "FrameBytes.h"
#include "SensorManager.h"

namespace Sensors {

namespace {
// Group 127250 in the J1939 view of the identifier.
const int kHeadingPF = 241;
const int kHeadingPS = 18;
const uint16_t kNotAvailable = 0xFFFF;
const double kRadiansPerBit = 0.0001;
}

NMEA2KHeadingSensor::NMEA2KHeadingSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_NMEA2K_HEADING), heading(0.0), headingAvailable(false)
{
    errorTimeoutTime = 2000;
}

NMEA2KHeadingSensor* NMEA2KHeadingSensor::Clone()
{
    return new NMEA2KHeadingSensor(*this);
}

wxString NMEA2KHeadingSensor::ToXML() const
{
    return wxT(".NMEA2KHeadingSensor");
}

bool NMEA2KHeadingSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool NMEA2KHeadingSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || !SensorManager::checkJ1939Header(frame->header.id, kHeadingPF, kHeadingPS, -1))
        return false;
    acceptFrame(time);
    // Byte 0 is the sequence id; bytes 1-2 the heading.
    const uint16_t raw = FrameBytes::le16(frame->data + 1);
    if (raw < kNotAvailable) {
        headingAvailable = true;
        heading = raw * kRadiansPerBit;
    } else {
        sensorOk = false;
        headingAvailable = false;
        heading = 0.0;
    }
    return true;
}

void NMEA2KHeadingSensor::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    Sensor::Update(elapsed, now);
    if (sensorOk && !headingAvailable) {
        sensorOk = false;
        statusText = wxGetTranslation(wxT("[SENSOR_STATUS] No heading"));
    }
}

}  // namespace Sensors

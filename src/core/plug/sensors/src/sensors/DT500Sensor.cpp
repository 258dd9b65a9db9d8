#include "DT500Sensor.h"

#include "FrameBytes.h"

namespace Sensors {

namespace {
const double METRES_PER_COUNT = 0.0001;
}

DT500Sensor::DT500Sensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_DT500), distance(0.0), valid(false)
{
    SetErrorTimeoutTime(1000);
}

DT500Sensor* DT500Sensor::Clone()
{
    return new DT500Sensor(*this);
}

DT500Sensor::~DT500Sensor() = default;

// A silent sensor must not go on reporting its last distance as valid.
void DT500Sensor::Clean()
{
    distance = 0.0;
    valid = false;
}

bool DT500Sensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame || frame->header.id != FRAME_ID)
        return false;
    acceptFrame(time);
    if (frame->data[0] == 0) {
        // The sensor reports no measurement.
        valid = false;
        sensorOk = false;
        distance = 0.0;
        return true;
    }
    distance = FrameBytes::le32(&frame->data[4]) * METRES_PER_COUNT;
    if (distance < RANGE_LIMIT_M) {
        valid = true;
        sensorOk = true;
    } else {
        // Count the loss of a valid reading once, not every out-of-range frame.
        if (valid)
            ++errorCount;
        valid = false;
        sensorOk = false;
    }
    return true;
}

void DT500Sensor::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    Sensor::Update(elapsed, now);
    if (!valid)
        sensorOk = false;
}

wxString DT500Sensor::ToXML() const
{
    return wxString::Format("<sensor id=\"%i\"", static_cast<int>(sensorId));
}

bool DT500Sensor::getDistance(double& out) const
{
    out = distance;
    return valid;
}

}  // namespace Sensors

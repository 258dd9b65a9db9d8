#include "MobaDrillDepthSensor.h"

namespace Sensors {

MobaDrillDepthSensor::MobaDrillDepthSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_DEPTH),
      depthLinear(0.0f),
      depthLinearMax(0.0f),
      depthVertical(0.0f),
      depthVerticalMax(0.0f),
      speed(0.0f),
      avgSpeed(0.0f),
      depthSensorOk(false)
{
    SetErrorTimeoutTime(5000);
}

MobaDrillDepthSensor* MobaDrillDepthSensor::Clone()
{
    return new MobaDrillDepthSensor(*this);
}

MobaDrillDepthSensor::~MobaDrillDepthSensor() = default;

void MobaDrillDepthSensor::Clean() {}

// The unit's frames are claimed for it but not decoded, so they leave no trace, not even a count.
bool MobaDrillDepthSensor::Parse(_TQUIL1G5_CAN_FRAME*, const unsigned long long&)
{
    return false;
}

bool MobaDrillDepthSensor::Parse(_TGENERIC_CAN_FRAME*, const unsigned long long&)
{
    return false;
}

bool MobaDrillDepthSensor::Zero()
{
    return true;
}

wxString MobaDrillDepthSensor::ToXML() const
{
    wxString xml = wxString::Format("<sensor id=\"%i\"", static_cast<int>(sensorId));
    xml += depthSensorOk ? " SensorOK=\"true\"" : " SensorOK=\"false\"";
    xml += wxString::Format(" DepthLinear=\"%i\"", static_cast<int>(depthLinear));
    xml += wxString::Format(" DepthLinearMax=\"%i\"", static_cast<int>(depthLinearMax));
    xml += wxString::Format(" DepthVertical=\"%i\"", static_cast<int>(depthVertical));
    xml += wxString::Format(" DepthVerticalMax=\"%i\"", static_cast<int>(depthVerticalMax));
    xml += wxString::Format(" AvgSpeed=\"%i\"", static_cast<int>(avgSpeed));
    xml += wxString::Format(" Speed=\"%i\"", static_cast<int>(speed));
    xml += " />\n";
    return xml;
}

}  // namespace Sensors

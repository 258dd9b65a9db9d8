#include "SensorReader.h"

#include <cmath>
#include <string>
#include <utility>

#include "Quat.h"

#include "SensorManager.h"
#include "TextView.h"
#include "sensors/BoomHeadingSensor.h"
#include "sensors/CANopenEncoderSensor.h"
#include "sensors/DSM500SensorComponent.h"
#include "sensors/DT500Sensor.h"
#include "sensors/EngconTiltrotatorSensor.h"
#include "sensors/GenericPositionSensor.h"
#include "sensors/KM7.h"
#include "sensors/MDS2000IO.h"
#include "sensors/MobaCommProtocol.h"
#include "sensors/MobaDrillDepthSensor.h"
#include "sensors/NMEA2KHeadingSensor.h"
#include "sensors/NMEA2KPositionSensor.h"
#include "sensors/RayGauge.h"
#include "sensors/RotationSensor.h"
#include "sensors/RototiltSensor.h"
#include "sensors/SandvikTIMSensor.h"
#include "sensors/SimulatorClientSensor.h"
#include "sensors/SlopeSensor.h"
#include "sensors/SteelwristJoystickSensor.h"
#include "sensors/SteelwristRotationSensor.h"
#include "sensors/SteelwristSlopeSensor.h"
#include "sensors/TiltSensorG1.h"

using namespace Sensors;
using Reading = HostSnapshot::Reading;

namespace {

std::string utf8(const wxString& s)
{
    return std::string(s.utf8_str());
}

// The fields every sensor has, from the copy the typed getter returned.
HostSnapshot::Sensor summary(Sensor& s, const SensorInfo& info, const char* className)
{
    HostSnapshot::Sensor out;
    out.adapterId = info.cuaId;
    out.sensorId = info.sensorId;
    out.deviceType = info.deviceType;
    out.className = className;
    wxString text;
    Sensor::getSensorIDString(info.sensorId, text);
    out.name = utf8(text);
    Sensor::getSensorTypeString(static_cast<SensorDeviceType>(info.deviceType), text);
    out.typeText = utf8(text);
    out.ok = s.isSensorOk();
    out.status = utf8(s.getStatus());
    out.errorCount = s.GetErrorCount();
    const unsigned long long last = s.getLastMessageTime();
    const unsigned long long now = SensorManager::getTickCount();
    out.ageMs = last == 0 ? -1 : (now >= last ? static_cast<long long>(now - last) : 0);
    out.timeoutMs = s.GetErrorTimeoutTime();
    out.stale = out.ageMs < 0 || (out.timeoutMs > 0 && static_cast<unsigned long long>(out.ageMs) > out.timeoutMs);
    out.frames = s.getMessageCount();
    return out;
}

const double kPi = 3.14159265358979323846;

double degrees(double radians)
{
    return radians * 180.0 / kPi;
}

std::string fixed(double v, int decimals)
{
    return TextView::fixed(v, decimals);
}

// What the receiver's fix quality number means (the GGA scale).
std::string fixText(long long quality)
{
    static const char* const kTexts[] = {"no fix", "GNSS", "DGNSS", "PPS", "RTK fixed", "RTK float", "dead reckoning", "manual", "simulation"};
    if (quality >= 0 && quality < static_cast<long long>(sizeof kTexts / sizeof kTexts[0]))
        return kTexts[quality];
    return "fix " + std::to_string(quality);
}

// Latitude and longitude with their hemispheres, altitude, fix and satellites: for programs as
// signed degrees, for people as unsigned degrees with N/S and E/W.
void positionSummary(double lat, double lon, double alt, long long fix, const std::string& fixWords, long long satellites,
                     HostSnapshot::Sensor& out)
{
    const std::string ns = lat < 0.0 ? "S" : "N";
    const std::string ew = lon < 0.0 ? "W" : "E";
    out.summary.push_back(Reading::real("lat_deg", lat));
    out.summary.push_back(Reading::string("lat_hemisphere", ns));
    out.summary.push_back(Reading::real("lon_deg", lon));
    out.summary.push_back(Reading::string("lon_hemisphere", ew));
    out.summary.push_back(Reading::real("alt_m", alt));
    out.summary.push_back(Reading::whole("fix", fix));
    out.summary.push_back(Reading::string("fix_text", fixWords));
    out.summary.push_back(Reading::whole("satellites", satellites));
    out.summaryText.push_back(fixed(std::fabs(lat), 6) + "° " + ns);
    out.summaryText.push_back(fixed(std::fabs(lon), 6) + "° " + ew);
    out.summaryText.push_back("alt " + fixed(alt, 2) + " m");
    out.summaryText.push_back("fix " + fixWords);
    out.summaryText.push_back(std::to_string(satellites) + " satellites");
}

const char* const kSpeedNames[] = {"FAST", "SLOW"};
const char* const kFilterNames[] = {"RAW", "FIR", "FIX", "SCALED", "CALIBRATED"};

void tiltReadings(const TiltSensorG1& s, std::vector<Reading>& r)
{
    if (s.isTemperatureValid()) {
        r.push_back(Reading::whole("getTemperature1", s.getTemperature1()));
        r.push_back(Reading::whole("getTemperature2", s.getTemperature2()));
    }
    for (int speed = 0; speed < TiltSensorG1::SPEEDS; ++speed) {
        for (int filter = 0; filter < TiltSensorG1::FILTERS; ++filter) {
            const TiltSpeed sp = static_cast<TiltSpeed>(speed);
            const TiltFilter fi = static_cast<TiltFilter>(filter);
            if (!s.isUnitAvaiable(sp, fi))
                continue;
            const TiltValue v = s.getValue(sp, fi);
            r.push_back(Reading::group(std::string("getOrientation(") + kSpeedNames[speed] + "," + kFilterNames[filter] + ")",
                                       {{"w", v.w}, {"x", v.x}, {"y", v.y}, {"z", v.z}})
                            .markRaw());
        }
    }
}

// Pitch and roll of the link the sensor is mounted on, from its freshest calibrated stream. The
// sensor knows no heading: its orientation is Y(pitch) * X(roll), pitch about the sensor's y axis
// (nose up positive, the whole circle) and roll about its x axis, which is the decomposition
// Y(a) * Z(b) * X(c) of GetAngles with b zero.
void tiltSummary(const TiltSensorG1& s, HostSnapshot::Sensor& out)
{
    for (TiltSpeed speed : {FAST, SLOW}) {
        if (!s.isUnitAvaiable(speed, CALIBRATED))
            continue;
        Quat q = s.getOrientation(speed, CALIBRATED);
        if (q.GetLengthSquared() <= 0.0)
            return;
        q.Normalize();
        double pitch = 0.0, yaw = 0.0, roll = 0.0;
        q.GetAngles(pitch, yaw, roll);
        const std::string stream = std::string("getOrientation(") + kSpeedNames[speed] + ",CALIBRATED)";
        out.summary.push_back(Reading::real("pitch_deg", degrees(pitch)));
        out.summary.push_back(Reading::real("roll_deg", degrees(roll)));
        out.summary.push_back(Reading::string("from", stream));
        out.summaryText.push_back("pitch " + fixed(degrees(pitch), 1) + "°");
        out.summaryText.push_back("roll " + fixed(degrees(roll), 1) + "°");
        return;
    }
}

void joystickReadings(const SteelwristJoystickSensor& s, std::vector<Reading>& r)
{
    for (int j = 1; j <= SteelwristJoystickSensor::kJoysticks; ++j) {
        const SteelwristJoystickSensor::AxisGroup a = s.getAxes(j);
        const SteelwristJoystickSensor::AxisGroup e = s.getExtendedAxes(j);
        // A signed position: the 10-bit magnitude with the direction its status bits give.
        auto signedPosition = [](const SteelwristJoystickSensor::Axis& x) {
            return x.negative == 1 ? -static_cast<double>(x.position) : static_cast<double>(x.position);
        };
        const std::string n = std::to_string(j);
        r.push_back(Reading::group("getAxes(" + n + ")", {{"x", signedPosition(a.x)}, {"y", signedPosition(a.y)}}));
        r.push_back(Reading::group("getExtendedAxes(" + n + ")", {{"x", signedPosition(e.x)}, {"y", signedPosition(e.y)}}));
        // One digit per button 0 to 11: 0 up, 1 down, 2 error, 3 not available.
        std::string buttons;
        for (int b = 0; b < SteelwristJoystickSensor::kButtons; ++b)
            buttons += static_cast<char>('0' + (s.getButtonState(j, b) & 3));
        r.push_back(Reading::string("getButtonState(" + n + ")", buttons));
    }
}

template <class T>
HostSnapshot::Sensor readAs(T sensor, const SensorInfo& info, const char* className, void (*readings)(const T&, std::vector<Reading>&),
                            void (*people)(const T&, HostSnapshot::Sensor&) = nullptr)
{
    HostSnapshot::Sensor out = summary(sensor, info, className);
    if (readings)
        readings(sensor, out.readings);
    if (people)
        people(sensor, out);
    return out;
}

}  // namespace

const std::vector<std::string>& SensorReader::classNames()
{
    static const std::vector<std::string> names = {
        "TiltSensorG1", "GenericPositionSensor", "NMEA2KHeadingSensor", "NMEA2KPositionSensor", "SlopeSensor",
        "MDS2000IO", "DT500Sensor", "EngconTiltrotatorSensor", "RototiltSensor", "SteelwristJoystickSensor",
        "SteelwristSlopeSensor", "SteelwristRotationSensor", "RotationSensor", "BoomHeadingSensor",
        "CANopenEncoderSensor", "MobaDrillDepthSensor", "DSM500SensorComponent", "SandvikTIMSensor",
        "MobaCommProtocol", "RayGauge", "KM7", "SimulatorClientSensor", "Sensor"};
    return names;
}

const char* SensorReader::className(unsigned deviceType)
{
    switch (deviceType) {
    case SDT_G1: return "TiltSensorG1";
    case SDT_CAN_GNSS: return "GenericPositionSensor";
    case SDT_NMEA2K_HEADING: return "NMEA2KHeadingSensor";
    case SDT_NMEA2K_POSITION: return "NMEA2KPositionSensor";
    case SDT_SLOPE: return "SlopeSensor";
    case SDT_CONTROLLER: return "MDS2000IO";
    case SDT_DT500: return "DT500Sensor";
    case SDT_UPROP: return "EngconTiltrotatorSensor";
    case SDT_ROTOTILT: return "RototiltSensor";
    case SDT_JOYSTICK: return "SteelwristJoystickSensor";
    case SDT_STEELWRIST_SLOPE: return "SteelwristSlopeSensor";
    case SDT_STEELWRIST_BLADE: return "SteelwristRotationSensor";
    case SDT_ROTATION: return "RotationSensor";
    case SDT_HEADING: return "BoomHeadingSensor";
    case SDT_CANOPEN_ENCODER: return "CANopenEncoderSensor";
    case SDT_DEPTH: return "MobaDrillDepthSensor";
    case SDT_DSM500_UNIT: return "DSM500SensorComponent";
    case SDT_SANDVIK_TIM: return "SandvikTIMSensor";
    case SDT_MOBA_PROTOCOL: return "MobaCommProtocol";
    case SDT_RAY_GAUGE: return "RayGauge";
    case SDT_KM7: return "KM7";
    case SDT_SIMULATOR_CLIENT: return "SimulatorClientSensor";
    default: return "Sensor";
    }
}

HostSnapshot::Sensor SensorReader::read(SensorManager& m, const SensorInfo& info)
{
    const unsigned char id = info.sensorId;
    const int cua = info.cuaId;
    const char* cls = className(info.deviceType);
    switch (info.deviceType) {
    case SDT_G1:
        return readAs<TiltSensorG1>(m.getTiltSensorG1(id, cua), info, cls, tiltReadings, tiltSummary);
    case SDT_CAN_GNSS:
        return readAs<GenericPositionSensor>(m.getGenericPositionSensor(id, cua), info, cls,
            [](const GenericPositionSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::real("getLat", s.getLat()).markRaw());
                r.push_back(Reading::real("getLong", s.getLong()).markRaw());
                r.push_back(Reading::real("getAlt", s.getAlt()).markRaw());
                r.push_back(Reading::real("getX", s.getX()));
                r.push_back(Reading::real("getY", s.getY()));
                r.push_back(Reading::real("getZ", s.getZ()));
                r.push_back(Reading::whole("getTime", s.getTime()));
                r.push_back(Reading::whole("getFixQuality", s.getFixQuality()).markRaw());
                r.push_back(Reading::whole("getSatellites", s.getSatellites()).markRaw());
                r.push_back(Reading::whole("getHDOP", s.getHDOP()));
                r.push_back(Reading::whole("getHGEOID", s.getHGEOID()));
            },
            [](const GenericPositionSensor& s, HostSnapshot::Sensor& out) {
                // Nothing to show before the first complete set of a position.
                if (s.getLat() != 0.0 || s.getLong() != 0.0)
                    positionSummary(s.getLat(), s.getLong(), s.getAlt(), s.getFixQuality(), fixText(s.getFixQuality()),
                                    s.getSatellites(), out);
            });
    case SDT_NMEA2K_HEADING:
        return readAs<NMEA2KHeadingSensor>(m.getNMEA2KHeadingSensor(id, cua), info, cls,
            [](const NMEA2KHeadingSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::boolean("hasHeading", s.hasHeading()));
                r.push_back(Reading::real("getHeading", s.getHeading()));
            },
            [](const NMEA2KHeadingSensor& s, HostSnapshot::Sensor& out) {
                if (!s.hasHeading())
                    return;
                out.summary.push_back(Reading::real("heading_deg", degrees(s.getHeading())));
                out.summaryText.push_back("heading " + fixed(degrees(s.getHeading()), 1) + "°");
            });
    case SDT_NMEA2K_POSITION:
        return readAs<NMEA2KPositionSensor>(m.getNMEA2KPositionSensor(id, cua), info, cls,
            [](const NMEA2KPositionSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::boolean("hasPosition", s.hasPosition(false)));
                r.push_back(Reading::real("getLat", s.getLat(false)));
                r.push_back(Reading::real("getLon", s.getLon(false)));
                r.push_back(Reading::real("getAlt", s.getAlt()));
                r.push_back(Reading::real("getSatellites", s.getSatellites()));
                r.push_back(Reading::real("getHDOP", s.getHDOP()));
            },
            [](const NMEA2KPositionSensor& s, HostSnapshot::Sensor& out) {
                if (!s.hasPosition(false))
                    return;
                const long long fix = static_cast<long long>(s.getFix());
                positionSummary(s.getLat(false), s.getLon(false), s.getAlt(), fix, "type " + std::to_string(fix),
                                static_cast<long long>(s.getSatellites()), out);
            });
    case SDT_SLOPE:
        return readAs<SlopeSensor>(m.getSlopeSensor(id, cua), info, cls, [](const SlopeSensor& s, std::vector<Reading>& r) {
            r.push_back(Reading::real("getSlopeX", s.getSlopeX()));
            r.push_back(Reading::real("getSlopeY", s.getSlopeY()));
            r.push_back(Reading::boolean("isUnitOk", s.isUnitOk()));
            r.push_back(Reading::boolean("isSlopeXInRange", s.isSlopeXInRange()));
            r.push_back(Reading::boolean("isSlopeYInRange", s.isSlopeYInRange()));
            r.push_back(Reading::real("getSlopeXSet", s.getSlopeXSet()));
            r.push_back(Reading::real("getSlopeYSet", s.getSlopeYSet()));
        });
    case SDT_CONTROLLER:
        return readAs<MDS2000IO>(m.getMDS2000(id, cua), info, cls, [](const MDS2000IO& s, std::vector<Reading>& r) {
            r.push_back(Reading::whole("getState", s.getState()));
            r.push_back(Reading::group("input6", {{"0", s.input6[0]}, {"1", s.input6[1]}, {"2", s.input6[2]}}));
            r.push_back(Reading::whole("input7", s.input7));
            r.push_back(Reading::boolean("flag300", s.flag300));
            r.push_back(Reading::group("value303", {{"0", s.value303[0]}, {"1", s.value303[1]}}));
        });
    case SDT_DT500:
        return readAs<DT500Sensor>(m.getDT500Sensor(id, cua), info, cls, [](const DT500Sensor& s, std::vector<Reading>& r) {
            double d = 0.0;
            const bool valid = s.getDistance(d);
            r.push_back(Reading::real("getDistance", d));
            r.push_back(Reading::boolean("getDistance.valid", valid));
        });
    case SDT_UPROP:
        return readAs<EngconTiltrotatorSensor>(m.getEngconTiltrotatorSensor(id, cua), info, cls,
            [](const EngconTiltrotatorSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::real("getRotationAngle", s.getRotationAngle()));
                r.push_back(Reading::whole("getRotationAngleRaw", s.getRotationAngleRaw()));
                r.push_back(Reading::whole("getStatusValue", s.getStatusValue()));
            });
    case SDT_ROTOTILT:
        return readAs<RototiltSensor>(m.getRototiltSensor(id, cua), info, cls, [](const RototiltSensor& s, std::vector<Reading>& r) {
            r.push_back(Reading::real("GetRotationAngle", s.GetRotationAngle()));
            r.push_back(Reading::real("GetFirstAngle", s.GetFirstAngle()));
            r.push_back(Reading::real("GetSecondAngle", s.GetSecondAngle()));
            r.push_back(Reading::boolean("GetIsOk", s.GetIsOk()));
        });
    case SDT_JOYSTICK:
        return readAs<SteelwristJoystickSensor>(m.getSteelwristJoystickSensor(id, cua), info, cls, joystickReadings);
    case SDT_STEELWRIST_SLOPE:
        return readAs<SteelwristSlopeSensor>(m.getSteeelwristSlopeSensor(id, cua), info, cls,
            [](const SteelwristSlopeSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::real("getAngle1", s.getAngle1()));
                r.push_back(Reading::real("getAngle2", s.getAngle2()));
                r.push_back(Reading::whole("getSensorStatus", s.getSensorStatus()));
            });
    case SDT_STEELWRIST_BLADE:
        return readAs<SteelwristRotationSensor>(m.getSteelwristRotationSensor(id, cua), info, cls,
            [](const SteelwristRotationSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::real("getRotationAngle", s.getRotationAngle()));
                r.push_back(Reading::whole("getRotationTicks", s.getRotationTicks()));
                r.push_back(Reading::whole("getSensorStatus", s.getSensorStatus()));
            });
    case SDT_ROTATION:
        return readAs<RotationSensor>(m.getRotationSensor(id, cua), info, cls, [](const RotationSensor& s, std::vector<Reading>& r) {
            double v = 0.0;
            s.getRotation(v);
            r.push_back(Reading::real("getRotation", v));
            r.push_back(Reading::boolean("getOk", s.getOk()));
        });
    case SDT_HEADING:
        return readAs<BoomHeadingSensor>(m.getBoomHeadingSensor(id, cua), info, cls,
            [](const BoomHeadingSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::boolean("isValid", s.isValid()));
                r.push_back(Reading::whole("getHeadingRaw", s.getHeadingRaw()));
            });
    case SDT_CANOPEN_ENCODER:
        return readAs<CANopenEncoderSensor>(m.getCANopenEncoderSensor(id, cua), info, cls,
            [](const CANopenEncoderSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::whole("getRotationPulseCount", s.getRotationPulseCount()));
            });
    case SDT_DSM500_UNIT:
        return readAs<DSM500SensorComponent>(m.getDSM500SensorComponent(id, cua), info, cls,
            [](const DSM500SensorComponent& s, std::vector<Reading>& r) {
                double d = 0.0, second = 0.0;
                unsigned char quality = 0;
                r.push_back(Reading::whole("getDistance.status", s.getDistance(d, second, quality)));
                r.push_back(Reading::real("getDistance", d));
                r.push_back(Reading::whole("getDistance.quality", quality));
            });
    case SDT_SANDVIK_TIM:
        return readAs<SandvikTIMSensor>(m.getSandvikTIMSensor(id, cua), info, cls, [](const SandvikTIMSensor& s, std::vector<Reading>& r) {
            r.push_back(Reading::boolean("isDataAvailable", s.isDataAvailable()));
            r.push_back(Reading::whole("getDrillBitPosition", s.getDrillBitPosition()));
            r.push_back(Reading::whole("getDrilledHoleDepth", s.getDrilledHoleDepth()));
        });
    case SDT_SIMULATOR_CLIENT:
        return readAs<SimulatorClientSensor>(m.getSimulatorClientSensor(id, cua), info, cls,
            [](const SimulatorClientSensor& s, std::vector<Reading>& r) {
                r.push_back(Reading::boolean("isSimulatorConnected", s.isSimulatorConnected()));
                r.push_back(Reading::boolean("isSensorSimulationEnabled", s.isSensorSimulationEnabled()));
            });
    case SDT_RAY_GAUGE:
        return readAs<RayGauge>(m.getRayGauge(id, cua), info, cls, [](const RayGauge& s, std::vector<Reading>& r) {
            r.push_back(Reading::whole("getHitCount", s.getHitCount()));
        });
    case SDT_DEPTH:
        return readAs<MobaDrillDepthSensor>(m.getMobaDrillDepthSensor(id, cua), info, cls, nullptr);
    case SDT_MOBA_PROTOCOL:
        return readAs<MobaCommProtocol>(m.getMobaCommProtocol(id, cua), info, cls, nullptr);
    case SDT_KM7:
        return readAs<KM7>(m.getKM7(id, cua), info, cls, nullptr);
    default:
        return readAs<Sensor>(m.getAnySensor(id, static_cast<SensorDeviceType>(info.deviceType), cua), info, cls, nullptr);
    }
}

#include "SlopeSensor.h"

#include <cmath>
#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"
#include "SlopeZeroingThread.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

float leFloat(const uint8_t* p)
{
    const uint32_t bits = FrameBytes::le32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The XML carries whole numbers; a slope is rounded to the nearest one.
int xmlInt(float value)
{
    return std::isfinite(value) ? static_cast<int>(std::lround(value)) : 0;
}

const wxChar* xmlBool(bool value)
{
    return value ? wxT("true") : wxT("false");
}

}  // namespace

SlopeSensor::SlopeSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_SLOPE),
      slopeX(0),
      slopeY(0),
      unitOk(false),
      slopeXInRange(false),
      slopeYInRange(false),
      slopeXSet(0),
      slopeYSet(0),
      zeroing(false),
      slopeXTime(0),
      slopeYTime(0),
      unitOkTime(0),
      slopeXInRangeTime(0),
      slopeYInRangeTime(0),
      slopeXSetTime(0),
      slopeYSetTime(0)
{
    errorTimeoutTime = 5000;
}

SlopeSensor* SlopeSensor::Clone()
{
    return new SlopeSensor(*this);
}

SlopeSensor::~SlopeSensor() = default;

void SlopeSensor::Clean()
{
    slopeX = slopeY = 0;
    unitOk = slopeXInRange = slopeYInRange = false;
    slopeXSet = slopeYSet = 0;
    slopeXTime = slopeYTime = unitOkTime = 0;
    slopeXInRangeTime = slopeYInRangeTime = 0;
    slopeXSetTime = slopeYSetTime = 0;
}

bool SlopeSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool SlopeSensor::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    const uint32_t id = frame->header.id;
    const unsigned dlc = frame->header.dlc;
    const uint8_t* d = frame->data;
    if (id == 100 && dlc == 8) {
        slopeX = leFloat(d);
        slopeY = leFloat(d + 4);
        slopeXTime = slopeYTime = time;
    } else if (id == 101 && dlc == 5) {
        // Only a unit reporting a good status counts as alive.
        if (d[0] == 0) {
            acceptFrame(time);
            unitOk = true;
        } else {
            unitOk = false;
        }
        unitOkTime = time;
    } else if (id == 104 && dlc == 7) {
        if (d[5] == 0) {
            acceptFrame(time);
            slopeXInRange = true;
        } else {
            slopeXInRange = false;
        }
        slopeYInRange = d[6] == 0;
        slopeXInRangeTime = slopeYInRangeTime = time;
    } else if (id == 106 && dlc == 8) {
        slopeXSet = leFloat(d + 4);
        slopeXSetTime = time;
    } else if (id == 107 && dlc == 5) {
        slopeYSet = leFloat(d);
        slopeYSetTime = time;
    } else {
        QLOG_ERROR("Parse") << "SlopeSensor::Parse error CANID " << id << " DLC " << dlc;
        return false;
    }
    return true;
}

wxString SlopeSensor::ToXML() const
{
    wxString xml = wxString::Format(wxT("<sensor id=\"%i\""), static_cast<int>(sensorId));
    xml += wxString::Format(wxT(" SensorOK=\"%s\""), xmlBool(unitOk));
    xml += wxString::Format(wxT(" SlopeX=\"%i\""), xmlInt(slopeX));
    xml += wxString::Format(wxT(" SlopeY=\"%i\""), xmlInt(slopeY));
    xml += wxString::Format(wxT(" SlopeXInRange=\"%s\""), xmlBool(slopeXInRange));
    xml += wxString::Format(wxT(" SlopeYInRange=\"%s\""), xmlBool(slopeYInRange));
    xml += wxString::Format(wxT(" SlopeXSet=\"%i\""), xmlInt(slopeXSet));
    xml += wxString::Format(wxT(" SlopeYSet=\"%i\""), xmlInt(slopeYSet));
    xml += wxT(" />\n");
    return xml;
}

bool SlopeSensor::Zero()
{
    QLOG_INFO("Zero") << "MDS2000 Zero slope Start";
    if (!unitOk) {
        QLOG_INFO("Zero") << "MDS2000 Zero slope aborted. Not OK ";
        return false;
    }
    if (std::fabs(slopeX) < 0.1 && std::fabs(slopeY) < 0.1) {
        QLOG_INFO("Zero") << "MDS2000 Slope value already 0";
        return true;
    }
    // The zeroing belongs to the live sensor: a host usually calls this on the copy a getter
    // returned, and the flag must stop a second run whoever asks.
    bool already = zeroing;
    if (!isLive() && manager)
        manager->withLiveSensor(sensorId, SDT_SLOPE, cuaId, [&already](Sensor& s) {
            if (SlopeSensor* live = dynamic_cast<SlopeSensor*>(&s)) {
                already = already || live->zeroing;
                live->zeroing = true;
            }
        });
    if (already) {
        QLOG_INFO("Zero") << "MDS2000 Slope already zeroing";
        return true;
    }
    zeroing = true;
    QLOG_INFO("Zero") << "MDS2000 Start zeroing";
    // The thread knows the sensor by adapter and id only: it looks the live sensor up for every
    // step, so it never touches one its adapter has deleted meanwhile.
    SlopeZeroingThread* thread = new SlopeZeroingThread(manager, cuaId, sensorId);
    const bool created = thread->Create() == wxTHREAD_NO_ERROR;
    if (!created || thread->Run() != wxTHREAD_NO_ERROR) {
        QLOG_INFO("Zero") << "MDS2000 Slope Zeroing failed";
        delete thread;
        zeroing = false;
        if (!isLive() && manager)
            manager->withLiveSensor(sensorId, SDT_SLOPE, cuaId, [](Sensor& s) {
                if (SlopeSensor* live = dynamic_cast<SlopeSensor*>(&s))
                    live->zeroing = false;
            });
        return !created;
    }
    return true;
}

}  // namespace Sensors

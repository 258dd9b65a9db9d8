#include "MDS2000IO.h"

#include <cstring>

#include "FrameBytes.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

using namespace FrameBytes;

MDS2000IO::MDS2000IO(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_CONTROLLER)
{
    errorTimeoutTime = 5000;
    MDS2000IO::Clean();
}

MDS2000IO* MDS2000IO::Clone()
{
    return new MDS2000IO(*this);
}

MDS2000IO::~MDS2000IO() = default;

void MDS2000IO::Clean()
{
    state = STATE_BOOT;
    stateTime = 0;
    for (int i = 0; i < 3; ++i) {
        input6[i] = 0;
        input6Time[i] = 0;
    }
    input7 = 0;
    input7Time = 0;
    std::memset(output8, 0, sizeof output8);
    output8Pending = false;
    flag109 = flag111 = flag300 = flag703 = false;
    flag109Time = flag111Time = flag300Time = flag703Time = 0;
    value303[0] = value303[1] = 0;
    value303Time[0] = value303Time[1] = 0;
    value304 = 0;
    value304Time = 0;
    heartbeat501Time = 0;
    value702 = 0;
    value702Time = 0;
    value702Short = 0;
    value702ShortTime = 0;
}

bool MDS2000IO::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    return parseAsGeneric(frame, time);
}

bool MDS2000IO::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    const uint32_t id = frame->header.id;
    const unsigned dlc = frame->header.dlc;
    const uint8_t* d = frame->data;

    if (id == 1) {
        if (dlc != 3) {
            QLOG_ERROR("Parse") << "Wrong datalength MDS2000IO CANID == 1 Cannot parse!";
            return false;
        }
        acceptFrame(time);
        // Boot wins over shutdown, shutdown over running; no flag leaves the state as it was.
        if (d[1] != 0)
            state = STATE_BOOT;
        else if (d[2] != 0)
            state = STATE_SHUTDOWN;
        else if (d[0] != 0)
            state = STATE_OK;
        stateTime = time;
        return true;
    }
    // Outside the running state the other frames carry nothing of use.
    if (state != STATE_OK)
        return false;

    switch (id) {
    case 6:
        if (dlc != 8) {
            QLOG_ERROR("Parse") << "Wrong datalength MDS2000IO CANID == 6 Cannot parse!";
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            input6[i] = le16(d + 2 + 2 * i);
            input6Time[i] = time;
        }
        return true;
    case 7:
        if (dlc != 2)
            return false;
        input7 = le16(d);
        input7Time = time;
        return true;
    case 8:
        if (dlc != 8)
            return false;
        std::memcpy(output8, d, sizeof output8);
        output8Pending = false;
        return true;
    case 109:
        if (dlc != 6)
            return false;
        flag109 = d[4] != 0;
        flag109Time = time;
        return true;
    case 111:
        if (dlc != 5)
            return false;
        flag111 = d[4] != 0;
        flag111Time = time;
        return true;
    case 300:
        if (dlc != 8)
            return false;
        flag300 = d[0] != 0;
        flag300Time = time;
        return true;
    case 303:
        if (dlc != 8)
            return false;
        value303[0] = le32(d);
        value303[1] = le32(d + 4);
        value303Time[0] = value303Time[1] = time;
        return true;
    case 304:
        if (dlc != 7)
            return false;
        value304 = le32(d);
        value304Time = time;
        return true;
    case 501:
        if (dlc != 2)
            return false;
        heartbeat501Time = time;
        return true;
    case 702:
        if (dlc != 8)
            return false;
        value702 = le32(d + 2);
        value702Time = time;
        value702Short = le16(d + 6);
        value702ShortTime = time;
        return true;
    case 703:
        if (dlc != 8)
            return false;
        flag703 = d[4] != 0;
        flag703Time = time;
        return true;
    default:
        return false;
    }
}

wxString MDS2000IO::ToXML() const
{
    wxString xml = wxString::Format(wxT("<sensor id=\"%i\""), static_cast<int>(sensorId));
    switch (state) {
    case STATE_UNKNOWN: xml += wxT(" status=\"unknown\""); break;
    case STATE_BOOT: xml += wxT(" status=\"boot\""); break;
    case STATE_OK: xml += wxT(" status=\"ok\""); break;
    case STATE_SHUTDOWN: xml += wxT(" status=\"shutdown\""); break;
    default: break;
    }
    xml += wxT(" />\n");
    return xml;
}

}  // namespace Sensors

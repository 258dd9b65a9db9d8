#include "MobaCommProtocol.h"

#include <cstring>

#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

using MobaProtocol::MobaValue;

namespace {

// Control byte of a frame.
const unsigned char CTRL_CARRIES_VALUE = 0x01;  // command or answer; clear: an acknowledgement
const unsigned char CTRL_OK_OR_COMMAND = 0x02;
const unsigned char CTRL_ACK_EXPECTED = 0x04;
const unsigned LENGTH_SHIFT = 3;  // bits 3 and 4: payload length minus 1

const unsigned char HIGHEST_VALUE_NO = 41;
const unsigned char LIFETIME_VALUE_NO = 40;
const long long LIFETIME_MS = 1000;

}  // namespace

MobaCommProtocol::MobaCommProtocol(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : Sensor(manager_, cuaId_, sensorId_, SDT_MOBA_PROTOCOL)
{
    SetErrorTimeoutTime(1000);
}

MobaCommProtocol* MobaCommProtocol::Clone()
{
    return new MobaCommProtocol(*this);
}

MobaCommProtocol::~MobaCommProtocol() = default;

bool MobaCommProtocol::Parse(_TQUIL1G5_CAN_FRAME*, const unsigned long long&)
{
    // The exchange runs on plain extended identifiers; the maker's view carries nothing for it.
    return false;
}

bool MobaCommProtocol::Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    acceptFrame(time);
    if (frame->header.id != RECEIVE_ID || frame->data[0] > 1)
        return false;
    const unsigned char control = frame->data[3];
    const bool carriesValue = (control & CTRL_CARRIES_VALUE) != 0;
    const bool okOrCommand = (control & CTRL_OK_OR_COMMAND) != 0;
    const bool ackExpected = (control & CTRL_ACK_EXPECTED) != 0;
    const unsigned short length = static_cast<unsigned short>(((control >> LENGTH_SHIFT) & 0x03) + 1);
    StoreValue(frame->data[1], &frame->data[4], length, time, carriesValue, okOrCommand, ackExpected);
    return true;
}

wxString MobaCommProtocol::ToXML() const
{
    return wxString("<MobaCommProtocol/>");
}

int MobaCommProtocol::valueTypeOf(unsigned char valueNo)
{
    switch (valueNo) {
    case 0:
        return MobaProtocol::MOBA_TYPE_UINT16;
    case 10: case 13: case 14: case 15: case 16: case 20: case 21: case 22:
        return MobaProtocol::MOBA_TYPE_INT32;
    case 11: case 12: case 40: case 41:
        return MobaProtocol::MOBA_TYPE_FLOAT;
    case 17: case 18: case 23: case 24: case 25: case 26: case 27:
        return MobaProtocol::MOBA_TYPE_INT16;
    case 30: case 31: case 32: case 33: case 34:
        return MobaProtocol::MOBA_TYPE_UINT8;
    default:
        return -1;
    }
}

void MobaCommProtocol::StoreValue(unsigned char valueNo, unsigned char* payload, unsigned short length,
                                  unsigned long long time, bool carriesValue, bool okOrCommand, bool)
{
    const int type = valueTypeOf(valueNo);
    if (valueNo > HIGHEST_VALUE_NO || type < 0)
        return;
    MobaValue& entry = values[valueNo];
    entry.SetValueType(static_cast<unsigned short>(type));
    if (valueNo == LIFETIME_VALUE_NO)
        entry.SetLifeTimeTickCount(LIFETIME_MS);
    entry.SetValueNo(valueNo);
    entry.SetValueFromArray(payload, length);
    entry.SetTickCount(time);
    entry.SetIsNewUncopiedValue(true);
    if (carriesValue)
        return;
    // An acknowledgement of something the plug-in sent: positive when the OK bit is set.
    entry.SetIsAckOK(okOrCommand);
    entry.SetIsAckReceivedYet(true);
}

void MobaCommProtocol::HandleHandshake(const unsigned char& valueNo, const bool& carriesValue,
                                       const bool& okOrCommand, const bool&)
{
    if (carriesValue)
        return;
    MobaValue& entry = values[valueNo];
    entry.SetIsAckOK(okOrCommand);
    entry.SetIsAckReceivedYet(true);
}

int MobaCommProtocol::SendValue(unsigned char* buffer, unsigned char payloadLength)
{
    // The frame has room for four header bytes and at most four payload bytes.
    if (!buffer || payloadLength > 4) {
        QLOG_ERROR("SendValue") << "Payload length " << static_cast<int>(payloadLength) << " not sent";
        return -1;
    }
    _TGENERIC_CAN_FRAME frame;
    std::memset(&frame, 0, sizeof frame);
    frame.header.id = SEND_ID;
    frame.header.ext = 1;
    frame.header.rtr = 0;
    frame.header.dlc = static_cast<uint16_t>(payloadLength + 4);
    std::memcpy(frame.data, buffer, payloadLength + 4u);
    if (manager)
        manager->sendGenCanMsg(cuaId, &frame, false);
    return 0;
}

void MobaCommProtocol::resetInputValues()
{
    // Assigning the reset copy back leaves the raw slots of each entry as they were.
    for (auto& item : values) {
        MobaValue copy(item.second);
        copy.ResetReceiverState();
        item.second = copy;
    }
}

MobaCommProtocol::ValueTable MobaCommProtocol::GetCopyOfValues()
{
    const unsigned long long now = SensorManager::getTickCount();
    ValueTable result;
    for (auto& item : values) {
        MobaValue& entry = item.second;
        const long long age = static_cast<long long>(now - entry.GetTickCount());
        const bool fresh = now != 0 && age >= 0 && age < static_cast<long long>(VALUE_FRESH_MS);
        if (!fresh)
            entry.ResetReceiverState();
        result[item.first] = entry;
    }
    return result;
}

}  // namespace Sensors

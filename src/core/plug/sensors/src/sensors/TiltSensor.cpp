#include "TiltSensor.h"

#include <algorithm>
#include <cstring>

#include "FrameBytes.h"

namespace Sensors {

using namespace FrameBytes;

TiltSensor::TiltSensor(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : QuillardSensor(manager_, cuaId_, sensorId_, SDT_G1),
      settingsBuffer{nullptr, nullptr},
      settingsSize{0, 0},
      operationMode(G2_OPERATION_NONE),
      requestedOffset(0),
      receivedOffset(0),
      chunksRequested(0),
      chunksReceived(0)
{
    errorTimeoutTime = 500;
}

TiltSensor::TiltSensor(const TiltSensor& o)
    : QuillardSensor(o),
      settingsBuffer{nullptr, nullptr},
      settingsSize{0, 0},
      operationMode(G2_OPERATION_NONE),
      requestedOffset(0),
      receivedOffset(0),
      chunksRequested(0),
      chunksReceived(0)
{
}

TiltSensor& TiltSensor::operator=(const TiltSensor& o)
{
    if (this != &o) {
        Sensor::operator=(Sensor(o));
        releaseBuffers();
        operationMode = G2_OPERATION_NONE;
        requestedOffset = receivedOffset = 0;
        chunksRequested = chunksReceived = 0;
    }
    return *this;
}

TiltSensor* TiltSensor::Clone()
{
    return new TiltSensor(*this);
}

TiltSensor::~TiltSensor()
{
    releaseBuffers();
}

void TiltSensor::releaseBuffers()
{
    for (int i = 0; i < 2; ++i) {
        delete[] settingsBuffer[i];
        settingsBuffer[i] = nullptr;
        settingsSize[i] = 0;
    }
}

void TiltSensor::Clean() {}

wxString TiltSensor::ToXML(int) const
{
    return wxString();
}

bool TiltSensor::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    acceptFrame(time);
    if (frame && frame->header.msg == SETTINGS_MESSAGE)
        collectSettings(*frame);
    return true;
}

void TiltSensor::Update(const unsigned long long& elapsed, const unsigned long long& now)
{
    QuillardSensor::Update(elapsed, now);
}

bool TiltSensor::setOperationMode(G2_OPERATION_MODE mode)
{
    if (operationMode != G2_OPERATION_NONE)
        return false;
    requestedOffset = 0;
    receivedOffset = 0;
    chunksRequested = 0;
    chunksReceived = 0;
    delete[] settingsBuffer[0];
    settingsBuffer[0] = nullptr;
    settingsSize[0] = 0;
    operationMode = mode;
    return true;
}

int TiltSensor::readSettings(unsigned long long)
{
    if (requestedOffset != receivedOffset)
        return requestedOffset;  // the chunk asked for has not arrived yet
    requestedOffset = static_cast<uint16_t>(requestedOffset + 4);
    ++chunksRequested;
    _TQUIL1G5_CAN_FRAME frame = makeFrame(SETTINGS_MESSAGE, 1, 0, 4);
    putLe16(frame.data, requestedOffset);
    putLe16(frame.data + 2, 4);
    return sendMessage(frame, false);
}

void TiltSensor::collectSettings(const _TQUIL1G5_CAN_FRAME& frame)
{
    if (frame.header.cmd != 1 || frame.header.dlc < 4)
        return;
    const uint16_t offset = le16(frame.data);
    const bool answer = offset != 0 && offset == requestedOffset && receivedOffset != requestedOffset;
    if (offset != 0 && !answer)
        return;  // neither the header nor the chunk asked for
    parseG2SettingsMessage(&frame, settingsSize[0], settingsBuffer[0]);
    if (answer) {
        receivedOffset = offset;
        ++chunksReceived;
    }
    if (settingsBuffer[0] && static_cast<uint32_t>(receivedOffset) + 4 >= settingsSize[0])
        finishReadOut();
}

void TiltSensor::finishReadOut()
{
    delete[] settingsBuffer[1];
    settingsBuffer[1] = settingsBuffer[0];
    settingsSize[1] = settingsSize[0];
    settingsBuffer[0] = nullptr;
    settingsSize[0] = 0;
    operationMode = G2_OPERATION_NONE;
    requestedOffset = receivedOffset = 0;
}

const uint8_t* TiltSensor::getSettings(uint32_t& size) const
{
    size = settingsSize[1];
    return settingsBuffer[1];
}

int TiltSensor::parseG2SettingsMessage(const _TQUIL1G5_CAN_FRAME* frame, uint32_t& size, uint8_t*& buffer)
{
    if (!frame || frame->header.cmd != 1 || frame->header.dlc < 4)
        return 0;
    const uint16_t offset = le16(frame->data);
    const uint16_t chunkLength = le16(frame->data + 2);
    const unsigned dlc = std::min<unsigned>(frame->header.dlc, 8);
    if (offset == 0 && chunkLength >= 4 && dlc >= 8 && !buffer) {
        const uint16_t total = le16(frame->data + 6);
        if (total > 0) {
            size = total;
            buffer = new uint8_t[total]();
        }
    }
    if (buffer && offset < size) {
        // Only what the frame carries from data byte 4 on, and only inside the buffer.
        const uint32_t n = std::min<uint32_t>({chunkLength, dlc - 4, size - offset});
        std::memcpy(buffer + offset, frame->data + 4, n);
    }
    return offset;
}

}  // namespace Sensors

#pragma once

// Common base of the maker's tilt sensors (device type 16). It keeps the base bookkeeping for its
// frames and runs the settings read-out of the second-generation sensor.
//
// The settings are read in four-byte chunks (message type 34, sub-field 1: offset in data 0-1,
// length in data 2-3, the bytes from data 4 on). readSettings asks for one chunk at a time: it
// moves on by four and asks for the next chunk only once the one asked for has arrived, so the
// first request of a read-out is for offset 4. The chunk at offset 0 is the header: its bytes 2-3
// (data 6-7) announce the total size, and it opens the transfer whenever the sensor sends it; it is
// never asked for. How the read-out ends is the choice of this class, since the protocol of the
// sensors leaves it open: a chunk that answers the request under way counts as received (its
// bytes are kept once the header has opened the transfer), and the chunk that reaches the
// announced size completes the read-out: the settings are kept for getSettings and a new
// operation may start.
// An unanswered request is not repeated: the read-out waits for its answer.

#include <cstdint>

#include "QuillardSensor.h"
#include "TiltSensorTypes.h"

namespace Sensors {

class TiltSensor : public QuillardSensor {
public:
    TiltSensor(SensorManager* manager, int cuaId, unsigned char sensorId);
    // A copy has no settings buffers and no read-out under way.
    TiltSensor(const TiltSensor& other);
    TiltSensor& operator=(const TiltSensor& other);

    TiltSensor* Clone() override;
    ~TiltSensor() override;
    void Clean() override;
    wxString ToXML(int flags) const override;
    using QuillardSensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    void Update(const unsigned long long& elapsed, const unsigned long long& now) override;

    // Starts an operation; refused while another one is under way.
    bool setOperationMode(G2_OPERATION_MODE mode);
    G2_OPERATION_MODE getOperationMode() const { return operationMode; }
    // Requests the next chunk once the previous one has arrived; returns the send result, or
    // requestedOffset when a request is still unanswered and nothing was sent.
    int readSettings(unsigned long long now);
    // Copies one settings chunk into buffer, opening the transfer on the chunk at offset 0; never
    // writes outside the announced size. Returns the chunk offset (0 for a frame it ignores).
    static int parseG2SettingsMessage(const _TQUIL1G5_CAN_FRAME* frame, uint32_t& size, uint8_t*& buffer);

    // The settings of the last completed read-out; null and 0 when there is none.
    const uint8_t* getSettings(uint32_t& size) const;
    unsigned short getRequestedOffset() const { return requestedOffset; }
    unsigned short getReceivedOffset() const { return receivedOffset; }
    int getChunksRequested() const { return chunksRequested; }
    int getChunksReceived() const { return chunksReceived; }

    // Settings chunks travel as message type 34, sub-field 1.
    static constexpr unsigned char SETTINGS_MESSAGE = 34;

protected:
    // Feeds a settings chunk to the read-out: the header, or the answer to the request under way.
    void collectSettings(const _TQUIL1G5_CAN_FRAME& frame);

private:
    void finishReadOut();
    void releaseBuffers();

    uint8_t* settingsBuffer[2];  // [0] the transfer under way, [1] the last completed read-out
    uint32_t settingsSize[2];
    G2_OPERATION_MODE operationMode;
    uint16_t requestedOffset;
    uint16_t receivedOffset;
    int32_t chunksRequested;
    int32_t chunksReceived;
};

}  // namespace Sensors

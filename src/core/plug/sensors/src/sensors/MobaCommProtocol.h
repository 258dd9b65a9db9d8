#pragma once

// The numbered-value exchange with a Moba unit: the unit sends values on extended identifier 562,
// the plug-in answers on 561. Each received frame carries one value number, a control byte and a
// payload of one to four bytes; the latest state of every known value is kept here.

#include <map>

#include "MobaValue.h"
#include "Sensor.h"

namespace Sensors {

class MobaCommProtocol : public Sensor {
public:
    typedef std::map<unsigned char, MobaProtocol::MobaValue> ValueTable;

    static constexpr uint32_t RECEIVE_ID = 562;
    static constexpr uint32_t SEND_ID = 561;
    // A copy hands out only values stored this recently; older ones count as gone.
    static constexpr unsigned long long VALUE_FRESH_MS = 1000;

    MobaCommProtocol(SensorManager* manager, int cuaId, unsigned char sensorId);
    MobaCommProtocol(const MobaCommProtocol& other) = default;
    MobaCommProtocol* Clone() override;
    ~MobaCommProtocol() override;

    using Sensor::ToXML;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;
    bool Parse(_TGENERIC_CAN_FRAME* frame, const unsigned long long& time) override;

    virtual wxString ToXML() const;
    virtual void StoreValue(unsigned char valueNo, unsigned char* payload, unsigned short length,
                            unsigned long long time, bool carriesValue, bool okOrCommand, bool ackExpected);
    // The table as the host may use it: fresh entries copied, stale ones reset here and in the copy.
    virtual ValueTable GetCopyOfValues();

    void HandleHandshake(const unsigned char& valueNo, const bool& carriesValue, const bool& okOrCommand,
                         const bool& ackExpected);
    // Sends ValueNo, control byte and payload as the caller laid them out: buffer bytes 0 to 3 are
    // the frame's header bytes, the payload follows. Returns 0, or -1 for a payload above 4 bytes.
    int SendValue(unsigned char* buffer, unsigned char payloadLength);
    void resetInputValues();

    const ValueTable& getValues() const { return values; }

    // The value type stored for a value number, or -1 when the number is not exchanged.
    static int valueTypeOf(unsigned char valueNo);

private:
    ValueTable values;
};

}  // namespace Sensors

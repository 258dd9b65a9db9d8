#pragma once

// One numbered value of the Moba exchange: the value in its own type, its timing for periodic or
// one-shot sending, and the acknowledgement state of the last exchange.

#include <cstdint>

#include <wx/string.h>

namespace MobaProtocol {

// Type codes of a value; any other code carries no value.
enum MobaValueType : unsigned short {
    MOBA_TYPE_UINT8 = 0,
    MOBA_TYPE_UINT16 = 1,
    MOBA_TYPE_UINT32 = 3,
    MOBA_TYPE_INT8 = 4,
    MOBA_TYPE_INT16 = 5,
    MOBA_TYPE_INT32 = 7,
    MOBA_TYPE_FLOAT = 11
};

class MobaValue {
public:
    MobaValue();
    MobaValue(unsigned short type, unsigned short valueNo, int interval, long long lifetime);
    MobaValue(const MobaValue& other) = default;
    // Takes everything but the raw slots, the trigger send time and the new-uncopied-value flag:
    // a stored value keeps the bytes of its last payload when its state is assigned over it.
    MobaValue& operator=(const MobaValue& other);

    void Clear();
    void ResetReceiverState();
    void ResetSendState();
    void ClearValue();

    void SetValue(unsigned char v);
    void SetValue(unsigned short v);
    void SetValue(unsigned int v);
    void SetValue(signed char v);
    void SetValue(short v);
    void SetValue(int v);
    void SetValue(float v);
    void SetValue(double v);
    double GetValue() const;
    void SetValueFromArray(unsigned char* bytes, unsigned short length);
    void SetValueType(unsigned short type);
    unsigned short GetValueType() const;
    void SetValueNo(unsigned short valueNo);
    unsigned short GetValueNo() const;

    // The raw slots, one per type.
    uint8_t GetUInt8Slot() const { return u8; }
    uint16_t GetUInt16Slot() const { return u16; }
    uint32_t GetUInt32Slot() const { return u32; }
    int8_t GetInt8Slot() const { return s8; }
    int16_t GetInt16Slot() const { return s16; }
    int32_t GetInt32Slot() const { return s32; }
    float GetFloatSlot() const { return f32; }

    void SetTickCount(unsigned long long tick);
    unsigned long long GetTickCount() const;
    void SetLastTick(unsigned long long tick);
    unsigned long long GetLastTick() const;
    unsigned long long GetTickCountFromLastTick() const;
    void SetIntervalInMilliseconds(int ms);
    int GetIntervalInMilliseconds() const;
    bool GetIsIntervalReached();
    void SetTriggerSend(unsigned long long time);
    unsigned long long GetTriggerSendTime() const;
    void SetLifeTimeTickCount(long long ms);
    long long GetLifeTimeTickCount() const;

    void SetRequestThis();
    void ClearRequest();
    bool GetIsRequested() const;
    void SetExpectAck();
    void ClearExpectAck();
    bool GetIsExpectingAck() const;
    void SetExpectAnswer();
    void ClearExpectAnswer();
    bool GetIsExpectingAnswer() const;
    void SetIsAckOK(bool ok);
    bool GetIsAckOK() const;
    void SetIsAckReceivedYet(bool received);
    bool GetIsAckReceivedYet() const;
    void SetIgnoreAck(bool ignore);
    bool GetIsAckIgnored() const;
    void SetIsSent(bool sent);
    bool GetIsSent() const;
    void SetIsNewUncopiedValue(bool isNew);
    bool GetIsNewUncopiedValue() const;
    void SetFlagUseJitterOnValue();
    void ClearFlagUseJitterOnValue();
    bool GetFlagUseJitterOnValue() const;
    bool GetJitterToggle();

    void SetId(unsigned long long tag);
    unsigned long long GetId() const;

    wxString name;

private:
    void clearSlots();

    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    int8_t s8;
    int16_t s16;
    int32_t s32;
    float f32;
    unsigned short valueType;
    unsigned short valueNo;
    int interval;  // -1 none, -2 one-shot send pending, above 0 a period in ms
    double value;
    unsigned long long tickCount;
    unsigned long long lastTick;
    unsigned long long triggerSendTime;
    unsigned long long id;
    long long lifetime;
    bool requested;
    bool expectAck;
    bool ackOk;
    bool ackReceivedYet;
    bool expectAnswer;
    bool ignoreAck;
    bool isSent;
    bool newUncopiedValue;
    bool useJitterOnValue;
    bool jitterToggle;
};

}  // namespace MobaProtocol

#include "MobaValue.h"

#include <cstring>

namespace MobaProtocol {

namespace {

template <size_t N> struct UnsignedOfSize;
template <> struct UnsignedOfSize<1> { typedef uint8_t type; };
template <> struct UnsignedOfSize<2> { typedef uint16_t type; };
template <> struct UnsignedOfSize<4> { typedef uint32_t type; };

// Writes `length` little-endian payload bytes over the low bytes of a slot; the slot's upper bytes
// keep their content when the payload is shorter than the type, and surplus bytes are dropped.
template <typename T>
void mergeLittleEndian(T& slot, const unsigned char* bytes, unsigned short length)
{
    typedef typename UnsignedOfSize<sizeof(T)>::type Bits;
    Bits bits;
    std::memcpy(&bits, &slot, sizeof(T));
    const size_t n = length < sizeof(T) ? length : sizeof(T);
    for (size_t i = 0; i < n; ++i) {
        const unsigned shift = static_cast<unsigned>(8 * i);
        bits = static_cast<Bits>((bits & ~(static_cast<Bits>(0xFFu) << shift)) | (static_cast<Bits>(bytes[i]) << shift));
    }
    std::memcpy(&slot, &bits, sizeof(T));
}

}  // namespace

MobaValue::MobaValue() : MobaValue(0, 0, -1, -1) {}

MobaValue::MobaValue(unsigned short type, unsigned short valueNo_, int interval_, long long lifetime_)
    : u8(0), u16(0), u32(0), s8(0), s16(0), s32(0), f32(0.0f),
      valueType(type), valueNo(valueNo_), interval(interval_), value(0.0),
      tickCount(0), lastTick(0), triggerSendTime(0), id(0), lifetime(lifetime_),
      requested(false), expectAck(false), ackOk(false), ackReceivedYet(false), expectAnswer(false),
      ignoreAck(false), isSent(false), newUncopiedValue(false), useJitterOnValue(false), jitterToggle(false)
{
}

MobaValue& MobaValue::operator=(const MobaValue& other)
{
    if (this == &other)
        return *this;
    name = other.name;
    valueType = other.valueType;
    valueNo = other.valueNo;
    interval = other.interval;
    value = other.value;
    tickCount = other.tickCount;
    lastTick = other.lastTick;
    id = other.id;
    lifetime = other.lifetime;
    requested = other.requested;
    expectAck = other.expectAck;
    ackOk = other.ackOk;
    ackReceivedYet = other.ackReceivedYet;
    expectAnswer = other.expectAnswer;
    ignoreAck = other.ignoreAck;
    isSent = other.isSent;
    useJitterOnValue = other.useJitterOnValue;
    jitterToggle = other.jitterToggle;
    return *this;
}

void MobaValue::clearSlots()
{
    u8 = 0;
    u16 = 0;
    u32 = 0;
    s8 = 0;
    s16 = 0;
    s32 = 0;
    f32 = 0.0f;
}

void MobaValue::Clear()
{
    ResetReceiverState();
}

void MobaValue::ResetReceiverState()
{
    clearSlots();
    value = 0.0;
    tickCount = 0;
    lastTick = 0;
    triggerSendTime = 0;
    requested = false;
    expectAck = false;
    ackOk = false;
    ackReceivedYet = false;
    expectAnswer = false;
    isSent = false;
    newUncopiedValue = false;
}

void MobaValue::ResetSendState()
{
    isSent = false;
    expectAck = false;
    expectAnswer = false;
    ackOk = false;
    tickCount = 0;
    lastTick = 0;
}

void MobaValue::ClearValue()
{
    clearSlots();
    value = 0.0;
}

void MobaValue::SetValue(unsigned char v) { u8 = v; value = v; }
void MobaValue::SetValue(unsigned short v) { u16 = v; value = v; }
void MobaValue::SetValue(unsigned int v) { u32 = v; value = v; }
void MobaValue::SetValue(signed char v) { s8 = v; value = v; }
void MobaValue::SetValue(short v) { s16 = v; value = v; }
// A signed 32-bit value shares the unsigned 32-bit slot, as the bus sees the same four bytes.
void MobaValue::SetValue(int v) { u32 = static_cast<uint32_t>(v); value = v; }
void MobaValue::SetValue(float v) { f32 = v; value = v; }
void MobaValue::SetValue(double v) { value = v; }
double MobaValue::GetValue() const { return value; }

void MobaValue::SetValueFromArray(unsigned char* bytes, unsigned short length)
{
    if (!bytes)
        return;
    switch (valueType) {
    case MOBA_TYPE_UINT8: mergeLittleEndian(u8, bytes, length); value = u8; break;
    case MOBA_TYPE_UINT16: mergeLittleEndian(u16, bytes, length); value = u16; break;
    case MOBA_TYPE_UINT32: mergeLittleEndian(u32, bytes, length); value = u32; break;
    case MOBA_TYPE_INT8: mergeLittleEndian(s8, bytes, length); value = s8; break;
    case MOBA_TYPE_INT16: mergeLittleEndian(s16, bytes, length); value = s16; break;
    case MOBA_TYPE_INT32: mergeLittleEndian(s32, bytes, length); value = s32; break;
    case MOBA_TYPE_FLOAT: mergeLittleEndian(f32, bytes, length); value = f32; break;
    default: break;
    }
}

void MobaValue::SetValueType(unsigned short type) { valueType = type; }
unsigned short MobaValue::GetValueType() const { return valueType; }
void MobaValue::SetValueNo(unsigned short no) { valueNo = no; }
unsigned short MobaValue::GetValueNo() const { return valueNo; }

void MobaValue::SetTickCount(unsigned long long tick) { tickCount = tick; }
unsigned long long MobaValue::GetTickCount() const { return tickCount; }
void MobaValue::SetLastTick(unsigned long long tick) { lastTick = tick; }
unsigned long long MobaValue::GetLastTick() const { return lastTick; }
unsigned long long MobaValue::GetTickCountFromLastTick() const { return tickCount - lastTick; }
void MobaValue::SetIntervalInMilliseconds(int ms) { interval = ms; }
int MobaValue::GetIntervalInMilliseconds() const { return interval; }

bool MobaValue::GetIsIntervalReached()
{
    if (interval == -2) {
        // A one-shot send fires once and leaves the value without a period.
        interval = -1;
        return true;
    }
    if (interval <= 0)
        return false;
    if (tickCount - lastTick >= static_cast<unsigned long long>(interval)) {
        lastTick = tickCount;
        return true;
    }
    return false;
}

void MobaValue::SetTriggerSend(unsigned long long time)
{
    interval = -2;
    triggerSendTime = time;
}

unsigned long long MobaValue::GetTriggerSendTime() const { return triggerSendTime; }
void MobaValue::SetLifeTimeTickCount(long long ms) { lifetime = ms; }
long long MobaValue::GetLifeTimeTickCount() const { return lifetime; }

void MobaValue::SetRequestThis() { requested = true; }
void MobaValue::ClearRequest() { requested = false; }
bool MobaValue::GetIsRequested() const { return requested; }
void MobaValue::SetExpectAck() { expectAck = true; }
void MobaValue::ClearExpectAck() { expectAck = false; }
bool MobaValue::GetIsExpectingAck() const { return expectAck; }
void MobaValue::SetExpectAnswer() { expectAnswer = true; }
void MobaValue::ClearExpectAnswer() { expectAnswer = false; }
bool MobaValue::GetIsExpectingAnswer() const { return expectAnswer; }
void MobaValue::SetIsAckOK(bool ok) { ackOk = ok; }
bool MobaValue::GetIsAckOK() const { return ackOk; }
void MobaValue::SetIsAckReceivedYet(bool received) { ackReceivedYet = received; }
bool MobaValue::GetIsAckReceivedYet() const { return ackReceivedYet; }
void MobaValue::SetIgnoreAck(bool ignore) { ignoreAck = ignore; }
bool MobaValue::GetIsAckIgnored() const { return ignoreAck; }
void MobaValue::SetIsSent(bool sent) { isSent = sent; }
bool MobaValue::GetIsSent() const { return isSent; }
void MobaValue::SetIsNewUncopiedValue(bool isNew) { newUncopiedValue = isNew; }
bool MobaValue::GetIsNewUncopiedValue() const { return newUncopiedValue; }
void MobaValue::SetFlagUseJitterOnValue() { useJitterOnValue = true; }
void MobaValue::ClearFlagUseJitterOnValue() { useJitterOnValue = false; }
bool MobaValue::GetFlagUseJitterOnValue() const { return useJitterOnValue; }

bool MobaValue::GetJitterToggle()
{
    jitterToggle = !jitterToggle;
    return jitterToggle;
}

void MobaValue::SetId(unsigned long long tag) { id = tag; }
unsigned long long MobaValue::GetId() const { return id; }

}  // namespace MobaProtocol

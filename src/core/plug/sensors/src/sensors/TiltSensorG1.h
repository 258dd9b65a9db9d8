#pragma once

// The maker's first-generation tilt sensor: up to ten orientation streams (two speeds times five
// processing stages, each an x, y, z, w quaternion in raw integers), two temperatures with four
// warm-up flags, and the configuration commands for message intervals, FIR filter lengths and the
// 4 by 4 end (mounting) matrix, which travels as Q15 fixed point in 24-bit fields.

#include <cstdint>
#include <utility>

#include "Matrix3d.h"
#include "Quat.h"
#include "TiltSensor.h"
#include "Vector3d.h"

namespace Sensors {

class TiltSensorG1 : public TiltSensor {
public:
    TiltSensorG1(SensorManager* manager, int cuaId, unsigned char sensorId);
    TiltSensorG1(const TiltSensorG1& other) = default;
    TiltSensorG1& operator=(const TiltSensorG1& other) = default;

    TiltSensorG1* Clone() override;
    ~TiltSensorG1() override;
    void Clean() override;
    // flags: 0x100 handled, 0x200 skipped, 0x400 unknown counts, 0x80 temperatures, 0x800 streams.
    wxString ToXML(int flags) const override;
    using TiltSensor::Parse;
    bool Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time) override;

    // --- readings ---
    // 2147483647 until a temperature message has arrived.
    int getTemperature1() const;
    int getTemperature2() const;
    bool isTemperatureValid() const { return temperatureValid; }
    bool getWarmUp(int index) const { return index >= 0 && index < 4 && warmUp[index]; }
    bool isUnitAvaiable(TiltSpeed speed, TiltFilter filter) const;
    TiltValue getValue(TiltSpeed speed, TiltFilter filter) const;
    Vector3d getUnit(TiltSpeed speed, TiltFilter filter) const;
    Quat getOrientation(TiltSpeed speed, TiltFilter filter) const;
    // A stream without a reading counts as stable; otherwise |w| must exceed limit.
    bool isStable(TiltSpeed speed, TiltFilter filter, short limit) const;
    // (element index, value) of the last end-matrix read-back; index -1 means none.
    std::pair<int, int> getRotationMatrix() const;
    TiltSensorMsgIntervals getMsgIntervals() const { return msgIntervals; }
    unsigned char getFastFirLength() const { return fastFirLength; }
    unsigned char getSlowFirLength() const { return slowFirLength; }

    // --- commands; each returns the send result ---
    int setMsgInterval(unsigned char a, unsigned char b, unsigned char c, bool queued);
    // All eight slots, queued; 1 when every send returned an odd result.
    int setMsgIntervals(TiltSensorMsgIntervals intervals);
    int setFastFirFilterLength(unsigned char length, bool queued);
    int setSlowFirFilterLength(unsigned char length, bool queued);
    // which: 0 fast, 1 slow; anything else sends nothing and returns false.
    int setFirFilterLength(unsigned char which, unsigned char length, bool queued);
    int sendFastFirlFilterRead(bool queued);
    int sendSlowFirlFilterRead(bool queued);
    int SendEndMatrixRead(unsigned char element, bool queued);
    // mode 1 writes (message 88), mode 0 writes with message 188, others use message 0.
    int SendEndMatrixWrite(unsigned char element, int value, unsigned char mode, bool queued);
    int SendEndMatrixWriteReal(unsigned char element, double value, unsigned char mode, bool queued);
    // Writes m as the upper-left 3 by 3 of the end matrix, then asks for element 15 back.
    int SendEndMatrix(const Matrix3d& m);

    // Q15 in a 24-bit two's-complement field, saturating at +32767 only.
    static int RealToFixed(double value);
    static int Get24B(unsigned char hi, unsigned char mid, unsigned char lo);

    static constexpr int SPEEDS = 2;
    static constexpr int FILTERS = 5;

private:
    void decodeStream(TiltSpeed speed, TiltFilter filter, const uint8_t* data);
    _TQUIL1G5_CAN_FRAME endMatrixFrame(unsigned char msg, unsigned char element, unsigned char cmd, uint32_t value) const;

    TiltValue values[SPEEDS][FILTERS];
    bool valid[SPEEDS][FILTERS];
    int32_t temperature1;
    int32_t temperature2;
    bool warmUp[4];
    bool temperatureValid;
    int32_t matrixReadIndex;
    int32_t matrixReadValue;
    TiltSensorMsgIntervals msgIntervals;
    uint8_t fastFirLength;
    uint8_t slowFirLength;
    int32_t thresholds[30][3];
};

}  // namespace Sensors

#include "TiltSensorG1.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FrameBytes.h"

namespace Sensors {

using namespace FrameBytes;

namespace {

const wxChar* const speedNames[TiltSensorG1::SPEEDS] = {wxT("fast"), wxT("slow")};
const wxChar* const filterNames[TiltSensorG1::FILTERS] = {wxT("raw"), wxT("fir"), wxT("fix"), wxT("scaled"),
                                                          wxT("calibrated")};

bool inRange(TiltSpeed speed, TiltFilter filter)
{
    return speed >= 0 && speed < TiltSensorG1::SPEEDS && filter >= 0 && filter < TiltSensorG1::FILTERS;
}

}  // namespace

TiltSensorG1::TiltSensorG1(SensorManager* manager_, int cuaId_, unsigned char sensorId_)
    : TiltSensor(manager_, cuaId_, sensorId_)
{
    errorTimeoutTime = 500;
    TiltSensorG1::Clean();
    for (auto& t : thresholds) {
        t[0] = 6000;
        t[1] = 16000;
        t[2] = 26000;
    }
}

TiltSensorG1* TiltSensorG1::Clone()
{
    return new TiltSensorG1(*this);
}

TiltSensorG1::~TiltSensorG1() = default;

void TiltSensorG1::Clean()
{
    for (int s = 0; s < SPEEDS; ++s)
        for (int f = 0; f < FILTERS; ++f) {
            values[s][f] = TiltValue();
            valid[s][f] = false;
        }
    temperature1 = temperature2 = 0;
    for (bool& w : warmUp)
        w = false;
    temperatureValid = false;
    matrixReadIndex = -1;
    matrixReadValue = 0;
    std::memset(&msgIntervals, 0, sizeof msgIntervals);
    fastFirLength = slowFirLength = 0;
}

void TiltSensorG1::decodeStream(TiltSpeed speed, TiltFilter filter, const uint8_t* d)
{
    TiltValue& v = values[speed][filter];
    v.x = les16(d);
    v.y = les16(d + 2);
    v.z = les16(d + 4);
    v.w = les16(d + 6);
    valid[speed][filter] = true;
}

bool TiltSensorG1::Parse(_TQUIL1G5_CAN_FRAME* frame, const unsigned long long& time)
{
    if (!frame)
        return false;
    acceptFrame(time);
    ++handledCount;
    const uint8_t* d = frame->data;
    const unsigned char cmd = frame->header.cmd;
    switch (frame->header.msg) {
    case 3: decodeStream(FAST, RAW, d); break;
    case 4: decodeStream(FAST, FIR, d); break;
    case 16: decodeStream(FAST, FIX, d); break;
    case 17: decodeStream(FAST, SCALED, d); break;
    case 18: decodeStream(FAST, CALIBRATED, d); break;
    case 6: decodeStream(SLOW, FIR, d); break;
    case 12: decodeStream(SLOW, FIX, d); break;
    case 13: decodeStream(SLOW, SCALED, d); break;
    case 14: decodeStream(SLOW, CALIBRATED, d); break;
    case 1: {
        // Slow raw comes one 32-bit component per frame; data 4 says which.
        const int32_t value = les32(d);
        TiltValue& v = values[SLOW][RAW];
        switch (d[4]) {
        case 0: v.x = value; break;
        case 1: v.y = value; break;
        case 2: v.z = value; break;
        case 3: v.w = value; break;
        default: break;
        }
        valid[SLOW][RAW] = true;
        break;
    }
    case 7:
        temperature1 = les16(d);
        temperature2 = les16(d + 2);
        for (int i = 0; i < 4; ++i)
            warmUp[i] = d[2 + i] != 0;
        temperatureValid = true;
        break;
    case 82:
        if (d[0] <= 7 && cmd == 1) {
            msgIntervals.interval[d[0]][0] = d[1];
            msgIntervals.interval[d[0]][1] = d[2];
        }
        break;
    case 88:
        if (cmd & 4) {
            matrixReadIndex = d[4] + 4 * (cmd % 4);
            matrixReadValue = Get24B(d[2], d[1], d[0]);
        }
        break;
    case 89:
        if (cmd & 4) {
            if (cmd % 4 == 0) {
                fastFirLength = d[0];
                std::printf("%d fastfir: %d\n", static_cast<int>(sensorId), static_cast<int>(fastFirLength));
            } else if (cmd % 4 == 1) {
                slowFirLength = d[0];
                std::printf("%d slowfir: %d\n", static_cast<int>(sensorId), static_cast<int>(slowFirLength));
            }
        }
        break;
    default:
        --handledCount;
        ++unknownCount;
        // A settings chunk still feeds a read-out under way; it is not a G1 message.
        if (frame->header.msg == SETTINGS_MESSAGE)
            collectSettings(*frame);
        break;
    }
    return true;
}

int TiltSensorG1::getTemperature1() const
{
    return temperatureValid ? temperature1 : INT_MAX;
}

int TiltSensorG1::getTemperature2() const
{
    return temperatureValid ? temperature2 : INT_MAX;
}

bool TiltSensorG1::isUnitAvaiable(TiltSpeed speed, TiltFilter filter) const
{
    return inRange(speed, filter) && valid[speed][filter];
}

TiltValue TiltSensorG1::getValue(TiltSpeed speed, TiltFilter filter) const
{
    return inRange(speed, filter) ? values[speed][filter] : TiltValue();
}

Vector3d TiltSensorG1::getUnit(TiltSpeed speed, TiltFilter filter) const
{
    const TiltValue v = getValue(speed, filter);
    return Vector3d(v.x, v.y, v.z);
}

Quat TiltSensorG1::getOrientation(TiltSpeed speed, TiltFilter filter) const
{
    const TiltValue v = getValue(speed, filter);
    return Quat(v.w, v.x, v.y, v.z);
}

bool TiltSensorG1::isStable(TiltSpeed speed, TiltFilter filter, short limit) const
{
    if (!isUnitAvaiable(speed, filter))
        return true;
    return std::llabs(static_cast<long long>(values[speed][filter].w)) > limit;
}

std::pair<int, int> TiltSensorG1::getRotationMatrix() const
{
    return std::make_pair(static_cast<int>(matrixReadIndex), static_cast<int>(matrixReadValue));
}

wxString TiltSensorG1::ToXML(int flags) const
{
    wxString xml = wxString::Format(wxT("<sensor id=\"%i\""), static_cast<int>(sensorId));
    if ((flags & 0x100) && handledCount > 0)
        xml += wxString::Format(wxT(" handled=\"%i\""), handledCount);
    if ((flags & 0x200) && skippedCount > 0)
        xml += wxString::Format(wxT(" skipped=\"%i\""), skippedCount);
    if ((flags & 0x400) && unknownCount > 0)
        xml += wxString::Format(wxT(" unknown=\"%i\""), unknownCount);
    if ((flags & 0x80) && temperatureValid) {
        xml += wxString::Format(wxT(" temp=\"%i,%i\" warmup=\"%s%s%s%s\""), static_cast<int>(temperature1),
                                static_cast<int>(temperature2), warmUp[0] ? wxT("^") : wxT("-"),
                                warmUp[1] ? wxT("^") : wxT("-"), warmUp[2] ? wxT("^") : wxT("-"),
                                warmUp[3] ? wxT("^") : wxT("-"));
    }
    if (!(flags & 0x800))
        return xml + wxT(" />\n");
    xml += wxT(">\n");
    for (int s = 0; s < SPEEDS; ++s) {
        xml += wxString::Format(wxT(" <speed class=\"%s\">\n"), speedNames[s]);
        for (int f = 0; f < FILTERS; ++f) {
            if (!valid[s][f])
                continue;
            const TiltValue& v = values[s][f];
            xml += wxString::Format(wxT("  <value filter=\"%s\" x=\"%i\" y=\"%i\" z=\"%i\" w=\"%i\"/>\n"),
                                    filterNames[f], static_cast<int>(v.x), static_cast<int>(v.y),
                                    static_cast<int>(v.z), static_cast<int>(v.w));
        }
        xml += wxT(" </speed>\n");
    }
    xml += wxT("</sensor>\n");
    return xml;
}

// --- commands ----------------------------------------------------------------------------------

int TiltSensorG1::setMsgInterval(unsigned char a, unsigned char b, unsigned char c, bool queued)
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(82, 0, 0, 3);
    frame.data[0] = a;
    frame.data[1] = b;
    frame.data[2] = c;
    return sendMessage(frame, queued);
}

int TiltSensorG1::setMsgIntervals(TiltSensorMsgIntervals intervals)
{
    int result = 1;
    for (unsigned char i = 0; i < 8; ++i)
        result &= setMsgInterval(i, intervals.interval[i][0], intervals.interval[i][1], true);
    return result;
}

int TiltSensorG1::setFastFirFilterLength(unsigned char length, bool queued)
{
    return setFirFilterLength(0, length, queued);
}

int TiltSensorG1::setSlowFirFilterLength(unsigned char length, bool queued)
{
    return setFirFilterLength(1, length, queued);
}

int TiltSensorG1::setFirFilterLength(unsigned char which, unsigned char length, bool queued)
{
    if (which > 1)
        return false;
    _TQUIL1G5_CAN_FRAME frame = makeFrame(89, which, 0, 1);
    frame.data[0] = length;
    return sendMessage(frame, queued);
}

int TiltSensorG1::sendFastFirlFilterRead(bool queued)
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(89, 4, 0, 0);
    return sendMessage(frame, queued);
}

int TiltSensorG1::sendSlowFirlFilterRead(bool queued)
{
    _TQUIL1G5_CAN_FRAME frame = makeFrame(89, 5, 0, 0);
    return sendMessage(frame, queued);
}

_TQUIL1G5_CAN_FRAME TiltSensorG1::endMatrixFrame(unsigned char msg, unsigned char element, unsigned char cmd,
                                                 uint32_t value) const
{
    // data 0-2: the 24-bit value, low byte first; data 3: 0; data 4: the element within its group
    // of four, the group being in the sub-field.
    _TQUIL1G5_CAN_FRAME frame = makeFrame(msg, cmd, 0, 5);
    putLe24(frame.data, value);
    frame.data[3] = 0;
    frame.data[4] = static_cast<uint8_t>(element % 4);
    return frame;
}

int TiltSensorG1::SendEndMatrixRead(unsigned char element, bool queued)
{
    matrixReadIndex = -1;
    matrixReadValue = 0;
    _TQUIL1G5_CAN_FRAME frame = endMatrixFrame(88, element, static_cast<unsigned char>(((element >> 2) & 3) + 4), 0);
    return sendMessage(frame, queued);
}

int TiltSensorG1::SendEndMatrixWrite(unsigned char element, int value, unsigned char mode, bool queued)
{
    const unsigned char msg = mode == 1 ? 88 : (mode == 0 ? 188 : 0);
    _TQUIL1G5_CAN_FRAME frame =
        endMatrixFrame(msg, element, static_cast<unsigned char>((element >> 2) & 3), static_cast<uint32_t>(value));
    return sendMessage(frame, queued);
}

int TiltSensorG1::SendEndMatrixWriteReal(unsigned char element, double value, unsigned char mode, bool queued)
{
    return SendEndMatrixWrite(element, RealToFixed(value), mode, queued);
}

int TiltSensorG1::SendEndMatrix(const Matrix3d& m)
{
    // The end matrix is 4 by 4, stored column by column; m fills its upper-left 3 by 3.
    for (int k = 0; k < 16; ++k) {
        const int row = k % 4;
        const int column = k / 4;
        const double value = (row < 3 && column < 3) ? m(row + 1, column + 1) : 0.0;
        const int fixed = RealToFixed(value);
        _TQUIL1G5_CAN_FRAME frame =
            endMatrixFrame(88, static_cast<unsigned char>(k), static_cast<unsigned char>(k / 4), static_cast<uint32_t>(fixed));
        sendMessage(frame, true);
        std::printf("%d: %d\n", k, signExtend(static_cast<uint32_t>(fixed), 24));
    }
    return SendEndMatrixRead(15, true);
}

int TiltSensorG1::RealToFixed(double value)
{
    if (std::isnan(value))
        return 0;
    if (value > 32767.0 / 32768.0)
        return 32767;
    // Truncated toward zero; the 24-bit mask keeps only the field's bits, so values far below -1
    // wrap as the sensor would see them.
    const double scaled = std::trunc(value * 32768.0);
    const double wrapped = std::fmod(scaled, 16777216.0);  // exact, and keeps the 24 low bits
    const long long f = static_cast<long long>(wrapped);
    if (value < 0)
        return static_cast<int>(f & 0xFFFFFF);
    return static_cast<int>(f);
}

int TiltSensorG1::Get24B(unsigned char hi, unsigned char mid, unsigned char lo)
{
    return signExtend(static_cast<uint32_t>(lo) | (static_cast<uint32_t>(mid) << 8) | (static_cast<uint32_t>(hi) << 16), 24);
}

}  // namespace Sensors

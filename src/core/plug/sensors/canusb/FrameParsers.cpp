#include "FrameParsers.h"

#include <iostream>

#include "BoomHeadingSensor.h"
#include "CANopenEncoderSensor.h"
#include "DSM500SensorComponent.h"
#include "DT500Sensor.h"
#include "EngconTiltrotatorSensor.h"
#include "GenericPositionSensor.h"
#include "KM7.h"
#include "MDS2000IO.h"
#include "MobaCommProtocol.h"
#include "MobaDrillDepthSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "RayGauge.h"
#include "RotationSensor.h"
#include "RototiltSensor.h"
#include "SandvikTIMSensor.h"
#include "SimulatorClientSensor.h"
#include "SlopeSensor.h"
#include "SteelwristJoystickSensor.h"
#include "SteelwristRotationSensor.h"
#include "SteelwristSlopeSensor.h"
#include "TiltSensorG1.h"

namespace Sensors {

bool adoptNewSensor(QCANDevice* device, Sensor* sensor)
{
    sensor->getLock();
    if (!device->addSensor(sensor)) {
        delete sensor;
        return false;
    }
    sensor->LockSensor();
    return true;
}

namespace {

// Two J1939 identifiers on our machines that happen to fit the maker's layout.
constexpr uint32_t J1939_LOOKALIKE_A = 0x0DF01001;
constexpr uint32_t J1939_LOOKALIKE_B = 0x0DF01010;
// Always zero in maker identifiers; anything else there belongs to another make.
constexpr uint32_t MAKER_ZERO_BITS = 0x7u << 15;

// Fixed sensor ids of the makes whose frames carry no id of their own.
constexpr unsigned short MDS2000_ID = 90;
constexpr unsigned short MOBA_PROTOCOL_ID = 91;
constexpr unsigned short DRILL_DEPTH_ID = 117;
constexpr unsigned short BOOM_HEADING_ID = 118;
constexpr unsigned short ROTATION_ID = 118;
constexpr unsigned short MOBA_SLOPE_ID = 120;
constexpr unsigned short STEELWRIST_SLOPE_ID = 130;
constexpr unsigned short TILTROTATOR_ID = 131;  // Steelwrist blade, Rototilt and Engcon alike
constexpr unsigned short JOYSTICK_ID = 140;
constexpr unsigned short CANOPEN_ENCODER_ID = 32;
constexpr unsigned short NMEA2K_HEADING_ID = 200;
constexpr unsigned short DT500_ID = 46;
constexpr unsigned short SANDVIK_TIM_ID = 117;

RxCANFrameT* rxOf(void* frame) { return static_cast<RxCANFrameT*>(frame); }

// A new maker-protocol sensor for a device type, or null for a type this plug-in does not create.
Sensor* createMakerSensor(uint8_t devType, int cuaId, unsigned char devNumber)
{
    SensorManager* manager = SensorManager::getInstance();
    switch (devType) {
    case SDT_G1:
        return new TiltSensorG1(manager, cuaId, devNumber);
    case SDT_SIMULATOR_CLIENT:
        return new SimulatorClientSensor(manager, cuaId, devNumber);
    case SDT_CAN_GNSS:
        return new GenericPositionSensor(manager, cuaId, devNumber);
    case SDT_RAY_GAUGE:
        return new RayGauge(manager, cuaId, devNumber);
    case SDT_KM7:
        return new KM7(manager, cuaId, devNumber);
    default:
        return nullptr;
    }
}

// Frames that feed two objects: the second is fed only when the first took the frame, and its
// result is the frame's result.
template <class First, class Second>
PARSE_RESULT parseBoth(void* frame, void* device, unsigned short firstId, SensorDeviceType firstType,
                       unsigned short secondId, SensorDeviceType secondType)
{
    const PARSE_RESULT r = getSensorAndParse<First>(frame, device, firstId, firstType);
    if (r != PARSE_RESULT_OK)
        return r;
    return getSensorAndParse<Second>(frame, device, secondId, secondType);
}

// Moba, first stage: identifiers that mean the same whether standard or extended.
PARSE_RESULT parseMobaById(void* frame, void* device, uint32_t id)
{
    switch (id) {
    case 1:
    case 6:
    case 7:
    case 8:
    case 300:
    case 303:
    case 304:
    case 421:
    case 501:
    case 702:
    case 703:
        return getSensorAndParse<MDS2000IO>(frame, device, MDS2000_ID, SDT_CONTROLLER);
    case 100:
    case 104:
    case 106:
    case 107:
        return getSensorAndParse<SlopeSensor>(frame, device, MOBA_SLOPE_ID, SDT_SLOPE);
    case 101:
        return parseBoth<MobaDrillDepthSensor, SlopeSensor>(frame, device, DRILL_DEPTH_ID, SDT_DEPTH, MOBA_SLOPE_ID,
                                                            SDT_SLOPE);
    case 102:
    case 110:
    case 112:
        return getSensorAndParse<MobaDrillDepthSensor>(frame, device, DRILL_DEPTH_ID, SDT_DEPTH);
    case 103:
        return getSensorAndParse<BoomHeadingSensor>(frame, device, BOOM_HEADING_ID, SDT_HEADING);
    case 109:
    case 111:
        return parseBoth<MobaDrillDepthSensor, MDS2000IO>(frame, device, DRILL_DEPTH_ID, SDT_DEPTH, MDS2000_ID,
                                                          SDT_CONTROLLER);
    case 170:
        return getSensorAndParse<RotationSensor>(frame, device, ROTATION_ID, SDT_ROTATION);
    default:
        return PARSE_RESULT_UNKNOWN;
    }
}

// CANopen node ids of the DSM500 units: 11 to 29 for the pairs' units, 60 and 69 for single ones.
bool isDSM500Node(uint32_t node) { return node == 60 || node == 69 || (node >= 11 && node <= 29); }

// Process data 0x180-0x1FF and SDO answers 0x580-0x5FF, SDO requests 0x600-0x67F and NMT
// heartbeats 0x700-0x77F: the CANopen services a DSM500 unit speaks.
bool isDSM500Service(uint32_t id) { return (id & 0x380) == 0x180 || (id & 0x680) == 0x600; }

}  // namespace

PARSE_RESULT parseInOrder(const QCANParserFunction* chain, size_t count, void* frame, void* device, void* context)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    for (size_t i = 0; i < count; ++i) {
        const PARSE_RESULT r = chain[i](frame, device, context);
        switch (r) {
        case PARSE_RESULT_OK:
            return r;
        case PARSE_RESULT_SENSOR_MISSING:
            // Sensors are created only on the manager's pass, never on the library's thread.
            if (!rxOf(frame)->createAllowed)
                static_cast<QCANDevice*>(device)->pushToRxBuffer(rxOf(frame));
            return r;
        case PARSE_RESULT_ERROR:
            std::cerr << "PARSE_RESULT_ERROR: " << i << std::endl;
            return r;
        case PARSE_RESULT_UNKNOWN:
            break;
        }
    }
    return PARSE_RESULT_UNKNOWN;
}

PARSE_RESULT parseDefault(void* frame, void* device, void* context)
{
    // The maker's protocol first: its layout is the most specific of all.
    static const QCANParserFunction chain[] = {parseQuillardSensorMsg, parseMobaSensorMsg,  parseSteelwristSensorMsg,
                                               parseNMEA2KSensorMsg,   parseSICKSensorMsg, parseSandvikTIMSensorMsg};
    return parseInOrder(chain, sizeof chain / sizeof chain[0], frame, device, context);
}

PARSE_RESULT parseQuillardSensorMsg(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    RxCANFrameT* rx = rxOf(frame);
    QCANDevice* dev = static_cast<QCANDevice*>(device);
    const uint32_t id = rx->frame.header.id;
    if (!rx->frame.header.ext || id == J1939_LOOKALIKE_A || id == J1939_LOOKALIKE_B || (id & MAKER_ZERO_BITS))
        return PARSE_RESULT_UNKNOWN;

    // The maker's view is built on the stack: this runs for every frame on the library's thread.
    _TGENERIC_CAN_FRAME copy = rx->frame;
    _TQUIL1G5_CAN_FRAME* maker = SensorManager::GenMsg2Quil_InPlace(&copy);
    const uint8_t devType = maker->header.devType;
    const uint8_t devNumber = maker->header.devNumber;
    if (devType == 0 || maker->header.err != 0)
        return PARSE_RESULT_UNKNOWN;

    Sensor* sensor = dev->getSensor(devNumber, static_cast<SensorDeviceType>(devType), true);
    if (!sensor) {
        if (!rx->createAllowed)
            return PARSE_RESULT_SENSOR_MISSING;
        sensor = createMakerSensor(devType, dev->getCuaId(), devNumber);
        if (!sensor)
            return PARSE_RESULT_UNKNOWN;  // another make may know this device type
        if (!adoptNewSensor(dev, sensor))
            return PARSE_RESULT_UNKNOWN;
    }
    sensor->Parse(maker, rx->time);
    sensor->UnlockSensor();
    return PARSE_RESULT_OK;
}

PARSE_RESULT parseMobaSensorMsg(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    const _TGENERIC_CAN_FRAME_HEADER& header = rxOf(frame)->frame.header;
    const uint32_t id = header.id;

    const PARSE_RESULT r = parseMobaById(frame, device, id);
    if (r != PARSE_RESULT_UNKNOWN)
        return r;

    if (header.ext) {
        // The Moba communication protocol: the controller answers on 560 to 564 as well.
        if (id >= 560 && id <= 564)
            return parseBoth<MobaCommProtocol, MDS2000IO>(frame, device, MOBA_PROTOCOL_ID, SDT_MOBA_PROTOCOL,
                                                          MDS2000_ID, SDT_CONTROLLER);
        return PARSE_RESULT_UNKNOWN;
    }

    const uint32_t node = id & 0x7F;
    if (isDSM500Service(id) && isDSM500Node(node))
        return getSensorAndParse<DSM500SensorComponent>(frame, device, static_cast<unsigned short>(node),
                                                        SDT_DSM500_UNIT);
    return PARSE_RESULT_UNKNOWN;
}

PARSE_RESULT parseSteelwristSensorMsg(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    const uint32_t id = rxOf(frame)->frame.header.id;

    PARSE_RESULT r = PARSE_RESULT_UNKNOWN;
    switch (id) {
    case 0x0CF013A9:
        r = getSensorAndParse<SteelwristSlopeSensor>(frame, device, STEELWRIST_SLOPE_ID, SDT_STEELWRIST_SLOPE);
        break;
    case 0x0CF014A9:
        r = getSensorAndParse<SteelwristRotationSensor>(frame, device, TILTROTATOR_ID, SDT_STEELWRIST_BLADE);
        break;
    case 0x0CFDD6A9:
    case 0x0CFDD7A9:
    case 0x0CFDD8A9:
    case 0x0CFDD9A9:
        r = getSensorAndParse<SteelwristJoystickSensor>(frame, device, JOYSTICK_ID, SDT_JOYSTICK);
        break;
    case 0x0CFF2ADC:
        r = getSensorAndParse<RototiltSensor>(frame, device, TILTROTATOR_ID, SDT_ROTOTILT);
        break;
    default:
        break;
    }
    if (r != PARSE_RESULT_UNKNOWN)
        return r;

    // Engcon's proprietary PGN 0xFFB9, from whatever source address the tiltrotator uses.
    if (SensorManager::checkJ1939Header(id, 0xFF, 0xB9, -1)) {
        r = getSensorAndParse<EngconTiltrotatorSensor>(frame, device, TILTROTATOR_ID, SDT_UPROP);
        if (r != PARSE_RESULT_UNKNOWN)
            return r;
    }

    // CANopen process data of node 32.
    if (id == 0x1A0)
        return getSensorAndParse<CANopenEncoderSensor>(frame, device, CANOPEN_ENCODER_ID, SDT_CANOPEN_ENCODER);
    return PARSE_RESULT_UNKNOWN;
}

PARSE_RESULT parseNMEA2KSensorMsg(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    // PGN 127250, vessel heading, from any source.
    if (!SensorManager::checkJ1939Header(rxOf(frame)->frame.header.id, 0xF1, 0x12, -1))
        return PARSE_RESULT_UNKNOWN;
    return getSensorAndParse<NMEA2KHeadingSensor>(frame, device, NMEA2K_HEADING_ID, SDT_NMEA2K_HEADING);
}

PARSE_RESULT parseSICKSensorMsg(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    const _TGENERIC_CAN_FRAME_HEADER& header = rxOf(frame)->frame.header;
    if (header.ext || header.id != 0x2E)
        return PARSE_RESULT_UNKNOWN;
    return getSensorAndParse<DT500Sensor>(frame, device, DT500_ID, SDT_DT500);
}

PARSE_RESULT parseSandvikTIMSensorMsg(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    const _TGENERIC_CAN_FRAME_HEADER& header = rxOf(frame)->frame.header;
    if (header.ext || header.id != 0x770)
        return PARSE_RESULT_UNKNOWN;
    return getSensorAndParse<SandvikTIMSensor>(frame, device, SANDVIK_TIM_ID, SDT_SANDVIK_TIM);
}

}  // namespace Sensors

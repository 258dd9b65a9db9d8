#include "FrameSequence.h"

#include <cstring>

#include "MakerId.h"
#include "ReceiveHarness.h"

namespace {

uint32_t j1939Id(unsigned priority, unsigned pf, unsigned ps, unsigned sa)
{
    return (priority & 7) << 26 | (pf & 0xFF) << 16 | (ps & 0xFF) << 8 | (sa & 0xFF);
}

// Small identifiers of the Moba devices and the MDS2000 controller.
const uint16_t MOBA_IDS[] = {1, 6, 7, 8, 300, 303, 304, 421, 501, 702, 703, 100, 101, 102,
                             103, 104, 106, 107, 109, 110, 111, 112, 170, 701};
const uint8_t DSM500_NODES[] = {11, 12, 60, 69};
const uint16_t CANOPEN_BASES[] = {0x180, 0x580, 0x600, 0x700};
const uint8_t G1_READBACKS[] = {82, 88, 89, 90};
const uint8_t MAKER_OTHERS[] = {11, 67, 68, 5};  // CAN GNSS, laser receiver, KM7, simulator client

}  // namespace

_TGENERIC_CAN_FRAME_HEADER sequenceHeader(uint8_t protocol, uint8_t variant)
{
    _TGENERIC_CAN_FRAME_HEADER h{};
    h.ext = 1;
    switch (protocol % SEQUENCE_PROTOCOLS) {
    case 0:  // NMEA 2000 GNSS position fast packets, any source
        h.id = j1939Id(3, 0xF8, 0x05, variant);
        break;
    case 1:  // Moba value exchange, 560 to 564
        h.id = 560u + variant % 5;
        break;
    case 2:  // tilt sensor read-backs: intervals, end matrix, FIR lengths, settings chunks
        h.id = makerId(G1_READBACKS[variant & 3], (variant >> 2) & 7, 16, 1 + ((variant >> 5) & 1));
        break;
    case 3:  // tilt sensor streams, any message type
        h.id = makerId(variant, 0, 16, 1);
        break;
    case 4:  // DSM500 units: process data, service data answers and writes, heartbeats
        h.ext = 0;
        h.id = CANOPEN_BASES[(variant >> 2) & 3] + DSM500_NODES[variant & 3];
        break;
    case 5:  // CAN GNSS receiver, laser receiver, KM7 and the simulator client
        h.id = makerId(variant & 15, 0, MAKER_OTHERS[(variant >> 4) & 3], 1);
        break;
    case 6:  // NMEA 2000 vessel heading and the tiltrotators' J1939 groups
        h.id = (variant & 0x80) ? j1939Id(3, 0xFF, 0xB9, variant) : j1939Id(2, 0xF1, 0x12, variant);
        break;
    default:  // Moba devices and the MDS2000 controller
        h.ext = 0;
        h.id = MOBA_IDS[variant % (sizeof MOBA_IDS / sizeof MOBA_IDS[0])];
        break;
    }
    return h;
}

bool appendSequenceRecord(std::string& out, const _TGENERIC_CAN_FRAME& frame)
{
    for (int p = 0; p < SEQUENCE_PROTOCOLS; ++p)
        for (int v = 0; v < 256; ++v) {
            const _TGENERIC_CAN_FRAME_HEADER h = sequenceHeader(static_cast<uint8_t>(p), static_cast<uint8_t>(v));
            if (h.id != frame.header.id || h.ext != frame.header.ext)
                continue;
            out.push_back(static_cast<char>(p));
            out.push_back(static_cast<char>(v));
            out.push_back(static_cast<char>(0x10 | 0x20 | (frame.header.dlc & 0x0F)));
            out.append(reinterpret_cast<const char*>(frame.data), 8);
            return true;
        }
    return false;
}

void runSequenceInput(const uint8_t* data, size_t size)
{
    ReceiveHarness& h = ReceiveHarness::instance();
    for (size_t at = 0; at + SEQUENCE_RECORD_SIZE <= size; at += SEQUENCE_RECORD_SIZE) {
        _TGENERIC_CAN_FRAME frame{};
        frame.header = sequenceHeader(data[at], data[at + 1]);
        const uint8_t control = data[at + 2];
        frame.header.dlc = control & 0x0F;
        std::memcpy(frame.data, data + at + 3, 8);
        h.receive(0, frame);
        if (control & 0x10)
            h.pass(1 + 500ull * (control >> 6));
        if (control & 0x20)
            h.readEverything();
    }
    h.pass(10);
    h.readEverything();
    h.reset();
}

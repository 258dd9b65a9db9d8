#include "TrafficCorpus.h"

#include <cstring>
#include <functional>
#include <utility>

#include "MakerId.h"

namespace {

using Frames = std::vector<_TGENERIC_CAN_FRAME>;

_TGENERIC_CAN_FRAME frame(uint32_t id, bool ext, std::vector<uint8_t> data)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.id = id;
    f.header.ext = ext ? 1 : 0;
    f.header.dlc = static_cast<uint16_t>(data.size());
    std::memcpy(f.data, data.data(), data.size() > 8 ? 8 : data.size());
    return f;
}

_TGENERIC_CAN_FRAME maker(unsigned msg, unsigned cmd, unsigned devType, unsigned devNumber, std::vector<uint8_t> data)
{
    return frame(makerId(msg, cmd, devType, devNumber), true, std::move(data));
}

// J1939: priority bits 26-28, PDU format 16-23, PDU specific 8-15, source address 0-7.
_TGENERIC_CAN_FRAME j1939(unsigned priority, unsigned pf, unsigned ps, unsigned sa, std::vector<uint8_t> data)
{
    return frame((priority & 7) << 26 | (pf & 0xFF) << 16 | (ps & 0xFF) << 8 | (sa & 0xFF), true, std::move(data));
}

std::vector<uint8_t> le16x4(int a, int b, int c, int d)
{
    std::vector<uint8_t> v;
    for (int x : {a, b, c, d}) {
        v.push_back(static_cast<uint8_t>(x & 0xFF));
        v.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
    }
    return v;
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

void tiltG1(Frames& out)
{
    for (int n = 1; n <= 3; ++n) {
        for (int step = 0; step < 4; ++step) {
            const int a = 100 * step - 150;
            for (unsigned type : {3u, 4u, 16u, 17u, 18u, 6u, 12u, 13u, 14u})
                out.push_back(maker(type, 0, 16, n, le16x4(a, -a, 1000 + a, n)));
            for (uint8_t component = 0; component < 4; ++component) {
                std::vector<uint8_t> d(5, 0);
                put32(d, 0, 70000u + step * 13u);
                d[4] = component;
                out.push_back(maker(1, 0, 16, n, d));
            }
        }
        out.push_back(maker(7, 0, 16, n, {0x2C, 0x01, 0x30, 0x01, 1, 0}));
    }
}

void tiltG2Commands(Frames& out)
{
    // Read-backs the sensors answer to configuration commands: intervals, end matrix, FIR lengths,
    // and the chunks of a settings read-out (offset, chunk length, total size on the first).
    for (uint8_t slot = 0; slot < 8; ++slot)
        out.push_back(maker(82, 1, 16, 2, {slot, 10, static_cast<uint8_t>(20 + slot)}));
    for (unsigned sub = 4; sub < 8; ++sub)
        for (uint8_t i = 0; i < 4; ++i)
            out.push_back(maker(88, sub, 16, 2, {0x10, 0x20, static_cast<uint8_t>(i), 0, i}));
    out.push_back(maker(89, 4, 16, 2, {8}));
    out.push_back(maker(89, 5, 16, 2, {32}));
    for (uint16_t off = 0; off < 24; off += 4)
        out.push_back(maker(90, 1, 16, 2, {static_cast<uint8_t>(off), 0, 4, 0, 1, 2, 24, 0}));
}

void gnss(Frames& out)
{
    for (int round = 0; round < 3; ++round)
        for (unsigned msg = 1; msg <= 9; ++msg) {
            std::vector<uint8_t> d(8, 0);
            put32(d, 0, 0x12345678u + round);
            put32(d, 4, msg * 1000u);
            out.push_back(maker(msg, 0, 11, 1, d));
        }
}

void makerOthers(Frames& out, unsigned devType, std::vector<unsigned> msgs, int rounds)
{
    for (int r = 0; r < rounds; ++r)
        for (unsigned msg : msgs)
            out.push_back(maker(msg, 0, devType, 1, le16x4(r % 4, 100 * r - 200, 0, 0)));
}

void mobaValues(Frames& out)
{
    // Values on 562: byte 0 = 0 or 1, ValueNo, unused, control (kind, ack, length-1 in bits 3-4).
    const uint8_t values[] = {0, 10, 11, 12, 13, 17, 18, 20, 23, 30, 31, 40, 41};
    for (int r = 0; r < 3; ++r)
        for (uint8_t no : values) {
            const uint8_t len = (no >= 30 && no < 40) ? 1 : (no == 0 || (no >= 17 && no <= 27)) ? 2 : 4;
            const uint8_t control = static_cast<uint8_t>((r == 2 ? 0x02 : 0x01) | (r == 0 ? 0x04 : 0) | (len - 1) << 3);
            std::vector<uint8_t> d = {static_cast<uint8_t>(r & 1), no, 0, control, 0, 0, 0, 0};
            put32(d, 4, 1000u * no + r);
            out.push_back(frame(562, true, d));
        }
    for (uint32_t id : {560u, 561u, 563u, 564u})
        out.push_back(frame(id, true, {1, 10, 0, 0x1B, 1, 2, 3, 4}));
}

void mobaDevices(Frames& out)
{
    // The MDS2000 controller, slope unit, drill depth, boom heading and rotation on small ids.
    // Each identifier with the length its device sends it with.
    const std::pair<uint32_t, uint8_t> controller[] = {{1, 3},   {6, 8},   {7, 2},   {8, 8},   {300, 8}, {303, 8},
                                                       {304, 7}, {421, 8}, {501, 2}, {702, 8}, {703, 8}};
    for (int r = 0; r < 3; ++r) {
        const uint8_t b = static_cast<uint8_t>(r * 7);
        for (const auto& c : controller) {
            std::vector<uint8_t> d = {static_cast<uint8_t>(r & 1), b, static_cast<uint8_t>(r == 2), 1, 2, 3, 4, 5};
            d.resize(c.second);
            out.push_back(frame(c.first, false, d));
        }
        // Slope unit: 100 slopes as floats, 101 unit state, 104 range flags, 106 and 107 set points.
        std::vector<uint8_t> slopes(8, 0);
        const float x = 1.5f * r, y = -0.25f * r;
        std::memcpy(slopes.data(), &x, 4);
        std::memcpy(slopes.data() + 4, &y, 4);
        out.push_back(frame(100, false, slopes));
        out.push_back(frame(101, false, {0, 0, 0, 0, 0}));
        out.push_back(frame(104, false, {0, 0, 0, 0, 0, 0, static_cast<uint8_t>(r == 1)}));
        out.push_back(frame(106, false, slopes));
        out.push_back(frame(107, false, {slopes[0], slopes[1], slopes[2], slopes[3], 0}));
        // Drill depth and the flags the controller shares with it.
        for (uint32_t id : {102u, 110u, 112u})
            out.push_back(frame(id, false, {1, b, 0x10, 0x27, 0, 0, 0, 0}));
        out.push_back(frame(109, false, {1, b, 0x10, 0x27, 1, 0}));
        out.push_back(frame(111, false, {1, b, 0x10, 0x27, 0}));
        out.push_back(frame(103, false, {1, 0x0E, 0x10, b, 0, 0, 0, 0}));
        out.push_back(frame(170, false, {1, 0x0E, static_cast<uint8_t>(0x10 + b)}));
    }
}

void steelwrist(Frames& out)
{
    for (int r = 0; r < 4; ++r) {
        const uint8_t b = static_cast<uint8_t>(r * 40);
        out.push_back(frame(0x0CF013A9, true, {b, 0x7D, 0x10, 0x7D, 0, 0, 0xFF, 0xFF}));
        out.push_back(frame(0x0CF014A9, true, {0x10, b, 0x7D, 0, 0, 0, 0xFF, 0xFF}));
        for (uint32_t id : {0x0CFDD6A9u, 0x0CFDD7A9u, 0x0CFDD8A9u, 0x0CFDD9A9u})
            out.push_back(frame(id, true, {0x55, b, 0x10, 0x20, 0x01, 0x04, 0x10, 0x40}));
    }
}

void engcon(Frames& out)
{
    for (int r = 0; r < 6; ++r)
        out.push_back(j1939(3, 0xFF, 0xB9, static_cast<unsigned>(0x80 + r % 3),
                            {static_cast<uint8_t>(r), 0x10, 0x20, static_cast<uint8_t>(r * 30), 0, 0x7F, 0, 0xFF}));
}

void rototilt(Frames& out)
{
    for (int r = 0; r < 6; ++r)
        out.push_back(frame(0x0CFF2ADC, true, {static_cast<uint8_t>(r), 0x7F, 0x10, 0x20, 0x30, 0, 0, 0}));
}

void nmea2kHeading(Frames& out)
{
    // Vessel heading, PGN 127250: sid, heading, deviation, variation (1e-4 rad), reference.
    for (int r = 0; r < 8; ++r) {
        const int heading = 1000 * r;
        out.push_back(j1939(2, 0xF1, 0x12, static_cast<unsigned>(0x10 + r % 2),
                            {static_cast<uint8_t>(r), static_cast<uint8_t>(heading), static_cast<uint8_t>(heading >> 8),
                             0xFF, 0x7F, 0xFF, 0x7F, 0xFD}));
    }
}

void nmea2kPosition(Frames& out)
{
    // GNSS position data, PGN 129029, a 43-byte fast packet in seven frames: byte 0 carries the
    // sequence counter (upper five bits) and the frame index (lower three), then the byte count
    // and the message run on seven bytes a frame.
    std::vector<uint8_t> payload(1, 43);
    for (int i = 0; i < 43; ++i)
        payload.push_back(static_cast<uint8_t>(i * 7 + 3));
    for (uint8_t seq = 0; seq < 3; ++seq) {
        for (uint8_t k = 0; k < 7; ++k) {
            std::vector<uint8_t> d(8, 0xFF);
            d[0] = static_cast<uint8_t>(seq << 3 | k);
            for (size_t i = 0; i < 7 && 7u * k + i < payload.size(); ++i)
                d[1 + i] = payload[7u * k + i];
            out.push_back(j1939(3, 0xF8, 0x05, 0x20, d));
        }
    }
    // A message cut short by a new counter.
    out.push_back(j1939(3, 0xF8, 0x05, 0x20, {0x20, 43, 1, 2, 3, 4, 5, 6}));
    out.push_back(j1939(3, 0xF8, 0x05, 0x20, {0x28, 43, 1, 2, 3, 4, 5, 6}));
}

void j1939Foreign(Frames& out)
{
    // J1939 traffic of other controllers on the same bus, including the two identifiers that fit
    // the maker's layout: every parser must leave them alone.
    for (int r = 0; r < 4; ++r) {
        const uint8_t b = static_cast<uint8_t>(r);
        out.push_back(frame(0x0DF01001, true, {b, 1, 2, 3, 4, 5, 6, 7}));
        out.push_back(frame(0x0DF01010, true, {b, 1, 2, 3, 4, 5, 6, 7}));
        out.push_back(j1939(3, 0xF0, 0x04, 0x00, {0xF0, 0x7D, 0x8A, b, 0x20, 0, 0xF0, 0x7D}));  // engine speed
        out.push_back(j1939(6, 0xFE, 0xEE, 0x00, {0x5A, 0x60, 0x20, 0x4E, 0xFF, 0xFF, 0xFF, 0xFF}));
        out.push_back(j1939(6, 0xEA, 0xFF, 0x21, {0xEE, 0xFE, 0x00}));  // request
    }
}

void canopenEncoder(Frames& out)
{
    for (int r = 0; r < 6; ++r) {
        std::vector<uint8_t> d(4, 0);
        put32(d, 0, 4096u * r + 17u);
        out.push_back(frame(0x1A0, false, d));
    }
    out.push_back(frame(0x720, false, {5}));
}

void dsm500(Frames& out)
{
    // Two units (nodes 11 and 12, one of them reporting its values bit-inverted), heartbeats,
    // process data and the answers to service data writes.
    for (int r = 0; r < 4; ++r) {
        for (uint8_t node : {11, 12}) {
            out.push_back(frame(0x700u + node, false, {static_cast<uint8_t>(r == 3 ? 0x7F : 5)}));
            std::vector<uint8_t> d = {0x10, 0x27, 0x20, 0x4E, 0, 0, static_cast<uint8_t>(5 + 10 * r), 0};
            if (node == 12) {
                for (uint8_t& x : d)
                    x = static_cast<uint8_t>(~x);
            }
            out.push_back(frame(0x180u + node, false, d));
        }
    }
    out.push_back(frame(0x58B, false, {0x60, 0x80, 0x1F, 0, 0, 0, 0, 0}));
    out.push_back(frame(0x60C, false, {0x2F, 0x01, 0x30, 0x01, 13, 0, 0, 0}));
    out.push_back(frame(0x700u + 60, false, {5}));
    out.push_back(frame(0x700u + 69, false, {0}));
}

void dt500(Frames& out)
{
    for (uint32_t dist : {10000u, 20000u, 1000000u, 15000u, 0u}) {
        std::vector<uint8_t> d = {static_cast<uint8_t>(dist ? 1 : 0), 0, 0, 0, 0, 0, 0, 0};
        put32(d, 4, dist);
        out.push_back(frame(46, false, d));
    }
}

void sandvikTim(Frames& out)
{
    for (int r = 0; r < 4; ++r) {
        out.push_back(frame(1904, false, {1, static_cast<uint8_t>(r), 0x10, 0x01, 0x20, 0x02}));
        out.push_back(frame(1904, false, {2, 0, 0x30, 0x03, 0x40, 0x04, 0, 0}));
    }
    out.push_back(frame(1904, false, {3}));
}

}  // namespace

std::vector<TrafficMake> trafficCorpus()
{
    const std::pair<const char*, std::function<void(Frames&)>> makes[] = {
        {"TiltG1", tiltG1}, {"TiltG2Commands", tiltG2Commands}, {"GNSS", gnss},
        {"RayGauge", [](Frames& out) { makerOthers(out, 67, {1, 1, 1, 2}, 6); }},
        {"KM7", [](Frames& out) { makerOthers(out, 68, {1, 5}, 3); }},
        {"SimulatorClient", [](Frames& out) { makerOthers(out, 5, {1, 257 & 0xFF}, 3); }},
        {"Moba", mobaDevices}, {"MobaValues", mobaValues}, {"Steelwrist", steelwrist}, {"Engcon", engcon},
        {"Rototilt", rototilt}, {"NMEA2KHeading", nmea2kHeading}, {"NMEA2KPosition", nmea2kPosition},
        {"J1939", j1939Foreign}, {"CANopenEncoder", canopenEncoder}, {"DSM500", dsm500}, {"DT500", dt500},
        {"SandvikTIM", sandvikTim}};
    std::vector<TrafficMake> corpus;
    for (const auto& make : makes) {
        corpus.push_back({make.first, {}});
        make.second(corpus.back().frames);
    }
    return corpus;
}

std::vector<_TGENERIC_CAN_FRAME> mixedTraffic(const std::vector<TrafficMake>& makes)
{
    std::vector<_TGENERIC_CAN_FRAME> out;
    for (size_t i = 0;; ++i) {
        bool any = false;
        for (const TrafficMake& m : makes) {
            if (i < m.frames.size()) {
                out.push_back(m.frames[i]);
                any = true;
            }
        }
        if (!any)
            return out;
    }
}

void appendTrafficRecord(std::string& out, const _TGENERIC_CAN_FRAME& f)
{
    out.push_back(static_cast<char>((f.header.ext ? 1 : 0) | (f.header.rtr ? 2 : 0)));
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(f.header.id >> (8 * i)));
    out.push_back(static_cast<char>(f.header.dlc));
    out.append(reinterpret_cast<const char*>(f.data), 8);
}

_TGENERIC_CAN_FRAME readTrafficRecord(const uint8_t* p)
{
    _TGENERIC_CAN_FRAME f{};
    f.header.ext = p[0] & 1;
    f.header.rtr = (p[0] >> 1) & 1;
    const uint32_t id = uint32_t(p[1]) | uint32_t(p[2]) << 8 | uint32_t(p[3]) << 16 | uint32_t(p[4]) << 24;
    f.header.id = id & (f.header.ext ? 0x1FFFFFFFu : 0x7FFu);
    f.header.dlc = p[5] & 0x0F;  // a bus carries four length bits; 9 to 15 mean eight bytes
    std::memcpy(f.data, p + 6, 8);
    return f;
}

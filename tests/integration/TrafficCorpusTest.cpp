// The generated traffic of every make reaches the sensors it is meant for through the real
// receive path, so that the fuzz seeds and the benchmarks exercise the decoders and not only the
// parsers' refusals; and inputs the fuzz targets found faults with run clean.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "FrameSequence.h"
#include "ReceiveHarness.h"
#include "Sensor.h"
#include "TestAdapter.h"
#include "TrafficCorpus.h"

TEST(TrafficCorpus, EveryMakeCreatesItsOwnSensorsAndForeignTrafficNone)
{
    const std::map<std::string, std::set<int>> expected = {
        {"TiltG1", {16}},          {"TiltG2Commands", {16}},  {"GNSS", {11}},       {"RayGauge", {67}},
        {"KM7", {68}},             {"SimulatorClient", {5}},  {"Moba", {141, 142, 156, 157, 158}},
        {"MobaValues", {91, 141}}, {"Steelwrist", {160, 161, 162}}, {"Engcon", {168}}, {"Rototilt", {170}},
        {"NMEA2KHeading", {200}},  {"NMEA2KPosition", {5}},    {"J1939", {}},        {"CANopenEncoder", {169}},
        {"DSM500", {14}},          {"DT500", {46}},           {"SandvikTIM", {171}}};
    // Sensors a make's traffic creates without feeding them: the drill depth unit takes nothing
    // from its frames, the controller I/O object behind the
    // Moba value exchange counts only its own state frames, and the simulator client counts only
    // message type 257, which no 8-bit message field carries. GNSS position fast packets (PGN
    // 129029, PS 5) fit the maker's layout with device type 5 and so create a simulator client.
    const std::set<std::pair<std::string, int>> created = {{"Moba", 156}, {"MobaValues", 141}, {"SimulatorClient", 5}, {"NMEA2KPosition", 5}};
    const std::vector<TrafficMake> makes = trafficCorpus();
    ASSERT_EQ(makes.size(), expected.size());
    for (const TrafficMake& m : makes) {
        SCOPED_TRACE(m.name);
        ASSERT_TRUE(expected.count(m.name));
        TestAdapter adapter;
        ASSERT_TRUE(adapter.connect());
        for (const _TGENERIC_CAN_FRAME& f : m.frames)
            ASSERT_TRUE(adapter.receive(f.header.id, f.header.ext, std::vector<uint8_t>(f.data, f.data + f.header.dlc)));
        std::set<int> types;
        for (unsigned short i = 0;; ++i) {
            Sensors::Sensor* s = adapter.device()->getSensor(i, false);
            if (!s)
                break;
            types.insert(s->getDeviceType());
            if (!created.count({m.name, s->getDeviceType()})) {
                EXPECT_GT(s->getMessageCount(), 0) << "device type " << int(s->getDeviceType());
            }
        }
        EXPECT_EQ(types, expected.at(m.name));
    }
    // Mixed traffic interleaves every frame of every make exactly once.
    size_t total = 0;
    for (const TrafficMake& m : makes)
        total += m.frames.size();
    EXPECT_EQ(mixedTraffic(makes).size(), total);
}

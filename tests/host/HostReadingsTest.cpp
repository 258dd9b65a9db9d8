// What qcan-host shows people: words instead of translation keys, tilt angles, positions, frame
// rates, bus load and stale sensors. The angles and rates are checked on the simulated
// excavator's own frames played through a dummy adapter on the hand-driven clock, so that the
// pose of the machine at each sensor's last frame is known exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Clock.h"
#include "ExcavatorTraffic.h"
#include "HostSnapshot.h"
#include "JsonView.h"
#include "MakerId.h"
#include "MessageCatalog.h"
#include "SensorManager.h"
#include "TestAdapter.h"
#include "TextView.h"

using Json = nlohmann::json;
using Sensors::Clock;

namespace {

// The excavator's frames, each delivered at its own moment of the hand-driven clock: scenario
// time t is clock time origin + t.
class ExcavatorReplay {
public:
    ExcavatorReplay(TestAdapter& adapter, uint64_t firstMs) : adapter_(adapter), origin_(Clock::wallMs() + 10 - firstMs) {}

    // Every frame due at a time t with fromMs < t <= toMs, in bus order, with a pass of the
    // adapter every 10 ms as the manager thread would make. Returns the frames played.
    std::vector<ExcavatorTraffic::Frame> play(uint64_t fromMs, uint64_t toMs)
    {
        std::vector<ExcavatorTraffic::Frame> all;
        for (uint64_t t = fromMs; t < toMs; t += 10) {
            const uint64_t end = std::min(toMs, t + 10);
            for (const ExcavatorTraffic::Frame& f : traffic_.frames(t, end)) {
                Clock::setTo(origin_ + f.tMs);
                EXPECT_TRUE(adapter_.receive(f.id, f.ext, f.data));
                all.push_back(f);
            }
            Clock::setTo(origin_ + end);
            adapter_.pass(0);
        }
        return all;
    }

    void idleUntil(uint64_t ms)
    {
        Clock::setTo(origin_ + ms);
        adapter_.pass(0);
    }

private:
    TestAdapter& adapter_;
    ExcavatorTraffic traffic_;
    uint64_t origin_;
};

// When a tilt sensor's last fast calibrated frame (message 18) among those played was sent.
uint64_t lastFastFrame(const std::vector<ExcavatorTraffic::Frame>& played, int sensor)
{
    for (auto f = played.rbegin(); f != played.rend(); ++f)
        if (f->ext && f->id == makerId(18, 0, 16, static_cast<uint32_t>(sensor)))
            return f->tMs;
    ADD_FAILURE() << "no fast frame of sensor " << sensor;
    return 0;
}

HostSnapshot snapshot(const TestAdapter& a, long long sequence, const HostSnapshot* previous)
{
    return HostSnapshot::take(*Sensors::SensorManager::getInstance(), {a.cuaId()}, sequence, HostSnapshot::Filter(), previous);
}

const Json& sensorIn(const Json& doc, int id)
{
    for (const Json& s : doc.at("sensors"))
        if (s.at("id").get<int>() == id)
            return s;
    ADD_FAILURE() << "sensor " << id << " missing";
    static const Json none = Json::object();
    return none;
}

// The block of table lines of one sensor: its row and the lines below it up to the next row.
std::string tableBlock(const std::string& table, int id, const std::string& name)
{
    const std::string row = "1   " + std::to_string(id) + std::string(5 - std::to_string(id).size(), ' ') + name;
    const size_t at = table.find(row);
    if (at == std::string::npos)
        return std::string();
    size_t end = at;
    do {
        end = table.find('\n', end + 1);
    } while (end != std::string::npos && end + 1 < table.size() && table[end + 1] == ' ');
    return table.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

double numberAfter(const std::string& text, const std::string& label)
{
    const size_t at = text.find(label);
    return at == std::string::npos ? NAN : std::stod(text.substr(at + label.size()));
}

class ExcavatorTable : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MessageCatalog::load(), "en"); }
};

}  // namespace

TEST_F(ExcavatorTable, AnglesAgreeWithThePoseAndRatesWithTheTrafficAtEveryStageOfTheCycle)
{
    // Digging, curling with the bucket beyond the vertical, dumping with the rotator turned
    // (the bucket rolls), swinging back.
    for (const uint64_t t : {2500u, 6000u, 12600u, 18000u}) {
        SCOPED_TRACE("cycle time " + std::to_string(t) + " ms");
        TestAdapter adapter;
        ASSERT_TRUE(adapter.connect());
        ExcavatorReplay replay(adapter, t - 1200);
        replay.play(t - 1200, t - 1000);
        const HostSnapshot before = snapshot(adapter, 1, nullptr);
        const std::vector<ExcavatorTraffic::Frame> played = replay.play(t - 1000, t);
        const HostSnapshot now = snapshot(adapter, 2, &before);
        const Json doc = Json::parse(JsonView::render(now));
        const std::string table = TextView::render(now, false);

        for (int id : {101, 102, 103, 105}) {  // bucket, stick, main boom, frame
            double pitch = 0.0, roll = 0.0;
            ExcavatorTraffic::linkAngles(id, lastFastFrame(played, id), pitch, roll);
            const Json& summary = sensorIn(doc, id).at("summary");
            EXPECT_NEAR(summary.at("pitch_deg").get<double>(), pitch, 0.5) << id;
            EXPECT_NEAR(summary.at("roll_deg").get<double>(), roll, 0.5) << id;
            EXPECT_EQ(summary.at("from").get<std::string>(), "getOrientation(FAST,CALIBRATED)");
            const std::string block = tableBlock(table, id, sensorIn(doc, id).at("name").get<std::string>());
            EXPECT_NEAR(numberAfter(block, "pitch "), pitch, 0.5) << block;
            EXPECT_NEAR(numberAfter(block, "roll "), roll, 0.5) << block;
            EXPECT_EQ(block.find("getOrientation("), std::string::npos) << "raw streams only with --raw";
        }

        // One second of traffic: the bucket's 100 + 10 + 4 x 10 + 1 frames, the GNSS receiver's
        // 6 x 10 + 3.
        EXPECT_EQ(sensorIn(doc, 101).at("fps").get<double>(), 151.0);
        EXPECT_EQ(sensorIn(doc, 1).at("fps").get<double>(), 63.0);
        EXPECT_NE(tableBlock(table, 101, "Bucket sensor").find(" 151.0"), std::string::npos) << table;
        const Json earlier = Json::parse(JsonView::render(before));
        for (const Json& s : earlier.at("sensors"))
            EXPECT_TRUE(s.at("fps").is_null()) << "no rate without a refresh before";

        // The adapter's counters and the load of that second on the bus: at least the true load of
        // the frames played (stuff bits at worst), at most what counting every frame as a 29-bit
        // one adds.
        const Json& adapterDoc = doc.at("adapters").at(0);
        EXPECT_EQ(adapterDoc.at("rx_frames").get<double>() - before.adapters.at(0).rxFrames, static_cast<double>(played.size()));
        EXPECT_EQ(adapterDoc.at("lost_frames").get<double>(), 0.0);
        double bits = 0.0, standard = 0.0;
        for (const ExcavatorTraffic::Frame& f : played) {
            bits += f.busBits;
            standard += f.ext ? 0.0 : 1.0;
        }
        const double load = adapterDoc.at("bus_load_pct").get<double>();
        EXPECT_GE(load, bits / 2500.0 - 1e-9);
        EXPECT_LE(load, (bits + 25.0 * standard) / 2500.0 + 1e-9);
        EXPECT_NEAR(load, 37.5, 3.0);

        // The GNSS antenna on the cab roof, north-east of the equator and Greenwich.
        const Json& position = sensorIn(doc, 1).at("summary");
        EXPECT_NEAR(position.at("lat_deg").get<double>(), ExcavatorTraffic::kLat0, 0.0001);
        EXPECT_NEAR(position.at("lon_deg").get<double>(), ExcavatorTraffic::kLon0, 0.0001);
        EXPECT_EQ(position.at("lat_hemisphere").get<std::string>() + position.at("lon_hemisphere").get<std::string>(), "NE");
        EXPECT_NEAR(position.at("alt_m").get<double>(), ExcavatorTraffic::kHeight0 + ExcavatorTraffic::kGeoid, 0.1);
        EXPECT_EQ(position.at("fix_text").get<std::string>(), "RTK fixed");
        const std::string gnss = tableBlock(table, 1, "Unknown sensor");
        for (const char* part : {"59.329", "° N  18.068", "° E  alt 50.", " m  fix RTK fixed", " satellites"})
            EXPECT_NE(gnss.find(part), std::string::npos) << part << " in " << gnss;
        const double heading = ExcavatorTraffic::heading(t);
        EXPECT_NEAR(std::fmod(sensorIn(doc, 200).at("summary").at("heading_deg").get<double>() - heading + 540.0, 360.0) - 180.0, 0.0, 2.0);
    }
}

TEST_F(ExcavatorTable, WordsForEveryTypeAndStatusAndStaleSensorsMarked)
{
    TestAdapter adapter;
    ASSERT_TRUE(adapter.connect());
    ExcavatorReplay replay(adapter, 4000);
    replay.play(4000, 5500);
    const HostSnapshot live = snapshot(adapter, 1, nullptr);
    // Each sensor's type word, and its class and name.
    const std::map<int, std::pair<std::string, std::string>> types = {
        {101, {"G1", "TiltSensorG1 Bucket sensor"}}, {102, {"G1", "TiltSensorG1 Stick sensor"}},
        {103, {"G1", "TiltSensorG1 Main boom sensor"}}, {105, {"G1", "TiltSensorG1 Frame sensor"}},
        {1, {"CAN GNSS", "GenericPositionSensor Unknown sensor"}}, {46, {"DT500", "DT500Sensor Distance sensor"}},
        {200, {"Heading", "NMEA2KHeadingSensor Upper carriage rotation sensor"}},
        {131, {"uProp", "EngconTiltrotatorSensor Tiltrotator sensor"}}, {120, {"Slope", "SlopeSensor Rail sensor"}},
        {140, {"Joystick", "SteelwristJoystickSensor Steelwrist"}}, {90, {"Controller", "MDS2000IO MDS2000"}}};
    const Json doc = Json::parse(JsonView::render(live));
    ASSERT_EQ(doc.at("sensors").size(), types.size());
    for (const auto& t : types) {
        const Json& s = sensorIn(doc, t.first);
        EXPECT_EQ(s.at("type").get<std::string>(), t.second.first);
        EXPECT_EQ(s.at("class").get<std::string>() + " " + s.at("name").get<std::string>(), t.second.second);
        EXPECT_EQ(s.at("status").get<std::string>(), std::to_string(t.first) + ": " + t.second.first);
        EXPECT_FALSE(s.at("stale").get<bool>()) << t.first;
    }
    for (const char* line : {"CAN adapter: DUMMY1 (1)", "Adapter status: CONNECTED", "CAN power on", "Sensors total/ok: 11/11"})
        EXPECT_NE(doc.at("status").get<std::string>().find(line), std::string::npos) << line << " in " << doc.at("status");

    // 1.6 s of silence: past the time-outs of the tilt sensors (0.5 s), the distance sensor (1 s),
    // the GNSS receiver and the tiltrotator (1.5 s), within those of the others (2 s, 5 s).
    replay.idleUntil(5500 + 1600);
    const HostSnapshot silent = snapshot(adapter, 2, &live);
    const Json quiet = Json::parse(JsonView::render(silent));
    const std::set<int> stale = {101, 102, 103, 105, 46, 1, 131};
    for (const auto& t : types) {
        const Json& s = sensorIn(quiet, t.first);
        EXPECT_EQ(s.at("stale").get<bool>(), stale.count(t.first) == 1) << t.first;
        if (stale.count(t.first)) {
            EXPECT_EQ(s.at("status").get<std::string>(),
                      std::to_string(t.first) + ": " + t.second.first + ", Timeout, Errors: 1");
        }
    }
    EXPECT_TRUE(sensorIn(quiet, 101).at("summary").empty()) << "a timed-out sensor has no angles";
    EXPECT_NE(quiet.at("status").get<std::string>().find("Sensors total/ok: 11/4"), std::string::npos) << quiet.at("status");

    // The table: the same words; stale rows say so, and are red on a terminal.
    const std::string plain = TextView::render(silent, false);
    const std::string terminal = TextView::render(silent, true);
    for (const std::string* table : {&plain, &terminal}) {
        EXPECT_EQ(table->find("[SENSOR_"), std::string::npos) << *table;
        for (const auto& t : types) {
            const size_t row = table->find(std::string(t.first < 100 ? (t.first < 10 ? "   " : "  ") : " ") + std::to_string(t.first) + "  ");
            ASSERT_NE(row, std::string::npos) << t.first;
            const std::string line = table->substr(table->rfind('\n', row) + 1, table->find('\n', row) - table->rfind('\n', row) - 1);
            EXPECT_EQ(line.find(" STALE") != std::string::npos, stale.count(t.first) == 1) << line;
            EXPECT_EQ(line.rfind("\x1b[31m", 0) == 0, table == &terminal && stale.count(t.first) == 1) << line;
            EXPECT_NE(line.find(t.second.first), std::string::npos) << line;
        }
    }
    EXPECT_NE(plain.find("NOT OK (Timeout, Errors: 1)"), std::string::npos) << plain;
    EXPECT_EQ(plain.find('\x1b'), std::string::npos);
}

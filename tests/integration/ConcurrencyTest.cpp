// Host threads against the adapter library's threads and the manager thread: lock order on the
// send paths, named handlers that reach into an adapter, a connect while the thread winds down.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "DummyBus.h"
#include "FrameText.h"
#include "MobaCommProtocol.h"
#include "SandvikTIMSensor.h"
#include "RunningManager.h"
#include "SensorManager.h"
#include "TestAdapter.h"

using namespace Sensors;

namespace {

// A deadlock leaves threads that can never be joined: report it and end the program, so that the
// test fails at once instead of hanging until the test runner's timeout.
void failOnDeadlock(const std::atomic<bool>& done, const char* what)
{
    if (eventually([&] { return done.load(); }, 5000))
        return;
    std::fprintf(stderr, "Deadlock: %s\n", what);
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

TEST(Concurrency, SensorsSendUnderTheirLockWhileTheirFramesArrive)
{
    // A host holding a live sensor's lock makes it send while the library's receive thread parses
    // a frame for that very sensor and waits for its lock inside the adapter: the send must not
    // need anything the receive thread holds.
    struct Case {
        const char* name;
        std::function<Sensor*(int cuaId)> make;
        uint32_t id;  // of the frame for the sensor
        bool ext;
        std::vector<uint8_t> data;
        std::function<void(Sensor*)> send;
        std::string sent;
    } cases[] = {
        {"Moba value", [](int cua) { return new MobaCommProtocol(manager(), cua, 91); }, 562, true,
         {0x00, 30, 0x00, 0x02, 0x2A, 0, 0, 0},
         [](Sensor* s) {
             unsigned char command[5] = {0x01, 30, 0x00, 0x07, 0x2A};
             static_cast<MobaCommProtocol*>(s)->SendValue(command, 1);
         },
         "0x231 x | 01 1E 00 07 2A"},
        {"Sandvik TIM command", [](int cua) { return new SandvikTIMSensor(manager(), cua, 117); }, 1904, false,
         {1, 0x01, 0xD2, 0x04, 0xE1, 0x10},
         [](Sensor* s) {
             _TIMCmdMessage record = {1, 2, 3};
             static_cast<SandvikTIMSensor*>(s)->sendCommand(4, &record, false);
         },
         "0x370 | 04 00 01 00 02 00 03 00"},
    };
    for (const Case& c : cases) {
        TestAdapter a;
        ASSERT_TRUE(a.connect());
        Sensor* live = c.make(a.cuaId());
        ASSERT_TRUE(a.device()->addSensor(live));
        a.clearSent();
        std::atomic<bool> sent(false);
        std::thread host([&] {
            live->LockSensor();
            DummyBus::instance().inject(a.name(), c.id, c.ext, c.data);
            // Time for the receive thread to reach the sensor's lock (the path this is about).
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            c.send(live);
            sent = true;
            live->UnlockSensor();
        });
        failOnDeadlock(sent, c.name);
        host.join();
        ASSERT_TRUE(DummyBus::instance().waitDelivered(a.name())) << c.name;
        while (a.device()->getRxBufferCount() > 0)
            a.pass();
        EXPECT_EQ(frameTexts(DummyBus::instance().sent(a.name())), std::vector<std::string>{c.sent}) << c.name;
        live->LockSensor();
        EXPECT_EQ(live->getMessageCount(), 1) << c.name << ": the frame that waited was parsed";
        live->UnlockSensor();
    }
}

namespace {
std::atomic<int> handlerCalls(0);
std::atomic<int> handlerAdapter(0);

// A handler of the kind the diagnostics capture is: it reads the adapter's receive counters and
// changes the adapter's external parsers.
bool countingHandler(void*, void*)
{
    SensorManager* m = SensorManager::getInstance();
    const int cua = handlerAdapter.load();
    m->getReceived(cua);
    const int id = m->addExternalParser(cua, [](void*, void*, void*) { return PARSE_RESULT_OK; }, nullptr);
    m->deleteExternalParserById(cua, static_cast<unsigned int>(id));
    ++handlerCalls;
    return true;
}
}  // namespace

TEST(Concurrency, NamedHandlerReadsCountersAndChangesParsersWhileFramesFlow)
{
    useAdapters("HANDLER1=dummy");
    const int id = manager()->connect(wxT("HANDLER1"));
    ASSERT_GT(id, 0);
    ASSERT_TRUE(eventually([&] { return connected(id); }));
    handlerAdapter = id;
    handlerCalls = 0;
    manager()->processParserString(id, wxT("quil|moba|ext"));
    manager()->registerParser(wxT("counting"), countingHandler);

    std::atomic<bool> done(false);
    std::thread feeder([&] {
        for (int i = 0; i < 3000; ++i)
            DummyBus::instance().inject("HANDLER1", 0x100 + (i % 64), false, {uint8_t(i), 1, 2, 3});
        DummyBus::instance().waitDelivered("HANDLER1", 10000);
        done = true;
    });
    failOnDeadlock(done, "named handler against the receive path");
    feeder.join();
    EXPECT_TRUE(eventually([] { return handlerCalls.load() > 0 && manager()->RxDataBufferIsEmpty(); }));

    // Once unregistering has returned, the handler is never called again.
    manager()->unregisterParser(wxT("counting"));
    const int calls = handlerCalls.load();
    for (int i = 0; i < 50; ++i)
        DummyBus::instance().inject("HANDLER1", 0x200, false, {1});
    DummyBus::instance().waitDelivered("HANDLER1");
    EXPECT_TRUE(eventually([] { return manager()->RxDataBufferIsEmpty(); }));
    EXPECT_EQ(handlerCalls.load(), calls);
    manager()->disconnect(3000, 0);
    EXPECT_FALSE(manager()->isThreadRunning());
}

TEST(Concurrency, ConnectWhileTheThreadWindsDownGetsARunningAdapter)
{
    useAdapters("WIND1=dummy;WIND2=dummy");
    for (int round = 0; round < 3; ++round) {
        const int first = manager()->connect(wxT("WIND1"));
        ASSERT_GT(first, 0);
        ASSERT_TRUE(eventually([&] { return connected(first); }));
        manager()->disconnect(0, 0);  // the thread now winds down and removes every adapter
        const int second = manager()->connect(wxT("WIND2"));
        ASSERT_GT(second, 0) << "round " << round;
        EXPECT_TRUE(eventually([&] { return connected(second); })) << "round " << round;
        EXPECT_TRUE(manager()->isThreadRunning());
        EXPECT_EQ(manager()->getQCANDeviceCount(), 1);
        manager()->disconnect(3000, 0);
        EXPECT_EQ(manager()->getQCANDeviceCount(), 0);
    }
}

// The adapter library through dlopen and its dummy controls (settings, status, faults: AdapterSettingsTest, QCANDeviceTest).

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "../../platform/qcan_api/QCANApi.h"
#include "MakerId.h"
#include "ScopedEnv.h"

namespace {

void* library()
{
    char exe[4096] = {0};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    static void* handle = dlopen((path.substr(0, path.rfind('/')) + "/../lib/libQCAN_API.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle;
}

template <class F>
F fn(const char* name)
{
    void* p = library() ? dlsym(library(), name) : nullptr;
    EXPECT_NE(p, nullptr) << name;
    return reinterpret_cast<F>(p);
}

#define QCAN(name) fn<decltype(&name)>(#name)

const std::thread::id testThread = std::this_thread::get_id();

// Everything the adapter's callbacks delivered, with a wait on any condition of it.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<_TGENERIC_CAN_FRAME> frames;
    bool rxOnTestThread = false;
    int statusCount = 0, txCount = 0;
    void** table = nullptr;  // when set, the receive callback also asks the adapter for its mode
    void* handle = nullptr;

    template <class P>
    bool waitFor(P pred, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(); });
    }
    template <class F>
    auto locked(F f)
    {
        std::lock_guard<std::mutex> lock(m);
        return f();
    }
    template <class F>
    void add(F f) { locked([&] { f(*this), cv.notify_all(); }); }
    size_t callbacks() const { return frames.size() + static_cast<size_t>(statusCount + txCount); }
};


void onRx(void*, unsigned short, const _TGENERIC_CAN_FRAME_HEADER* h, const unsigned char* d, void* dev)
{
    auto* r = static_cast<Recorder*>(dev);
    if (r->table)
        reinterpret_cast<QCAN_Fn_GetMode>(r->table[QCAN_ENTRY_GET_MODE])(r->handle);
    _TGENERIC_CAN_FRAME f{*h, {}};
    std::memcpy(f.data, d, 8);
    r->add([&](Recorder& r) { r.frames.push_back(f), r.rxOnTestThread |= std::this_thread::get_id() == testThread; });
}
void onStatus(void*, int, int, void* dev) { static_cast<Recorder*>(dev)->add([](Recorder& r) { ++r.statusCount; }); }
void onTx(void* dev, void*, int, unsigned short) { static_cast<Recorder*>(dev)->add([](Recorder& r) { ++r.txCount; }); }

class AdapterLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(library(), nullptr) << dlerror();
        setenv("QCAN_ADAPTERS", "DUMMY1=dummy;DUMMY2=dummy;SIM_EXCAVATOR=sim:excavator", 1);
        QCAN(QCANTest_Reset)();
        ASSERT_NE(ctx = QCAN(QCAN_InitializeLibrary)(), nullptr);
    }
    void TearDown() override
    {
        QCAN(QCAN_UnInitializeLibrary)(ctx);
        QCAN(QCANTest_Reset)();
    }
    void* open(const char* name) { return handle = QCAN(QCAN_InitializeCUA)(ctx, table, name, &onRx, &onStatus, &onTx, &rec, nullptr, nullptr); }
    template <class F> F entry(int n) { return reinterpret_cast<F>(table[n]); }
    void close() { entry<QCAN_Fn_Close>(QCAN_ENTRY_CLOSE)(handle); }

    std::vector<std::string> listing()  // "name | description" of each adapter
    {
        std::vector<std::string> out;
        void* list = QCAN(QCAN_CreateDeviceList)(ctx);
        for (int i = 0; list && i < QCAN(QCAN_GetDeviceCount)(list); ++i) {
            char name[64] = {0}, desc[64] = {0};
            EXPECT_GT(QCAN(QCAN_GetInterfaceFileName)(list, i, name, 64), 0);
            EXPECT_GT(QCAN(QCAN_GetInterfaceDescription)(list, i, desc, 64), 0);
            out.push_back(std::string(name) + " | " + desc);
        }
        QCAN(QCAN_DestroyDeviceList)(list);
        return out;
    }

    void *ctx = nullptr, *handle = nullptr;
    void* table[QCAN_TABLE_SIZE] = {nullptr};
    Recorder rec;
};

TEST_F(AdapterLibraryTest, AdapterListFromVariableThenFileThenDefault)
{
    setenv("QCAN_ADAPTERS",
           " DUMMY1=dummy; SIM_EXCAVATOR=sim:excavator;SC_vcan0=socketcan:vcan0;BAD=nosuch;DUMMY1=dummy;"
           "SIM_FAST=sim:excavator@10;SIM_BAD=sim:excavator@1000;SIM_ONE=sim:excavator@1;SIM_X=sim:excavator@x",
           1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"DUMMY1 | Dummy adapter DUMMY1", "SIM_EXCAVATOR | Simulated excavator",
                                                   "SC_vcan0 | SocketCAN vcan0",
                                                   "SIM_FAST | Simulated excavator at 10 times its rate"}));
    void* list = QCAN(QCAN_CreateDeviceList)(ctx);
    char buf[64] = {0};
    for (int outside : {4, -1})
        EXPECT_EQ(QCAN(QCAN_GetInterfaceFileName)(list, outside, buf, 64), 0) << outside;
    QCAN(QCAN_DestroyDeviceList)(list);
    EXPECT_EQ(QCAN(QCAN_GetDeviceCount)(list), 0);  // a destroyed list is stale, not a crash
    setenv("QCAN_ADAPTERS", "", 1);                 // set but empty: no adapters and no fallback
    EXPECT_TRUE(listing().empty());
    EXPECT_EQ(open("DUMMY1"), nullptr);

    unsetenv("QCAN_ADAPTERS");  // the other tests set it
    char dir[] = "/tmp/qcanapitestXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/adapters.conf";
    std::ofstream(file) << "# test bench\nDUMMY7=dummy   # on the desk\n\nSC_can1=socketcan:can1\n";
    ScopedEnv fileVariable("QCAN_ADAPTERS_FILE", file);
    EXPECT_EQ(listing(), (std::vector<std::string>{"DUMMY7 | Dummy adapter DUMMY7", "SC_can1 | SocketCAN can1"}));
    ScopedEnv missing("QCAN_ADAPTERS_FILE", file + ".missing"), home("HOME", dir);  // and an empty home: the default
    EXPECT_EQ(listing(), (std::vector<std::string>{"SIM_EXCAVATOR | Simulated excavator"}));
    std::remove(file.c_str());
    rmdir(dir);
}

TEST_F(AdapterLibraryTest, SecondOpenRefusedAndNoCallbackAfterCloseWhileTrafficRuns)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    for (int i = 0; i < QCAN_TABLE_SIZE; ++i)
        EXPECT_NE(table[i], nullptr) << "entry " << i;
    void* again[QCAN_TABLE_SIZE] = {nullptr};
    EXPECT_EQ(QCAN(QCAN_InitializeCUA)(ctx, again, "DUMMY1", &onRx, &onStatus, &onTx, &rec, nullptr, nullptr), nullptr);
    close();
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 0);
    ASSERT_NE(open("DUMMY1"), nullptr);
    QCAN(QCAN_UnInitializeLibrary)(ctx);  // closes what is still open on the context
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 0);
    ctx = QCAN(QCAN_InitializeLibrary)();

    ASSERT_NE(open("DUMMY1"), nullptr);
    rec.table = table, rec.handle = handle;  // receive callbacks call back into the adapter while it closes
    std::atomic<bool> run{true};
    const unsigned char d[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    std::thread producer([&] { while (run) QCAN(QCANTest_InjectFrame)("DUMMY1", 0x321, 0, 0, 8, d); });
    std::thread reporter([&] { while (run) QCAN(QCANTest_ReportStatusNow)("DUMMY1"); });
    ASSERT_TRUE(rec.waitFor([&] { return rec.frames.size() > 500 && rec.statusCount > 5; }));
    close();
    const size_t atClose = rec.locked([&] { return rec.callbacks(); });
    EXPECT_FALSE(rec.waitFor([&] { return rec.callbacks() != atClose; }, 500));
    run = false;
    producer.join();
    reporter.join();
    EXPECT_EQ(rec.locked([&] { return rec.callbacks(); }), atClose);
    // The closed handle is stale: every entry answers with its failure value.
    _TGENERIC_CAN_FRAME_HEADER h{0x10, 0, 0, 0};
    _TCANStats stats{};
    EXPECT_EQ(entry<QCAN_Fn_Send>(QCAN_ENTRY_SEND)(handle, &h, nullptr, 0, 1000, 0, 0), 0);
    EXPECT_EQ(entry<QCAN_Fn_GetBaud>(QCAN_ENTRY_GET_BAUD)(handle), CAN_BAUD_NONE);
    EXPECT_EQ(entry<QCAN_Fn_GetStats>(QCAN_ENTRY_GET_STATS)(handle, &stats), 0);
    close();
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", QCAN_ENTRY_CLOSE), 2);  // the stale close never reached it
}

TEST_F(AdapterLibraryTest, FramesSentAreRecordedExactlyAndInjectedOnesArriveInOrderOnTheAdaptersThread)
{
    unsigned char d[8] = {0, 0, 0xAA}, got[16];
    EXPECT_EQ(QCAN(QCANTest_InjectFrame)("DUMMY1", 0x123, 0, 0, 8, d), 0);  // not open
    ASSERT_NE(open("DUMMY1"), nullptr);
    const unsigned char data[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const _TGENERIC_CAN_FRAME_HEADER sent[] = {{makerId(2, 1, 16, 5), 1, 0, 3}, {0x7DF, 0, 1, 0}, {0x100, 0, 0, 9}};
    for (int i = 0; i < 3; ++i)  // the last, with 9 bytes, is refused
        EXPECT_EQ(entry<QCAN_Fn_Send>(QCAN_ENTRY_SEND)(handle, &sent[i], data, 0, 1000, 0, 0), i < 2 ? 1 : 0) << i;
    // Header id (little-endian), ext, rtr, dlc (16 bits), then only dlc bytes of the caller's data.
    const unsigned char expected[2][16] = {{0x05, 0x10, 0x44, 0, 1, 0, 3, 0, 0x11, 0x22, 0x33}, {0xDF, 0x07, 0, 0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(QCAN(QCANTest_GetSentFrame)("DUMMY1", i, got), i < 2 ? 1 : 0) << i;
        EXPECT_TRUE(i == 2 || std::memcmp(got, expected[i], 16) == 0) << i;
    }
    EXPECT_TRUE(rec.waitFor([&] { return rec.txCount == 2; }));
    _TCANStats stats{};
    ASSERT_GT(entry<QCAN_Fn_GetStats>(QCAN_ENTRY_GET_STATS)(handle, &stats), 0);
    EXPECT_EQ(std::make_pair(stats.counter[QCAN_STAT_TX_FRAMES], stats.counter[QCAN_STAT_TX_BYTES]), std::make_pair(2u, 3u));

    const int n = 2000;
    for (int i = 0; i < n; ++i) {
        d[0] = static_cast<unsigned char>(i), d[1] = static_cast<unsigned char>(i >> 8);
        ASSERT_EQ(QCAN(QCANTest_InjectFrame)("DUMMY1", makerId(1, 0, 16, static_cast<uint32_t>(i % 128)), 1, 0, 3, d), 1);
    }
    ASSERT_EQ(QCAN(QCANTest_WaitRxDelivered)("DUMMY1", 5000), 1);
    std::lock_guard<std::mutex> lock(rec.m);
    ASSERT_EQ(rec.frames.size(), static_cast<size_t>(n));
    EXPECT_FALSE(rec.rxOnTestThread);
    for (int i = 0; i < n; ++i) {
        const _TGENERIC_CAN_FRAME& f = rec.frames[static_cast<size_t>(i)];
        ASSERT_EQ(std::make_tuple(f.header.id, f.header.ext, f.header.dlc, (f.data[0] | f.data[1] << 8), f.data[2]),
                  std::make_tuple(makerId(1, 0, 16, static_cast<uint32_t>(i % 128)), 1, 3, i, 0xAA)) << "frame " << i;
    }
}

}  // namespace

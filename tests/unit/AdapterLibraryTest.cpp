// The adapter library through dlopen: its adapter list and the life of an adapter's handle. Frames
// sent and received through it are followed end to end by the receive path and traffic log tests;
// settings, status and faults are reached through the adapter object (AdapterSettingsTest, QCANDeviceTest).

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../../platform/qcan_api/QCANApi.h"
#include "ScopedEnv.h"

namespace {

void* library()
{
    char exe[4096] = {0};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    const std::string lib = path.substr(0, path.rfind('/')) + "/../lib/libQCAN_API.so";
    static void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
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

// How often each of the adapter's callbacks ran, with a wait on any condition of it.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::atomic<int> rxCount{0}, statusCount{0}, txCount{0};
    void** table = nullptr;  // when set, the receive callback also asks the adapter for its mode
    void* handle = nullptr;

    template <class P>
    bool waitFor(P pred, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
    }
    void count(std::atomic<int> Recorder::*counter)
    {
        ++(this->*counter);
        std::lock_guard<std::mutex> lock(m);  // taken after the change, so that no waiter misses it
        cv.notify_all();
    }
    int callbacks() const { return rxCount + statusCount + txCount; }
};

void onRx(void*, unsigned short, const _TGENERIC_CAN_FRAME_HEADER*, const unsigned char*, void* dev)
{
    auto* r = static_cast<Recorder*>(dev);
    if (r->table)
        reinterpret_cast<QCAN_Fn_GetMode>(r->table[QCAN_ENTRY_GET_MODE])(r->handle);
    r->count(&Recorder::rxCount);
}
void onStatus(void*, int, int, void* dev) { static_cast<Recorder*>(dev)->count(&Recorder::statusCount); }
void onTx(void* dev, void*, int, unsigned short) { static_cast<Recorder*>(dev)->count(&Recorder::txCount); }

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
    void* open(const char* name, void** into = nullptr)
    {
        void* h = QCAN(QCAN_InitializeCUA)(ctx, into ? into : table, name, &onRx, &onStatus, &onTx, &rec, nullptr,
                                           nullptr);
        return into ? h : handle = h;
    }
    template <class F> F entry(int n) { return reinterpret_cast<F>(table[n]); }
    void close() { entry<QCAN_Fn_Close>(QCAN_ENTRY_CLOSE)(handle); }

    std::vector<std::string> listing()  // "name | description" of each adapter
    {
        std::vector<std::string> out;
        void* list = QCAN(QCAN_CreateDeviceList)(ctx);
        for (int i = 0; list && i < QCAN(QCAN_GetDeviceCount)(list); ++i) {
            char name[64] = {0}, desc[64] = {0};
            QCAN(QCAN_GetInterfaceFileName)(list, i, name, 64);
            QCAN(QCAN_GetInterfaceDescription)(list, i, desc, 64);
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
    // Bad kinds, repeated names, rates outside 2 to 100 and unreadable rates are left out.
    setenv("QCAN_ADAPTERS",
           " DUMMY1=dummy; SIM_EXCAVATOR=sim:excavator;SC_vcan0=socketcan:vcan0;BAD=nosuch;DUMMY1=dummy;"
           "SIM_FAST=sim:excavator@10;SIM_BAD=sim:excavator@1000;SIM_ONE=sim:excavator@1;SIM_X=sim:excavator@x",
           1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"DUMMY1 | Dummy adapter DUMMY1",
                                                   "SIM_EXCAVATOR | Simulated excavator", "SC_vcan0 | SocketCAN vcan0",
                                                   "SIM_FAST | Simulated excavator at 10 times its rate"}));
    setenv("QCAN_ADAPTERS", "", 1);  // set but empty: no adapters and no fallback
    EXPECT_TRUE(listing().empty());
    EXPECT_EQ(open("DUMMY1"), nullptr);

    unsetenv("QCAN_ADAPTERS");  // the other tests set it
    char dir[] = "/tmp/qcanapitestXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/adapters.conf";
    std::ofstream(file) << "# test bench\nDUMMY7=dummy   # on the desk\n\nSC_can1=socketcan:can1\n";
    ScopedEnv fileVariable("QCAN_ADAPTERS_FILE", file);
    EXPECT_EQ(listing(), (std::vector<std::string>{"DUMMY7 | Dummy adapter DUMMY7", "SC_can1 | SocketCAN can1"}));
    ScopedEnv missing("QCAN_ADAPTERS_FILE", file + ".missing"), home("HOME", dir);  // and an empty home
    EXPECT_EQ(listing(), (std::vector<std::string>{"SIM_EXCAVATOR | Simulated excavator"}));
    std::remove(file.c_str());
    rmdir(dir);
}

TEST_F(AdapterLibraryTest, SecondOpenRefusedAndNoCallbackAfterCloseWhileTrafficRuns)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    void* again[QCAN_TABLE_SIZE] = {nullptr};
    EXPECT_EQ(open("DUMMY1", again), nullptr);
    close();
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 0);
    ASSERT_NE(open("DUMMY1"), nullptr);
    QCAN(QCAN_UnInitializeLibrary)(ctx);  // closes what is still open on the context
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 0);
    ctx = QCAN(QCAN_InitializeLibrary)();

    ASSERT_NE(open("DUMMY1"), nullptr);
    // Receive callbacks call back into the adapter while it closes.
    rec.table = table;
    rec.handle = handle;
    std::atomic<bool> run{true};
    const unsigned char d[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    std::thread producer([&] {
        while (run)
            QCAN(QCANTest_InjectFrame)("DUMMY1", 0x321, 0, 0, 8, d);
    });
    std::thread reporter([&] {
        while (run)
            QCAN(QCANTest_ReportStatusNow)("DUMMY1");
    });
    ASSERT_TRUE(rec.waitFor([&] { return rec.rxCount > 500 && rec.statusCount > 5; }));
    close();
    const int atClose = rec.callbacks();
    EXPECT_FALSE(rec.waitFor([&] { return rec.callbacks() != atClose; }, 500));
    run = false;
    producer.join();
    reporter.join();
    EXPECT_EQ(rec.callbacks(), atClose);
    // The closed handle is stale: every entry answers with its failure value.
    _TGENERIC_CAN_FRAME_HEADER h{0x10, 0, 0, 0};
    _TCANStats stats{};
    EXPECT_EQ(entry<QCAN_Fn_Send>(QCAN_ENTRY_SEND)(handle, &h, nullptr, 0, 1000, 0, 0), 0);
    EXPECT_EQ(entry<QCAN_Fn_GetStats>(QCAN_ENTRY_GET_STATS)(handle, &stats), 0);
    close();
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", QCAN_ENTRY_CLOSE), 2) << "the stale close never reached it";
}

}  // namespace

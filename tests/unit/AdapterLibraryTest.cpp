// The adapter library as a caller sees it: loaded at run time from lib/ beside the test program's
// bin/, every export looked up by name, adapters opened, driven through the dummy control exports
// and closed.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
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
#include <vector>

#include "../../platform/qcan_api/QCANApi.h"

namespace {

std::string libraryPath(const std::string& sub = "")
{
    char exe[PATH_MAX] = {0};
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../lib/" + sub + "libQCAN_API.so";
}

void* library()
{
    static void* handle = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
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

// Maker identifier: msg bits 21-28 | cmd bits 18-20 | devType bits 8-14 | devNumber bits 0-6.
uint32_t makerId(uint32_t msg, uint32_t cmd, uint32_t devType, uint32_t devNumber)
{
    return (msg << 21) | (cmd << 18) | (devType << 8) | devNumber;
}

// Everything the adapter's callbacks delivered, with a wait on any condition of it.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<_TGENERIC_CAN_FRAME> frames;
    std::vector<std::thread::id> rxThreads;
    int statusCount = 0, lastMode = -99, lastBus = -99, txCount = 0;
    std::atomic<int> callbacks{0};
    void** table = nullptr;  // when set, the receive callback also asks the adapter for its mode
    void* handle = nullptr;

    template <class P>
    bool waitFor(P pred, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(); });
    }
};

void onRx(void*, unsigned short, const _TGENERIC_CAN_FRAME_HEADER* h, const unsigned char* d, void* dev)
{
    auto* r = static_cast<Recorder*>(dev);
    ++r->callbacks;
    if (r->table)
        reinterpret_cast<QCAN_Fn_GetMode>(r->table[QCAN_ENTRY_GET_MODE])(r->handle);
    _TGENERIC_CAN_FRAME f{};
    f.header = *h;
    std::memcpy(f.data, d, 8);
    std::lock_guard<std::mutex> lock(r->m);
    r->frames.push_back(f);
    r->rxThreads.push_back(std::this_thread::get_id());
    r->cv.notify_all();
}

void onStatus(void*, int mode, int bus, void* dev)
{
    auto* r = static_cast<Recorder*>(dev);
    ++r->callbacks;
    std::lock_guard<std::mutex> lock(r->m);
    ++r->statusCount;
    r->lastMode = mode;
    r->lastBus = bus;
    r->cv.notify_all();
}

void onTx(void* dev, void*, int, unsigned short)
{
    auto* r = static_cast<Recorder*>(dev);
    ++r->callbacks;
    std::lock_guard<std::mutex> lock(r->m);
    ++r->txCount;
    r->cv.notify_all();
}

class AdapterLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(library(), nullptr) << dlerror();
        for (const char* v : {"QCAN_ADAPTERS", "QCAN_ADAPTERS_FILE", "HOME"}) {
            const char* old = getenv(v);
            savedEnv.push_back({v, old ? old : "", old != nullptr});
        }
        setenv("QCAN_ADAPTERS", "DUMMY1=dummy;DUMMY2=dummy;SIM_EXCAVATOR=sim:excavator", 1);
        QCAN(QCANTest_Reset)();
        ctx = QCAN(QCAN_InitializeLibrary)();
        ASSERT_NE(ctx, nullptr);
    }

    void TearDown() override
    {
        QCAN(QCAN_UnInitializeLibrary)(ctx);
        QCAN(QCANTest_Reset)();
        for (const SavedVar& s : savedEnv) {
            if (s.set)
                setenv(s.name.c_str(), s.value.c_str(), 1);
            else
                unsetenv(s.name.c_str());
        }
    }

    void* open(const char* name)
    {
        handle = QCAN(QCAN_InitializeCUA)(ctx, table, name, &onRx, &onStatus, &onTx, &rec, nullptr, nullptr);
        return handle;
    }
    template <class F>
    F entry(int n)
    {
        return reinterpret_cast<F>(table[n]);
    }
    void close() { entry<QCAN_Fn_Close>(QCAN_ENTRY_CLOSE)(handle); }

    // Names and descriptions of the current adapter list.
    std::vector<std::string> listing()
    {
        std::vector<std::string> out;
        void* list = QCAN(QCAN_CreateDeviceList)(ctx);
        EXPECT_NE(list, nullptr);
        for (int i = 0; list && i < QCAN(QCAN_GetDeviceCount)(list); ++i) {
            char name[64] = {0}, desc[64] = {0};
            EXPECT_GT(QCAN(QCAN_GetInterfaceFileName)(list, i, name, 64), 0);
            EXPECT_GT(QCAN(QCAN_GetInterfaceDescription)(list, i, desc, 64), 0);
            out.push_back(std::string(name) + " | " + desc);
        }
        QCAN(QCAN_DestroyDeviceList)(list);
        return out;
    }

    struct SavedVar {
        std::string name, value;
        bool set;
    };
    std::vector<SavedVar> savedEnv;
    void* ctx = nullptr;
    void* table[QCAN_TABLE_SIZE] = {nullptr};
    void* handle = nullptr;
    Recorder rec;
};

TEST_F(AdapterLibraryTest, ListsConfiguredAdaptersWithGeneratedDescriptions)
{
    setenv("QCAN_ADAPTERS", " DUMMY1=dummy; SIM_EXCAVATOR=sim:excavator;SC_vcan0=socketcan:vcan0;BAD=nosuch;DUMMY1=dummy", 1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"DUMMY1 | Dummy adapter DUMMY1", "SIM_EXCAVATOR | Simulated excavator",
                                                   "SC_vcan0 | SocketCAN vcan0"}));
    void* list = QCAN(QCAN_CreateDeviceList)(ctx);
    char buf[64] = {0};
    EXPECT_EQ(QCAN(QCAN_GetInterfaceFileName)(list, 3, buf, 64), 0);
    EXPECT_EQ(QCAN(QCAN_GetInterfaceFileName)(list, -1, buf, 64), 0);
    QCAN(QCAN_DestroyDeviceList)(list);
    EXPECT_EQ(QCAN(QCAN_GetDeviceCount)(list), 0);  // a destroyed list is stale, not a crash
}

TEST_F(AdapterLibraryTest, EmptyConfigurationHasNoAdapters)
{
    setenv("QCAN_ADAPTERS", "", 1);
    EXPECT_TRUE(listing().empty());
    EXPECT_EQ(open("DUMMY1"), nullptr);
}

TEST_F(AdapterLibraryTest, ConfigurationFileThenDefault)
{
    unsetenv("QCAN_ADAPTERS");
    char dir[] = "/tmp/qcanapitestXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/adapters.conf";
    std::ofstream(file) << "# test bench\nDUMMY7=dummy   # on the desk\n\nSC_can1=socketcan:can1\n";
    setenv("QCAN_ADAPTERS_FILE", file.c_str(), 1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"DUMMY7 | Dummy adapter DUMMY7", "SC_can1 | SocketCAN can1"}));

    // No readable file and an empty home: the one simulated excavator.
    setenv("QCAN_ADAPTERS_FILE", (std::string(dir) + "/missing.conf").c_str(), 1);
    setenv("HOME", dir, 1);
    EXPECT_EQ(listing(), (std::vector<std::string>{"SIM_EXCAVATOR | Simulated excavator"}));
    std::remove(file.c_str());
    rmdir(dir);
}

TEST_F(AdapterLibraryTest, LibraryFaultsRefuseInitializeAndFailTheList)
{
    QCAN(QCANTest_SetLibraryFaults)(1, 0);
    EXPECT_EQ(QCAN(QCAN_InitializeLibrary)(), nullptr);
    QCAN(QCANTest_SetLibraryFaults)(0, 1);
    void* second = QCAN(QCAN_InitializeLibrary)();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(QCAN(QCAN_CreateDeviceList)(second), nullptr);
    QCAN(QCANTest_SetLibraryFaults)(0, 0);
    void* list = QCAN(QCAN_CreateDeviceList)(second);
    EXPECT_NE(list, nullptr);
    QCAN(QCAN_DestroyDeviceList)(list);
    QCAN(QCAN_UnInitializeLibrary)(second);
}

TEST_F(AdapterLibraryTest, BuildStringCanBeOverriddenOrMadeToFail)
{
    char buf[600] = {0};
    EXPECT_GT(QCAN(QCAN_GetBuildString)(ctx, buf, 600), 0);
    EXPECT_EQ(std::string(buf).rfind("QCAN_API ", 0), 0u) << buf;
    QCAN(QCANTest_SetBuildString)("Test build 7");
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(QCAN(QCAN_GetBuildString)(ctx, buf, 600), 12);
    EXPECT_STREQ(buf, "Test build 7");
    QCAN(QCANTest_SetBuildString)("");
    EXPECT_EQ(QCAN(QCAN_GetBuildString)(ctx, buf, 600), 0);
    QCAN(QCANTest_SetBuildString)(nullptr);
    EXPECT_GT(QCAN(QCAN_GetBuildString)(ctx, buf, 600), 0);
}

TEST_F(AdapterLibraryTest, OpensClosesAndRefuses)
{
    EXPECT_EQ(open("NOSUCH"), nullptr);
    ASSERT_NE(open("DUMMY1"), nullptr);
    for (int i = 0; i < QCAN_TABLE_SIZE; ++i)
        EXPECT_NE(table[i], nullptr) << "entry " << i;
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 1);
    EXPECT_EQ(QCAN(QCANTest_GetOpenCount)("DUMMY1"), 1);
    void* again[QCAN_TABLE_SIZE] = {nullptr};
    EXPECT_EQ(QCAN(QCAN_InitializeCUA)(ctx, again, "DUMMY1", &onRx, &onStatus, &onTx, &rec, nullptr, nullptr), nullptr);
    close();
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 0);
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", QCAN_ENTRY_CLOSE), 1);

    ASSERT_NE(open("DUMMY1"), nullptr);
    EXPECT_EQ(QCAN(QCANTest_GetOpenCount)("DUMMY1"), 2);
    QCAN(QCAN_UnInitializeLibrary)(ctx);  // closes what is still open on the context
    EXPECT_EQ(QCAN(QCANTest_IsOpen)("DUMMY1"), 0);
    ctx = QCAN(QCAN_InitializeLibrary)();

    EXPECT_EQ(QCAN(QCANTest_SetRefuseOpen)("DUMMY1", 1), 1);
    EXPECT_EQ(open("DUMMY1"), nullptr);
    EXPECT_EQ(QCAN(QCANTest_GetOpenCount)("DUMMY1"), 2);
}

TEST_F(AdapterLibraryTest, StatusReportsRepeatStopAndCarryTheBusState)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    ASSERT_TRUE(rec.waitFor([&] { return rec.statusCount >= 1; }));
    // One report every 200 ms: over a real second, 5 give or take a late thread.
    int before;
    {
        std::lock_guard<std::mutex> lock(rec.m);
        before = rec.statusCount;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    {
        std::lock_guard<std::mutex> lock(rec.m);
        EXPECT_GE(rec.statusCount - before, 3);
        EXPECT_LE(rec.statusCount - before, 6);
        EXPECT_EQ(rec.lastMode, CAN_MODE_NORMAL);
        EXPECT_EQ(rec.lastBus, CAN_BUS_ON);
    }

    ASSERT_EQ(QCAN(QCANTest_SetStatusReports)("DUMMY1", 0), 1);
    int stopped;
    {
        std::lock_guard<std::mutex> lock(rec.m);
        stopped = rec.statusCount;
    }
    EXPECT_FALSE(rec.waitFor([&] { return rec.statusCount != stopped; }, 700));

    ASSERT_EQ(QCAN(QCANTest_SetBusState)("DUMMY1", -1), 1);
    ASSERT_EQ(QCAN(QCANTest_ReportStatusNow)("DUMMY1"), 1);
    {
        std::lock_guard<std::mutex> lock(rec.m);
        EXPECT_EQ(rec.statusCount, stopped + 1);
        EXPECT_EQ(rec.lastBus, CAN_BUS_HW_FAILURE);
    }
    QCAN(QCANTest_SetStatusReports)("DUMMY1", 1);
    EXPECT_TRUE(rec.waitFor([&] { return rec.statusCount >= stopped + 3; }));
    close();
    EXPECT_EQ(QCAN(QCANTest_ReportStatusNow)("DUMMY1"), 0);
}

TEST_F(AdapterLibraryTest, InjectedFramesArriveInOrderOnTheAdaptersThread)
{
    const unsigned char payload[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(QCAN(QCANTest_InjectFrame)("DUMMY1", 0x123, 0, 0, 8, payload), 0);  // not open
    ASSERT_NE(open("DUMMY1"), nullptr);
    const int n = 2000;
    for (int i = 0; i < n; ++i) {
        unsigned char d[8] = {static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8), 0xAA};
        ASSERT_EQ(QCAN(QCANTest_InjectFrame)("DUMMY1", makerId(1, 0, 16, static_cast<uint32_t>(i % 128)), 1, 0, 3, d), 1);
    }
    ASSERT_EQ(QCAN(QCANTest_WaitRxDelivered)("DUMMY1", 5000), 1);
    std::lock_guard<std::mutex> lock(rec.m);
    ASSERT_EQ(rec.frames.size(), static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const _TGENERIC_CAN_FRAME& f = rec.frames[static_cast<size_t>(i)];
        ASSERT_EQ(f.header.id, makerId(1, 0, 16, static_cast<uint32_t>(i % 128))) << i;
        ASSERT_EQ(f.header.ext, 1);
        ASSERT_EQ(f.header.dlc, 3);
        ASSERT_EQ(f.data[0] | (f.data[1] << 8), i);
        ASSERT_EQ(f.data[2], 0xAA);
        ASSERT_NE(rec.rxThreads[static_cast<size_t>(i)], std::this_thread::get_id());
    }
}

TEST_F(AdapterLibraryTest, SentFramesAreRecordedWithExactBytes)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    auto send = entry<QCAN_Fn_Send>(QCAN_ENTRY_SEND);
    const unsigned char data[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    _TGENERIC_CAN_FRAME_HEADER ext{makerId(2, 1, 16, 5), 1, 0, 3};
    _TGENERIC_CAN_FRAME_HEADER standard{0x7DF, 0, 1, 0};
    _TGENERIC_CAN_FRAME_HEADER tooLong{0x100, 0, 0, 9};
    EXPECT_EQ(send(handle, &ext, data, 0, 1000, 0, 0), 1);
    EXPECT_EQ(send(handle, &standard, data, 0, 1000, 0, 0), 1);
    EXPECT_EQ(send(handle, &tooLong, data, 0, 1000, 0, 0), 0);
    ASSERT_EQ(QCAN(QCANTest_GetSentCount)("DUMMY1"), 2);

    // Header id (little-endian), ext, rtr, dlc (16 bits), then only dlc bytes of the caller's data.
    const uint32_t id = makerId(2, 1, 16, 5);
    const unsigned char first[16] = {static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8),
                                     static_cast<unsigned char>(id >> 16), static_cast<unsigned char>(id >> 24),
                                     1, 0, 3, 0, 0x11, 0x22, 0x33, 0, 0, 0, 0, 0};
    const unsigned char second[16] = {0xDF, 0x07, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned char got[16];
    ASSERT_EQ(QCAN(QCANTest_GetSentFrame)("DUMMY1", 0, got), 1);
    EXPECT_EQ(0, std::memcmp(got, first, 16));
    ASSERT_EQ(QCAN(QCANTest_GetSentFrame)("DUMMY1", 1, got), 1);
    EXPECT_EQ(0, std::memcmp(got, second, 16));
    EXPECT_EQ(QCAN(QCANTest_GetSentFrame)("DUMMY1", 2, got), 0);
    EXPECT_TRUE(rec.waitFor([&] { return rec.txCount == 2; }));
    QCAN(QCANTest_ClearSent)("DUMMY1");
    EXPECT_EQ(QCAN(QCANTest_GetSentCount)("DUMMY1"), 0);
}

TEST_F(AdapterLibraryTest, SettingsAreRecordedAndReportsCanBeOverridden)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    int baud = 0, mode = 0, term = -1, power = -1;
    ASSERT_EQ(QCAN(QCANTest_GetSettings)("DUMMY1", &baud, &mode, &term, &power), 1);
    EXPECT_EQ((std::vector<int>{baud, mode, term, power}), (std::vector<int>{2, 3, 0, 1}));

    entry<QCAN_Fn_SetBaud>(QCAN_ENTRY_SET_BAUD)(handle, 3);
    entry<QCAN_Fn_SetMode>(QCAN_ENTRY_SET_MODE)(handle, 4);
    entry<QCAN_Fn_SetTermination>(QCAN_ENTRY_SET_TERMINATION)(handle, 1);
    entry<QCAN_Fn_SetBusPower>(QCAN_ENTRY_SET_BUS_POWER)(handle, 0);
    QCAN(QCANTest_GetSettings)("DUMMY1", &baud, &mode, &term, &power);
    EXPECT_EQ((std::vector<int>{baud, mode, term, power}), (std::vector<int>{3, 4, 1, 0}));
    EXPECT_EQ(entry<QCAN_Fn_GetBaud>(QCAN_ENTRY_GET_BAUD)(handle), 3);
    EXPECT_EQ(entry<QCAN_Fn_GetMode>(QCAN_ENTRY_GET_MODE)(handle), 4);
    EXPECT_EQ(entry<QCAN_Fn_GetTermination>(QCAN_ENTRY_GET_TERMINATION)(handle), 1);
    EXPECT_EQ(entry<QCAN_Fn_GetBusPower>(QCAN_ENTRY_GET_BUS_POWER)(handle), 0);

    QCAN(QCANTest_SetReportedBaud)("DUMMY1", 5);
    QCAN(QCANTest_SetReportedMode)("DUMMY1", 2);
    QCAN(QCANTest_SetReportedTermination)("DUMMY1", 0);
    QCAN(QCANTest_SetReportedBusPower)("DUMMY1", -2);
    EXPECT_EQ(entry<QCAN_Fn_GetBaud>(QCAN_ENTRY_GET_BAUD)(handle), 5);
    EXPECT_EQ(entry<QCAN_Fn_GetMode>(QCAN_ENTRY_GET_MODE)(handle), 2);
    EXPECT_EQ(entry<QCAN_Fn_GetTermination>(QCAN_ENTRY_GET_TERMINATION)(handle), 0);
    EXPECT_EQ(entry<QCAN_Fn_GetBusPower>(QCAN_ENTRY_GET_BUS_POWER)(handle), -2);
    ASSERT_EQ(QCAN(QCANTest_ReportStatusNow)("DUMMY1"), 1);
    EXPECT_EQ(rec.lastMode, 2);  // status reports carry the reported mode too

    QCAN(QCANTest_SetReportedBaud)("DUMMY1", -1);
    EXPECT_EQ(entry<QCAN_Fn_GetBaud>(QCAN_ENTRY_GET_BAUD)(handle), 3);
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", QCAN_ENTRY_GET_BAUD), 3);
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", QCAN_ENTRY_SET_BAUD), 1);
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", 17), -1);
}

TEST_F(AdapterLibraryTest, StatisticsCountAndCanBeMadeToFail)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    _TGENERIC_CAN_FRAME_HEADER h{0x10, 0, 0, 2};
    const unsigned char data[2] = {1, 2};
    entry<QCAN_Fn_Send>(QCAN_ENTRY_SEND)(handle, &h, data, 0, 1000, 0, 0);
    _TCANStats stats{};
    ASSERT_GT(entry<QCAN_Fn_GetStats>(QCAN_ENTRY_GET_STATS)(handle, &stats), 0);
    EXPECT_EQ(stats.counter[QCAN_STAT_TX_FRAMES], 1u);
    EXPECT_EQ(stats.counter[QCAN_STAT_TX_BYTES], 2u);
    QCAN(QCANTest_SetStatsFail)("DUMMY1", 1);
    EXPECT_EQ(entry<QCAN_Fn_GetStats>(QCAN_ENTRY_GET_STATS)(handle, &stats), 0);
}

TEST_F(AdapterLibraryTest, NoCallbackAfterCloseWhileTrafficRuns)
{
    ASSERT_NE(open("DUMMY1"), nullptr);
    rec.table = table;  // receive callbacks call back into the adapter while it closes
    rec.handle = handle;
    std::atomic<bool> run{true};
    std::thread producer([&] {
        const unsigned char d[8] = {9, 9, 9, 9, 9, 9, 9, 9};
        while (run)
            QCAN(QCANTest_InjectFrame)("DUMMY1", 0x321, 0, 0, 8, d);
    });
    std::thread reporter([&] {
        while (run)
            QCAN(QCANTest_ReportStatusNow)("DUMMY1");
    });
    ASSERT_TRUE(rec.waitFor([&] { return rec.frames.size() > 500 && rec.statusCount > 5; }));
    void* closed = handle;
    close();
    const int atClose = rec.callbacks.load();
    EXPECT_FALSE(rec.waitFor([&] { return rec.callbacks.load() != atClose; }, 500));
    run = false;
    producer.join();
    reporter.join();
    EXPECT_EQ(rec.callbacks.load(), atClose);

    // The closed handle is stale: every entry answers with its failure value.
    _TGENERIC_CAN_FRAME_HEADER h{0x10, 0, 0, 0};
    _TCANStats stats{};
    EXPECT_EQ(entry<QCAN_Fn_Send>(QCAN_ENTRY_SEND)(closed, &h, nullptr, 0, 1000, 0, 0), 0);
    EXPECT_EQ(entry<QCAN_Fn_GetBaud>(QCAN_ENTRY_GET_BAUD)(closed), CAN_BAUD_NONE);
    EXPECT_EQ(entry<QCAN_Fn_GetStats>(QCAN_ENTRY_GET_STATS)(closed, &stats), 0);
    entry<QCAN_Fn_Close>(QCAN_ENTRY_CLOSE)(closed);
    EXPECT_EQ(QCAN(QCANTest_GetCallCount)("DUMMY1", QCAN_ENTRY_CLOSE), 1);
}

TEST_F(AdapterLibraryTest, SimulatedExcavatorSendsTiltHeartbeatAt50Hz)
{
    const auto start = std::chrono::steady_clock::now();
    ASSERT_NE(open("SIM_EXCAVATOR"), nullptr);
    ASSERT_TRUE(rec.waitFor([&] { return rec.frames.size() >= 20; }));
    close();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard<std::mutex> lock(rec.m);
    EXPECT_LE(static_cast<long long>(rec.frames.size()), ms / 20 + 1);  // never ahead of 50 Hz
    for (size_t i = 0; i < rec.frames.size(); ++i) {
        const _TGENERIC_CAN_FRAME& f = rec.frames[i];
        EXPECT_EQ(f.header.id, makerId(1, 0, 16, 101));
        EXPECT_EQ(f.header.ext, 1);
        EXPECT_EQ(f.header.dlc, 8);
        if (i > 0) {  // a rolling counter in bytes 0-1
            EXPECT_EQ(f.data[0], static_cast<unsigned char>(rec.frames[i - 1].data[0] + 1));
        }
    }
}

TEST(AdapterLibraryVariant, NoInitBuildLacksTheInitExports)
{
    void* h = dlopen(libraryPath("noinit/").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << dlerror();
    EXPECT_EQ(dlsym(h, "QCAN_InitializeLibrary"), nullptr);
    EXPECT_EQ(dlsym(h, "QCAN_UnInitializeLibrary"), nullptr);
    EXPECT_NE(dlsym(h, "QCAN_InitializeCUA"), nullptr);
    EXPECT_NE(dlsym(h, "QCAN_CreateDeviceList"), nullptr);
    dlclose(h);
}

}  // namespace

#pragma once

// One open adapter with its three threads:
//   - receive: runs the kind's receiveLoop, which hands frames to deliver() in bus order;
//   - status: calls the status callback with (mode, bus state) every kStatusPeriodMs while
//     periodic reports are on, and at once on reportStatusNow();
//   - transmit: calls the TX callback once for every frame the send entry accepted.
// No callback is made once close() has returned: close() joins the threads. It takes no lock
// while joining, so a callback that is running meanwhile may call back into the library.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "QCANApi.h"

struct AdapterCallbacks {
    QCAN_RxCallback rx = nullptr;
    QCAN_StatusCallback status = nullptr;
    QCAN_TxCallback tx = nullptr;
    void* device = nullptr;
};

class Adapter : public std::enable_shared_from_this<Adapter> {
public:
    static constexpr int kStatusPeriodMs = 200;

    Adapter(const std::string& name, const AdapterCallbacks& callbacks);
    virtual ~Adapter();
    Adapter(const Adapter&) = delete;
    Adapter& operator=(const Adapter&) = delete;

    const std::string& name() const { return name_; }

    // Opens the kind's resources and starts the threads; false when the adapter cannot be opened.
    bool start();
    // Stops and joins the threads. Called once, by whoever removed the adapter from the library's
    // registry; when that is one of the adapter's own threads, that thread is left to end by itself.
    void close();

    // One status report on the status thread; true once its callback has returned.
    bool reportStatusNow(int timeoutMs);
    // Returns when no status report is in progress (a report that has begun is let finish).
    void waitReportIdle();

    // The function-table entries.
    virtual void countCall(int /*entry*/) {}
    virtual void setMode(int mode);
    virtual int getMode();
    virtual void setBaud(int baud);
    virtual int getBaud();
    virtual int send(const _TGENERIC_CAN_FRAME& frame);  // 1 = sent
    virtual void setBusPower(int on);
    virtual int getBusPower();
    virtual void addFilter(unsigned short /*index*/, const void* /*code8*/, const void* /*mask8*/) {}
    virtual int getStats(_TCANStats* stats);
    virtual void setTermination(int on);
    virtual int getTermination();

protected:
    virtual bool open() { return true; }   // before the threads start
    virtual void receiveLoop() = 0;        // on the receive thread, until stopping()
    virtual void wakeReceiver() {}         // a stop was requested; no lock held
    virtual bool periodicReports() { return true; }
    virtual int statusBusState() { return CAN_BUS_ON; }
    virtual int statusMode() { return getMode(); }

    bool stopping() const { return stopping_.load(); }
    // Waits until the stop request or the time is up; true when stopping.
    bool waitForStop(std::chrono::milliseconds timeout);
    // Hands one frame to the receive callback (receive thread only).
    void deliver(const _TGENERIC_CAN_FRAME& frame);
    // Lets the transmit thread confirm one sent frame.
    void confirmSent(const _TGENERIC_CAN_FRAME& frame);
    void countDropped(uint32_t n = 1) { rxDropped_ += n; }
    void countSendFailed() { ++txFailed_; }

    // Settings as set through the table, for kinds that keep them here.
    std::mutex settingsMutex_;
    int baud_ = CAN_BAUD_250K;
    int mode_ = CAN_MODE_NORMAL;
    int termination_ = 0;
    int busPower_ = 1;

private:
    void awaitStart();
    void statusThread();
    void transmitThread();
    void report();
    bool onOwnThread() const;

    const std::string name_;
    const AdapterCallbacks callbacks_;
    std::chrono::steady_clock::time_point openedAt_;

    std::mutex mutex_;  // guards the report and transmit bookkeeping below
    std::condition_variable cv_;
    std::atomic<bool> stopping_{false};
    uint64_t reportsRequested_ = 0;
    uint64_t reportsServed_ = 0;
    bool reporting_ = false;
    bool started_ = false;
    uint32_t txPending_ = 0;

    std::thread rxThread_, statusThread_, txThread_;
    // Fixed before the adapter is registered, so any thread may compare against them.
    std::thread::id rxId_, statusId_, txId_;

    std::atomic<uint32_t> rxFrames_{0}, txFrames_{0}, rxBytes_{0}, txBytes_{0}, rxDropped_{0}, txFailed_{0},
        statusReports_{0};
};

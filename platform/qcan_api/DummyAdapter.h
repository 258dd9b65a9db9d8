#pragma once

// An adapter with no bus behind it, driven by tests through the control exports. Frames a test
// injects wait in a bounded queue for the receive thread; frames sent through the table are
// recorded in the name's DummyState; settings and reports follow the state's overrides.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "Adapter.h"
#include "DummyState.h"

class DummyAdapter : public Adapter {
public:
    static constexpr size_t kQueueCapacity = 65536;
    static constexpr int kInjectWaitMs = 1000;  // how long inject() waits for room in a full queue

    DummyAdapter(const std::string& name, const AdapterCallbacks& callbacks, std::shared_ptr<DummyState> state);

    // Queues a frame for the receive thread. Waits up to kInjectWaitMs while the queue is full;
    // false when it stays full or the adapter is closing.
    bool inject(const _TGENERIC_CAN_FRAME& frame);
    // True once the callback of every frame injected before the call has returned.
    bool waitDelivered(int timeoutMs);

    void countCall(int entry) override;
    void setMode(int mode) override;
    int getMode() override;
    void setBaud(int baud) override;
    int getBaud() override;
    int send(const _TGENERIC_CAN_FRAME& frame) override;
    void setBusPower(int on) override;
    int getBusPower() override;
    int getStats(_TCANStats* stats) override;
    void setTermination(int on) override;
    int getTermination() override;

protected:
    void receiveLoop() override;
    void wakeReceiver() override;
    bool periodicReports() override;
    int statusBusState() override;

private:
    std::shared_ptr<DummyState> state_;

    std::mutex queueMutex_;
    std::condition_variable notEmpty_, notFull_, delivered_;
    std::vector<_TGENERIC_CAN_FRAME> ring_;
    size_t head_ = 0;
    size_t count_ = 0;
    uint64_t injected_ = 0;
    uint64_t deliveredCount_ = 0;
    bool queueStopped_ = false;
    // Notifying only when someone waits keeps injection at full speed cheap.
    bool consumerWaiting_ = false;
    int producersWaiting_ = 0;
    int deliveryWaiters_ = 0;
};

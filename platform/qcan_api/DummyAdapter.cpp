#include "DummyAdapter.h"

#include <chrono>

namespace {
constexpr size_t kBatch = 256;  // frames taken out of the queue per lock
}

DummyAdapter::DummyAdapter(const std::string& name, const AdapterCallbacks& callbacks,
                           std::shared_ptr<DummyState> state)
    : Adapter(name, callbacks), state_(std::move(state)), ring_(kQueueCapacity)
{
}

bool DummyAdapter::inject(const _TGENERIC_CAN_FRAME& frame)
{
    std::unique_lock<std::mutex> lock(queueMutex_);
    if (count_ == kQueueCapacity) {
        ++producersWaiting_;
        notFull_.wait_for(lock, std::chrono::milliseconds(kInjectWaitMs),
                          [this] { return count_ < kQueueCapacity || queueStopped_; });
        --producersWaiting_;
    }
    if (queueStopped_ || count_ == kQueueCapacity) {
        if (!queueStopped_)
            countDropped();
        return false;
    }
    ring_[(head_ + count_) % kQueueCapacity] = frame;
    ++count_;
    ++injected_;
    if (consumerWaiting_)
        notEmpty_.notify_one();
    return true;
}

bool DummyAdapter::waitDelivered(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(queueMutex_);
    const uint64_t target = injected_;
    ++deliveryWaiters_;
    delivered_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [&] { return deliveredCount_ >= target || queueStopped_; });
    --deliveryWaiters_;
    return deliveredCount_ >= target;
}

void DummyAdapter::receiveLoop()
{
    std::vector<_TGENERIC_CAN_FRAME> batch;
    batch.reserve(kBatch);
    std::unique_lock<std::mutex> lock(queueMutex_);
    while (true) {
        consumerWaiting_ = true;
        notEmpty_.wait(lock, [this] { return count_ > 0 || queueStopped_; });
        consumerWaiting_ = false;
        if (queueStopped_)
            return;
        batch.clear();
        while (count_ > 0 && batch.size() < kBatch) {
            batch.push_back(ring_[head_]);
            head_ = (head_ + 1) % kQueueCapacity;
            --count_;
        }
        if (producersWaiting_ > 0)
            notFull_.notify_all();
        lock.unlock();
        size_t done = 0;
        for (const _TGENERIC_CAN_FRAME& f : batch) {
            if (stopping())
                break;
            deliver(f);
            ++done;
        }
        lock.lock();
        deliveredCount_ += done;
        if (deliveryWaiters_ > 0)
            delivered_.notify_all();
    }
}

void DummyAdapter::wakeReceiver()
{
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queueStopped_ = true;
    }
    notEmpty_.notify_all();
    notFull_.notify_all();
    delivered_.notify_all();
}

bool DummyAdapter::periodicReports()
{
    return state_->config().statusReports;
}

int DummyAdapter::statusBusState()
{
    return state_->config().busState;
}

void DummyAdapter::countCall(int entry)
{
    state_->countCall(entry);
}

void DummyAdapter::setMode(int mode)
{
    state_->update([mode](DummyConfig& c) { c.mode = mode; });
}

int DummyAdapter::getMode()
{
    const DummyConfig c = state_->config();
    return c.reportedMode != -1 ? c.reportedMode : c.mode;
}

void DummyAdapter::setBaud(int baud)
{
    state_->update([baud](DummyConfig& c) { c.baud = baud; });
}

int DummyAdapter::getBaud()
{
    const DummyConfig c = state_->config();
    return c.reportedBaud != -1 ? c.reportedBaud : c.baud;
}

int DummyAdapter::send(const _TGENERIC_CAN_FRAME& frame)
{
    state_->recordSent(frame);
    confirmSent(frame);
    return 1;
}

void DummyAdapter::setBusPower(int on)
{
    state_->update([on](DummyConfig& c) { c.busPower = on ? 1 : 0; });
}

int DummyAdapter::getBusPower()
{
    const DummyConfig c = state_->config();
    return c.reportedBusPower != -1 ? c.reportedBusPower : c.busPower;
}

int DummyAdapter::getStats(_TCANStats* stats)
{
    if (state_->config().statsFail)
        return 0;
    return Adapter::getStats(stats);
}

void DummyAdapter::setTermination(int on)
{
    state_->update([on](DummyConfig& c) { c.termination = on ? 1 : 0; });
}

int DummyAdapter::getTermination()
{
    const DummyConfig c = state_->config();
    return c.reportedTermination != -1 ? c.reportedTermination : c.termination;
}

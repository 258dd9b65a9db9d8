#include "Adapter.h"

#include <vector>

Adapter::Adapter(const std::string& name, const AdapterCallbacks& callbacks) : name_(name), callbacks_(callbacks) {}

Adapter::~Adapter()
{
    // close() has joined or detached every thread; a joinable one here would abort the process.
    if (rxThread_.joinable())
        rxThread_.detach();
    if (statusThread_.joinable())
        statusThread_.detach();
    if (txThread_.joinable())
        txThread_.detach();
}

bool Adapter::start()
{
    if (!open())
        return false;
    openedAt_ = std::chrono::steady_clock::now();
    // Each thread keeps the adapter alive, so a thread left to end by itself never outlives it.
    std::shared_ptr<Adapter> self = shared_from_this();
    rxThread_ = std::thread([self] { self->awaitStart(); self->receiveLoop(); });
    statusThread_ = std::thread([self] { self->awaitStart(); self->statusThread(); });
    txThread_ = std::thread([self] { self->awaitStart(); self->transmitThread(); });
    std::lock_guard<std::mutex> lock(mutex_);
    rxId_ = rxThread_.get_id();
    statusId_ = statusThread_.get_id();
    txId_ = txThread_.get_id();
    started_ = true;
    cv_.notify_all();
    return true;
}

void Adapter::awaitStart()
{
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return started_; });
}

bool Adapter::onOwnThread() const
{
    const std::thread::id me = std::this_thread::get_id();
    return me == rxId_ || me == statusId_ || me == txId_;
}

void Adapter::close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    wakeReceiver();
    const std::thread::id me = std::this_thread::get_id();
    for (std::thread* t : {&rxThread_, &statusThread_, &txThread_}) {
        if (!t->joinable())
            continue;
        if (t->get_id() == me)
            t->detach();  // a callback closed its own adapter: this thread ends when it returns
        else
            t->join();
    }
}

bool Adapter::waitForStop(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return stopping_.load(); });
}

bool Adapter::reportStatusNow(int timeoutMs)
{
    if (onOwnThread())
        return false;  // the status thread cannot wait for itself
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_)
        return false;
    const uint64_t mine = ++reportsRequested_;
    cv_.notify_all();
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return reportsServed_ >= mine || stopping_; });
    return reportsServed_ >= mine;
}

void Adapter::waitReportIdle()
{
    if (onOwnThread())
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::seconds(5), [this] { return !reporting_; });
}

void Adapter::report()
{
    const int mode = statusMode();
    const int bus = statusBusState();
    ++statusReports_;
    if (callbacks_.status)
        callbacks_.status(nullptr, mode, bus, callbacks_.device);
}

void Adapter::statusThread()
{
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(kStatusPeriodMs);
    auto next = clock::now() + period;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (reportsRequested_ > reportsServed_) {
            const uint64_t target = reportsRequested_;
            reporting_ = true;
            lock.unlock();
            report();
            lock.lock();
            reporting_ = false;
            reportsServed_ = target;
            cv_.notify_all();
            continue;
        }
        const auto now = clock::now();
        if (now >= next) {
            // A late thread skips missed reports rather than sending a burst of them.
            next += period;
            if (next <= now)
                next = now + period;
            lock.unlock();
            const bool on = periodicReports();
            lock.lock();
            if (on && !stopping_) {
                reporting_ = true;
                lock.unlock();
                report();
                lock.lock();
                reporting_ = false;
                cv_.notify_all();
            }
            continue;
        }
        cv_.wait_until(lock, next);
    }
    reporting_ = false;
    cv_.notify_all();
}

void Adapter::transmitThread()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        cv_.wait(lock, [this] { return stopping_ || txPending_ > 0; });
        if (stopping_)
            return;
        uint32_t n = txPending_;
        txPending_ = 0;
        lock.unlock();
        for (; n > 0 && !stopping_; --n) {
            if (callbacks_.tx)
                callbacks_.tx(callbacks_.device, nullptr, 1, 0);
        }
        lock.lock();
    }
}

void Adapter::deliver(const _TGENERIC_CAN_FRAME& frame)
{
    ++rxFrames_;
    rxBytes_ += frame.header.dlc;
    if (callbacks_.rx)
        callbacks_.rx(nullptr, 0, &frame.header, frame.data, callbacks_.device);
}

void Adapter::confirmSent(const _TGENERIC_CAN_FRAME& frame)
{
    ++txFrames_;
    txBytes_ += frame.header.dlc;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++txPending_;
    }
    cv_.notify_all();
}

void Adapter::setMode(int mode)
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    mode_ = mode;
}

int Adapter::getMode()
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return mode_;
}

void Adapter::setBaud(int baud)
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    baud_ = baud;
}

int Adapter::getBaud()
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return baud_;
}

int Adapter::send(const _TGENERIC_CAN_FRAME& frame)
{
    confirmSent(frame);  // accepted and dropped: there is no bus behind this kind
    return 1;
}

void Adapter::setBusPower(int on)
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    busPower_ = on ? 1 : 0;
}

int Adapter::getBusPower()
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return busPower_;
}

int Adapter::getStats(_TCANStats* stats)
{
    if (!stats)
        return 0;
    stats->counter[QCAN_STAT_RX_FRAMES] = rxFrames_;
    stats->counter[QCAN_STAT_TX_FRAMES] = txFrames_;
    stats->counter[QCAN_STAT_RX_BYTES] = rxBytes_;
    stats->counter[QCAN_STAT_TX_BYTES] = txBytes_;
    stats->counter[QCAN_STAT_RX_DROPPED] = rxDropped_;
    stats->counter[QCAN_STAT_TX_FAILED] = txFailed_;
    stats->counter[QCAN_STAT_STATUS_REPORTS] = statusReports_;
    stats->counter[QCAN_STAT_BUS_ERRORS] = 0;
    stats->counter[QCAN_STAT_UPTIME_S] = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - openedAt_).count());
    return 1;
}

void Adapter::setTermination(int on)
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    termination_ = on ? 1 : 0;
}

int Adapter::getTermination()
{
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return termination_;
}

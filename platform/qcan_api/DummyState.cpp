#include "DummyState.h"

DummyConfig DummyState::config() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

void DummyState::countOpen()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++openCount_;
}

int DummyState::openCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return openCount_;
}

void DummyState::countCall(int entry)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry >= 0 && entry < QCAN_TABLE_SIZE)
        ++calls_[static_cast<size_t>(entry)];
}

int DummyState::callCount(int entry) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry < 0 || entry >= QCAN_TABLE_SIZE)
        return -1;
    return calls_[static_cast<size_t>(entry)];
}

void DummyState::recordSent(const _TGENERIC_CAN_FRAME& frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent_.size() < kSentCapacity)
        sent_.push_back(frame);
}

int DummyState::sentCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(sent_.size());
}

bool DummyState::sentFrame(int index, _TGENERIC_CAN_FRAME& out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= sent_.size())
        return false;
    out = sent_[static_cast<size_t>(index)];
    return true;
}

void DummyState::clearSent()
{
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.clear();
}

#pragma once

// What the library keeps about one dummy adapter name for as long as it is loaded, across closing
// and reopening: the faults and report overrides a test set, the settings last set through the
// function table, the frames sent, and how often it was opened and each table entry was called.

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "QCANApi.h"

struct DummyConfig {
    bool refuseOpen = false;
    bool statusReports = true;
    int busState = CAN_BUS_ON;
    bool statsFail = false;
    // Report overrides; -1 reports what was set.
    int reportedBaud = -1;
    int reportedMode = -1;
    int reportedTermination = -1;
    int reportedBusPower = -1;
    // Last values set through the table.
    int baud = CAN_BAUD_250K;
    int mode = CAN_MODE_NORMAL;
    int termination = 0;
    int busPower = 1;
};

class DummyState {
public:
    static constexpr size_t kSentCapacity = 100000;  // further sent frames are not recorded

    DummyConfig config() const;
    template <class F>
    void update(F change)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change(config_);
    }

    void countOpen();
    int openCount() const;
    void countCall(int entry);
    int callCount(int entry) const;  // -1 for an entry outside the table

    void recordSent(const _TGENERIC_CAN_FRAME& frame);
    int sentCount() const;
    bool sentFrame(int index, _TGENERIC_CAN_FRAME& out) const;
    void clearSent();

private:
    mutable std::mutex mutex_;
    DummyConfig config_;
    int openCount_ = 0;
    std::array<int, QCAN_TABLE_SIZE> calls_{};
    std::vector<_TGENERIC_CAN_FRAME> sent_;
};

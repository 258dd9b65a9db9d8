#pragma once

// The manager thread's wake-up: a counting semaphore posted for every frame put into a receive
// ring and waited on between the thread's passes. Each post lets the thread make one more pass.
// Unlike wxSemaphore, a post allocates nothing (wxSemaphore builds its trace text on every post),
// so the receive path stays free of heap allocations.

#include <condition_variable>
#include <mutex>

#include <wx/thread.h>

namespace Sensors {

class WakeSemaphore {
public:
    WakeSemaphore() = default;
    WakeSemaphore(const WakeSemaphore&) = delete;
    WakeSemaphore& operator=(const WakeSemaphore&) = delete;

    wxSemaError Post();
    // wxSEMA_TIMEOUT when no post came within ms.
    wxSemaError WaitTimeout(unsigned long ms);

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    unsigned long count_ = 0;
};

}  // namespace Sensors

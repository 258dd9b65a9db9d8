#include "WakeSemaphore.h"

#include <chrono>

namespace Sensors {

wxSemaError WakeSemaphore::Post()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
    }
    posted_.notify_one();
    return wxSEMA_NO_ERROR;
}

wxSemaError WakeSemaphore::WaitTimeout(unsigned long ms)
{
    // Real time: the manager thread sleeps between passes whatever the plug-in's clock says.
    std::unique_lock<std::mutex> lock(mutex_);
    if (!posted_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return count_ > 0; }))
        return wxSEMA_TIMEOUT;
    --count_;
    return wxSEMA_NO_ERROR;
}

}  // namespace Sensors

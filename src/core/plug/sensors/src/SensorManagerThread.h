#pragma once

#include <wx/thread.h>

namespace Sensors {

// The one background thread of the plug-in: gives every adapter a pass at least every 100 ms (at
// once when a frame was queued), re-arms or removes finished adapters and feeds the named frame
// handlers. Joinable: the manager joins it once it has signalled its end, so everything the thread
// did happens before whatever the joining thread does next.
class SensorManagerThread : public wxThread {
public:
    static constexpr unsigned int STACK_SIZE = 16388608;

    SensorManagerThread();

protected:
    ExitCode Entry() override;
};

}  // namespace Sensors

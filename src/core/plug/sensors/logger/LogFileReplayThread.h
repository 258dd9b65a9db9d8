#pragma once

// The detached thread of one log replay. It shares the replay's engine, so that it never touches
// a replay that has been deleted: what it uses lives until it lets go.

#include <memory>

#include <wx/thread.h>

namespace Sensors {

class ReplayEngine;

class LogFileReplayThread : public wxThread {
public:
    explicit LogFileReplayThread(std::shared_ptr<ReplayEngine> replay);

protected:
    ExitCode Entry() override;

private:
    std::shared_ptr<ReplayEngine> replay;
};

}  // namespace Sensors

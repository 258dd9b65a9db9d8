#include "LogFileReplayThread.h"

#include "ReplayEngine.h"

namespace Sensors {

LogFileReplayThread::LogFileReplayThread(std::shared_ptr<ReplayEngine> replay_)
    : wxThread(wxTHREAD_DETACHED), replay(std::move(replay_))
{
}

wxThread::ExitCode LogFileReplayThread::Entry()
{
    replay->run();
    // The engine goes with the thread object when it was the last to hold it.
    return nullptr;
}

}  // namespace Sensors

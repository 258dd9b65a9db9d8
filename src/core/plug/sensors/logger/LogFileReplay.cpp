#include "LogFileReplay.h"

#include <deque>

#include "LogFileReplayThread.h"
#include "ReplayLineParser.h"
#include "WispEasyWrapper.h"

namespace Sensors {

LogFileReplay::LogFileReplay(const wxString& fileName, int cuaId, bool loop, bool reportBusState, int interval,
                             bool startRunning, ReplayPacing pacing)
    : engine(std::make_shared<ReplayEngine>(fileName, cuaId, loop, reportBusState, interval, pacing))
{
    if (engine->load(startRunning))
        startThread();
}

LogFileReplay::~LogFileReplay()
{
    engine->markStopping();
    stopThread(1000);
}

bool LogFileReplay::validateLogFile(const wxString& fileName)
{
    std::deque<wxString> lines;
    if (!ReplayEngine::readLines(fileName, lines, ReplayEngine::HEADER_LINES)) {
        QLOG_INFO("validateLogFile") << "Replay file open failed : " << fileName;
        return false;
    }
    return ReplayEngine::checkHeader(ReplayEngine::headerText(lines));
}

bool LogFileReplay::getCanFrame(const wxString& line, bool hexadecimal, _TGENERIC_CAN_FRAME& frame,
                                unsigned long long& fileTime, bool& received)
{
    ReplayLine parsed;
    if (ReplayLineParser::parse(line, hexadecimal, parsed) != REPLAY_LINE_FRAME)
        return false;
    fileTime = parsed.timeUs / 1000;
    received = parsed.received;
    if (received)
        frame = parsed.frame;
    return true;
}

void LogFileReplay::start()
{
    engine->start();
}

void LogFileReplay::pause()
{
    engine->pause();
}

void LogFileReplay::stop()
{
    engine->stop();
}

int LogFileReplay::getStatus()
{
    return engine->getStatus();
}

bool LogFileReplay::getLoop()
{
    return engine->getLoop();
}

void LogFileReplay::setLoop(bool loop)
{
    engine->setLoop(loop);
}

bool LogFileReplay::getActive()
{
    return engine->getActive();
}

bool LogFileReplay::getThreadActive()
{
    return engine->getThreadActive();
}

int LogFileReplay::getInterval()
{
    return engine->getInterval();
}

wxString LogFileReplay::getFilename()
{
    return engine->getFilename();
}

void LogFileReplay::setNewStartPos(long position)
{
    engine->setNewStartPos(position);
}

wxString LogFileReplay::toString()
{
    return engine->toString();
}

void LogFileReplay::skip()
{
}

void LogFileReplay::sendNextFrame()
{
    engine->sendNextFrame();
}

void LogFileReplay::startThread()
{
    // The engine's lock is not needed around creation: the new thread shares the engine and
    // announces itself through replayThreadStarted.
    LogFileReplayThread* thread = new LogFileReplayThread(engine);
    if (thread->Create() != wxTHREAD_NO_ERROR || thread->Run() != wxTHREAD_NO_ERROR) {
        delete thread;
        QLOG_WARN("startThread") << "LogFileReplayThread thread failed to start";
        return;
    }
    QLOG_INFO("startThread") << "LogFileReplayThread started";
}

void LogFileReplay::stopThread(int milliseconds)
{
    QLOG_INFO("stopThread") << " Stop LogRepeat Thread";
    engine->setStatus(REPLAY_STOP);
    if (milliseconds > 0)
        engine->waitThreadEnd(static_cast<unsigned int>(milliseconds));
    QLOG_INFO("stopThread") << " Stop LogRepeat Thread Done";
}

void LogFileReplay::replayThreadStarted()
{
    engine->replayThreadStarted();
}

void LogFileReplay::replayThreadStopped()
{
    engine->replayThreadStopped();
}

ReplayPacing LogFileReplay::getPacing()
{
    return engine->getPacing();
}

unsigned int LogFileReplay::getPosition()
{
    return engine->getPosition();
}

unsigned int LogFileReplay::getTotal()
{
    return engine->getTotal();
}

unsigned long long LogFileReplay::getFramesSent()
{
    return engine->getFramesSent();
}

long long LogFileReplay::getBehindMs()
{
    return engine->getBehindMs();
}

}  // namespace Sensors

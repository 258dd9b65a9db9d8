#include "CANTxLogger.h"

#include <cstring>

#include <wx/datetime.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "Clock.h"
#include "LogFileIO.h"
#include "SensorManager.h"
#include "WispEasyWrapper.h"

namespace Sensors {

namespace {

wxDateTime now()
{
    return wxDateTime(static_cast<time_t>(Clock::wallMs() / 1000));
}

// The user configuration folder: ~/.config (or XDG_CONFIG_HOME) on Linux, the roaming
// application-data folder on Windows.
wxString userConfigDir()
{
    wxStandardPaths& paths = wxStandardPaths::Get();
#if defined(__UNIX__) && !defined(__WXMAC__)
    if (paths.GetFileLayout() == wxStandardPaths::FileLayout_Classic) {
        wxString xdg;
        if (wxGetEnv(wxT("XDG_CONFIG_HOME"), &xdg) && !xdg.empty())
            return xdg;
        return wxFileName::GetHomeDir() + wxT("/.config");
    }
#endif
    return paths.GetUserConfigDir();
}

}  // namespace

wxString CANTxLogger::getLogFolder()
{
    const wxString sep = wxFileName::GetPathSeparator();
    return userConfigDir() + sep + wxT("Quillard") + sep + wxT("qcan") + sep + wxT("log") + sep;
}

wxString CANTxLogger::getTimestamp()
{
    return now().Format(wxT("%Y-%m-%d_%H-%M-%S"));
}

CANTxLogger::CANTxLogger(const wxString& prefix) : failing(false)
{
    path = getLogFolder() + prefix + wxT("_") + getTimestamp() + wxT("_") + wxT("_TXLOG.log");
    bool ok = openLogFile(file, path, "w");
    if (ok) {
        const wxString text = now().Format(wxT("Logfile created %Y-%m-%d %H:%M:%S\n"));
        const wxScopedCharBuffer line = text.utf8_str();
        ok = writeLogFile(file, line.data(), line.length());
        closeLogFile(file);
    }
    if (!ok)
        QLOG_WARN("CANTxLogger") << "FAILED TO CREATE QCAN LOGFILE:\n" << path;
}

CANTxLogger::~CANTxLogger()
{
    processBuffer();
    wxMutexLocker guard(lock);
    flushBuffer();
    if (openLogFile(file, path, "a")) {
        static const char end[] = "\nEnd of log";
        if (!writeLogFile(file, end, sizeof end - 1))
            QLOG_WARN("~CANTxLogger") << "FAILED TO WRITE QCAN LOGFILE: " << path;
        closeLogFile(file);
    } else {
        QLOG_WARN("~CANTxLogger") << "FAILED TO OPEN QCAN LOGFILE: " << path;
    }
}

void CANTxLogger::addFrame(_TGENERIC_CAN_FRAME_HEADER* header, void* data)
{
    wxMutexLocker guard(lock);
    if (!header || !data)
        return;
    LoggedFrame f;
    f.header = *header;
    std::memcpy(f.data, data, sizeof f.data);
    queue.push_back(f);
}

void CANTxLogger::addFrame(_TQUIL1G5_CAN_FRAME_HEADER* header, void* data)
{
    if (!header)
        return;
    _TQUIL1G5_CAN_FRAME_HEADER copy = *header;
    addFrame(SensorManager::QuilMsgHdr2Gen_InPlace(&copy), data);
}

void CANTxLogger::addFrame(_TGENERIC_CAN_FRAME* frame)
{
    if (frame)
        addFrame(&frame->header, frame->data);
}

void CANTxLogger::addFrame(_TQUIL1G5_CAN_FRAME* frame)
{
    if (frame)
        addFrame(&frame->header, frame->data);
}

void CANTxLogger::processBuffer()
{
    wxMutexLocker guard(lock);
    while (!queue.empty())
        textBuffer += parseNextLoggedFrameToString() + wxT("\n");
    if (textBuffer.length() > 1024)
        flushBuffer();
}

wxString CANTxLogger::parseNextLoggedFrameToString()
{
    const wxString line = parseLoggedFrameToString(queue.front());
    queue.pop_front();
    return line;
}

wxString CANTxLogger::parseLoggedFrameToString(LoggedFrame frame)
{
    const uint32_t id = frame.header.id;
    wxString line = frame.prefix + wxT(" ");
    line += wxString::Format(wxT("%09X "), id);
    line += wxString::Format(wxT("EXT=%d "), frame.header.ext);
    line += wxString::Format(wxT("RTR=%d "), frame.header.rtr);
    line += wxString::Format(wxT("DLC=%d "), frame.header.dlc);
    line += wxString::Format(wxT("QuilDevType=%03d "), (id >> 8) & 0x7F);
    line += wxString::Format(wxT("QuilDevNumber=%03d "), id & 0x7F);
    line += wxString::Format(wxT("QuilMsg=%03d "), (id >> 21) & 0xFF);
    line += wxString::Format(wxT("QuilCmd=%03d "), (id >> 18) & 0x7);
    line += wxString::Format(wxT("QuilErr=%d "), (id >> 7) & 0x1);
    if (frame.header.dlc != 0) {
        line += wxT(" Data: ");
        const unsigned bytes = frame.header.dlc > 8 ? 8 : frame.header.dlc;  // the record holds eight
        for (unsigned i = 0; i < bytes; ++i)
            line += wxString::Format(wxT("%02X "), frame.data[i]);
    }
    return line;
}

void CANTxLogger::flushBuffer()
{
    // Called with the lock held.
    if (textBuffer.empty())
        return;
    if (!openLogFile(file, path, "a")) {
        // The text stays and is tried again at the next flush.
        if (!failing)
            QLOG_WARN("flushBuffer") << "FAILED TO OPEN QCAN LOGFILE: " << path;
        failing = true;
        return;
    }
    const wxScopedCharBuffer text = textBuffer.utf8_str();
    if (!writeLogFile(file, text.data(), text.length())) {
        if (!failing)
            QLOG_WARN("flushBuffer") << "FAILED TO WRITE QCAN LOGFILE: " << path;
        failing = true;
    } else {
        failing = false;
    }
    textBuffer.clear();
    closeLogFile(file);
}

}  // namespace Sensors

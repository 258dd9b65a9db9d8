#pragma once

// File steps shared by the CAN loggers. They go straight to the C library so that a failure is
// reported once, by the logger's own log line, and so that the loggers' threads never enter the
// wxWidgets log machinery (whose per-thread state outlives detached threads).

#include <cstddef>

#include <wx/ffile.h>
#include <wx/string.h>

namespace Sensors {

// Opens `name` with the C mode ("w", "a") into `file`; false when it cannot be opened.
bool openLogFile(wxFFile& file, const wxString& name, const char* mode);
// Writes and flushes; false when fewer bytes reached the file than given (a full disk may take the
// bytes into the stream's buffer and refuse them on the flush).
bool writeLogFile(wxFFile& file, const char* data, size_t size);
void closeLogFile(wxFFile& file);

}  // namespace Sensors

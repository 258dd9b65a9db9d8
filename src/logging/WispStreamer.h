#pragma once

#include <sstream>
#include <string>

#include <wx/string.h>

namespace WispEasyWrapper {

// A scoped log statement: the text is streamed in, and the message leaves when the streamer goes
// out of scope (at the end of the full expression when used as a temporary).
template <class Logger>
class WispStreamer {
public:
    WispStreamer(unsigned int line, const char* file, const char* function)
        : line_(line), file_(file), function_(function)
    {
    }
    WispStreamer(const WispStreamer&) = delete;
    WispStreamer& operator=(const WispStreamer&) = delete;
    ~WispStreamer() { Logger::log(text_.str(), line_, file_, function_); }

    template <class T>
    WispStreamer& operator<<(const T& value)
    {
        text_ << value;
        return *this;
    }
    WispStreamer& operator<<(const wxString& value)
    {
        text_ << value.utf8_str().data();
        return *this;
    }
    WispStreamer& operator<<(const wchar_t* value)
    {
        return *this << wxString(value);
    }

private:
    std::ostringstream text_;
    unsigned int line_;
    const char* file_;
    const char* function_;
};

}  // namespace WispEasyWrapper

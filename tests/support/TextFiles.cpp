#include "TextFiles.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace TextFiles {

std::string read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string commandOutput(const std::string& command, int* status)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status)
            *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = pclose(p);
    if (status)
        *status = rc;
    return out;
}

std::string timeText(unsigned long long ms, const char* format, bool utc)
{
    const time_t s = static_cast<time_t>(ms / 1000);
    struct tm t;
    if (utc)
        gmtime_r(&s, &t);
    else
        localtime_r(&s, &t);
    char text[64];
    std::strftime(text, sizeof text, format, &t);
    return text;
}

std::vector<std::string> tabFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string f;
    while (std::getline(in, f, '\t'))
        fields.push_back(f);
    return fields;
}

std::string hex(const uint8_t* bytes, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        char t[4];
        std::snprintf(t, sizeof t, "%02x", bytes[i]);
        out += t;
    }
    return out;
}

}  // namespace TextFiles

#include "TextView.h"

#include <cmath>
#include <cstdio>

namespace {

std::string num(double v)
{
    char buf[40];
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string pad(const std::string& s, size_t width)
{
    return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string rpad(const std::string& s, size_t width)
{
    return s.size() >= width ? s + " " : std::string(width - s.size(), ' ') + s + " ";
}

// The status line without the "id: type" prefix the table already shows.
std::string shortStatus(const HostSnapshot::Sensor& s)
{
    if (s.ok)
        return "ok";
    const size_t comma = s.status.find(", ");
    return "NOT OK" + (comma == std::string::npos ? std::string() : " (" + s.status.substr(comma + 2) + ")");
}

}  // namespace

std::string TextView::formatReading(const HostSnapshot::Reading& r)
{
    switch (r.kind) {
    case HostSnapshot::Reading::NUMBER: return r.name + "=" + num(r.number);
    case HostSnapshot::Reading::INTEGER: return r.name + "=" + std::to_string(r.integer);
    case HostSnapshot::Reading::FLAG: return r.name + "=" + (r.flag ? "true" : "false");
    case HostSnapshot::Reading::TEXT: return r.name + "=" + r.text;
    case HostSnapshot::Reading::GROUP: {
        std::string out = r.name + "(";
        for (size_t i = 0; i < r.parts.size(); ++i)
            out += (i ? " " : "") + r.parts[i].first + "=" + num(r.parts[i].second);
        return out + ")";
    }
    }
    return r.name;
}

std::string TextView::render(const HostSnapshot& s, bool terminal)
{
    std::string out;
    if (terminal)
        out += "\x1b[H\x1b[2J";  // home and clear: the table is redrawn in place
    out += "qcan-host  refresh " + std::to_string(s.sequence) + "  " + std::to_string(s.sensors.size()) + " sensors" +
           (terminal ? "  (Ctrl-C stops)" : "") + "\n";
    // The manager's status text, indented, one line of it per line.
    std::string line;
    for (char c : s.managerStatus + "\n") {
        if (c == '\n') {
            if (!line.empty())
                out += "  " + line + "\n";
            line.clear();
        } else {
            line += c;
        }
    }
    out += "\n" + pad("ADAPTER", 9) + pad("NAME", 20) + pad("VENDOR", 14) + pad("STATUS", 15) + "BIT RATE\n";
    for (const HostSnapshot::Adapter& a : s.adapters)
        out += pad(std::to_string(a.id), 9) + pad(a.name, 20) + pad(a.vendor, 14) + pad(a.status, 15) +
               (a.baudKbit > 0 ? std::to_string(a.baudKbit) + " kbit/s" : "-") + "\n";
    out += "\n" + pad("CUA", 4) + pad("ID", 5) + pad("NAME", 31) + pad("TYPE", 23) + pad("STATE", 22) + rpad("ERR", 4) +
           rpad("AGE ms", 7) + "\n";
    for (const HostSnapshot::Sensor& x : s.sensors) {
        out += pad(std::to_string(x.adapterId), 4) + pad(std::to_string(x.sensorId), 5) + pad(x.name, 31) +
               pad(x.typeText, 23) + pad(shortStatus(x), 22) + rpad(std::to_string(x.errorCount), 4) +
               rpad(x.ageMs < 0 ? "-" : std::to_string(x.ageMs), 7) + "\n";
        // Readings below their sensor, wrapped to keep lines short.
        std::string row = "     ";
        for (const HostSnapshot::Reading& r : x.readings) {
            const std::string item = formatReading(r);
            if (row.size() > 5 && row.size() + item.size() > 110) {
                out += row + "\n";
                row = "     ";
            }
            row += " " + item;
        }
        if (row.size() > 5)
            out += row + "\n";
    }
    if (s.sensors.empty())
        out += "  (no sensor heard yet)\n";
    if (!terminal)
        out += "\n";
    return out;
}

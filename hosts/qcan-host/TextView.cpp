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

const char* const kRed = "\x1b[31m";
const char* const kPlain = "\x1b[0m";

// The status line without the "id: type" prefix the table already shows.
std::string shortStatus(const HostSnapshot::Sensor& s)
{
    if (s.ok)
        return "ok";
    const size_t comma = s.status.find(", ");
    return "NOT OK" + (comma == std::string::npos ? std::string() : " (" + s.status.substr(comma + 2) + ")");
}

}  // namespace

std::string TextView::fixed(double v, int decimals)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

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

std::string TextView::render(const HostSnapshot& s, bool terminal, bool raw)
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
    out += "\n" + pad("ADAPTER", 9) + pad("NAME", 20) + pad("VENDOR", 14) + pad("STATUS", 15) + pad("BIT RATE", 13) +
           rpad("BUS LOAD", 9) + rpad("RX", 10) + rpad("TX", 8) + rpad("LOST", 6) + "\n";
    for (const HostSnapshot::Adapter& a : s.adapters) {
        out += pad(std::to_string(a.id), 9) + pad(a.name, 20) + pad(a.vendor, 14) + pad(a.status, 15) +
               pad(a.baudKbit > 0 ? std::to_string(a.baudKbit) + " kbit/s" : "-", 13) +
               rpad(a.busLoadPercent < 0 ? "-" : fixed(a.busLoadPercent, 1) + " %", 9);
        if (a.hasStats)
            out += rpad(std::to_string(a.rxFrames), 10) + rpad(std::to_string(a.txFrames), 8) + rpad(std::to_string(a.lostFrames), 6);
        else
            out += rpad("-", 10) + rpad("-", 8) + rpad("-", 6);
        out += "\n";
    }
    out += "\n" + pad("CUA", 4) + pad("ID", 5) + pad("NAME", 31) + pad("TYPE", 23) + pad("STATE", 22) + rpad("ERR", 4) +
           rpad("AGE ms", 7) + rpad("FRAMES/s", 9) + "\n";
    for (const HostSnapshot::Sensor& x : s.sensors) {
        const bool red = terminal && x.stale;
        out += (red ? kRed : "") + pad(std::to_string(x.adapterId), 4) + pad(std::to_string(x.sensorId), 5) + pad(x.name, 31) +
               pad(x.typeText, 23) + pad(shortStatus(x), 22) + rpad(std::to_string(x.errorCount), 4) +
               rpad(x.ageMs < 0 ? "-" : std::to_string(x.ageMs), 7) + rpad(x.fps < 0 ? "-" : fixed(x.fps, 1), 9) +
               (x.stale ? " STALE" : "") + (red ? kPlain : "") + "\n";
        // The summary first, then the readings, wrapped to keep lines short.
        if (!x.summaryText.empty()) {
            std::string line = "     ";
            for (const std::string& item : x.summaryText)
                line += (line.size() > 5 ? "  " : " ") + item;
            out += line + "\n";
        }
        std::string row = "     ";
        for (const HostSnapshot::Reading& r : x.readings) {
            if (r.raw && !raw)
                continue;
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

#include "JsonView.h"

#include <cmath>
#include <cstdio>

std::string JsonView::quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string JsonView::number(double v)
{
    if (!std::isfinite(v))
        return "null";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.12g", v);
    return buf;
}

namespace {

std::string readingValue(const HostSnapshot::Reading& r)
{
    switch (r.kind) {
    case HostSnapshot::Reading::NUMBER: return JsonView::number(r.number);
    case HostSnapshot::Reading::INTEGER: return std::to_string(r.integer);
    case HostSnapshot::Reading::FLAG: return r.flag ? "true" : "false";
    case HostSnapshot::Reading::TEXT: return JsonView::quote(r.text);
    case HostSnapshot::Reading::GROUP: {
        std::string out = "{";
        for (size_t i = 0; i < r.parts.size(); ++i) {
            if (i)
                out += ",";
            out += JsonView::quote(r.parts[i].first) + ":" + JsonView::number(r.parts[i].second);
        }
        return out + "}";
    }
    }
    return "null";
}

std::string readingsObject(const std::vector<HostSnapshot::Reading>& readings)
{
    std::string out = "{";
    for (size_t k = 0; k < readings.size(); ++k) {
        if (k)
            out += ",";
        out += JsonView::quote(readings[k].name) + ":" + readingValue(readings[k]);
    }
    return out + "}";
}

std::string count(bool known, unsigned long long v)
{
    return known ? std::to_string(v) : std::string("null");
}

}  // namespace

std::string JsonView::render(const HostSnapshot& s)
{
    std::string out = "{\"seq\":" + std::to_string(s.sequence) + ",\"time_ms\":" + std::to_string(s.timeMs) +
                      ",\"status\":" + quote(s.managerStatus) + ",\"adapters\":[";
    for (size_t i = 0; i < s.adapters.size(); ++i) {
        const HostSnapshot::Adapter& a = s.adapters[i];
        if (i)
            out += ",";
        out += "{\"id\":" + std::to_string(a.id) + ",\"name\":" + quote(a.name) + ",\"description\":" + quote(a.description) +
               ",\"vendor\":" + quote(a.vendor) + ",\"status\":" + quote(a.status) +
               ",\"connected\":" + (a.connected ? "true" : "false") + ",\"baud_kbit\":" + std::to_string(a.baudKbit) +
               ",\"bus_load_pct\":" + (a.busLoadPercent < 0 ? std::string("null") : number(a.busLoadPercent)) +
               ",\"rx_frames\":" + count(a.hasStats, a.rxFrames) + ",\"tx_frames\":" + count(a.hasStats, a.txFrames) +
               ",\"lost_frames\":" + count(a.hasStats, a.lostFrames) + "}";
    }
    out += "],\"sensors\":[";
    for (size_t i = 0; i < s.sensors.size(); ++i) {
        const HostSnapshot::Sensor& x = s.sensors[i];
        if (i)
            out += ",";
        out += "{\"adapter\":" + std::to_string(x.adapterId) + ",\"id\":" + std::to_string(x.sensorId) +
               ",\"name\":" + quote(x.name) + ",\"device_type\":" + std::to_string(x.deviceType) +
               ",\"type\":" + quote(x.typeText) + ",\"class\":" + quote(x.className) +
               ",\"ok\":" + (x.ok ? "true" : "false") + ",\"status\":" + quote(x.status) +
               ",\"errors\":" + std::to_string(x.errorCount) +
               ",\"age_ms\":" + (x.ageMs < 0 ? std::string("null") : std::to_string(x.ageMs)) +
               ",\"timeout_ms\":" + std::to_string(x.timeoutMs) + ",\"stale\":" + (x.stale ? "true" : "false") +
               ",\"frames\":" + std::to_string(x.frames) + ",\"fps\":" + (x.fps < 0 ? std::string("null") : number(x.fps)) +
               ",\"summary\":" + readingsObject(x.summary) + ",\"readings\":" + readingsObject(x.readings) + "}";
    }
    return out + "]}";
}

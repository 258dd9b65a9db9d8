#include "HostOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "SensorReader.h"

namespace {

bool toLong(const std::string& text, long low, long high, long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    out = v;
    return true;
}

bool toSeconds(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > 31.0 * 86400.0)
        return false;
    out = v;
    return true;
}

}  // namespace

bool HostOptions::parse(int argc, const char* const* argv, HostOptions& out, std::string& error)
{
    out = HostOptions();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasInlineValue = false;
        // Both "--opt value" and "--opt=value".
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInlineValue = true;
        }
        auto needValue = [&](std::string& v) {
            if (hasInlineValue) {
                v = value;
                return true;
            }
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        auto flag = [&](bool& f) {
            if (hasInlineValue) {
                error = "option " + arg + " takes no value";
                return false;
            }
            f = true;
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            if (!flag(out.help))
                return false;
        } else if (arg == "--json") {
            if (!flag(out.json))
                return false;
        } else if (arg == "--xml") {
            if (!flag(out.xml))
                return false;
        } else if (arg == "--list") {
            if (!flag(out.list))
                return false;
        } else if (arg == "--raw") {
            if (!flag(out.raw))
                return false;
        } else if (arg == "--sensor") {
            long id = 0;
            if (!needValue(v))
                return false;
            if (!toLong(v, 0, 255, id)) {
                error = "--sensor needs a sensor id from 0 to 255, got '" + v + "'";
                return false;
            }
            out.sensorIds.push_back(static_cast<int>(id));
        } else if (arg == "--class") {
            if (!needValue(v))
                return false;
            const std::vector<std::string>& known = SensorReader::classNames();
            HostSnapshot::Filter probe;
            probe.classNames.push_back(v);
            std::string list;
            bool found = false;
            for (const std::string& name : known) {
                found = found || probe.accepts(0, name);
                list += (list.empty() ? "" : ", ") + name;
            }
            if (!found) {
                error = "--class needs a sensor class (" + list + "), got '" + v + "'";
                return false;
            }
            out.classNames.push_back(v);
        } else if (arg == "--adapter") {
            if (!needValue(v))
                return false;
            if (v.empty()) {
                error = "--adapter needs a non-empty adapter name";
                return false;
            }
            out.adapters.push_back(v);
        } else if (arg == "--vendor") {
            if (!needValue(v))
                return false;
            if (v.empty()) {
                error = "--vendor needs a non-empty pattern";
                return false;
            }
            out.vendor = v;
        } else if (arg == "--wait-ms") {
            if (!needValue(v))
                return false;
            if (!toLong(v, 0, 600000, out.waitMs)) {
                error = "--wait-ms needs a whole number of milliseconds from 0 to 600000, got '" + v + "'";
                return false;
            }
        } else if (arg == "--interval") {
            if (!needValue(v))
                return false;
            if (!toLong(v, 10, 3600000, out.intervalMs)) {
                error = "--interval needs a whole number of milliseconds from 10 to 3600000, got '" + v + "'";
                return false;
            }
        } else if (arg == "--duration") {
            if (!needValue(v))
                return false;
            if (!toSeconds(v, out.durationS)) {
                error = "--duration needs a number of seconds (0 or more), got '" + v + "'";
                return false;
            }
        } else if (arg == "--count") {
            if (!needValue(v))
                return false;
            if (!toLong(v, 1, 100000000, out.count)) {
                error = "--count needs a whole number of refreshes of 1 or more, got '" + v + "'";
                return false;
            }
        } else {
            error = "unknown argument '" + std::string(argv[i]) + "' (see --help)";
            return false;
        }
    }
    if (!out.adapters.empty() && !out.vendor.empty()) {
        error = "--adapter and --vendor cannot be combined";
        return false;
    }
    if (out.json && out.xml) {
        error = "--json and --xml cannot be combined";
        return false;
    }
    return true;
}

std::string HostOptions::usage()
{
    return "Usage: qcan-host [options]\n"
           "Connects the CAN adapters through the sensor plug-in and shows every sensor on the bus live.\n"
           "\n"
           "  --adapter NAME   connect this adapter (repeatable); default: every available adapter\n"
           "  --vendor PATTERN connect the first adapter whose vendor contains PATTERN (any case)\n"
           "  --wait-ms MS     how long to wait for the adapters to connect (default 5000)\n"
           "  --interval MS    refresh interval (default 500)\n"
           "  --duration S     stop after S seconds of showing (default: until Ctrl-C)\n"
           "  --count N        stop after N refreshes\n"
           "  --json           one JSON document per refresh, one line each\n"
           "  --xml            the plug-in's XML of all sensors at each refresh\n"
           "  --list           list the available adapters with vendor and description, then exit\n"
           "  --sensor ID      show only the sensor with this id (repeatable)\n"
           "  --class NAME     show only sensors of this class, e.g. TiltSensorG1 (repeatable)\n"
           "  --raw            the table also shows the raw streams (tilt quaternions), as JSON does\n"
           "  --help           this text\n"
           "\n"
           "Adapters come from QCAN_ADAPTERS (e.g. SIM_EXCAVATOR=sim:excavator); WISP_LOG_LEVEL sets the\n"
           "plug-in's log level on standard error (qcan-host makes it warn unless set).\n"
           "Exit status: 0 done or interrupted; 1 no adapter connected; 2 bad arguments.\n";
}

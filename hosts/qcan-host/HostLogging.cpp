#include "HostLogging.h"

#include <chrono>
#include <sstream>
#include <thread>

#include <wx/filename.h>

#include "CANTxLogger.h"
#include "OptionSplitter.h"
#include "QCANDevice.h"
#include "QCANDeviceTypes.h"
#include "SensorManager.h"

using Sensors::DataLoggingOptions;

Sensors::DataLoggingOptions HostLogging::defaultFormat()
{
    DataLoggingOptions o;
    o.timeFormat = Sensors::TIMESTAMP_TIME;
    o.idFormat = Sensors::CANID_FORMAT_HEX;
    o.dataFormat = Sensors::CANDATA_FORMAT_HEX;
    o.separator = wxT(" ");
    o.appendHeader = true;
    o.busmasterCompatible = true;
    return o;
}

bool HostLogging::parseFormat(const std::string& text, DataLoggingOptions& out, std::string& error)
{
    out = defaultFormat();
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        bool ok = true;
        if (eq == std::string::npos) {
            if (item == "busmaster") {
                out.appendHeader = true;
                out.busmasterCompatible = true;
            } else if (item == "busmaster-ms") {
                out.appendHeader = true;
                out.busmasterCompatible = false;
            } else if (item == "table") {
                out.appendHeader = false;
                out.busmasterCompatible = false;
            } else {
                ok = false;
            }
        } else if (key == "sep") {
            if (value == "space")
                out.separator = wxT(" ");
            else if (value == "tab")
                out.separator = wxT("\t");
            else if (value == "comma")
                out.separator = wxT(",");
            else if (value == "semicolon")
                out.separator = wxT(";");
            else if (!value.empty())
                out.separator = wxString::FromUTF8(value.c_str());
            else
                ok = false;
        } else if (key == "time") {
            if (value == "date")
                out.timeFormat = Sensors::TIMESTAMP_DATE_TIME;
            else if (value == "time")
                out.timeFormat = Sensors::TIMESTAMP_TIME;
            else if (value == "none")
                out.timeFormat = Sensors::TIMESTAMP_NONE;
            else
                ok = false;
        } else if (key == "id") {
            if (value == "hex")
                out.idFormat = Sensors::CANID_FORMAT_HEX;
            else if (value == "dec")
                out.idFormat = Sensors::CANID_FORMAT_DEC;
            else if (value == "fields")
                out.idFormat = Sensors::CANID_FORMAT_QUILLARD;
            else
                ok = false;
        } else if (key == "data") {
            if (value == "hex")
                out.dataFormat = Sensors::CANDATA_FORMAT_HEX;
            else if (value == "dec")
                out.dataFormat = Sensors::CANDATA_FORMAT_DEC;
            else if (value == "int16")
                out.dataFormat = Sensors::CANDATA_FORMAT_INT16;
            else if (value == "real16")
                out.dataFormat = Sensors::CANDATA_FORMAT_REAL16;
            else
                ok = false;
        } else {
            ok = false;
        }
        if (!ok) {
            error = "--log-format: unknown item '" + item + "' (see --help)";
            return false;
        }
    }
    return true;
}

bool HostLogging::extract(std::vector<std::string>& args, HostLogging& out, std::string& error)
{
    OptionSplitter options(args, {"--log", "--log-adapter", "--log-format"}, {"--tx-log"});
    bool sawFormat = false;
    std::string arg, value;
    while (options.next(arg, value, error)) {
        if (arg == "--tx-log") {
            out.txLog = true;
        } else if (value.empty()) {
            error = "option " + arg + " needs a non-empty value";
            return false;
        } else if (arg == "--log") {
            out.file = value;
        } else if (arg == "--log-adapter") {
            out.adapter = value;
        } else {
            sawFormat = true;
            if (!parseFormat(value, out.format, error))
                return false;
        }
    }
    if (!error.empty())
        return false;
    if (out.file.empty() && (!out.adapter.empty() || sawFormat)) {
        error = "--log-adapter and --log-format need --log FILE";
        return false;
    }
    args = options.rest();
    return true;
}

std::string HostLogging::usage()
{
    return "\n"
           "Recording CAN traffic:\n"
           "  --log FILE        record every frame of one adapter for the whole run, as a BUSMASTER log\n"
           "                    that BUSMASTER and Wireshark open (times of day to 0.1 ms, hexadecimal)\n"
           "  --log-adapter NAME  the adapter to record (default: the first connected one)\n"
           "  --log-format LIST another form, comma-separated: busmaster (default), busmaster-ms\n"
           "                    (milliseconds, no session line), table (delimited columns);\n"
           "                    sep=space|tab|comma|semicolon|TEXT; time=time|date|none;\n"
           "                    id=hex|dec|fields; data=hex|dec|int16|real16\n"
           "  --tx-log          write every frame the adapters send to\n"
           "                    ~/.config/Quillard/qcan/log/<adapter>_<date>_<time>__TXLOG.log\n";
}

bool HostLogging::start(Sensors::SensorManager& manager, const std::vector<int>& ids, std::string& error)
{
    if (!file.empty()) {
        for (int id : ids) {
            Sensors::QCANDevice* device = manager.getQCANDeviceByID(id);
            if (device && (adapter.empty() || std::string(device->getDevName().utf8_str()) == adapter)) {
                loggedDevice = device;
                break;
            }
        }
        if (!loggedDevice) {
            error = "adapter '" + adapter + "' to record is not among the connected adapters";
            return false;
        }
        const wxString name = wxString::FromUTF8(file.c_str());
        logger = new Sensors::DataLogging(loggedDevice, name, format);
        if (!wxFileName::FileExists(name)) {
            delete logger;
            logger = nullptr;
            error = "cannot write the log file '" + file + "'";
            return false;
        }
    }
    if (txLog) {
        // The transmit logger does not create its folder; a host does.
        wxFileName::Mkdir(Sensors::CANTxLogger::getLogFolder(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
        for (int id : ids)
            if (Sensors::QCANDevice* device = manager.getQCANDeviceByID(id)) {
                device->setTxLoggerEnabled(true);
                txIds.push_back(id);
            }
    }
    return true;
}

void HostLogging::finish(Sensors::SensorManager& manager, std::FILE* err)
{
    if (logger) {
        // Passes with the manager disabled close every adapter (HALT), after which no frame is
        // received or parsed any more; the counters are final and the recording can be closed.
        manager.setEnabled(false);
        for (int i = 0; i < 300 && loggedDevice->getQCANDevStatus() != QCAN_STATUS_HALT; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const QCANReceived counters = loggedDevice->GetReceived();
        delete logger;
        logger = nullptr;
        std::fprintf(err, "qcan-host: log %s closed; adapter %s received %d frames, parsed %d, overflow %d\n",
                     file.c_str(), std::string(loggedDevice->getDevName().utf8_str()).c_str(), counters.rxTotal,
                     counters.rxParsed, counters.rxOverflow);
        std::fflush(err);
    }
    for (int id : txIds)
        if (Sensors::QCANDevice* device = manager.getQCANDeviceByID(id))
            device->setTxLoggerEnabled(false);
    txIds.clear();
}

HostLogging::~HostLogging()
{
    delete logger;
}

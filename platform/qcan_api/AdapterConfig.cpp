#include "AdapterConfig.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ScenarioRegistry.h"

namespace {

std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

bool parseOne(const std::string& raw, AdapterEntry& out)
{
    std::string entry = trim(raw);
    size_t eq = entry.find('=');
    if (entry.empty() || eq == std::string::npos)
        return false;
    out.name = trim(entry.substr(0, eq));
    std::string value = trim(entry.substr(eq + 1));
    std::string kind = value;
    out.arg.clear();
    size_t colon = value.find(':');
    if (colon != std::string::npos) {
        kind = trim(value.substr(0, colon));
        out.arg = trim(value.substr(colon + 1));
    }
    if (out.name.empty())
        return false;
    if (kind == "dummy") {
        out.kind = AdapterKind::Dummy;
        out.description = "Dummy adapter " + out.name;
    } else if (kind == "sim") {
        out.kind = AdapterKind::Sim;
        if (out.arg.empty())
            out.arg = "excavator";
        out.description = scenarioDescription(out.arg);
        if (out.description.empty())
            return false;
    } else if (kind == "socketcan") {
        out.kind = AdapterKind::SocketCan;
        if (out.arg.empty())
            return false;
        out.description = "SocketCAN " + out.arg;
    } else {
        return false;
    }
    return true;
}

bool readFile(const char* path, std::string& text)
{
    if (!path || !*path)
        return false;
    std::ifstream in(path);
    if (!in)
        return false;
    std::ostringstream all;
    std::string line;
    while (std::getline(in, line)) {
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        all << line << '\n';
    }
    text = all.str();
    return true;
}

}  // namespace

std::vector<AdapterEntry> parseAdapterEntries(const std::string& text, const std::string& separators)
{
    std::vector<AdapterEntry> result;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(separators, pos);
        if (end == std::string::npos)
            end = text.size();
        AdapterEntry e;
        if (parseOne(text.substr(pos, end - pos), e)) {
            bool duplicate = false;
            for (const AdapterEntry& have : result)
                duplicate = duplicate || have.name == e.name;
            if (!duplicate)
                result.push_back(e);
        }
        pos = end + 1;
    }
    return result;
}

std::vector<AdapterEntry> loadAdapterConfig()
{
    if (const char* env = std::getenv("QCAN_ADAPTERS"))
        return parseAdapterEntries(env, ";");
    std::string text;
    if (readFile(std::getenv("QCAN_ADAPTERS_FILE"), text))
        return parseAdapterEntries(text, "\n");
    if (const char* home = std::getenv("HOME")) {
        std::string path = std::string(home) + "/.config/Quillard/qcan/qcan_adapters.conf";
        if (readFile(path.c_str(), text))
            return parseAdapterEntries(text, "\n");
    }
    return parseAdapterEntries("SIM_EXCAVATOR=sim:excavator", ";");
}

bool findAdapterEntry(const std::string& name, AdapterEntry& out)
{
    for (const AdapterEntry& e : loadAdapterConfig()) {
        if (e.name == name) {
            out = e;
            return true;
        }
    }
    return false;
}

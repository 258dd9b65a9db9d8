#include "CanFrameLog.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool parseFrame(const std::string& text, CanLogFrame& f)
{
    const size_t hash = text.find('#');
    if (hash == std::string::npos || (hash + 1 < text.size() && text[hash + 1] == '#'))
        return false;  // not a frame, or CAN FD
    if (hash != 3 && hash != 8)
        return false;
    f.ext = hash == 8;
    f.id = 0;
    for (size_t i = 0; i < hash; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            return false;
        f.id = f.id * 16 + static_cast<uint32_t>(d);
    }
    const std::string rest = text.substr(hash + 1);
    if (!rest.empty() && (rest[0] == 'R' || rest[0] == 'r')) {
        f.rtr = true;
        f.dlc = rest.size() > 1 ? static_cast<unsigned>(hexDigit(rest[1])) : 0;
        return rest.size() <= 2 && f.dlc <= 8;
    }
    if (rest.size() % 2 != 0 || rest.size() > 16)
        return false;
    f.dlc = static_cast<unsigned>(rest.size() / 2);
    for (unsigned i = 0; i < f.dlc; ++i) {
        const int hi = hexDigit(rest[2 * i]), lo = hexDigit(rest[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        f.data[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

}  // namespace

CanLogFrame CanLogFrame::of(const _TGENERIC_CAN_FRAME& g)
{
    CanLogFrame f;
    f.id = g.header.id;
    f.ext = g.header.ext != 0;
    f.rtr = g.header.rtr != 0;
    f.dlc = g.header.dlc;
    if (!f.rtr)
        std::memcpy(f.data, g.data, f.dlc > 8 ? 8 : f.dlc);
    return f;
}

bool CanLogFrame::sameFrame(const CanLogFrame& o) const
{
    return id == o.id && ext == o.ext && rtr == o.rtr && dlc == o.dlc &&
           (rtr || std::memcmp(data, o.data, dlc > 8 ? 8 : dlc) == 0);
}

std::string CanLogFrame::text() const
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, ext ? "%08X#" : "%03X#", id);
    if (rtr) {
        if (dlc)
            std::snprintf(buf + n, sizeof buf - n, "R%X", dlc);
        else
            std::snprintf(buf + n, sizeof buf - n, "R");
    } else {
        for (unsigned i = 0; i < dlc && i < 8; ++i)
            n += std::snprintf(buf + n, sizeof buf - n, "%02X", data[i]);
    }
    return buf;
}

std::vector<CanLogFrame> CanFrameLog::read(const std::string& path, std::vector<std::string>* bad)
{
    std::vector<CanLogFrame> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string stamp, ifname, frame;
        if (!(words >> stamp >> ifname >> frame) || stamp.front() != '(') {
            if (bad && !line.empty())
                bad->push_back(line);
            continue;
        }
        CanLogFrame f;
        f.interfaceName = ifname;
        if (frame.find("##") != std::string::npos)
            continue;  // CAN FD: not a frame a classic adapter receives
        if (parseFrame(frame, f))
            out.push_back(f);
        else if (bad)
            bad->push_back(line);
    }
    return out;
}

// Any bytes as one line of a replayed log, in a HEX and in a DEC file, and as a whole file for the
// reader and the header checks: nothing may crash, hang or read out of bounds, and every frame that
// comes out must be one the adapter can carry.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include <wx/init.h>
#include <wx/string.h>

#include "LogFileReplay.h"
#include "ReplayEngine.h"
#include "ReplayLineParser.h"

using Sensors::ReplayLine;
using Sensors::ReplayLineParser;

namespace {

void checkFrame(const ReplayLine& line)
{
    const _TGENERIC_CAN_FRAME_HEADER& h = line.frame.header;
    if (h.dlc > 8 || h.ext > 1 || h.rtr > 1 || h.id > (h.ext ? 0x1FFFFFFFu : 0x7FFu))
        std::abort();
}

void parseBoth(const wxString& text)
{
    for (bool hex : {true, false}) {
        ReplayLine line;
        const char* why = nullptr;
        const Sensors::ReplayLineKind kind = ReplayLineParser::parse(text, hex, line, &why);
        if (kind == Sensors::REPLAY_LINE_BAD && !why)
            std::abort();  // every refusal names its reason
        if (kind == Sensors::REPLAY_LINE_FRAME && line.received)
            checkFrame(line);
        _TGENERIC_CAN_FRAME frame{};
        unsigned long long ms = 0;
        bool received = false;
        const bool isFrame = Sensors::LogFileReplay::getCanFrame(text, hex, frame, ms, received);
        if (isFrame != (kind == Sensors::REPLAY_LINE_FRAME))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static wxInitializer wx;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // As our logger's UTF-8 would be read, and byte for byte as a file in another encoding.
    parseBoth(wxString::FromUTF8(bytes.data(), bytes.size()));
    parseBoth(wxString::From8BitData(bytes.data(), bytes.size()));

    // The whole input as a file for the header checks, through the same reader, from memory.
    if (size > 0) {
        if (std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb")) {
            std::deque<wxString> lines;
            if (Sensors::ReplayEngine::readLines(f, lines, Sensors::ReplayEngine::HEADER_LINES)) {
                Sensors::ReplayEngine::checkHeader(Sensors::ReplayEngine::headerText(lines));
                for (const wxString& l : lines)
                    parseBoth(l);
            }
            std::fclose(f);
        }
    }
    return 0;
}

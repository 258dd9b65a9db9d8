// Writes the traffic corpus as fuzz seeds: one file per make (and one of all makes mixed) of
// receive-path records into <dir>/receive_path, and the frames of the multi-frame protocols as
// sequence records into <dir>/frame_sequence.
#include <cstdio>
#include <fstream>
#include <string>

#include <sys/stat.h>

#include "FrameSequence.h"
#include "TrafficCorpus.h"

namespace {

bool write(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/receive_path").c_str(), 0755);
    mkdir((dir + "/frame_sequence").c_str(), 0755);
    const std::vector<TrafficMake> makes = trafficCorpus();
    bool ok = true;
    for (const TrafficMake& m : makes) {
        std::string records, sequence;
        for (const _TGENERIC_CAN_FRAME& f : m.frames) {
            appendTrafficRecord(records, f);
            appendSequenceRecord(sequence, f);
        }
        ok &= write(dir + "/receive_path/" + m.name, records);
        if (!sequence.empty())
            ok &= write(dir + "/frame_sequence/" + m.name, sequence);
    }
    std::string mixed;
    for (const _TGENERIC_CAN_FRAME& f : mixedTraffic(makes))
        appendTrafficRecord(mixed, f);
    ok &= write(dir + "/receive_path/Mixed", mixed);
    if (!ok)
        fprintf(stderr, "could not write the seeds into %s\n", dir.c_str());
    return ok ? 0 : 1;
}

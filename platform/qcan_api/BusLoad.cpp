#include "BusLoad.h"

unsigned BusLoad::bitsPerFrame(bool extended, unsigned dlc)
{
    if (dlc > 8)
        dlc = 8;
    const unsigned stuffable = (extended ? 54u : 34u) + 8u * dlc;
    const unsigned frame = (extended ? 64u : 44u) + 8u * dlc;
    return frame + 3u + (stuffable - 1u) / 4u;
}

double BusLoad::bitsPerSecond(const std::vector<PeriodicStream>& streams)
{
    double bits = 0.0;
    for (const PeriodicStream& s : streams)
        for (const _TGENERIC_CAN_FRAME& f : s.sample())
            bits += bitsPerFrame(f.header.ext != 0, f.header.dlc) * 1000.0 / s.periodMs();
    return bits;
}

double BusLoad::framesPerSecond(const std::vector<PeriodicStream>& streams)
{
    double frames = 0.0;
    for (const PeriodicStream& s : streams)
        frames += s.sample().size() * 1000.0 / s.periodMs();
    return frames;
}

double BusLoad::load(const std::vector<PeriodicStream>& streams, unsigned bitRate)
{
    return bitRate == 0 ? 0.0 : bitsPerSecond(streams) / bitRate;
}

// Frame sequences of the multi-frame protocols (fast packets, the Moba value exchange and its
// acknowledgements, tilt sensor matrix and settings read-backs, DSM500 heartbeats and process
// data) in any order, with any payloads and lengths, and time passing in between.
#include <cstddef>
#include <cstdint>

#include "FrameSequence.h"
#include "ReceiveHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ReceiveHarness::startProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runSequenceInput(data, size);
    return 0;
}

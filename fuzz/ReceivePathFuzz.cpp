// Any frames, any identifiers, any lengths, on two adapters: through the receive callback and the
// receive ring into every parser and sensor, with the adapters' passes and a host reading every
// sensor between frames. Nothing may crash, hang, leak or touch memory it does not own.
#include <cstddef>
#include <cstdint>

#include "ReceiveHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ReceiveHarness::startProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runTrafficInput(data, size);
    return 0;
}

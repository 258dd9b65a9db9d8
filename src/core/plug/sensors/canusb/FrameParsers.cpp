#include "FrameParsers.h"

namespace Sensors {

PARSE_RESULT parseDefault(void* frame, void* device, void* /*context*/)
{
    if (!frame || !device)
        return PARSE_RESULT_ERROR;
    // The make parsers are offered each frame in turn; none is registered yet.
    return PARSE_RESULT_UNKNOWN;
}

}  // namespace Sensors

#pragma once

// One frame of every make the default parser chain knows, in an order in which each reads back
// through its typed getter (a DSM500 unit shows its form only after its heartbeat, for instance).

#include <cstdint>
#include <vector>

struct TestFrame {
    uint32_t id;
    bool ext;
    std::vector<uint8_t> data;
};

std::vector<TestFrame> everyMakeFrames();

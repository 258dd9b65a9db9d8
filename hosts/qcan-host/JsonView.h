#pragma once

// One refresh as one line of JSON, for programs (schema in README.md).

#include <string>

#include "HostSnapshot.h"

class JsonView {
public:
    static std::string render(const HostSnapshot& snapshot);
    // A JSON string literal, quotes included; control characters escaped, UTF-8 kept as is.
    static std::string quote(const std::string& text);
    // A JSON number; null for NaN and infinities, which JSON cannot carry.
    static std::string number(double v);
};

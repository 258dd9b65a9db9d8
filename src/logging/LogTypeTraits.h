#pragma once

#include "WispLogLevels.h"

// The three levels the plug-in logs at, as types so that a logger is chosen at compile time.
namespace LogTypeTraits {
struct Information {
    static constexpr WispLogLevels::WispLevel level = WispLogLevels::Information;
};
struct Warning {
    static constexpr WispLogLevels::WispLevel level = WispLogLevels::Warning;
};
struct Error {
    static constexpr WispLogLevels::WispLevel level = WispLogLevels::Error;
};
}  // namespace LogTypeTraits

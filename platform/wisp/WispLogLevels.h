#pragma once

// Severity levels of the host's logging library. The plug-in uses Information, Warning and Error.
namespace WispLogLevels {
enum WispLevel {
    Trace = 0,
    Debug = 1,
    Information = 2,
    Warning = 3,
    Error = 4,
    Fatal = 5
};
}

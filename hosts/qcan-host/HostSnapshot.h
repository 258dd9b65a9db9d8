#pragma once

// What one refresh shows: the manager's status text, the connected adapters and every sensor heard
// on them with its readings. Taken once and then rendered as text or JSON, so that both views show
// the same values.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Sensors {
class SensorManager;
}

struct HostSnapshot {
    // One named reading: a number, a flag, a text, or a group of named numbers (a quaternion, the
    // two axes of a joystick).
    struct Reading {
        enum Kind { NUMBER, INTEGER, FLAG, TEXT, GROUP };
        std::string name;
        Kind kind = NUMBER;
        double number = 0.0;
        long long integer = 0;
        bool flag = false;
        std::string text;
        std::vector<std::pair<std::string, double>> parts;

        static Reading real(std::string name, double v);
        static Reading whole(std::string name, long long v);
        static Reading boolean(std::string name, bool v);
        static Reading string(std::string name, std::string v);
        static Reading group(std::string name, std::vector<std::pair<std::string, double>> parts);
    };

    struct Sensor {
        int adapterId = 0;
        int sensorId = 0;
        std::string name;        // from the sensor id, e.g. "Bucket sensor"
        unsigned deviceType = 0;
        std::string typeText;    // e.g. "G1"
        std::string className;   // the class its typed getter returns
        bool ok = false;
        std::string status;      // the sensor's status line
        unsigned errorCount = 0;
        long long ageMs = -1;    // since its last frame; -1 when never heard
        std::vector<Reading> readings;
    };

    struct Adapter {
        int id = 0;
        std::string name;
        std::string description;
        std::string vendor;
        std::string status;  // connection state text, e.g. CONNECTED
        bool connected = false;
        int baudKbit = -1;
    };

    unsigned long long timeMs = 0;  // wall clock of the plug-in
    long long sequence = 0;
    std::string managerStatus;
    std::vector<Adapter> adapters;
    std::vector<Sensor> sensors;

    // Reads the manager: the adapters with the given ids, and every sensor heard on any adapter.
    static HostSnapshot take(Sensors::SensorManager& manager, const std::vector<int>& adapterIds, long long sequence);
};

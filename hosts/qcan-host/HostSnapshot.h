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
        // A value as the sensor sends it (a quaternion stream) or one the summary already shows:
        // the table shows it only when asked to (--raw); JSON always carries it.
        bool raw = false;

        static Reading real(std::string name, double v);
        static Reading whole(std::string name, long long v);
        static Reading boolean(std::string name, bool v);
        static Reading string(std::string name, std::string v);
        static Reading group(std::string name, std::vector<std::pair<std::string, double>> parts);
        Reading& markRaw()
        {
            raw = true;
            return *this;
        }
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
        unsigned long long timeoutMs = 0;  // silence after which it counts as timed out; 0: none
        bool stale = false;      // never heard, or silent for longer than its time-out
        long long frames = 0;    // frames it accepted since it was first heard
        double fps = -1.0;       // frames per second since the previous refresh; below 0: unknown
        std::vector<Reading> readings;
        // What a person asks first, in degrees and metres (tilt angles, a position): named values
        // for programs and the same as short texts for the table.
        std::vector<Reading> summary;
        std::vector<std::string> summaryText;
    };

    struct Adapter {
        int id = 0;
        std::string name;
        std::string description;
        std::string vendor;
        std::string status;  // connection state text, e.g. CONNECTED
        bool connected = false;
        int baudKbit = -1;
        // The adapter's own counters (frames received, sent, lost), when it reports them.
        bool hasStats = false;
        unsigned long long rxFrames = 0, txFrames = 0, lostFrames = 0, rxBytes = 0, txBytes = 0;
        double busLoadPercent = -1.0;  // over the time since the previous refresh; below 0: unknown
    };

    // Which sensors to show: all, or those with one of the ids and one of the classes given.
    struct Filter {
        std::vector<int> sensorIds;
        std::vector<std::string> classNames;
        bool accepts(int sensorId, const std::string& className) const;
    };

    unsigned long long timeMs = 0;  // wall clock of the plug-in
    long long sequence = 0;
    std::string managerStatus;
    std::vector<Adapter> adapters;
    std::vector<Sensor> sensors;

    // Reads the manager: the adapters with the given ids, and every sensor heard on any adapter
    // that the filter lets through. Rates (frames per second, bus load) are taken over the time
    // since `previous`, the snapshot of the refresh before; without it they are unknown.
    static HostSnapshot take(Sensors::SensorManager& manager, const std::vector<int>& adapterIds, long long sequence,
                             const Filter& filter = Filter(), const HostSnapshot* previous = nullptr);

    // Bits the given frames and data bytes occupy on the bus, counted as frames with a 29-bit
    // identifier and the worst-case number of stuff bits (80 bits plus 10 per data byte, the
    // interframe space included): an upper bound, since the counters do not tell the two
    // identifier lengths apart.
    static double busBits(unsigned long long frames, unsigned long long bytes);

private:
    // Frames per second of each sensor and bus load of each adapter since `before`.
    void rates(const HostSnapshot& before);
};

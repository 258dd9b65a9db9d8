#include "ReceiveHarness.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <wx/init.h>

#include "Clock.h"
#include "LogCapture.h"
#include "QCANDevice.h"
#include "SensorManager.h"
#include "Sensor.h"
#include "TiltSensorG1.h"
#include "RayGauge.h"
#include "KM7.h"
#include "MDS2000IO.h"
#include "SlopeSensor.h"
#include "DSM500Sensor.h"
#include "DSM500SensorComponent.h"
#include "MobaDrillDepthSensor.h"
#include "BoomHeadingSensor.h"
#include "RotationSensor.h"
#include "SteelwristSlopeSensor.h"
#include "SteelwristRotationSensor.h"
#include "SteelwristJoystickSensor.h"
#include "EngconTiltrotatorSensor.h"
#include "CANopenEncoderSensor.h"
#include "RototiltSensor.h"
#include "SandvikTIMSensor.h"
#include "GenericPositionSensor.h"
#include "MobaCommProtocol.h"
#include "SimulatorClientSensor.h"
#include "NMEA2KHeadingSensor.h"
#include "NMEA2KPositionSensor.h"
#include "DT500Sensor.h"
#include "TrafficCorpus.h"

using Sensors::SensorManager;

ReceiveHarness& ReceiveHarness::instance()
{
    static ReceiveHarness harness;
    return harness;
}

void ReceiveHarness::startProcess()
{
    static wxInitializer wx;
    setenv("QCAN_ADAPTERS", "", 1);
    instance();
}

ReceiveHarness::ReceiveHarness()
{
    BasicLogger::setQuiet(true);
    for (int i = 1; i <= ADAPTERS; ++i) {
        adapters_.emplace_back(new TestAdapter("DUMMY" + std::to_string(i), i));
        if (!adapters_.back()->connect()) {
            fprintf(stderr, "adapter %d did not connect\n", i);
            std::abort();
        }
    }
}

void ReceiveHarness::receive(int adapter, const _TGENERIC_CAN_FRAME& frame)
{
    _TGENERIC_CAN_FRAME copy = frame;
    Sensors::QCANDevice::QCANRxHandler(nullptr, 0, &copy.header, copy.data, adapters_[adapter]->device());
}

void ReceiveHarness::pass(unsigned long long stepMs)
{
    for (auto& a : adapters_)
        a->pass(stepMs);
}

int readEverySensor(Sensors::QCANDevice* device, int cua, bool withTexts)
{
    SensorManager* m = SensorManager::getInstance();
    if (withTexts) {
        for (Sensors::_SensorInfo* info : device->getSensorInfoCache())
            (void)info->statusText.length();
        std::vector<Sensors::SensorInfo*> infos = m->getSensorsInfo(cua);
        m->deleteSensorsInfo(infos);
        (void)m->getStatus(cua);
    }
    int calls = 0;
    for (int i = 0;; ++i) {
        Sensors::Sensor* s = device->getSensor(static_cast<unsigned short>(i), false);
        if (!s)
            break;
        const unsigned char id = static_cast<unsigned char>(s->getSensorId());
        const auto type = static_cast<Sensors::SensorDeviceType>(s->getDeviceType());
        if (withTexts) {
            (void)device->ToXML(id, 1);
            (void)m->ToXML(id, 0, cua);
        }
        (void)m->getAnySensor(id, type, cua);
        m->getTiltSensorG1(id, cua);
        m->getRayGauge(id, cua);
        m->getKM7(id, cua);
        m->getMDS2000(id, cua);
        m->getSlopeSensor(id, cua);
        m->getDSM500Sensor(id, cua);
        m->getDSM500SensorComponent(id, cua);
        m->getMobaDrillDepthSensor(id, cua);
        m->getBoomHeadingSensor(id, cua);
        m->getRotationSensor(id, cua);
        m->getSteeelwristSlopeSensor(id, cua);
        m->getSteelwristRotationSensor(id, cua);
        m->getSteelwristJoystickSensor(id, cua);
        m->getEngconTiltrotatorSensor(id, cua);
        m->getCANopenEncoderSensor(id, cua);
        m->getRototiltSensor(id, cua);
        m->getSandvikTIMSensor(id, cua);
        m->getGenericPositionSensor(id, cua);
        m->getMobaCommProtocol(id, cua);
        m->getSimulatorClientSensor(id, cua);
        m->getNMEA2KHeadingSensor(id, cua);
        m->getNMEA2KPositionSensor(id, cua);
        m->getDT500Sensor(id, cua);
        calls += 25;
    }
    return calls;
}

void ReceiveHarness::readEverything()
{
    for (auto& a : adapters_)
        readEverySensor(a->device(), a->cuaId(), true);
}

void ReceiveHarness::reset()
{
    for (auto& a : adapters_) {
        a->device()->clearRxBuffer();
        a->device()->clearTxBuffer();
        a->device()->clearSensorList();
        a->device()->clearSensorInfoCache();
        a->clearSent();
    }
    SensorManager::getInstance()->clearReceivedMessagesFifo();
}

void runTrafficInput(const uint8_t* data, size_t size)
{
    ReceiveHarness& h = ReceiveHarness::instance();
    for (size_t at = 0; at + TRAFFIC_RECORD_SIZE <= size; at += TRAFFIC_RECORD_SIZE) {
        const uint8_t flags = data[at];
        h.receive((flags >> 2) & 1, readTrafficRecord(data + at));
        if (flags & 0x08)
            h.pass(1 + 300ull * (flags >> 5));
        if (flags & 0x10)
            h.readEverything();
    }
    // Whatever is still queued is parsed (and may create sensors) before the host reads.
    h.pass(10);
    h.readEverything();
    h.reset();
}

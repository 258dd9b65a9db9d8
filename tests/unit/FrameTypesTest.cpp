#include <gtest/gtest.h>

#include <memory>

#include "CANFrameTypes.h"
#include "Frames.h"
#include "SensorManager.h"

using Sensors::SensorManager;

TEST(FrameTypes, GenericToMakerSplitsTheIdentifierAndBack)
{
    _TGENERIC_CAN_FRAME in{};
    in.header = {makerId(0xA5, 5, 0x55, 0x2A, 1), 1, 0, 6};
    for (int i = 0; i < 8; ++i)
        in.data[i] = static_cast<uint8_t>(i + 1);

    std::unique_ptr<_TQUIL1G5_CAN_FRAME> quil(SensorManager::genericFrame2Quil_copy(in));
    EXPECT_EQ(quil->header.devType, 0x55);
    EXPECT_EQ(quil->header.devNumber, 0x2A);
    EXPECT_EQ(quil->header.msg, 0xA5);
    EXPECT_EQ(quil->header.cmd, 5);
    EXPECT_EQ(quil->header.err, 1);
    EXPECT_EQ(quil->header.dlc, 6);
    EXPECT_EQ(quil->data[7], 8);

    std::unique_ptr<_TGENERIC_CAN_FRAME> back(SensorManager::quilFrame2Generic_copy(*quil));
    EXPECT_EQ(back->header.id, in.header.id);
    EXPECT_EQ(back->header.ext, 1);
    EXPECT_EQ(back->header.dlc, 6);
    EXPECT_EQ(0, memcmp(back->data, in.data, 8));
}

TEST(FrameTypes, StandardFrameBecomesExtendedAndErrCountsOnlyItsLowestBit)
{
    _TGENERIC_CAN_FRAME_HEADER std{0x5A3, 0, 1, 2};  // bits 8-10 = 5, bits 0-6 = 0x23, bit 7 = 1
    _TQUIL1G5_CAN_FRAME_HEADER* q = SensorManager::GenMsgHdr2Quil_InPlace(&std);
    EXPECT_EQ(q->devType, 5);
    EXPECT_EQ(q->devNumber, 0x23);
    EXPECT_EQ(q->msg, 0);
    EXPECT_EQ(q->cmd, 0);
    EXPECT_EQ(q->err, 1);
    EXPECT_EQ(q->rtr, 1);
    EXPECT_EQ(q->dlc, 2);
    _TGENERIC_CAN_FRAME_HEADER* g = SensorManager::QuilMsgHdr2Gen_InPlace(q);
    EXPECT_EQ(g->id, 0x5A3u);
    EXPECT_EQ(g->ext, 1);

    _TQUIL1G5_CAN_FRAME_HEADER maker{16, 3, 1, 0, 2, 0, 8};
    std::unique_ptr<_TGENERIC_CAN_FRAME_HEADER> h(SensorManager::quilHeader2Generic_copy(maker));
    EXPECT_EQ(h->id, makerId(1, 0, 16, 3));
}

TEST(FrameTypes, J1939FilterMatchesOnlyTheGivenFields)
{
    EXPECT_TRUE(SensorManager::checkJ1939Header(0x123, -1, -1, -1));
    EXPECT_TRUE(SensorManager::checkJ1939Header(0x18FFB9A9, 255, 185, -1));
    EXPECT_TRUE(SensorManager::checkJ1939Header(0x0CFFB901, 255, 185, -1));
    EXPECT_FALSE(SensorManager::checkJ1939Header(0x09F112FE, 241, 19, -1));
    EXPECT_TRUE(SensorManager::checkJ1939Header(0x09F112FE, 241, 18, 0xFE));
    EXPECT_FALSE(SensorManager::checkJ1939Header(0x09F112FE, 241, 18, 0xFD));
}

TEST(FrameTypes, RatesModesAndBusStatesHaveTheirTexts)
{
    EXPECT_EQ(Sensors::getBaudrateAsInt(CAN_BAUD_250K), 250);
    EXPECT_EQ(Sensors::getBaudrateAsInt(CAN_BAUD_1M), 1000);
    EXPECT_EQ(Sensors::getBaudrateAsInt(static_cast<ECANBaud>(5)), -1);
    EXPECT_EQ(Sensors::getBaudrateAsInt(static_cast<ECANBaud>(6)), -2);
    EXPECT_EQ(Sensors::translateCANModeString(CAN_MODE_LISTEN_ONLY), "Listen only");
    EXPECT_EQ(Sensors::translateCANModeString(static_cast<ECANMode>(7)), "--");
    EXPECT_EQ(Sensors::translateCANBusStateString(CAN_BUS_HW_FAILURE), "HW Failure");
    EXPECT_EQ(Sensors::translateCANBusStateString(CAN_BUS_ERR_PASSIVE), "Err Passive");
    EXPECT_EQ(Sensors::translateCANBusStateString(static_cast<ECANBusState>(-2)), "--");
}

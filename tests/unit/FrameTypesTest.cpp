#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "CANFrameTypes.h"
#include "Frames.h"
#include "SensorManager.h"

using Sensors::SensorManager;

TEST(FrameTypes, StandardFrameBecomesExtendedAndErrCountsOnlyItsLowestBit)
{
    _TGENERIC_CAN_FRAME_HEADER std{0x5A3, 0, 1, 2};  // bits 8-10 = 5, bits 0-6 = 0x23, bit 7 = 1
    _TQUIL1G5_CAN_FRAME_HEADER* q = SensorManager::GenMsgHdr2Quil_InPlace(&std);
    EXPECT_EQ(std::make_tuple(q->devType, q->devNumber, q->msg, q->cmd, q->err, q->rtr, q->dlc),
              std::make_tuple(5, 0x23, 0, 0, 1, 1, 2));
    _TGENERIC_CAN_FRAME_HEADER* g = SensorManager::QuilMsgHdr2Gen_InPlace(q);
    EXPECT_EQ(std::make_pair(g->id, g->ext), std::make_pair(0x5A3u, uint8_t(1)));

    _TQUIL1G5_CAN_FRAME_HEADER maker{16, 3, 1, 0, 2, 0, 8};
    std::unique_ptr<_TGENERIC_CAN_FRAME_HEADER> h(SensorManager::quilHeader2Generic_copy(maker));
    EXPECT_EQ(h->id, makerId(1, 0, 16, 3));
}

TEST(FrameTypes, RatesModesAndBusStatesHaveTheirTexts)
{
    EXPECT_EQ(Sensors::getBaudrateAsInt(CAN_BAUD_1M), 1000);
    EXPECT_EQ(Sensors::getBaudrateAsInt(static_cast<ECANBaud>(5)), -1);
    EXPECT_EQ(Sensors::getBaudrateAsInt(static_cast<ECANBaud>(6)), -2);
    EXPECT_EQ(Sensors::translateCANModeString(CAN_MODE_LISTEN_ONLY), "Listen only");
    EXPECT_EQ(Sensors::translateCANModeString(static_cast<ECANMode>(7)), "--");
    EXPECT_EQ(Sensors::translateCANBusStateString(CAN_BUS_ERR_PASSIVE), "Err Passive");
    EXPECT_EQ(Sensors::translateCANBusStateString(static_cast<ECANBusState>(-2)), "--");
}

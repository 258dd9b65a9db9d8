#include <gtest/gtest.h>

#include "CANFrameTypes.h"

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

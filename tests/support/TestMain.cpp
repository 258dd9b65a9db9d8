// The test programs start wxWidgets the way a host without windows does.
#include <gtest/gtest.h>
#include <wx/init.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wxInitializer wx;
    if (!wx.IsOk())
        return 2;
    return RUN_ALL_TESTS();
}

// The stress program starts wxWidgets like the other test programs and takes how long to run:
// --seconds=N (default 20, what CI runs) or --minutes=N.
#include <gtest/gtest.h>
#include <wx/init.h>

#include <cstdlib>
#include <cstring>

double stressSeconds = 20.0;

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            stressSeconds = std::atof(argv[i] + 10);
        else if (std::strncmp(argv[i], "--minutes=", 10) == 0)
            stressSeconds = 60.0 * std::atof(argv[i] + 10);
    }
    wxInitializer wx;
    if (!wx.IsOk())
        return 2;
    return RUN_ALL_TESTS();
}

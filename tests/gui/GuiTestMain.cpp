// The window tests run inside a wxWidgets application on a real display (an X server in memory
// when run through scripts/run-with-xvfb.sh, as ctest does). Without a display they fail.
#include <cstdio>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        // No cleanup: wxWidgets cannot tear down a toolkit that never started.
        std::fprintf(stderr, "The window tests need a display: run them through scripts/run-with-xvfb.sh\n");
        return 1;
    }
    const int status = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}

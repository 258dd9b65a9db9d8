#include "SensorManagerModule.h"

#include <wx/utils.h>

#include "SensorManager.h"
#include "SensorManagerThread.h"

namespace Sensors {

wxIMPLEMENT_DYNAMIC_CLASS(SensorManagerModule, wxModule);

bool SensorManagerModule::OnInit()
{
    return true;
}

void SensorManagerModule::OnExit()
{
    SensorManager::getInstance()->shutdown();
    // The thread object is deleted as the thread's last step; wait for that, boundedly.
    for (int waited = 0; SensorManagerThread::liveCount() > 0 && waited < 3000; waited += 5)
        wxMilliSleep(5);
}

}  // namespace Sensors

#include "SensorManagerModule.h"

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
    SensorManagerThread::waitUntilGone(3000);
}

}  // namespace Sensors

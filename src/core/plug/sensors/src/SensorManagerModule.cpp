#include "SensorManagerModule.h"

#include "SensorManager.h"

namespace Sensors {

wxIMPLEMENT_DYNAMIC_CLASS(SensorManagerModule, wxModule);

bool SensorManagerModule::OnInit()
{
    return true;
}

void SensorManagerModule::OnExit()
{
    // Stops and joins the manager thread before wxWidgets' thread support goes away.
    SensorManager::getInstance()->shutdown();
}

}  // namespace Sensors

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
    SensorManager* manager = SensorManager::getInstance();
    manager->shutdown();
    // A thread slower to end than the shutdown's bound is waited for all the same: wxWidgets'
    // thread clean-up, which comes next, would wait for it without a bound and then free what a
    // later join needs, so that the join at process exit would hang. Joined here, it leaves its
    // adapters to the second shutdown and nothing to the process exit.
    while (!manager->waitThreadEnd(1000)) {
    }
    manager->shutdown();
}

}  // namespace Sensors

// qcan-monitor: a windowed host of the sensor plug-in for service staff.
#include "MonitorApp.h"

wxIMPLEMENT_APP(MonitorApp);

#pragma once

#include <wx/module.h>

namespace Sensors {

// Ends the manager's work while wxWidgets is still up: a host that exits with adapters still
// connected gets them closed and the manager thread gone before wxWidgets tears down its thread
// support, which a thread still running at that point would not survive.
class SensorManagerModule : public wxModule {
public:
    bool OnInit() override;
    void OnExit() override;

private:
    wxDECLARE_DYNAMIC_CLASS(SensorManagerModule);
};

}  // namespace Sensors

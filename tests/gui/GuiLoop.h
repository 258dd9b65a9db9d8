#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <iterator>

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>
#include <wx/utils.h>

// Lets the windows' timers and the toolkit run until `done` holds or `ms` of real time have passed.
template <class F>
bool runUntil(F done, int ms = 3000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until) {
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return done();
}

inline void runFor(int ms) { runUntil([] { return false; }, ms); }

// Threads of this process, the test's own included.
inline int threadCount()
{
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

template <class T>
T* control(wxWindow* top, long id)
{
    T* w = dynamic_cast<T*>(top->FindWindow(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// One thing a person does with a control: type `text` into a field; set a spin, slider, check box,
// choice or list line (-1: none) to `value`; flip a toggle button; click a button.
struct Act {
    Act(long control, int number = 1) : id(control), value(number) {}
    Act(long control, const wxString& typed) : id(control), text(typed) {}
    long id;
    int value = 1;
    wxString text;
};

// Each act in turn, with the event the control sends; a disabled control takes none.
inline void act(wxWindow* top, std::initializer_list<Act> acts)
{
    for (const Act& a : acts) {
        wxWindow* w = control<wxWindow>(top, a.id);
        if (!w || !w->IsEnabled())
            continue;
        wxCommandEvent event(wxEVT_BUTTON, w->GetId());
        event.SetInt(a.value);
        auto* field = dynamic_cast<wxTextCtrl*>(w);
        auto* spin = dynamic_cast<wxSpinCtrl*>(w);
        if (field || spin) {  // a field sends wxEVT_TEXT itself; a spin is read when it is needed
            field ? field->SetValue(a.text) : spin->SetValue(a.value);
            continue;
        }
        if (auto* t = dynamic_cast<wxToggleButton*>(w)) {
            t->SetValue(!t->GetValue());
            event.SetInt(t->GetValue());
            event.SetEventType(wxEVT_TOGGLEBUTTON);
        } else if (auto* c = dynamic_cast<wxCheckBox*>(w)) {
            c->SetValue(a.value != 0);
            event.SetEventType(wxEVT_CHECKBOX);
        } else if (auto* c = dynamic_cast<wxChoice*>(w)) {
            c->SetSelection(a.value);
            event.SetEventType(wxEVT_CHOICE);
        } else if (auto* s = dynamic_cast<wxSlider*>(w)) {
            s->SetValue(a.value);
            event.SetEventType(wxEVT_SLIDER);
        } else if (auto* l = dynamic_cast<wxListBox*>(w)) {
            l->SetSelection(a.value >= 0 ? a.value : wxNOT_FOUND);
            event.SetString(a.value >= 0 ? l->GetString(a.value) : wxString());
            event.SetEventType(wxEVT_LISTBOX);
        }
        event.SetEventObject(w);
        w->GetEventHandler()->ProcessEvent(event);
    }
}

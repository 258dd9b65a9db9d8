#pragma once

// The adapter configuration dialog: the adapter names of the configuration file in a list, and the
// enable and scan switches of the marked one. The dialog reads the file when it is built and
// writes it back when it is destroyed, so every way of closing it keeps what was switched. Open it
// modally and destroy it when ShowModal returns.

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/notebook.h>
#include <wx/panel.h>

#include "XMLConfiguration.h"

class DialogQcanConfiguration : public wxDialog {
public:
    DialogQcanConfiguration(wxWindow* parent, wxWindowID id = -1,
                            const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize);
    ~DialogQcanConfiguration() override;

    static const long ID_NOTEBOOK1;
    static const long ID_PANEL1;
    static const long ID_LISTBOX1;
    static const long ID_CHECKBOX2;
    static const long ID_CHECKBOX1;
    static const long ID_BUTTON1;

    // Fills the list from the configuration, in its name order; nothing selected, boxes disabled.
    void refreshList();
    // The selected entry's switches into the boxes, without writing them back.
    void entryToView();
    // The boxes into the selected entry.
    void viewToEntry();

    void OnQcanListSelect(wxCommandEvent& event);
    void OnQcanListDClick(wxCommandEvent& event) { OnQcanListSelect(event); }
    void OnQcanEnableClick(wxCommandEvent& event);
    void OnQcanEnabledClick(wxCommandEvent& event) { OnQcanEnableClick(event); }
    void OnQcanScanClick(wxCommandEvent& event);
    void OnButtonCloseClick(wxCommandEvent& event);
    void OnQcanListToggled(wxCommandEvent& event);
    void OnCheckBox1Click(wxCommandEvent& event);

private:
    // The selected entry, or null when nothing (or nothing that still exists) is selected.
    QCAN::XMLConfiguration::Entry* selectedEntry();

    // Declared first: the file is read before the dialog's windows exist.
    QCAN::XMLConfiguration configuration;
    wxCheckBox* scanCheck = nullptr;
    wxListBox* listBox = nullptr;
    wxCheckBox* enableCheck = nullptr;
    wxNotebook* notebook = nullptr;
    wxPanel* panel = nullptr;
    wxButton* closeButton = nullptr;
    // True while the dialog itself sets the controls, so that the flag handlers leave the entry be.
    bool refreshing = false;

    wxDECLARE_EVENT_TABLE();
};

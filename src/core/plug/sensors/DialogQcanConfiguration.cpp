#include "DialogQcanConfiguration.h"

#include <wx/font.h>
#include <wx/sizer.h>
#include <wx/strconv.h>

// Defined before the event table, which reads them when the library is loaded.
const long DialogQcanConfiguration::ID_NOTEBOOK1 = wxNewId();
const long DialogQcanConfiguration::ID_PANEL1 = wxNewId();
const long DialogQcanConfiguration::ID_LISTBOX1 = wxNewId();
const long DialogQcanConfiguration::ID_CHECKBOX2 = wxNewId();
const long DialogQcanConfiguration::ID_CHECKBOX1 = wxNewId();
const long DialogQcanConfiguration::ID_BUTTON1 = wxNewId();

wxBEGIN_EVENT_TABLE(DialogQcanConfiguration, wxDialog)
    EVT_LISTBOX(DialogQcanConfiguration::ID_LISTBOX1, DialogQcanConfiguration::OnQcanListSelect)
    EVT_LISTBOX_DCLICK(DialogQcanConfiguration::ID_LISTBOX1, DialogQcanConfiguration::OnQcanListSelect)
    EVT_CHECKBOX(DialogQcanConfiguration::ID_CHECKBOX2, DialogQcanConfiguration::OnQcanEnableClick)
    EVT_CHECKBOX(DialogQcanConfiguration::ID_CHECKBOX1, DialogQcanConfiguration::OnQcanScanClick)
    EVT_BUTTON(DialogQcanConfiguration::ID_BUTTON1, DialogQcanConfiguration::OnButtonCloseClick)
wxEND_EVENT_TABLE()

namespace {

// Adapter names are bytes. They are shown in the C library's conversion; a name that does not
// convert in the current locale is shown as UTF-8, else byte for byte, never as an empty line.
wxString nameForList(const std::string& name)
{
    wxString shown(name.c_str(), wxConvLibc);
    if (shown.empty() && !name.empty())
        shown = wxString(name.c_str(), wxConvUTF8);
    if (shown.empty() && !name.empty())
        shown = wxString(name.c_str(), wxConvISO8859_1);
    return shown;
}

}  // namespace

DialogQcanConfiguration::DialogQcanConfiguration(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                                 const wxSize& size)
{
    Create(parent, id, wxT("QCAN"), pos, size, wxDEFAULT_DIALOG_STYLE, wxDialogNameStr);
    SetFont(wxFont(16, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD, false, wxEmptyString));

    wxBoxSizer* dialogSizer = new wxBoxSizer(wxVERTICAL);
    notebook = new wxNotebook(this, ID_NOTEBOOK1, wxDefaultPosition, wxDefaultSize, 0, wxT("ID_NOTEBOOK1"));
    panel = new wxPanel(notebook, ID_PANEL1, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, wxT("ID_PANEL1"));
    wxBoxSizer* panelSizer = new wxBoxSizer(wxHORIZONTAL);
    listBox = new wxListBox(panel, ID_LISTBOX1, wxDefaultPosition, wxDefaultSize, 0, nullptr, 0,
                            wxDefaultValidator, wxT("ID_LISTBOX1"));
    // Room for a few adapter names even when the file holds none yet.
    listBox->SetMinSize(wxSize(FromDIP(280), FromDIP(160)));
    panelSizer->Add(listBox, 1, wxALL | wxEXPAND, 5);
    enableCheck = new wxCheckBox(panel, ID_CHECKBOX2, wxT("Enable"), wxDefaultPosition, wxDefaultSize, 0,
                                 wxDefaultValidator, wxT("ID_CHECKBOX2"));
    enableCheck->SetValue(false);
    panelSizer->Add(enableCheck, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    scanCheck = new wxCheckBox(panel, ID_CHECKBOX1, wxT("Scan"), wxDefaultPosition, wxDefaultSize, 0,
                               wxDefaultValidator, wxT("ID_CHECKBOX1"));
    scanCheck->SetValue(false);
    panelSizer->Add(scanCheck, 0, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    panel->SetSizer(panelSizer);
    panelSizer->Fit(panel);
    panelSizer->SetSizeHints(panel);
    notebook->AddPage(panel, wxT("Configuration"), false);
    dialogSizer->Add(notebook, 1, wxALL | wxEXPAND, 5);
    closeButton = new wxButton(this, ID_BUTTON1, wxT("Save and close"), wxDefaultPosition, wxDefaultSize, 0,
                               wxDefaultValidator, wxT("ID_BUTTON1"));
    dialogSizer->Add(closeButton, 0, wxALL | wxALIGN_CENTER_HORIZONTAL, 5);
    SetSizer(dialogSizer);
    dialogSizer->Fit(this);
    dialogSizer->SetSizeHints(this);
    Center();

    refreshList();
}

DialogQcanConfiguration::~DialogQcanConfiguration() = default;  // the configuration saves itself

void DialogQcanConfiguration::refreshList()
{
    refreshing = true;
    listBox->Clear();
    for (const auto& entry : configuration.getEntries())
        listBox->Append(nameForList(entry.first));
    enableCheck->Enable(false);
    scanCheck->Enable(false);
    refreshing = false;
}

QCAN::XMLConfiguration::Entry* DialogQcanConfiguration::selectedEntry()
{
    const int i = listBox->GetSelection();
    if (i == wxNOT_FOUND || static_cast<unsigned int>(i) >= listBox->GetCount())
        return nullptr;
    return configuration.getEntry(static_cast<unsigned int>(i));
}

void DialogQcanConfiguration::entryToView()
{
    QCAN::XMLConfiguration::Entry* entry = selectedEntry();
    if (!entry)
        return;
    refreshing = true;
    enableCheck->SetValue(entry->enable);
    scanCheck->SetValue(entry->scan);
    refreshing = false;
}

void DialogQcanConfiguration::viewToEntry()
{
    if (refreshing)
        return;
    if (QCAN::XMLConfiguration::Entry* entry = selectedEntry()) {
        entry->enable = enableCheck->GetValue();
        entry->scan = scanCheck->GetValue();
    }
}

void DialogQcanConfiguration::OnQcanListSelect(wxCommandEvent&)
{
    const bool selected = selectedEntry() != nullptr;
    if (selected)
        entryToView();
    enableCheck->Enable(selected);
    scanCheck->Enable(selected);
}

void DialogQcanConfiguration::OnQcanEnableClick(wxCommandEvent&)
{
    viewToEntry();
}

void DialogQcanConfiguration::OnQcanScanClick(wxCommandEvent&)
{
    viewToEntry();
}

void DialogQcanConfiguration::OnQcanListToggled(wxCommandEvent&)
{
    viewToEntry();
}

void DialogQcanConfiguration::OnCheckBox1Click(wxCommandEvent&) {}

void DialogQcanConfiguration::OnButtonCloseClick(wxCommandEvent&)
{
    Close(true);
}

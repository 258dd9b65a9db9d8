// The adapter configuration dialog, shown modally as the diagnostics window shows it, driven by
// the events its controls send when service staff use them.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/notebook.h>

#include "ConfigurationFolder.h"
#include "DialogQcanConfiguration.h"

namespace {

const char* const kFile =
    "<?xml version=\"1.0\" ?>\n"
    "<qcan>\n"
    "    <!-- bench -->\n"
    "    <cua name=\"B_ADAPTER\" enable=\"true\" scan=\"true\" baud=\"500\" />\n"
    "    <cua name=\"A_ADAPTER\" enable=\"true\" scan=\"false\" />\n"
    "    <spare>kept</spare>\n"
    "    <cua name=\"C\" enable=\"false\" scan=\"false\" />\n"
    "</qcan>\n";

// kFile with one attribute of one element changed.
std::string withAttribute(const std::string& name, const std::string& attribute, const std::string& value)
{
    std::string text = kFile;
    const size_t element = text.find("name=\"" + name + "\"");
    const size_t at = text.find(attribute + "=\"", element) + attribute.size() + 2;
    text.replace(at, text.find('"', at) - at, value);
    return text;
}

struct Controls {
    wxListBox* list;
    wxCheckBox* enable;
    wxCheckBox* scan;
    wxButton* button;
    wxNotebook* notebook;
};

Controls controlsOf(wxDialog& dialog)
{
    return {dynamic_cast<wxListBox*>(dialog.FindWindow(DialogQcanConfiguration::ID_LISTBOX1)),
            dynamic_cast<wxCheckBox*>(dialog.FindWindow(DialogQcanConfiguration::ID_CHECKBOX2)),
            dynamic_cast<wxCheckBox*>(dialog.FindWindow(DialogQcanConfiguration::ID_CHECKBOX1)),
            dynamic_cast<wxButton*>(dialog.FindWindow(DialogQcanConfiguration::ID_BUTTON1)),
            dynamic_cast<wxNotebook*>(dialog.FindWindow(DialogQcanConfiguration::ID_NOTEBOOK1))};
}

// What the list box does when a line is clicked (index -1: the selection taken away).
void select(wxListBox* list, int index)
{
    if (index >= 0)
        list->SetSelection(index);
    else
        list->SetSelection(wxNOT_FOUND);
    wxCommandEvent event(wxEVT_LISTBOX, list->GetId());
    event.SetEventObject(list);
    event.SetInt(index);
    if (index >= 0)
        event.SetString(list->GetString(index));
    list->GetEventHandler()->ProcessEvent(event);
}

// What a check box does when clicked: a disabled one does nothing.
void click(wxCheckBox* box)
{
    if (!box->IsEnabled())
        return;
    box->SetValue(!box->GetValue());
    wxCommandEvent event(wxEVT_CHECKBOX, box->GetId());
    event.SetEventObject(box);
    event.SetInt(box->GetValue() ? 1 : 0);
    box->GetEventHandler()->ProcessEvent(event);
}

void press(wxButton* button)
{
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
}

// What the window manager sends when the title bar's close box is clicked.
void closeBox(wxDialog& dialog)
{
    wxCloseEvent event(wxEVT_CLOSE_WINDOW, dialog.GetId());
    event.SetEventObject(&dialog);
    event.SetCanVeto(true);
    dialog.GetEventHandler()->ProcessEvent(event);
}

// Opens the dialog as the diagnostics window does (modal, destroyed when the modal loop ends) and
// runs `use` inside the modal loop; `use` must close the dialog as a user would.
void openDialog(const std::function<void(DialogQcanConfiguration&, Controls&)>& use)
{
    auto* dialog = new DialogQcanConfiguration(nullptr, -1);
    Controls controls = controlsOf(*dialog);
    bool ran = false;
    wxTheApp->CallAfter([&] {
        use(*dialog, controls);
        ran = true;
        if (dialog->IsModal()) {
            ADD_FAILURE() << "the dialog is still open";
            dialog->EndModal(wxID_ABORT);
        }
    });
    dialog->ShowModal();
    delete dialog;
    EXPECT_TRUE(ran);
}

std::vector<std::string> lines(wxListBox* list)
{
    std::vector<std::string> names;
    for (unsigned int i = 0; i < list->GetCount(); ++i)
        names.push_back(std::string(list->GetString(i).utf8_str()));
    return names;
}

}  // namespace

TEST(DialogQcanConfigurationTest, SelectionShowsTheSwitchesWithoutWritingThemBack)
{
    ConfigurationFolder folder;
    folder.write(kFile);
    openDialog([](DialogQcanConfiguration& dialog, Controls& c) {
        ASSERT_TRUE(c.list && c.enable && c.scan && c.button && c.notebook);
        EXPECT_EQ(dialog.GetTitle(), "QCAN");
        EXPECT_TRUE(dialog.HasFlag(wxCLOSE_BOX));
        const wxFont font = dialog.GetFont();
        EXPECT_EQ(font.GetPointSize(), 16);
        EXPECT_EQ(font.GetWeight(), wxFONTWEIGHT_BOLD);
        EXPECT_EQ(font.GetStyle(), wxFONTSTYLE_NORMAL);
        EXPECT_EQ(c.enable->GetLabel(), "Enable");
        EXPECT_EQ(c.scan->GetLabel(), "Scan");
        EXPECT_EQ(c.button->GetLabel(), "Save and close");
        ASSERT_EQ(c.notebook->GetPageCount(), 1u);
        EXPECT_EQ(c.notebook->GetPageText(0), "Configuration");
        EXPECT_EQ(c.notebook->GetPage(0)->GetId(), DialogQcanConfiguration::ID_PANEL1);

        // Name order; nothing selected, so neither box can be used.
        EXPECT_EQ(lines(c.list), (std::vector<std::string>{"A_ADAPTER", "B_ADAPTER", "C"}));
        EXPECT_FALSE(c.enable->IsEnabled());
        EXPECT_FALSE(c.scan->IsEnabled());

        select(c.list, 0);
        EXPECT_TRUE(c.enable->IsEnabled());
        EXPECT_TRUE(c.scan->IsEnabled());
        EXPECT_TRUE(c.enable->GetValue());
        EXPECT_FALSE(c.scan->GetValue());
        select(c.list, 1);
        EXPECT_TRUE(c.enable->GetValue());
        EXPECT_TRUE(c.scan->GetValue());
        select(c.list, 0);  // showing B must not have written B's switches into A
        EXPECT_TRUE(c.enable->GetValue());
        EXPECT_FALSE(c.scan->GetValue());
        select(c.list, 2);
        EXPECT_FALSE(c.enable->GetValue());
        EXPECT_FALSE(c.scan->GetValue());

        select(c.list, -1);
        EXPECT_FALSE(c.enable->IsEnabled());
        EXPECT_FALSE(c.scan->IsEnabled());
        click(c.scan);  // a disabled box cannot be clicked
        press(c.button);
    });
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(kFile));
}

TEST(DialogQcanConfigurationTest, ScanToggledAndSavedByTheButtonChangesOnlyThatAttribute)
{
    ConfigurationFolder folder;
    folder.write(kFile);
    openDialog([](DialogQcanConfiguration&, Controls& c) {
        select(c.list, 0);
        click(c.scan);
        EXPECT_TRUE(c.scan->GetValue());
        select(c.list, 2);  // another entry shown and left alone
        select(c.list, 0);
        EXPECT_TRUE(c.scan->GetValue());
        EXPECT_TRUE(c.enable->GetValue());
        press(c.button);
    });
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()),
              ConfigurationFolder::canonical(withAttribute("A_ADAPTER", "scan", "true")));
    EXPECT_TRUE(folder.strayFiles().empty());
}

TEST(DialogQcanConfigurationTest, CloseBoxSavesLikeTheButton)
{
    ConfigurationFolder folder;
    folder.write(kFile);
    openDialog([](DialogQcanConfiguration& dialog, Controls& c) {
        select(c.list, 2);
        click(c.enable);
        click(c.scan);
        click(c.scan);  // switched on and off again
        closeBox(dialog);
        EXPECT_FALSE(dialog.IsModal());
    });
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()),
              ConfigurationFolder::canonical(withAttribute("C", "enable", "true")));
}

TEST(DialogQcanConfigurationTest, FileThatCannotBeReadShowsNothingAndStaysAsItIs)
{
    for (const std::string& bytes : {std::string(), std::string("<qcan><cua name=\"A\" enable=")}) {
        ConfigurationFolder folder;
        if (!bytes.empty())
            folder.write(bytes);
        openDialog([](DialogQcanConfiguration&, Controls& c) {
            EXPECT_EQ(c.list->GetCount(), 0u);
            select(c.list, -1);
            EXPECT_FALSE(c.enable->IsEnabled());
            EXPECT_FALSE(c.scan->IsEnabled());
            press(c.button);
        });
        EXPECT_EQ(folder.exists(), !bytes.empty());
        if (!bytes.empty()) {
            EXPECT_EQ(folder.read(), bytes);
        }
        EXPECT_TRUE(folder.strayFiles().empty());
    }
}

TEST(DialogQcanConfigurationTest, NonAsciiNamesAndAFileReplacedWhileOpen)
{
    ConfigurationFolder folder;
    const std::string utf8 = "Bagger-S\xC3\xBC" "d";
    const std::string latin1 = "Bagger-S\xFC" "d";
    folder.write("<qcan>\n  <cua name=\"" + utf8 + "\" enable=\"false\" scan=\"false\" />\n  <cua name=\"" + latin1 +
                 "\" enable=\"false\" scan=\"true\" />\n</qcan>\n");
    const std::string replacement = "<qcan>\n  <cua name=\"" + latin1 + "\" enable=\"true\" scan=\"true\" />\n  <cua name=\"" +
                                    utf8 + "\" enable=\"false\" scan=\"true\" />\n  <cua name=\"NEW\" />\n</qcan>\n";
    openDialog([&](DialogQcanConfiguration&, Controls& c) {
        // Both names are shown, whatever the locale makes of their bytes.
        ASSERT_EQ(c.list->GetCount(), 2u);
        for (const std::string& line : lines(c.list))
            EXPECT_EQ(line.rfind("Bagger-S", 0), 0u) << line;
        select(c.list, 1);  // the Latin-1 name sorts after the UTF-8 one
        EXPECT_TRUE(c.scan->GetValue());
        select(c.list, 0);
        EXPECT_FALSE(c.scan->GetValue());
        // Someone saves another file while the dialog is open; the switch changed here is added
        // to their file, and nothing else of theirs is undone.
        folder.replace(replacement);
        click(c.enable);
        press(c.button);
    });
    std::string expected = replacement;
    const size_t element = expected.find("name=\"" + utf8 + "\"");
    expected.replace(expected.find("enable=\"false\"", element), 14, "enable=\"true\"");
    // NEW had no switches; writing the entries gives every named element both.
    expected.replace(expected.find("<cua name=\"NEW\" />"), 18, "<cua name=\"NEW\" enable=\"false\" scan=\"false\" />");
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(expected));
}

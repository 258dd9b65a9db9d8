// The adapter configuration dialog, shown modally as the diagnostics window shows it, driven by
// the events its controls send when service staff use them.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ConfigurationFolder.h"
#include "DialogQcanConfiguration.h"
#include "GuiLoop.h"

namespace {

using D = DialogQcanConfiguration;

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

// The two switches as shown: "off" while they cannot be used, else enable and scan as 0 or 1.
std::string switches(wxDialog& dialog)
{
    auto* enable = control<wxCheckBox>(&dialog, D::ID_CHECKBOX2);
    auto* scan = control<wxCheckBox>(&dialog, D::ID_CHECKBOX1);
    if (!enable->IsEnabled() && !scan->IsEnabled())
        return "off";
    return std::to_string(enable->GetValue()) + std::to_string(scan->GetValue());
}

// Opens the dialog as the diagnostics window does (modal, destroyed when the modal loop ends) and
// runs `use` inside the modal loop; `use` must close the dialog as a user would.
void openDialog(const std::function<void(D&)>& use)
{
    auto* dialog = new D(nullptr, -1);
    bool ran = false;
    wxTheApp->CallAfter([&] {
        use(*dialog);
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

}  // namespace

TEST(DialogQcanConfigurationTest, SelectionShowsTheSwitchesWithoutWritingThemBack)
{
    ConfigurationFolder folder;
    folder.write(kFile);
    openDialog([](D& dialog) {
        const wxArrayString names = control<wxListBox>(&dialog, D::ID_LISTBOX1)->GetStrings();
        EXPECT_EQ(std::vector<wxString>(names.begin(), names.end()),
                  (std::vector<wxString>{"A_ADAPTER", "B_ADAPTER", "C"}));
        EXPECT_EQ(switches(dialog), "off");
        // Showing B must not write B's switches into A.
        const std::vector<std::pair<int, std::string>> shown = {
            {0, "10"}, {1, "11"}, {0, "10"}, {2, "00"}, {-1, "off"}};
        for (const auto& [line, expected] : shown) {
            act(&dialog, {{D::ID_LISTBOX1, line}});
            EXPECT_EQ(switches(dialog), expected) << line;
        }
        act(&dialog, {D::ID_BUTTON1});
    });
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(kFile));
}

TEST(DialogQcanConfigurationTest, ASwitchChangedIsSavedByTheButtonOrTheCloseBoxAndNothingElse)
{
    struct Case {
        int line;
        std::vector<long> clicks;
        std::string shown;  // the switches after the clicks, and after another entry was shown in between
        bool closeBox;
        std::string file;
    };
    const std::vector<Case> cases = {
        {0, {D::ID_CHECKBOX1}, "11", false, withAttribute("A_ADAPTER", "scan", "true")},
        {2, {D::ID_CHECKBOX2, D::ID_CHECKBOX1, D::ID_CHECKBOX1}, "10", true, withAttribute("C", "enable", "true")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ConfigurationFolder folder;
        folder.write(kFile);
        openDialog([&](D& dialog) {
            act(&dialog, {{D::ID_LISTBOX1, c.line}});
            for (long box : c.clicks)
                act(&dialog, {{box, !control<wxCheckBox>(&dialog, box)->GetValue()}});
            EXPECT_EQ(switches(dialog), c.shown);
            act(&dialog, {{D::ID_LISTBOX1, 1}, {D::ID_LISTBOX1, c.line}});
            EXPECT_EQ(switches(dialog), c.shown);
            if (c.closeBox)
                dialog.Close();  // what the title bar's close box does
            else
                act(&dialog, {D::ID_BUTTON1});
        });
        EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(c.file));
        EXPECT_TRUE(folder.strayFiles().empty());
    }
}

TEST(DialogQcanConfigurationTest, NonAsciiNamesAndAFileReplacedWhileOpen)
{
    ConfigurationFolder folder;
    const std::string utf8 = "Bagger-S\xC3\xBC" "d";
    const std::string latin1 = "Bagger-S\xFC" "d";
    const auto entry = [](const std::string& name, const char* enable, const char* scan) {
        return "  <cua name=\"" + name + "\" enable=\"" + enable + "\" scan=\"" + scan + "\" />\n";
    };
    folder.write("<qcan>\n" + entry(utf8, "false", "false") + entry(latin1, "false", "true") + "</qcan>\n");
    const std::string replacement =
        "<qcan>\n" + entry(latin1, "true", "true") + entry(utf8, "false", "true") + "  <cua name=\"NEW\" />\n</qcan>\n";
    openDialog([&](D& dialog) {
        // Both names are shown, whatever the locale makes of their bytes.
        auto* list = control<wxListBox>(&dialog, D::ID_LISTBOX1);
        ASSERT_EQ(list->GetCount(), 2u);
        for (const wxString& line : list->GetStrings())
            EXPECT_TRUE(line.StartsWith("Bagger-S")) << line;
        act(&dialog, {{D::ID_LISTBOX1, 1}});  // the Latin-1 name sorts after the UTF-8 one
        EXPECT_EQ(switches(dialog), "01");
        act(&dialog, {{D::ID_LISTBOX1, 0}});
        EXPECT_EQ(switches(dialog), "00");
        // Someone saves another file while the dialog is open; the switch changed here is added
        // to their file, and nothing else of theirs is undone.
        folder.replace(replacement);
        act(&dialog, {D::ID_CHECKBOX2, D::ID_BUTTON1});
    });
    // NEW had no switches; writing the entries gives every named element both.
    const std::string expected = "<qcan>\n" + entry(latin1, "true", "true") + entry(utf8, "true", "true") +
                                 entry("NEW", "false", "false") + "</qcan>\n";
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(expected));
}

// The adapter configuration file: reading, lookups, and writing back nothing but the two switches.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ConfigurationFolder.h"
#include "ScopedEnv.h"
#include "XMLConfiguration.h"

using QCAN::XMLConfiguration;

namespace {

// Everything a user may keep in the file beside the entries: declaration, comments, a root of any
// name, elements without a name, extra attributes, children and text inside an entry, and a name
// given twice.
const char* const kUserFile =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<!-- kept by service -->\n"
    "<adapters site=\"north\">\n"
    "    <cua name=\"A\" enable=\"true\" scan=\"false\" baud=\"250\" />\n"
    "    <note>no name: not an entry</note>\n"
    "    <cua name=\"B\" />\n"
    "    <!-- the second D wins when read -->\n"
    "    <cua name=\"D\" enable=\"false\" scan=\"false\">\n"
    "        <serial>1234</serial>\n"
    "    </cua>\n"
    "    <other name=\"D\" enable=\"true\" scan=\"true\" />\n"
    "    <cua name=\"E\" enable=\"True\" scan=\"1\" />\n"
    "</adapters>\n";

// Opens the configuration, changes one switch, runs whileOpen and closes it (which saves); whether it loaded.
bool openAndChange(const std::function<void()>& whileOpen = [] {})
{
    XMLConfiguration config;
    config.changeEnabled("A", false);
    whileOpen();
    return config.isLoaded();
}

}  // namespace

TEST(XMLConfigurationTest, ReadsEntriesAndWritesBackOnlyTheSwitchesOfElementsInTheFile)
{
    ConfigurationFolder folder;
    folder.write(kUserFile);
    struct stat before;
    ASSERT_EQ(stat(folder.file().c_str(), &before), 0);
    {
        XMLConfiguration config;
        ASSERT_TRUE(config.isLoaded());
        // A, B, D, E (the note has no name); D from its later element; "True" and "1" are not "true".
        std::string switches;
        for (const auto& e : config.getEntries())
            switches += e.first + (e.second.enable ? "+" : "-") + (e.second.scan ? "+ " : "- ");
        EXPECT_EQ(switches, "A+- B-- D++ E-- ");
        EXPECT_EQ(config.getEntry(3), &config.editEntry("E"));
        EXPECT_EQ(config.getEntry(4), nullptr);
        config.changeEnabled("A", false);
        config.changeScanEnabled("C", true);
    }
    // The switches of every entry in the file are written, with the values read (the second D's
    // into the first D); nothing else moves and C is not added.
    std::string expected = kUserFile;
    for (const auto& change : std::vector<std::pair<std::string, std::string>>{
             {"\"A\" enable=\"true\"", "\"A\" enable=\"false\""},
             {"\"B\" />", "\"B\" enable=\"false\" scan=\"false\" />"},
             {"\"D\" enable=\"false\" scan=\"false\">", "\"D\" enable=\"true\" scan=\"true\">"},
             {"\"E\" enable=\"True\" scan=\"1\"", "\"E\" enable=\"false\" scan=\"false\""}})
        expected.replace(expected.find(change.first), change.first.size(), change.second);
    EXPECT_EQ(ConfigurationFolder::canonical(folder.read()), ConfigurationFolder::canonical(expected));

    // Put in place by rename, keeping the file's permissions, with no temporary left behind.
    struct stat now;
    ASSERT_EQ(stat(folder.file().c_str(), &now), 0);
    EXPECT_NE(now.st_ino, before.st_ino);
    EXPECT_EQ(now.st_mode & 07777, before.st_mode & 07777);
    EXPECT_TRUE(folder.strayFiles().empty());
}

TEST(XMLConfigurationTest, FileThatCannotBeReadIsNeverWritten)
{
    const std::string kMalformed = "<adapters><cua name=\"A\" enable=\"true\"";
    const std::string kNoEndTag = "<adapters>\n  <cua name=\"A\" enable=\"true\" />\n";
    // Nested a hundred thousand deep: refused like a malformed file rather than exhausting the stack.
    std::string deep = "<qcan><cua name=\"A\" enable=\"true\" />";
    for (int i = 0; i < 200000; ++i)
        deep += i < 100000 ? "<n>" : "</n>";
    deep += "</qcan>";
    for (const std::string& bytes : {kMalformed, kNoEndTag, std::string("A enable true\n"), std::string(), deep}) {
        ConfigurationFolder folder;
        folder.write(bytes);
        {
            XMLConfiguration config;
            EXPECT_FALSE(config.isLoaded());
            EXPECT_TRUE(config.getEntries().empty());
            config.changeEnabled("A", true);  // in memory only
            EXPECT_TRUE(config.isEnabled("A"));
            config.saveFile();
        }
        EXPECT_EQ(folder.read(), bytes);
        EXPECT_TRUE(folder.strayFiles().empty());
    }

    ConfigurationFolder missing;  // not created
    EXPECT_FALSE(openAndChange());
    EXPECT_FALSE(missing.exists());
    EXPECT_TRUE(missing.strayFiles().empty());
}

// A folder where the file should be, a file replaced by garbage while open, a read-only file, and
// one without read permission are all left as they are. (A replacement that still reads is merged;
// the dialog's tests show that.)
TEST(XMLConfigurationTest, FilesThatMustNotBeWrittenAreLeftAsTheyAre)
{
    {
        ConfigurationFolder folder;
        ASSERT_EQ(mkdir(folder.file().c_str(), 0755), 0);
        EXPECT_FALSE(openAndChange());
        struct stat st;
        ASSERT_EQ(stat(folder.file().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    {
        ConfigurationFolder folder;
        folder.write(kUserFile);
        EXPECT_TRUE(openAndChange([&folder] { folder.replace("<qcan><cua name="); }));
        EXPECT_EQ(folder.read(), "<qcan><cua name=");
        EXPECT_TRUE(folder.strayFiles().empty());
    }
    for (mode_t mode : {0444, 0200}) {
        if (mode == 0200 && geteuid() == 0)
            continue;  // root reads every file
        ConfigurationFolder folder;
        folder.write(kUserFile);
        ASSERT_EQ(chmod(folder.file().c_str(), mode), 0);
        EXPECT_EQ(openAndChange(), mode == 0444) << std::oct << mode;
        struct stat st;
        ASSERT_EQ(stat(folder.file().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        ASSERT_EQ(chmod(folder.file().c_str(), 0600), 0);
        EXPECT_EQ(folder.read(), kUserFile);
        EXPECT_TRUE(folder.strayFiles().empty());
    }
}

TEST(XMLConfigurationTest, WithoutAppDataTheFileLiesInTheUserConfigurationFolder)
{
    ConfigurationFolder folder;  // its folder serves as the home folder here
    ScopedEnv appData("APPDATA", nullptr), xdg("XDG_CONFIG_HOME", nullptr), home("HOME", folder.appData());
    const std::string expected = folder.appData() + "/.config/Quillard/qcan/qcan_configuration.xml";
    EXPECT_EQ(XMLConfiguration::defaultPath(), expected);
    EXPECT_EQ(XMLConfiguration().getPath(), expected);
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(XMLConfiguration::defaultPath(), "");
    EXPECT_FALSE(openAndChange());
}

// The adapter configuration file: reading, lookups, and writing back nothing but the two switches.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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

}  // namespace

TEST(XMLConfigurationTest, ReadsEntriesWhereOnlyLowerCaseTrueIsTrue)
{
    ConfigurationFolder folder;
    folder.write(kUserFile);
    XMLConfiguration config;
    ASSERT_TRUE(config.isLoaded());
    EXPECT_EQ(config.getPath(), folder.file());

    // A, B, D, E (the note has no name); D from its later element; "True" and "1" are not "true".
    std::string switches;
    for (const auto& e : config.getEntries())
        switches += e.first + (e.second.enable ? "+" : "-") + (e.second.scan ? "+ " : "- ");
    EXPECT_EQ(switches, "A+- B-- D++ E-- ");

    // Positions follow name order; one past the end is nothing.
    ASSERT_NE(config.getEntry(0), nullptr);
    EXPECT_EQ(config.getEntry(0), &config.editEntry("A"));
    EXPECT_EQ(config.getEntry(3), &config.editEntry("E"));
    EXPECT_EQ(config.getEntry(4), nullptr);

    // The first element of a name is the one written.
    TiXmlElement* d = config.searchElement("D");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->Value(), "cua");
    EXPECT_EQ(config.searchElement("C"), nullptr);
}

TEST(XMLConfigurationTest, WritesBackOnlyTheSwitchesOfElementsInTheFile)
{
    ConfigurationFolder folder;
    folder.write(kUserFile);
    struct stat before;
    ASSERT_EQ(stat(folder.file().c_str(), &before), 0);
    {
        XMLConfiguration config;
        ASSERT_TRUE(config.isLoaded());
        config.changeEnabled("A", false);
        EXPECT_FALSE(config.isEnabled("C"));  // only in memory
        EXPECT_FALSE(config.isScanEnabled("C"));
        EXPECT_EQ(config.getEntries().size(), 5u);
        config.changeScanEnabled("C", true);
    }
    // The switches of every entry in the file are written, with the values read (the second D's
    // into the first D); nothing else moves and C is not added.
    const char* const expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
        "<!-- kept by service -->\n"
        "<adapters site=\"north\">\n"
        "    <cua name=\"A\" enable=\"false\" scan=\"false\" baud=\"250\" />\n"
        "    <note>no name: not an entry</note>\n"
        "    <cua name=\"B\" enable=\"false\" scan=\"false\" />\n"
        "    <!-- the second D wins when read -->\n"
        "    <cua name=\"D\" enable=\"true\" scan=\"true\">\n"
        "        <serial>1234</serial>\n"
        "    </cua>\n"
        "    <other name=\"D\" enable=\"true\" scan=\"true\" />\n"
        "    <cua name=\"E\" enable=\"false\" scan=\"false\" />\n"
        "</adapters>\n";
    const std::string after = folder.read();
    EXPECT_EQ(ConfigurationFolder::canonical(after), ConfigurationFolder::canonical(expected));
    EXPECT_EQ(after.find("\"C\""), std::string::npos);

    // Put in place by rename, keeping the file's permissions, with no temporary left behind.
    struct stat now;
    ASSERT_EQ(stat(folder.file().c_str(), &now), 0);
    EXPECT_NE(now.st_ino, before.st_ino);
    EXPECT_EQ(now.st_mode & 07777, before.st_mode & 07777);
    EXPECT_TRUE(folder.strayFiles().empty());

    // Read again, the file gives what was written.
    XMLConfiguration again;
    EXPECT_FALSE(again.isEnabled("A"));
    EXPECT_TRUE(again.isEnabled("D"));
    EXPECT_EQ(again.getEntries().size(), 4u);  // A B D E
}

TEST(XMLConfigurationTest, FileThatCannotBeReadIsNeverWritten)
{
    const std::string kMalformed = "<adapters><cua name=\"A\" enable=\"true\"";
    const std::string kNoEndTag = "<adapters>\n  <cua name=\"A\" enable=\"true\" />\n";
    const std::string kNotXml = "A enable true\n";
    for (const std::string& bytes : {kMalformed, kNoEndTag, kNotXml, std::string()}) {
        ConfigurationFolder folder;
        folder.write(bytes);
        {
            XMLConfiguration config;
            EXPECT_FALSE(config.isLoaded());
            EXPECT_TRUE(config.getEntries().empty());
            EXPECT_EQ(config.getEntry(0), nullptr);
            EXPECT_EQ(config.searchElement("A"), nullptr);
            config.changeEnabled("A", true);  // in memory only
            EXPECT_TRUE(config.isEnabled("A"));
            config.saveFile();
            EXPECT_EQ(folder.read(), bytes);
        }
        EXPECT_EQ(folder.read(), bytes);
        EXPECT_TRUE(folder.strayFiles().empty());
    }

    {  // missing: not created
        ConfigurationFolder folder;
        { XMLConfiguration config; EXPECT_FALSE(config.isLoaded()); config.changeScanEnabled("A", true); }
        EXPECT_FALSE(folder.exists());
        EXPECT_TRUE(folder.strayFiles().empty());
    }
    {  // a folder where the file should be: unreadable for everyone, root included
        ConfigurationFolder folder;
        ASSERT_EQ(mkdir(folder.file().c_str(), 0755), 0);
        { XMLConfiguration config; EXPECT_FALSE(config.isLoaded()); }
        struct stat st;
        ASSERT_EQ(stat(folder.file().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    if (geteuid() != 0) {  // without read permission (root reads every file)
        ConfigurationFolder folder;
        folder.write(kUserFile);
        ASSERT_EQ(chmod(folder.file().c_str(), 0200), 0);
        { XMLConfiguration config; EXPECT_FALSE(config.isLoaded()); }
        ASSERT_EQ(chmod(folder.file().c_str(), 0600), 0);
        EXPECT_EQ(folder.read(), kUserFile);
    }
}

// (A replacement that still reads is merged; the dialog's tests show that.)
TEST(XMLConfigurationTest, ReadOnlyFileAndFileReplacedByGarbageWhileOpenAreLeftAsTheyAre)
{
    {
        ConfigurationFolder folder;
        folder.write(kUserFile);
        {
            XMLConfiguration config;
            ASSERT_TRUE(config.isLoaded());
            config.changeScanEnabled("B", true);
            folder.replace("<qcan><cua name=");
        }
        EXPECT_EQ(folder.read(), "<qcan><cua name=");
        EXPECT_TRUE(folder.strayFiles().empty());
    }
    ConfigurationFolder folder;
    folder.write(kUserFile);
    ASSERT_EQ(chmod(folder.file().c_str(), 0444), 0);
    {
        XMLConfiguration config;
        ASSERT_TRUE(config.isLoaded());
        config.changeEnabled("A", false);
    }
    EXPECT_EQ(folder.read(), kUserFile);
    struct stat st;
    ASSERT_EQ(stat(folder.file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_TRUE(folder.strayFiles().empty());
}

TEST(XMLConfigurationTest, WithoutAppDataTheFileLiesInTheUserConfigurationFolder)
{
    ConfigurationFolder folder;  // its folder serves as the home folder here
    ScopedEnv appData("APPDATA", nullptr), xdg("XDG_CONFIG_HOME", nullptr), home("HOME", folder.appData());
    const std::string expected = folder.appData() + "/.config/Quillard/qcan/qcan_configuration.xml";
    EXPECT_EQ(XMLConfiguration::defaultPath(), expected);
    {
        XMLConfiguration config;
        EXPECT_FALSE(config.isLoaded());  // nothing there yet
        EXPECT_EQ(config.getPath(), expected);
    }
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(XMLConfiguration::defaultPath(), "");
    { XMLConfiguration config; EXPECT_FALSE(config.isLoaded()); EXPECT_FALSE(config.isEnabled("A")); }
}

TEST(XMLConfigurationTest, LargeAndDeeplyNestedFiles)
{
    {  // 10 MB of entries: read whole, one switch changed, every other entry kept
        ConfigurationFolder folder;
        std::string big = "<qcan>\n";
        int count = 0;
        while (big.size() < 10u * 1024 * 1024) {
            big += "  <cua name=\"ADAPTER_" + std::to_string(count) +
                   "\" enable=\"true\" scan=\"false\" note=\"" + std::string(40, 'x') + "\" />\n";
            ++count;
        }
        big += "</qcan>\n";
        folder.write(big);
        {
            XMLConfiguration config;
            ASSERT_TRUE(config.isLoaded());
            ASSERT_EQ(config.getEntries().size(), static_cast<size_t>(count));
            config.changeScanEnabled("ADAPTER_77", true);
        }
        const std::string after = folder.read();
        const std::string changed = "name=\"ADAPTER_77\" enable=\"true\" scan=\"true\"";
        std::string expected = big;
        expected.replace(expected.find("name=\"ADAPTER_77\" enable=\"true\" scan=\"false\""), changed.size() + 1, changed);
        EXPECT_EQ(ConfigurationFolder::canonical(after), ConfigurationFolder::canonical(expected));
        EXPECT_TRUE(folder.strayFiles().empty());
    }
    {  // nested a hundred thousand deep: refused like a malformed file, untouched
        ConfigurationFolder folder;
        std::string deep = "<qcan><cua name=\"A\" enable=\"true\" />";
        for (int i = 0; i < 100000; ++i)
            deep += "<n>";
        for (int i = 0; i < 100000; ++i)
            deep += "</n>";
        deep += "</qcan>";
        folder.write(deep);
        {
            XMLConfiguration config;
            EXPECT_FALSE(config.isLoaded());
            EXPECT_TRUE(config.getEntries().empty());
        }
        EXPECT_EQ(folder.read(), deep);
    }
    // Names are bytes (UTF-8 and Latin-1 alike): the dialog's tests write such names back.
}

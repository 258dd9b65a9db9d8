// The hosts' message catalogue: every translation key in the sources has its words, so that no
// text reaches a person as a key.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <wx/translation.h>

#include "MessageCatalog.h"

namespace fs = std::filesystem;

namespace {

// Every key a source passes to a translation call as a literal (wxGetTranslation, _() or
// wxTRANSLATE(), also with wxT() or L around it), and every literal of the key form
// "[SENSOR_...] text" (the families of operator texts: SENSOR_STATUS, SENSOR_TYPE, SENSOR_NAME),
// which is how keys that reach wxGetTranslation through a table or a variable are written. Other
// bracketed texts, such as a replay's status column "[ERROR] ", are shown as they stand.
std::set<std::string> keysInSources()
{
    static const std::regex keyForm(R"re("(\[SENSOR_[A-Z_]+\] (?:[^"\\\n]|\\.)*)")re");
    static const std::regex translated(
        R"re(\b(?:wxGetTranslation|_|wxTRANSLATE)\s*\(\s*(?:wxT\s*\(\s*)?L?"((?:[^"\\\n]|\\.)*)")re");
    std::set<std::string> keys;
    for (const char* folder : {"src", "hosts"}) {
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(fs::path(QCAN_SOURCE_DIR) / folder)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h"))
                continue;
            std::ifstream in(e.path());
            std::stringstream buffer;
            buffer << in.rdbuf();
            const std::string text = buffer.str();
            for (const std::regex* r : {&keyForm, &translated})
                for (std::sregex_iterator m(text.begin(), text.end(), *r), end; m != end; ++m)
                    keys.insert((*m)[1]);
        }
    }
    return keys;
}

std::string translated(const std::string& key)
{
    return std::string(wxGetTranslation(wxString::FromUTF8(key.c_str())).utf8_str());
}

}  // namespace

TEST(MessageCatalog, EveryKeyInTheSourcesHasItsWords)
{
    ASSERT_EQ(MessageCatalog::load(), "en") << "no catalogue in " << MessageCatalog::defaultFolder();
    const std::set<std::string> keys = keysInSources();
    // The scan finds the keys of each family, the ones reached through a table among them.
    for (const char* k : {"[SENSOR_STATUS] Timeout", "[SENSOR_STATUS] Sensors total/ok", "[SENSOR_TYPE] Joystick",
                          "[SENSOR_TYPE] Heading", "[SENSOR_NAME] Laser receiver"})
        EXPECT_EQ(keys.count(k), 1u) << k;
    EXPECT_GE(keys.size(), 28u);
    for (const std::string& k : keys) {
        const std::string words = translated(k);
        EXPECT_NE(words, k) << "no entry in the catalogue for \"" << k << "\"";
        EXPECT_FALSE(words.empty() || words[0] == '[') << k << " -> " << words;
    }
    // To the letter (the type and status words are checked in the host's view of the excavator).
    EXPECT_EQ(translated("[SENSOR_NAME] Generic heading sensor"), "Generic heading sensor");
}

// The hosts' message catalogue: every translation key in the sources has its words, so that no
// text reaches a person as a key.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <wx/translation.h>

#include "MessageCatalog.h"

namespace fs = std::filesystem;

namespace {

// The identifier that ends just before `end` in the text, after blanks.
std::string wordBefore(const std::string& text, size_t end)
{
    while (end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    size_t begin = end;
    while (begin > 0 && (std::isalnum(static_cast<unsigned char>(text[begin - 1])) || text[begin - 1] == '_'))
        --begin;
    return text.substr(begin, end - begin);
}

// Whether the literal opening at `quote` is the argument of a translation call: wxGetTranslation,
// _() or wxTRANSLATE(), also written with wxT() or L around it.
bool isTranslated(const std::string& text, size_t quote)
{
    size_t at = quote;
    if (at > 0 && text[at - 1] == 'L')
        --at;
    auto openParen = [&](size_t& pos) {
        while (pos > 0 && std::isspace(static_cast<unsigned char>(text[pos - 1])))
            --pos;
        if (pos == 0 || text[pos - 1] != '(')
            return false;
        --pos;
        return true;
    };
    if (!openParen(at))
        return false;
    std::string name = wordBefore(text, at);
    if (name == "wxT") {
        at = text.rfind("wxT", at);
        if (!openParen(at))
            return false;
        name = wordBefore(text, at);
    }
    return name == "wxGetTranslation" || name == "_" || name == "wxTRANSLATE";
}

// Every key a source passes to a translation call as a literal, and every literal of the key form
// "[SENSOR_...] text" (the families of operator texts: SENSOR_STATUS, SENSOR_TYPE, SENSOR_NAME),
// which is how keys that reach wxGetTranslation through a table or a variable are written. Other
// bracketed texts, such as a replay's status column "[ERROR] ", are shown as they stand. Comments
// are not told apart: a key quoted in a comment must have its words too.
std::set<std::string> keysInSources()
{
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
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\'' && i + 2 < text.size()) {  // a character literal, '"' among them
                    i = text.find('\'', i + (text[i + 1] == '\\' ? 3 : 2));
                    if (i == std::string::npos)
                        break;
                    continue;
                }
                if (text[i] != '"')
                    continue;
                std::string literal;
                size_t j = i + 1;
                for (; j < text.size() && text[j] != '"'; ++j) {
                    if (text[j] == '\\' && j + 1 < text.size())
                        literal += text[j++];
                    literal += text[j];
                }
                const size_t close = literal.find("] ");
                const bool keyForm = literal.compare(0, 8, "[SENSOR_") == 0 && close != std::string::npos &&
                                     literal.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_", 1) == close;
                if (keyForm || isTranslated(text, i))
                    keys.insert(literal);
                i = j;
            }
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
    // The texts people read most, to the letter.
    EXPECT_EQ(translated("[SENSOR_TYPE] Joystick"), "Joystick");
    EXPECT_EQ(translated("[SENSOR_STATUS] Sensors total/ok"), "Sensors total/ok");
    EXPECT_EQ(translated("[SENSOR_NAME] Generic heading sensor"), "Generic heading sensor");
    // A key with no entry stays what it is, which is what the check above would catch.
    EXPECT_EQ(translated("[SENSOR_STATUS] Not a text of the plug-in"), "[SENSOR_STATUS] Not a text of the plug-in");
}

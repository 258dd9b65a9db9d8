#pragma once

// The adapter configuration file: per CAN-USB adapter name, an enable and a scan switch, kept by
// service staff in qcan_configuration.xml below the application-data folder ($APPDATA, else the
// user configuration folder, ~/.config), then Quillard/qcan/.
//
//     <?xml version="1.0" ?>
//     <qcan>
//         <!-- bench adapters -->
//         <cua name="SIM_EXCAVATOR" enable="true" scan="false" />
//         <cua name="SC_can0" enable="false" scan="true" baud="250" />
//         <notes>anything else stays as it is</notes>
//     </qcan>
//
// Any root element; each child element of the root with a "name" attribute is one entry (the last
// of several with one name wins when read; only the first is written). Only the exact text "true"
// is true. The file belongs to the user: it is read once, edited in memory, and written back on
// destruction with nothing changed but the "enable" and "scan" attributes of the entries it
// already holds. A file that could not be read or parsed is never written.

#include <map>
#include <string>

#include <tinyxml.h>

struct stat;

namespace QCAN {

class XMLConfiguration {
public:
    struct Entry {
        bool enable = false;
        bool scan = false;
    };

    // Reads the file at once.
    XMLConfiguration();
    // Writes the file back when it was loaded.
    ~XMLConfiguration();
    XMLConfiguration(const XMLConfiguration&) = delete;
    XMLConfiguration& operator=(const XMLConfiguration&) = delete;

    bool loadFile();
    void parseEntries();
    const std::map<std::string, Entry>& getEntries() const;
    // The entry at that position in name order; null past the end.
    Entry* getEntry(unsigned int index);
    // The entry of that name, created in memory (both switches off) when absent.
    Entry& editEntry(const std::string& name);
    bool isEnabled(const std::string& name);
    bool isScanEnabled(const std::string& name);
    void changeEnabled(const std::string& name, bool enable);
    void changeScanEnabled(const std::string& name, bool scan);
    // The first child element of the root named so; null when not loaded or none.
    TiXmlElement* searchElement(const std::string& name);
    void storeEntries();
    void saveFile();
    std::string toString(const char* text) const;

    bool isLoaded() const { return loaded; }
    const std::string& getPath() const { return path; }
    // Where the file lies for this user; empty when there is no folder to put it in.
    static std::string defaultPath();

private:
    // What identifies the file as it was read, to notice a file replaced or rewritten meanwhile.
    struct FileStamp {
        unsigned long long device = 0, inode = 0, size = 0;
        long long mtimeS = 0, mtimeNs = 0;
        bool operator==(const FileStamp& o) const;
    };

    static bool readDocument(const std::string& path, TiXmlDocument& document, FileStamp& stamp);
    static FileStamp stampOf(const struct stat& st);
    static bool statFile(const std::string& path, FileStamp& stamp);
    static std::map<std::string, Entry> entriesOf(TiXmlDocument& document);
    bool takeOverChangedFile();

    bool loaded;
    std::string path;
    TiXmlDocument document;
    std::map<std::string, Entry> entries;

    FileStamp stamp;                          // the file as last read or written
    std::map<std::string, Entry> readEntries;  // the entries as last read or written
};

}  // namespace QCAN

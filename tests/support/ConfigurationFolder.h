#pragma once

// A private application-data folder for one test: APPDATA points at a fresh temporary folder for
// the helper's lifetime, so that the adapter configuration file the plug-in reads and writes is
// the test's own. Restores APPDATA and removes the folder at the end.

#include <string>
#include <vector>

class ConfigurationFolder {
public:
    ConfigurationFolder();
    ~ConfigurationFolder();
    ConfigurationFolder(const ConfigurationFolder&) = delete;
    ConfigurationFolder& operator=(const ConfigurationFolder&) = delete;

    const std::string& appData() const { return appData_; }
    // .../Quillard/qcan/qcan_configuration.xml below appData().
    const std::string& file() const { return file_; }

    void write(const std::string& bytes) const;
    // Puts the new contents in place the way an editor that saves by rename does.
    void replace(const std::string& bytes) const;
    std::string read() const;
    bool exists() const;
    // Names in the configuration's folder other than the file itself (left-over temporaries).
    std::vector<std::string> strayFiles() const;

    // A document printed by TinyXML, for comparing two files element by element and attribute by
    // attribute without regard to indentation.
    static std::string canonical(const std::string& xml);

private:
    std::string appData_;
    std::string file_;
    std::string savedAppData_;
    bool hadAppData_ = false;
};

#include "ConfigurationFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "TextFiles.h"

ConfigurationFolder::ConfigurationFolder()
{
    char pattern[] = "/tmp/qcanconfigXXXXXX";
    if (!mkdtemp(pattern)) {
        ADD_FAILURE() << "cannot create a temporary folder";
        return;
    }
    appData_ = pattern;
    const std::string quillard = appData_ + "/Quillard";
    mkdir(quillard.c_str(), 0755);
    mkdir((quillard + "/qcan").c_str(), 0755);
    file_ = quillard + "/qcan/qcan_configuration.xml";
    if (const char* old = std::getenv("APPDATA")) {
        hadAppData_ = true;
        savedAppData_ = old;
    }
    setenv("APPDATA", appData_.c_str(), 1);
}

ConfigurationFolder::~ConfigurationFolder()
{
    if (hadAppData_)
        setenv("APPDATA", savedAppData_.c_str(), 1);
    else
        unsetenv("APPDATA");
    if (!appData_.empty()) {
        const std::string command = "chmod -R u+rwx '" + appData_ + "' && rm -rf '" + appData_ + "'";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", appData_.c_str());
    }
}

namespace {

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

}  // namespace

void ConfigurationFolder::write(const std::string& bytes) const
{
    writeFile(file_, bytes);
}

void ConfigurationFolder::replace(const std::string& bytes) const
{
    writeFile(file_ + ".new", bytes);
    ASSERT_EQ(std::rename((file_ + ".new").c_str(), file_.c_str()), 0);
}

std::string ConfigurationFolder::read() const
{
    return TextFiles::read(file_);
}

bool ConfigurationFolder::exists() const
{
    return std::filesystem::exists(file_);
}

std::vector<std::string> ConfigurationFolder::strayFiles() const
{
    std::vector<std::string> names;
    std::error_code missing;  // no folder, no strays
    for (const auto& e : std::filesystem::directory_iterator(appData_ + "/Quillard/qcan", missing))
        if (e.path().filename() != "qcan_configuration.xml")
            names.push_back(e.path().filename().string());
    return names;
}

std::string ConfigurationFolder::canonical(const std::string& xml)
{
    TiXmlDocument document;
    document.Parse(xml.c_str());
    if (document.Error())
        return "unparsable: " + std::string(document.ErrorDesc());
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.Str();
}

#include "XMLConfiguration.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/filefn.h>

#include "WispEasyWrapper.h"

namespace QCAN {

namespace {

const char* const kFileName = "qcan_configuration.xml";

// TinyXML parses, prints and frees elements recursively; a file nested deeper than any
// configuration would be is refused before it can exhaust the stack.
const int kMaxNesting = 256;
// A configuration is a few kilobytes; a file far beyond that is not one, and is not held in memory.
const long long kMaxFileSize = 64LL * 1024 * 1024;

// Whether elements nest at most `limit` deep. A lexical pass: comments, CDATA, declarations and
// quoted attribute values are skipped so that their angle brackets do not count.
bool nestingWithin(const std::string& text, int limit)
{
    int depth = 0;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const size_t lt = text.find('<', i);
        if (lt == std::string::npos || lt + 1 >= n)
            break;
        size_t end;
        if (text.compare(lt, 4, "<!--") == 0) {
            end = text.find("-->", lt + 4);
            i = end == std::string::npos ? n : end + 3;
            continue;
        }
        if (text.compare(lt, 9, "<![CDATA[") == 0) {
            end = text.find("]]>", lt + 9);
            i = end == std::string::npos ? n : end + 3;
            continue;
        }
        if (text[lt + 1] == '?' || text[lt + 1] == '!' || text[lt + 1] == '/') {
            if (text[lt + 1] == '/')
                --depth;
            end = text.find('>', lt + 1);
            i = end == std::string::npos ? n : end + 1;
            continue;
        }
        char quote = 0;
        size_t j = lt + 1;
        for (; j < n; ++j) {
            const char c = text[j];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (j >= n)
            break;
        if (text[j - 1] != '/' && ++depth > limit)
            return false;
        i = j + 1;
    }
    return true;
}

bool readAll(std::FILE* f, std::string& out)
{
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        out.append(buffer, got);
        if (static_cast<long long>(out.size()) > kMaxFileSize)
            return false;
    }
    return !std::ferror(f);
}

// Replaces the file at `path` by the printed document in one step: a half-written file never
// takes its place. A file its owner made read-only (no write permission for anyone) is left
// alone, even for a user whom the system would let write it.
bool writeAtomically(const std::string& path, TiXmlDocument& document)
{
    std::string target = path;
    if (char* real = realpath(path.c_str(), nullptr)) {
        target = real;  // write through a link into the file it names, keeping the link
        std::free(real);
    }
    struct stat st;
    mode_t mode = 0644;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            return false;
        mode = st.st_mode & 07777;
    }
    std::vector<char> temp(target.begin(), target.end());
    const char suffix[] = ".XXXXXX";
    temp.insert(temp.end(), suffix, suffix + sizeof suffix);  // with the terminating zero
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0;
    if (exists && ::geteuid() == 0)
        ok = ::fchown(fd, st.st_uid, st.st_gid) == 0 && ok;
    std::FILE* f = ::fdopen(fd, "w");
    if (!f) {
        ::close(fd);
        ::unlink(temp.data());
        return false;
    }
    ok = ok && document.SaveFile(f);
    ok = std::fflush(f) == 0 && !std::ferror(f) && ok;
    ok = ::fsync(fd) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.data(), target.c_str()) != 0) {
        ::unlink(temp.data());
        return false;
    }
    return true;
}

}  // namespace

XMLConfiguration::FileStamp XMLConfiguration::stampOf(const struct stat& st)
{
    FileStamp s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<unsigned long long>(st.st_size);
    s.mtimeS = st.st_mtim.tv_sec;
    s.mtimeNs = st.st_mtim.tv_nsec;
    return s;
}

bool XMLConfiguration::FileStamp::operator==(const FileStamp& o) const
{
    return device == o.device && inode == o.inode && size == o.size && mtimeS == o.mtimeS &&
           mtimeNs == o.mtimeNs;
}

XMLConfiguration::XMLConfiguration() : loaded(false)
{
    loadFile();
}

XMLConfiguration::~XMLConfiguration()
{
    if (loaded)
        saveFile();
}

std::string XMLConfiguration::defaultPath()
{
    std::string folder;
    const char* appData = std::getenv("APPDATA");
    if (appData && *appData) {
        folder = appData;
    } else {
        // The user configuration folder of the freedesktop layout, as other programs of this
        // system keep their files there.
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (xdg && xdg[0] == '/')
            folder = xdg;
        else if (home && *home)
            folder = std::string(home) + wxFILE_SEP_PATH + ".config";
        else
            return std::string();
    }
    const std::string sep(1, static_cast<char>(wxFILE_SEP_PATH));
    return folder + sep + "Quillard" + sep + "qcan" + sep + kFileName;
}

bool XMLConfiguration::statFile(const std::string& file, FileStamp& out)
{
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
        return false;
    out = stampOf(st);
    return true;
}

bool XMLConfiguration::readDocument(const std::string& file, TiXmlDocument& doc, FileStamp& out)
{
    doc.Clear();
    doc.ClearError();
    if (file.empty())
        return false;
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f)
        return false;
    struct stat st;
    std::string text;
    bool ok = ::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && readAll(f, text);
    std::fclose(f);
    if (!ok || text.empty() || !nestingWithin(text, kMaxNesting))
        return false;
    // TinyXML reads the bytes already in hand, so that what was checked is what is parsed.
    std::FILE* memory = ::fmemopen(&text[0], text.size(), "rb");
    if (!memory)
        return false;
    ok = doc.LoadFile(memory, TIXML_DEFAULT_ENCODING);
    std::fclose(memory);
    if (!ok) {
        doc.Clear();
        return false;
    }
    out = stampOf(st);
    return true;
}

bool XMLConfiguration::loadFile()
{
    path = defaultPath();
    loaded = readDocument(path, document, stamp);
    parseEntries();
    readEntries = entries;
    return loaded;
}

std::map<std::string, XMLConfiguration::Entry> XMLConfiguration::entriesOf(TiXmlDocument& doc)
{
    std::map<std::string, Entry> result;
    TiXmlElement* root = doc.FirstChildElement();
    if (!root)
        return result;
    for (TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const char* name = e->Attribute("name");
        if (!name)
            continue;
        const char* enable = e->Attribute("enable");
        const char* scan = e->Attribute("scan");
        Entry& entry = result[name];  // a later element of the same name wins
        entry.enable = enable && std::strcmp(enable, "true") == 0;
        entry.scan = scan && std::strcmp(scan, "true") == 0;
    }
    return result;
}

void XMLConfiguration::parseEntries()
{
    entries.clear();
    if (loaded)
        entries = entriesOf(document);
}

const std::map<std::string, XMLConfiguration::Entry>& XMLConfiguration::getEntries() const
{
    return entries;
}

XMLConfiguration::Entry* XMLConfiguration::getEntry(unsigned int index)
{
    if (entries.empty() || index >= entries.size())
        return nullptr;
    auto it = entries.begin();
    std::advance(it, index);
    return &it->second;
}

XMLConfiguration::Entry& XMLConfiguration::editEntry(const std::string& name)
{
    return entries[name];
}

bool XMLConfiguration::isEnabled(const std::string& name)
{
    return editEntry(name).enable;
}

bool XMLConfiguration::isScanEnabled(const std::string& name)
{
    return editEntry(name).scan;
}

void XMLConfiguration::changeEnabled(const std::string& name, bool enable)
{
    editEntry(name).enable = enable;
}

void XMLConfiguration::changeScanEnabled(const std::string& name, bool scan)
{
    editEntry(name).scan = scan;
}

TiXmlElement* XMLConfiguration::searchElement(const std::string& name)
{
    if (!loaded)
        return nullptr;
    TiXmlElement* root = document.FirstChildElement();
    if (!root)
        return nullptr;
    for (TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        if (toString(e->Attribute("name")) == name)
            return e;
    }
    return nullptr;
}

void XMLConfiguration::storeEntries()
{
    if (!loaded)
        return;
    TiXmlElement* root = document.FirstChildElement();
    if (!root)
        return;
    // The first element of each name, found in one pass: the same element searchElement finds,
    // without walking the whole root once per entry of a large file.
    std::map<std::string, TiXmlElement*> firstOfName;
    for (TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement())
        firstOfName.emplace(toString(e->Attribute("name")), e);
    for (const auto& [name, entry] : entries) {
        auto found = firstOfName.find(name);
        if (found == firstOfName.end())
            continue;
        found->second->SetAttribute("enable", entry.enable ? "true" : "false");
        found->second->SetAttribute("scan", entry.scan ? "true" : "false");
    }
}

// The file on disk is no longer the one that was read (another program or person replaced or
// rewrote it). Their file wins: it is read afresh and only the switches changed here since the
// last read are carried into it. False when it can no longer be read; then nothing is written.
bool XMLConfiguration::takeOverChangedFile()
{
    TiXmlDocument fresh;
    FileStamp freshStamp;
    if (!readDocument(path, fresh, freshStamp)) {
        QLOG_WARN("saveFile") << "Adapter configuration " << path
                              << " changed and can no longer be read; left as it is";
        return false;
    }
    std::map<std::string, Entry> merged = entriesOf(fresh);
    for (const auto& [name, entry] : entries) {
        auto before = readEntries.find(name);
        const Entry base = before == readEntries.end() ? Entry() : before->second;
        if (entry.enable != base.enable)
            merged[name].enable = entry.enable;
        if (entry.scan != base.scan)
            merged[name].scan = entry.scan;
    }
    document = fresh;
    entries = merged;
    stamp = freshStamp;
    return true;
}

void XMLConfiguration::saveFile()
{
    if (!loaded)
        return;
    FileStamp now;
    if (!(statFile(path, now) && now == stamp) && !takeOverChangedFile())
        return;
    storeEntries();
    if (writeAtomically(path, document)) {
        statFile(path, stamp);
        readEntries = entries;
    }
}

std::string XMLConfiguration::toString(const char* text) const
{
    return text ? std::string(text) : std::string();
}

}  // namespace QCAN

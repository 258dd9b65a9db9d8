#include "MessageCatalog.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/translation.h>

const char* const MessageCatalog::kDomain = "qcansensors";

std::string MessageCatalog::defaultFolder()
{
    const wxFileName program(wxStandardPaths::Get().GetExecutablePath());
    return std::string(program.GetPath().utf8_str()) + "/locale";
}

std::string MessageCatalog::load(const std::string& folder)
{
    wxFileTranslationsLoader::AddCatalogLookupPathPrefix(wxString::FromUTF8((folder.empty() ? defaultFolder() : folder).c_str()));
    const wxString domain = wxString::FromUTF8(kDomain);
    // The user's language when a catalogue of it is installed; the keys are no language at all,
    // so English stands in for every language that has none.
    wxTranslations* translations = new wxTranslations();
    wxTranslations::Set(translations);  // owns it from here
    const wxArrayString available = translations->GetAvailableTranslations(domain);
    wxString language = translations->GetBestTranslation(domain, wxT("en"));
    if (language.empty() || (available.Index(language) == wxNOT_FOUND && available.Index(language.BeforeFirst('_')) == wxNOT_FOUND))
        language = wxT("en");
    translations->SetLanguage(language);
    if (!translations->AddCatalog(domain, wxLANGUAGE_ENGLISH) || !translations->IsLoaded(domain))
        return std::string();
    return std::string(language.utf8_str());
}

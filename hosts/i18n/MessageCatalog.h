#pragma once

// The catalogue that turns the plug-in's translation keys ("[SENSOR_STATUS] Timeout") into words.
// The plug-in only looks keys up (wxGetTranslation); which language a person reads is the host's
// business, so every host calls load() once after starting wxWidgets and before it shows a text.
//
// Catalogues are compiled from hosts/i18n/po/<lang>.po at build time and lie beside the programs:
//   <folder of the program>/locale/<lang>/LC_MESSAGES/qcansensors.mo

#include <string>

class MessageCatalog {
public:
    static const char* const kDomain;  // "qcansensors"

    // Makes the catalogue of the user's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) current,
    // or English when there is none for it. `folder` replaces the folder beside the program.
    // Returns the language loaded ("en", "de", ...), empty when no catalogue could be found: the
    // keys themselves are then shown.
    static std::string load(const std::string& folder = std::string());

    // <folder of the running program>/locale
    static std::string defaultFolder();
};

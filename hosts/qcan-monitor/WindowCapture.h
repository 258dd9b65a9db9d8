#pragma once

#include <wx/string.h>
#include <wx/window.h>

// Saves what a shown window looks like on the screen, its frame included, as a PNG file.
class WindowCapture {
public:
    static bool saveAsPng(wxWindow* window, const wxString& path);
};

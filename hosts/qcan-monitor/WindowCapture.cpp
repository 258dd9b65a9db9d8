#include "WindowCapture.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>

bool WindowCapture::saveAsPng(wxWindow* window, const wxString& path)
{
    if (!window || !window->IsShown())
        return false;
    const wxRect rect = window->GetScreenRect();
    if (rect.IsEmpty())
        return false;
    // Read back from the screen rather than asking the window to draw itself: native controls
    // are then captured exactly as they were drawn.
    wxBitmap bitmap(rect.GetWidth(), rect.GetHeight(), 24);
    {
        wxMemoryDC memory(bitmap);
        wxScreenDC screen;
        if (!memory.Blit(0, 0, rect.GetWidth(), rect.GetHeight(), &screen, rect.GetX(), rect.GetY()))
            return false;
    }
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    return bitmap.SaveFile(path, wxBITMAP_TYPE_PNG);
}

#include "LogFileIO.h"

#include <cstdio>

namespace Sensors {

bool openLogFile(wxFFile& file, const wxString& name, const char* mode)
{
    closeLogFile(file);
    FILE* fp = std::fopen(name.fn_str(), mode);
    if (!fp)
        return false;
    file.Attach(fp, name);
    return true;
}

bool writeLogFile(wxFFile& file, const char* data, size_t size)
{
    FILE* fp = file.fp();
    if (!fp)
        return false;
    const size_t written = size ? std::fwrite(data, 1, size, fp) : 0;
    return std::fflush(fp) == 0 && written == size;
}

void closeLogFile(wxFFile& file)
{
    if (FILE* fp = file.Detach())
        std::fclose(fp);
}

}  // namespace Sensors

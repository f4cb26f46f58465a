// Font files by face name (font.h) in the page: the page's file system holds
// one face, Liberation Sans (metric-compatible with Arial, and the face
// fontconfig picks for "Arial" on the desktop), which stands in for every name.
#include "platform/font.h"

#include <cstring>

bool font_file(const char*, char* path, size_t size, int32_t* index)
{
    static const char bundled[] = "/fonts/LiberationSans-Regular.ttf";
    if (!path || size < sizeof bundled)
        return false;
    std::memcpy(path, bundled, sizeof bundled);
    *index = 0;
    return true;
}

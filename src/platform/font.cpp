// Font files by face name (font.h) through fontconfig: the pattern for the
// name is substituted and matched as any desktop program would, so a missing
// face gets the closest installed one.
#include "platform/font.h"

#include <fontconfig/fontconfig.h>

#include <cstring>

bool font_file(const char* face_name, char* path, size_t size, int32_t* index)
{
    if (!path || size == 0 || !FcInit())
        return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face_name ? face_name : ""));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8* file = nullptr;
    int face_index = 0;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
              std::strlen(reinterpret_cast<const char*>(file)) < size;
    if (ok)
        std::strcpy(path, reinterpret_cast<const char*>(file));
    if (FcPatternGetInteger(match, FC_INDEX, 0, &face_index) != FcResultMatch)
        face_index = 0;
    *index = face_index;
    FcPatternDestroy(match);
    return ok;
}

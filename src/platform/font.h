// Font files by face name: which installed file draws a face such as
// "Arial". The native build asks fontconfig (the closest installed face
// stands in for a missing one); the page has one bundled face.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the file name of the font for face_name into path (size bytes) and
// its face index in the file into *index. False when no font is there at all
// or the name does not fit.
bool font_file(const char* face_name, char* path, size_t size, int32_t* index);

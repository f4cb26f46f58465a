// File names as the program's tables write them ("data\dunravel.mp3") mapped
// to names the operating system opens: backslashes become '/', and the data
// folder is found in the working directory, beside the executable, or where
// the command line points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Decides where "data\..." names point: the working directory when it holds
// a data folder, else the folder of the running executable when that holds
// one. Call once at start-up; without it names are only separator-mapped.
void paths_init();
// The longest data folder name paths_set_data_dir takes, in bytes.
constexpr int32_t PATHS_DATA_DIR_MAX = 4094;
// Points "data\..." names at dir instead (a folder holding the data files).
// Null or "" returns to the default. The text is copied. 0, or 1 (nothing
// changed) when the name is longer than PATHS_DATA_DIR_MAX.
int32_t paths_set_data_dir(const char* dir);

// Writes the operating-system name of path into out (size bytes). Returns out,
// or null when it does not fit (out is then an empty string).
const char* path_native(const char* path, char* out, size_t size);
// fopen through path_native; null when the name does not fit or open fails.
FILE* path_fopen(const char* path, const char* mode);

// File names as the program's tables write them ("data\dunravel.mp3") mapped
// to names the operating system opens: backslashes become '/', and the data
// folder is found in the working directory, beside the executable, or where
// the command line points. Data files open only when they are regular files,
// and every failure to use one is recorded with the name opened and why.
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
// ---- Data files --------------------------------------------------------------
// Opening a data file for reading checks that it is a regular file (a FIFO
// or a device would block or never end) before anything reads it. Every
// failure is recorded with the name actually opened and the reason, so the
// caller that gives up can print one line naming the file the user has:
// the open here records "No such file or directory", "not a regular file",
// ...; the readers record what is wrong with the contents ("not a PNG
// file", "truncated", ...). Each thread has its own record.

// Opens path (mapped by path_native) for reading; a descriptor, or -1.
int path_open_data(const char* path);
// The same as a stdio stream ("rb" mode); null on failure.
FILE* path_fopen(const char* path, const char* mode);
// Records that path (a program name, mapped by path_native) cannot be used
// and why.
void path_fail(const char* path, const char* reason);
// "NAME (REASON)" for the latest failure on this thread ("" when none).
const char* path_failure();
// REASON alone.
const char* path_failure_reason();

// Output files that appear only when complete and never replace what the
// user did not name. A new or regular file is written under an unpredictable
// temporary name, created exclusively (never through a link) in the folder
// of the file the name leads to, and renamed onto it when complete; an
// existing file that is not a regular file (/dev/null, a FIFO, a terminal)
// is written directly; a folder is refused. Relies on POSIX calls only.
#pragma once

#include <cstdio>
#include <string>

struct OutputFile {
    FILE* stream;       // write here
    std::string target; // the file written in the end
    std::string temp;   // the temporary file; empty when writing directly
};

// Opens name for writing: 0, or an error number (errno values; EISDIR for
// a folder). Safe to call from several threads.
int output_file_open(const char* name, OutputFile* file);
// Closes the stream; with keep, moves the temporary file onto the target,
// else removes it. 0, or the error number of the first failure (a failed
// write, "no space" on /dev/full, a failed rename); nothing temporary is left.
int output_file_close(OutputFile* file, bool keep);

// For a file another program writes by name (ffmpeg): the same rules without
// a stream. file->temp is the (empty) temporary file to write, or empty when
// the target is written directly (a device, a FIFO). 0, or an error number.
int output_file_reserve(const char* name, OutputFile* file);
// Ends a reserved file: with keep, moves the temporary file onto the target,
// else removes it. 0, or the error number of a failed rename (the temporary
// file is then removed too).
int output_file_publish(OutputFile* file, bool keep);

// The pattern of the temporary name for target: ".NAME.XXXXXX" in the
// target's folder (the X's are replaced when the file is created).
std::string output_file_temp_pattern(const std::string& target);

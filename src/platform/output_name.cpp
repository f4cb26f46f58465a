// What every platform's output files share (output_file.h): where a
// temporary file is made before it is renamed onto the file the user named,
// and closing a stream before its file is published. No operating-system
// calls of its own.
#include "platform/output_file.h"

#include <cerrno>
#include <cstdio>

std::string output_file_temp_pattern(const std::string& target)
{
    // Hidden, in the same folder (a rename never crosses file systems), and
    // named after the target so that a leftover says where it came from.
    size_t slash = target.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + base + ".XXXXXX";
}

int output_file_close(OutputFile* file, bool keep)
{
    if (!file->stream)
        return EBADF;
    int error = 0;
    bool failed_before = std::ferror(file->stream) != 0;
    errno = 0;
    if (std::fclose(file->stream) != 0)
        error = errno ? errno : EIO;
    else if (failed_before)
        error = EIO;
    file->stream = nullptr;
    if (file->temp.empty())
        return keep ? error : 0;
    int published = output_file_publish(file, keep && error == 0);
    return keep ? (error != 0 ? error : published) : 0;
}

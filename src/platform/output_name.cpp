// Names of output files that every platform shares (output_file.h): where a
// temporary file is made before it is renamed onto the file the user named.
// Plain string work, no operating-system calls.
#include "platform/output_file.h"

std::string output_file_temp_pattern(const std::string& target)
{
    // Hidden, in the same folder (a rename never crosses file systems), and
    // named after the target so that a leftover says where it came from.
    size_t slash = target.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + base + ".XXXXXX";
}

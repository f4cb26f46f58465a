// What the platforms' file opening shares with the common name handling
// (paths_common.cpp): the longest name, and the failure record.
#pragma once

#include "platform/paths.h"

#include <cstddef>

enum { PATH_CAPACITY = 4096 };

// Records "NAME (REASON)" as the last failure of this thread (path_failure).
void paths_record_failure(const char* name, const char* reason);

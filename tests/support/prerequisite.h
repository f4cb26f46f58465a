// What a test needs from outside itself (the generated data set, the built
// program or a tool, ffmpeg): SKIP_UNLESS_CI() << "why" skips the test with
// that one line, but under CI (the CI environment variable set and not "0"
// or "false") it fails instead, so a run that could not test is never
// reported as passed there. Use it where GTEST_SKIP() would stand.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

inline bool test_under_ci()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

#define SKIP_UNLESS_CI()                                                                                     \
    return ::testing::internal::AssertHelper(test_under_ci() ? ::testing::TestPartResult::kFatalFailure      \
                                                             : ::testing::TestPartResult::kSkip,             \
                                             __FILE__, __LINE__,                                             \
                                             test_under_ci() ? "missing under CI (CI is set), so this fails" \
                                                             : "") = ::testing::Message()

// The one yes/no question the program asks at start-up ("Fullscreen?").
#pragma once

#include <cstdint>

enum { QUESTION_NO = 0, QUESTION_YES = 1 };

// Asks text under caption in a dialog (zenity, when a display is there and
// zenity is installed), else on the terminal when standard input is one;
// otherwise nobody can answer and the result is QUESTION_NO.
int32_t question_yes_no(const char* caption, const char* text);

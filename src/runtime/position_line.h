// The short line a seek shows in the window's bottom bar (scene, beat, time),
// gone after a second. It is laid over the presented picture only: whoever
// reads the frame after it was presented (screenshots, the paused loop
// presenting again) gets the picture back first with position_line_erase.
// Relies on the text images and the frame surface.
#pragma once

#include <cstdint>

struct Texture;

enum { POSITION_LINE_X = 8, POSITION_LINE_Y = 446, POSITION_LINE_W = 320, POSITION_LINE_H = 28 };

struct PositionLine {
    Texture* text;   // the line's text, premultiplied on black (null until shown)
    int64_t until;   // counter value at which it goes
    int32_t drawn;   // non-zero while it lies over the picture
    uint32_t* saved; // the picture under it while drawn
};

// Sets the line's text (player_position_text) and shows it from now for
// milliseconds (counter ticks at frequency per second). 0, or 1 when memory
// runs out (the line is then not shown).
int32_t position_line_show(PositionLine* line, const char* text, int64_t now, int64_t frequency,
                           int32_t milliseconds);
// While it is due, lays the line over the frame (keeping what it covers).
// Returns non-zero when it drew.
int32_t position_line_draw(PositionLine* line, int64_t now);
// Puts back what the line covered, when it is drawn.
void position_line_erase(PositionLine* line);
void position_line_free(PositionLine* line);

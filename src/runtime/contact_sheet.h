// The contact sheet: one frame every 8 beats as a quarter-size thumbnail
// (4 × 4 box average), 8 to a row on a dark grey ground, each labelled with
// its beat in a small built-in digit font. Relies on the screen
// (core/frame.h) and the timeline's end (effects.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ContactSheet {
    std::vector<int32_t> beats; // the beat of each thumbnail, in order
    int32_t columns, width, height;
    std::vector<uint32_t> pixels; // width × height, 0x00RRGGBB
};

// Lays out the sheet for the beats (multiples of 8 below the timeline's end)
// whose time lies in [from_seconds, end_seconds); false when there is none.
bool contact_sheet_init(ContactSheet* sheet, double from_seconds, double end_seconds);
// The seconds of the sheet's beat i.
double contact_sheet_seconds(const ContactSheet* sheet, size_t i);
// Puts the screen as thumbnail i, with its label.
void contact_sheet_add(ContactSheet* sheet, size_t i);

// Draws the decimal number value with the digit font, white on a black box,
// at (x, y) of an image of width × height words; clipped to the image.
void contact_sheet_label(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                         int32_t value);

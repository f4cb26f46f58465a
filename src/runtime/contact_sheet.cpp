// The contact sheet (contact_sheet.h): layout, thumbnails and the 3 × 5
// digit font of its labels.
#include "runtime/contact_sheet.h"

#include "core/frame.h"
#include "runtime/clock.h"
#include "runtime/effects.h"

#include <algorithm>
#include <cstdio>

namespace
{

constexpr int32_t SHEET_STEP_BEATS = 8;
constexpr int32_t SHEET_COLUMNS = 8;
constexpr int32_t THUMB_W = SCREEN_WIDTH / 4, THUMB_H = SCREEN_HEIGHT / 4, SHEET_GAP = 4;
constexpr uint32_t SHEET_GROUND = 0x00202020u;

// A 3 × 5 digit font, one row of three bits per line, top line first.
const uint8_t DIGITS[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                               {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                               {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

double beat_seconds(int32_t beat)
{
    return beat * 60.0 / DEMO_TEMPO_BPM;
}

} // namespace

bool contact_sheet_init(ContactSheet* sheet, double from_seconds, double end_seconds)
{
    sheet->beats.clear();
    for (int32_t b = 0; b < timeline_end_beat(); b += SHEET_STEP_BEATS) {
        double t = beat_seconds(b);
        if (t >= from_seconds && t < end_seconds)
            sheet->beats.push_back(b);
    }
    if (sheet->beats.empty())
        return false;
    int32_t count = static_cast<int32_t>(sheet->beats.size());
    sheet->columns = std::min<int32_t>(SHEET_COLUMNS, count);
    int32_t rows = (count + sheet->columns - 1) / sheet->columns;
    sheet->width = sheet->columns * (THUMB_W + SHEET_GAP) + SHEET_GAP;
    sheet->height = rows * (THUMB_H + SHEET_GAP) + SHEET_GAP;
    sheet->pixels.assign(static_cast<size_t>(sheet->width) * static_cast<size_t>(sheet->height),
                         SHEET_GROUND);
    return true;
}

double contact_sheet_seconds(const ContactSheet* sheet, size_t i)
{
    return beat_seconds(sheet->beats[i]);
}

void contact_sheet_add(ContactSheet* sheet, size_t i)
{
    int32_t x0 = SHEET_GAP + static_cast<int32_t>(i % sheet->columns) * (THUMB_W + SHEET_GAP);
    int32_t y0 = SHEET_GAP + static_cast<int32_t>(i / sheet->columns) * (THUMB_H + SHEET_GAP);
    // A 4 × 4 box average per thumbnail pixel, per channel.
    for (int32_t y = 0; y < THUMB_H; y++) {
        for (int32_t x = 0; x < THUMB_W; x++) {
            uint32_t r = 0, g = 0, b = 0;
            for (int32_t dy = 0; dy < 4; dy++) {
                const uint32_t* row = screen_row(y * 4 + dy) + x * 4;
                for (int32_t dx = 0; dx < 4; dx++) {
                    r += (row[dx] >> 16) & 0xFFu;
                    g += (row[dx] >> 8) & 0xFFu;
                    b += row[dx] & 0xFFu;
                }
            }
            sheet->pixels[static_cast<size_t>(y0 + y) * sheet->width + x0 + x] =
                ((r / 16) << 16) | ((g / 16) << 8) | (b / 16);
        }
    }
    contact_sheet_label(sheet->pixels.data(), sheet->width, sheet->height, x0 + 2, y0 + 2, sheet->beats[i]);
}

void contact_sheet_label(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y, int32_t value)
{
    char text[16];
    int32_t n = std::snprintf(text, sizeof text, "%d", value);
    const int32_t scale = 2, advance = 4 * scale;
    int32_t box_w = n * advance + scale, box_h = 5 * scale + 2 * scale;
    for (int32_t py = y; py < y + box_h; py++)
        for (int32_t px = x; px < x + box_w; px++)
            if (px >= 0 && py >= 0 && px < width && py < height)
                pixels[static_cast<size_t>(py) * width + px] = 0;
    for (int32_t i = 0; i < n; i++) {
        if (text[i] < '0' || text[i] > '9')
            continue;
        const uint8_t* glyph = DIGITS[text[i] - '0'];
        for (int32_t gy = 0; gy < 5 * scale; gy++) {
            for (int32_t gx = 0; gx < 3 * scale; gx++) {
                if (!((glyph[gy / scale] >> (2 - gx / scale)) & 1))
                    continue;
                int32_t px = x + scale + i * advance + gx, py = y + scale + gy;
                if (px >= 0 && py >= 0 && px < width && py < height)
                    pixels[static_cast<size_t>(py) * width + px] = 0x00FFFFFFu;
            }
        }
    }
}

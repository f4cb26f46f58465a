// The position line (position_line.h): a text image in the system font over
// a darkened strip of the bottom bar, and the pixels it covered, kept so the
// picture can be put back. Relies on image/text.h and the frame surface.
#include "runtime/position_line.h"

#include "core/frame.h"
#include "image/image.h"
#include "image/text.h"

#include <cstdlib>
#include <cstring>

namespace
{

uint32_t* row_at(int32_t y)
{
    return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(screen->pixels) +
                                       static_cast<size_t>(screen->pitch) * static_cast<size_t>(y));
}

} // namespace

int32_t position_line_show(PositionLine* line, const char* text, int64_t now, int64_t frequency,
                           int32_t milliseconds)
{
    if (!line->text)
        line->text = texture_create(POSITION_LINE_W, POSITION_LINE_H);
    if (!line->saved)
        line->saved = static_cast<uint32_t*>(
            std::malloc(sizeof(uint32_t) * static_cast<size_t>(POSITION_LINE_W * POSITION_LINE_H)));
    if (!line->text || !line->saved) {
        line->until = now;
        return 1;
    }
    text_image(line->text, "Arial", 16, 6, 19, 0xFFE0E0E0u, text);
    line->until = now + frequency * milliseconds / 1000;
    return 0;
}

int32_t position_line_draw(PositionLine* line, int64_t now)
{
    if (!line->text || !line->saved || !screen || !screen->pixels || now >= line->until)
        return 0;
    position_line_erase(line);
    for (int32_t y = 0; y < POSITION_LINE_H; ++y) {
        uint32_t* row = row_at(POSITION_LINE_Y + y) + POSITION_LINE_X;
        std::memcpy(line->saved + y * POSITION_LINE_W, row, sizeof(uint32_t) * POSITION_LINE_W);
        for (int32_t x = 0; x < POSITION_LINE_W; ++x)
            row[x] = (row[x] >> 2) & 0x003F3F3Fu; // a quarter of the picture shows through
    }
    blit_image(line->text, POSITION_LINE_X, POSITION_LINE_Y, BLIT_ADD);
    line->drawn = 1;
    return 1;
}

void position_line_erase(PositionLine* line)
{
    if (!line->drawn || !screen || !screen->pixels)
        return;
    for (int32_t y = 0; y < POSITION_LINE_H; ++y)
        std::memcpy(row_at(POSITION_LINE_Y + y) + POSITION_LINE_X, line->saved + y * POSITION_LINE_W,
                    sizeof(uint32_t) * POSITION_LINE_W);
    line->drawn = 0;
}

void position_line_free(PositionLine* line)
{
    texture_free(line->text);
    line->text = nullptr;
    std::free(line->saved);
    line->saved = nullptr;
    line->drawn = 0;
}

// The scenes' whole-row 2D work, queued into the drawing share (queued.h). Each
// part does the image operation on the rows it is given only: every pixel of
// these operations depends on its own screen row alone.
#include "scenes/queued.h"

#include "core/frame.h"
#include "image/ops2d.h"
#include "raster/raster.h"

#include <algorithm>
#include <cstring>

namespace
{

struct Rect {
    const Texture* texture;
    int32_t x, y, src_x, src_y, width, height, alpha, mode;
};

void blit_part(void* context, int32_t y0, int32_t y1)
{
    const Rect* r = static_cast<const Rect*>(context);
    blit_image_band(r->texture, r->x, r->y, r->mode, y0, y1);
}

void blend_part(void* context, int32_t y0, int32_t y1)
{
    const Rect* r = static_cast<const Rect*>(context);
    blend_rect_band(r->texture, r->x, r->y, r->src_x, r->src_y, r->width, r->height, r->alpha, r->mode, y0,
                    y1);
}

struct Blur {
    int32_t passes;
};

void blur_part(void* context, int32_t y0, int32_t y1)
{
    blur_rows(y0, y1, static_cast<const Blur*>(context)->passes);
}

struct Fill {
    uint32_t colour;
};

void fill_part(void* context, int32_t y0, int32_t y1)
{
    const uint32_t colour = static_cast<const Fill*>(context)->colour;
    for (int32_t y = y0; y < y1; ++y) {
        uint32_t* row = screen_row(y);
        std::fill(row, row + SCREEN_WIDTH, colour);
    }
}

struct Copy {
    const uint32_t* pixels;
    int32_t y;
};

void copy_part(void* context, int32_t y0, int32_t y1)
{
    const Copy* c = static_cast<const Copy*>(context);
    for (int32_t y = y0; y < y1; ++y)
        std::memcpy(screen_row(y), c->pixels + static_cast<size_t>(y - c->y) * SCREEN_WIDTH,
                    SCREEN_WIDTH * sizeof(uint32_t));
}

} // namespace

void queued_blit_image(const Texture* texture, int32_t x, int32_t y, int32_t mode)
{
    if (!texture || !screen)
        return;
    const Rect r = {texture, x, y, 0, 0, texture->width, texture->height, 0, mode};
    raster_share_band(blit_part, &r, sizeof r, y, y + texture->height);
}

void queued_blend_image(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode)
{
    if (!texture)
        return;
    queued_blend_rect(texture, x, y, 0, 0, texture->width, texture->height, alpha, mode);
}

void queued_blend_rect(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y,
                     int32_t width, int32_t height, int32_t alpha, int32_t mode)
{
    if (!texture || !screen || height <= 0)
        return;
    const Rect r = {texture, x, y, src_x, src_y, width, height, alpha, mode};
    // The rows drawn lie inside [y, y + height) (and further in where the
    // source is cut at its top).
    const int64_t end = static_cast<int64_t>(y) + height;
    raster_share_band(blend_part, &r, sizeof r, y,
                      static_cast<int32_t>(std::min<int64_t>(end, SCREEN_HEIGHT)));
}

void queued_blur(int32_t a, int32_t b, int32_t passes)
{
    if (!screen || passes <= 0)
        return;
    const Blur blur = {passes};
    raster_share_band(blur_part, &blur, sizeof blur, std::min(a, b), std::max(a, b));
}

void queued_fill(int32_t y0, int32_t y1, uint32_t colour)
{
    if (!screen)
        return;
    const Fill fill = {colour};
    raster_share_band(fill_part, &fill, sizeof fill, y0, y1);
}

void queued_copy(const uint32_t* pixels, int32_t y, int32_t rows)
{
    if (!screen || !pixels || rows <= 0)
        return;
    const Copy copy = {pixels, y};
    raster_share_band(copy_part, &copy, sizeof copy, y, y + rows);
}

// Text overlay track: the phrase images, pictures, hand sprites, grain, row
// glitches, waves, old-television frame and closing text laid over every
// scene from beat 0 to 409. Keeps no state between frames: everything is a
// function of the clock and the two random sequences. Relies on the clock,
// the texture table, the 2D operations and the triangle fill dispatch.
#include "overlays/overlays.h"
#include "overlays/overlay_ops.h"
#include "overlays/overlay_passes.h"

#include "core/core.h"
#include "platform/paths.h"
#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"
#include "scene/show_beats.h"

#include <cmath>
#include <cstdio>

namespace
{

enum {
    IMG_WHEN_STRAIGHT,
    IMG_SPIT,
    IMG_RETIREMENT,
    IMG_COLONY,
    IMG_MIND_GAP,
    IMG_GRAIN,
    IMG_DONT_YOU_KNOW,
    IMG_LOOKING_FOR,
    IMG_WHAT_FOR,
    IMG_GOD,
    IMG_OLDTV,
    IMG_THIS_IS_WHAT,
    IMG_GPU,
    IMG_END,
    IMG_COUNT
};

const char* const image_paths[IMG_COUNT] = {
    "data\\when_straight_isnt_good_enough.png",
    "data\\i_spit_on_metaphysics.png",
    "data\\routine_retirement_of_a_replicant.png",
    "data\\revertant_colony_of_mutant_grub.png",
    "data\\mind_the_gap.png",
    "data\\grain.png",
    "data\\dont_you_know_what.png",
    "data\\they_are_looking_for.png",
    "data\\what_for.png",
    "data\\god.png",
    "data\\oldtv.png",
    "data\\this_is_what_happens_when.png",
    "data\\your_gpu_is_on_parole.png",
    "data\\end_text.png",
};

Texture* images[IMG_COUNT];

// The frame's overlay passes, drawn band by band when the track ends or before a
// step that is not row by row (the hand sprites, the vertical glow).
OverlayPasses passes;

int32_t ifloor(float x)
{
    return float_to_int(core_floor(x));
}

// The per-frame shorthands of the track.
struct Frame {
    float seconds;       // music time
    float beat;          // beat
    float fraction;      // beat fraction
    int32_t whole;       // whole beat
    int32_t wobble_x;    // the text's shake, in pixels
    int32_t wobble_y;
    int32_t bob;         // a slow bounce of the pictures, 0 to 24 pixels
    int32_t alpha_rise;  // 223 to 255 over each beat
    int32_t alpha_fall;  // 255 to 223 over each beat
};

void blend(const Texture* image, int32_t x, int32_t y, int32_t alpha)
{
    overlay_passes_blend(&passes, image, x, y, alpha);
}

float rnd()
{
    return next_random() * 0.5f + 0.5f;
}

Texture* picture(int32_t index)
{
    return texture_get(index);
}

void step_hands(const Frame& fr)
{
    if (fr.whole < 44 || fr.whole >= 52)
        return;
    int32_t l = 0;
    if (fr.whole == 44)
        l = ifloor(ease_out(-160.0f, 0.0f, fr.fraction));
    else if (fr.whole == 51)
        l = -ifloor(ease_in(0.0f, 320.0f, fr.fraction));
    overlay_passes_flush(&passes);
    hand_sprite(picture(TEXTURE_HAND_1 + fr.whole % 4), static_cast<float>(160 + l), 240.0f, 31, CORE_PI / 2.0f,
                3.0f);
}

void step_metaball_pictures(const Frame& fr)
{
    if (fr.whole < 42 || fr.whole >= 76)
        return;
    if (fr.whole == 43 || fr.whole == 44) {
        const float s = fr.beat - 43.0f;
        const float q = s < 1.0f ? s : 2.0f - s;
        overlay_passes_grain_mix(&passes, images[IMG_GRAIN], ifloor(q * q * q * q * 255.0f));
    }
    if (fr.whole >= 44 && fr.whole < 52) {
        const uint32_t level = static_cast<uint32_t>(ifloor((fr.beat - 44.0f) * 255.0f / 8.0f));
        overlay_passes_wave(&passes, fr.seconds, level * 0x01010101u);
    } else if (fr.whole >= 72) {
        const uint32_t level = static_cast<uint32_t>(ifloor((fr.beat - 72.0f) * 255.0f / 4.0f));
        overlay_passes_wave(&passes, fr.seconds, ~(level * 0x01010101u));
    }
    blend(picture(TEXTURE_MUSICIAN_HEAD), 449, fr.bob + 208, fr.alpha_rise);
    const Texture* spit = images[IMG_SPIT];
    blend(spit, 640 - spit->width + fr.wobble_x, 480 - spit->height + fr.wobble_y, fr.alpha_fall);
}

void step_tunnel_pictures(const Frame& fr)
{
    if (!beat_in(TUNNEL_BEATS, fr.whole))
        return;
    const int32_t h0 = fr.whole >= 80 ? -100 : -ifloor(ease_out(200.0f, 100.0f, (fr.beat - 76.0f) / 4.0f));
    blend(picture(TEXTURE_THINKER_SMALL), 0, h0 - fr.bob, fr.alpha_fall);
    if (fr.whole >= 80) {
        const int32_t g0 = fr.whole >= 82 ? 0 : ifloor(ease_out(-437.0f, 0.0f, (fr.beat - 80.0f) / 2.0f));
        blend(images[IMG_WHEN_STRAIGHT], fr.wobble_x + 16 + g0, fr.wobble_y, fr.alpha_rise);
    }
}

void step_water_pictures(const Frame& fr)
{
    if (!beat_in(WATER_BEATS, fr.whole))
        return;
    const Texture* p = picture(TEXTURE_YO_MAN);
    if (!p)
        return; // the texture table is not loaded
    int32_t y0 = 550 - p->height;
    if (fr.whole < 108)
        y0 += ifloor(ease_out(static_cast<float>(p->height), 0.0f, (fr.beat - 100.0f) / 8.0f));
    blend(p, 640 - p->width, y0 + fr.bob, fr.alpha_rise);
    if (fr.whole >= 108) {
        const Texture* text = images[IMG_RETIREMENT];
        const int32_t k =
            fr.whole >= 110 ? 0
                        : ifloor(ease_out(-static_cast<float>(text->width), 0.0f, (fr.beat - 108.0f) / 2.0f));
        blend(text, fr.wobble_x + k, fr.wobble_y, 255);
    }
}

void step_ribbon_pictures(const Frame& fr)
{
    if (!beat_in(RIBBON_BEATS, fr.whole))
        return;
    const int32_t e0 = fr.whole >= 134 ? 0 : ifloor(ease_out(-197.0f, 0.0f, (fr.beat - 132.0f) / 2.0f));
    const int32_t sway = ifloor(core_sin(1.1f * fr.seconds) * core_sin(1.4f * fr.seconds + 0.3f) * 16.0f);
    blend(picture(TEXTURE_POET_PORTRAIT), e0 + sway, 120, float_to_int(fr.fraction * 55.0f + 200.0f));
    const Texture* text = images[IMG_COLONY];
    const int32_t k =
        fr.whole >= 134 ? 0 : ifloor(ease_out(static_cast<float>(text->width), 0.0f, (fr.beat - 132.0f) / 2.0f));
    blend(text, fr.wobble_x + k - text->width + 640, fr.wobble_y, 255);
}

void step_twister_pictures(const Frame& fr)
{
    if (!beat_in(TWISTER_BEATS, fr.whole))
        return;
    const int32_t c0 = fr.whole >= 168 ? 0 : ifloor(ease_out(-264.0f, 0.0f, (fr.beat - 164.0f) / 4.0f));
    blend(picture(TEXTURE_SCREAM), c0, 40, fr.alpha_rise);
    const int32_t y = ifloor(core_cos(1.5f * fr.seconds) * 8.0f) + 192;
    if (fr.whole >= 172 && fr.whole < 180)
        blend(images[IMG_THIS_IS_WHAT], 145, y, fr.alpha_rise);
    else if (fr.whole >= 180 && fr.whole < 190)
        blend(images[IMG_GPU], 145, y, fr.alpha_rise);
    if (fr.whole >= 194) {
        const Texture* gap = images[IMG_MIND_GAP];
        blend(gap, 576 - gap->width, 392 - gap->height, float_to_int(fr.fraction * 127.0f + 128.0f));
    }
}

void step_greetings_grain(const Frame& fr)
{
    if (!beat_in(GREETINGS_BEATS, fr.whole))
        return;
    overlay_passes_grain_modulate(&passes, images[IMG_GRAIN], ifloor((rnd() * 0.25f + 0.1f) * 255.0f));
}

void blend_centred(const Texture* image, float k)
{
    blend(image, 320 - image->width / 2, 240 - image->height / 2, ifloor(core_sin(k) * 255.0f));
}

void step_terrain_phrases(const Frame& fr)
{
    if (fr.whole < 268 || fr.whole >= 310)
        return;
    float o;
    if (fr.whole < 294) {
        o = rnd() * 0.25f;
    } else if (fr.whole <= 296) {
        const float ramp = (fr.beat - 294.0f) / 3.0f * 0.75f + 0.25f;
        o = ramp * rnd();
    } else {
        o = rnd();
    }
    if (fr.whole < 308) {
        if (fr.whole >= 272) {
            overlay_passes_wave(&passes, fr.seconds, 0xFFFFFF00u);
        } else {
            const uint32_t level = static_cast<uint32_t>(ifloor((fr.beat - 268.0f) * 255.0f / 4.0f));
            overlay_passes_wave(&passes, fr.seconds, level * 0x01010101u);
        }
    }
    overlay_passes_grain_modulate(&passes, images[IMG_GRAIN], ifloor(o * 255.0f));
    const float g = 1.0f - fr.fraction;
    if (fr.whole >= 294 && fr.whole <= 296)
        blend_centred(images[IMG_DONT_YOU_KNOW], g * (fr.beat - 294.0f) / 3.0f * CORE_PI);
    else if (fr.whole >= 297 && fr.whole <= 300)
        blend_centred(images[IMG_LOOKING_FOR], g * (fr.beat - 297.0f) / 4.0f * CORE_PI);
    else if (fr.whole >= 301 && fr.whole <= 305)
        blend_centred(images[IMG_WHAT_FOR], g * (fr.beat - 301.0f) / 5.0f * CORE_PI);
    else if (fr.whole >= 306 && fr.whole <= 309)
        blend_centred(images[IMG_GOD], (fr.beat - 306.0f) / 4.0f * CORE_PI);
}

// The screen glows on both drawing threads: the rows as given, and for the
// columns' glow the upper half of the rows stands for the left half of the
// columns, the lower for the right.
void glow_horizontal_part(void*, int32_t first_row, int32_t end_row)
{
    glow_horizontal_band(first_row, end_row);
}

void glow_vertical_part(void*, int32_t first_row, int32_t end_row)
{
    glow_vertical_band(first_row * SCREEN_WIDTH / SCREEN_HEIGHT, end_row * SCREEN_WIDTH / SCREEN_HEIGHT);
}

void step_collider_pictures(const Frame& fr)
{
    if (!beat_in(COLLIDER_BEATS, fr.whole))
        return;
    const float r = next_random();
    if (fr.whole >= 361) {
        const float s = (fr.beat - 361.0f) / 11.0f;
        blend(picture(TEXTURE_SINGER_PORTRAIT), ifloor(s * 91.0f) + 549, 40, ifloor((1.0f - s) * 255.0f));
        blend(picture(TEXTURE_SINGER_PORTRAIT_2), ifloor(s * 335.0f) - 335, 40, ifloor(s * 63.0f));
        blend(picture(TEXTURE_MUSICIAN_PORTRAIT), 640 - ifloor(s * 271.0f), 40, ifloor(s * 63.0f));
    } else {
        blend(picture(TEXTURE_SINGER_PORTRAIT), 549, 40, fr.alpha_rise);
    }
    overlay_passes_grain_modulate(&passes, images[IMG_GRAIN],
                              ifloor(((r * 0.5f + 0.5f) * 0.25f + 0.1f) * 255.0f));
    if (fr.whole == 325 || fr.whole == 326 || fr.whole == 341 || fr.whole == 342 || fr.whole == 358)
        overlay_passes_flush(&passes);
    if (fr.whole == 325 || fr.whole == 326) {
        raster_split_in_two(glow_horizontal_part, nullptr);
    } else if (fr.whole == 341 || fr.whole == 342) {
        raster_split_in_two(glow_vertical_part, nullptr);
    } else if (fr.whole == 358) {
        raster_split_in_two(glow_horizontal_part, nullptr);
        raster_split_in_two(glow_vertical_part, nullptr);
    }
}

bool glitch_beat(int32_t d)
{
    static const int32_t beats[] = {24,  40,  56,  72,  92,  112, 128, 144, 160, 176,
                                    192, 208, 224, 240, 256, 272, 289, 295, 305};
    for (int32_t beat : beats)
        if (beat == d)
            return true;
    return false;
}

int32_t glitch_shift(const Frame& fr)
{
    return float_to_int(8.0f - fr.fraction * 8.0f) + 1;
}

void step_glitches(const Frame& fr)
{
    if (glitch_beat(fr.whole))
        overlay_passes_glitch(&passes, glitch_shift(fr), 8);
    if (fr.whole >= 304 && fr.whole < 308) {
        const float wave = core_sin((fr.beat - 304.0f) / 4.0f * CORE_PI);
        const float level = next_random() * 0.25f + 0.75f;
        overlay_passes_grain_mix(&passes, images[IMG_GRAIN], ifloor(level * wave * 255.0f));
        overlay_passes_glitch(&passes, glitch_shift(fr), 8);
    }
    if (fr.whole >= 268 && fr.whole < 308)
        blend(images[IMG_OLDTV], 0, 0, 255);
}

void step_end_flicker(const Frame& fr)
{
    if (!beat_in(END_BEATS, fr.whole))
        return;
    if (fr.whole >= 372) {
        blend(picture(TEXTURE_SINGER_PORTRAIT), 229, 40, core_rand() & 0x7f);
        blend(picture(TEXTURE_SINGER_PORTRAIT_2), 0, 40, core_rand() & 0x7f);
        blend(picture(TEXTURE_MUSICIAN_PORTRAIT), 369, 40, core_rand() & 0x7f);
    }
    overlay_passes_grain_modulate(&passes, images[IMG_GRAIN], ifloor((next_random() * 0.1f + 0.9f) * 255.0f));
    if (core_rand() & 0x80)
        overlay_passes_grain_mix(&passes, images[IMG_GRAIN], ifloor((next_random() * 0.3f + 0.7f) * 127.0f));
    if (fr.whole >= 385)
        overlay_passes_fade(&passes, 0xff000000u, ifloor((fr.beat - 385.0f) / 12.0f * 255.0f));
}

void step_closing_text(const Frame& fr)
{
    if (fr.whole < 389)
        return;
    blend(images[IMG_END], 0, 0, closing_text_alpha(fr.whole, fr.beat));
}

} // namespace

// The closing text rises over beats 389-393, stays until 403 and falls until
// 411. The fractional part is x - floor(x), so it rises from 0 to 1 even
// though (b - 405) / 4 is negative there.
int32_t closing_text_alpha(int32_t d, float b)
{
    float m;
    if (d <= 392) {
        const float x = (b - 405.0f) / 4.0f;
        m = x - core_floor(x);
    } else if (d < 403) {
        m = 1.0f;
    } else {
        const float x = (b - 403.0f) / 8.0f;
        m = 1.0f - (x - core_floor(x));
    }
    return ifloor(m * 255.0f);
}

int32_t overlay_load()
{
    for (int32_t i = 0; i < IMG_COUNT; ++i) {
        images[i] = texture_load_png(image_paths[i], 0);
        if (!images[i]) {
            std::fprintf(stderr, "text overlay: cannot load %s\n", texture_load_failure());
            overlay_free();
            return 1;
        }
    }
    const Texture* grain = images[IMG_GRAIN];
    if (grain->width < 256 || grain->height < 256) {
        std::fprintf(stderr, "text overlay: %s is %dx%d, needs at least 256x256\n", image_paths[IMG_GRAIN],
                     grain->width, grain->height);
        overlay_free();
        return 1;
    }
    return 0;
}

void overlay_free()
{
    for (Texture*& image : images) {
        texture_free(image);
        image = nullptr;
    }
}

void overlay_render(const SceneFrame& frame)
{
    if (!images[IMG_GRAIN])
        return;
    Frame fr;
    fr.seconds = static_cast<float>(frame.seconds);
    fr.beat = frame.beat;
    fr.fraction = frame.beat_fraction;
    fr.whole = frame.beat_index;
    fr.wobble_x = ifloor(core_sin(1.7f * fr.seconds) * core_sin(1.4f * fr.seconds) * 8.0f);
    fr.wobble_y = ifloor(core_cos(1.5f * fr.seconds) * 4.0f);
    fr.bob = ifloor((core_sin(fr.beat * 0.25f * CORE_PI) * 0.5f + 0.5f) * 24.0f);
    fr.alpha_rise = float_to_int(fr.fraction * 32.0f + 223.0f);
    fr.alpha_fall = float_to_int((1.0f - fr.fraction) * 32.0f + 223.0f);

    if (fr.whole < 43)
        overlay_passes_grain_modulate(&passes, images[IMG_GRAIN], 63);
    step_hands(fr);
    step_metaball_pictures(fr);
    step_tunnel_pictures(fr);
    step_water_pictures(fr);
    step_ribbon_pictures(fr);
    step_twister_pictures(fr);
    step_greetings_grain(fr);
    step_terrain_phrases(fr);
    step_collider_pictures(fr);
    step_glitches(fr);
    step_end_flicker(fr);
    step_closing_text(fr);
    overlay_passes_flush(&passes);
}

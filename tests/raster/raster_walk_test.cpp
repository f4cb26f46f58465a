// The optimised pixel walk and fillers against a literal per-pixel walk of the
// box (edge test by OR of the three values, leaving a row once past its span)
// with independently written per-mode pixel rules, on many random triangles.
#include "raster_fixture.h"

#include <algorithm>
#include <functional>

namespace
{

uint32_t ch(uint32_t p, int c)
{
    return (p >> (8 * c)) & 0xFFu;
}

uint32_t ref_mul(uint32_t a, uint32_t b)
{
    uint32_t o = 0;
    for (int c = 0; c < 4; c++)
        o |= ((ch(a, c) * ch(b, c)) >> 8) << (8 * c);
    return o;
}

uint32_t ref_add(uint32_t a, uint32_t b)
{
    uint32_t o = 0;
    for (int c = 0; c < 4; c++) {
        uint32_t s = ch(a, c) + ch(b, c);
        o |= (s > 255 ? 255 : s) << (8 * c);
    }
    return o;
}

uint32_t ref_clamped(const int32_t* col)
{
    uint32_t o = 0;
    for (int c = 0; c < 4; c++) {
        int32_t v = col[c] >> 11;
        uint32_t b = v >= 0 && v <= 255 ? static_cast<uint32_t>(v) : col[c] < 0 ? 0u : 255u;
        o |= b << (8 * c);
    }
    return o;
}

uint32_t ref_unclamped(const int32_t* col)
{
    return static_cast<uint32_t>(col[3] >> 11) << 24 | static_cast<uint32_t>(col[2] >> 11) << 16 |
           static_cast<uint32_t>(col[1] >> 11) << 8 | static_cast<uint32_t>(col[0] >> 11);
}

uint32_t ref_alpha(uint32_t t, uint32_t p, uint32_t f)
{
    uint32_t o = 0, a = t >> 24;
    for (int c = 0; c < 4; c++) {
        uint32_t k = (ch(f, c) * a) >> 8;
        uint32_t s = ((ch(t, c) * k) >> 8) + ((ch(p, c) * (255 - k)) >> 8);
        o |= (s > 255 ? 255 : s) << (8 * c);
    }
    return o;
}

uint32_t ref_bilinear(const Texture& tx, int32_t uf, int32_t vf)
{
    int32_t fu = uf & 0x7FF, fv = vf & 0x7FF;
    int32_t tu = (uf >> 11) & tx.width_mask, tv = (vf >> 11) & tx.height_mask;
    int32_t tu1 = (tu + 1) & tx.width_mask, tv1 = (tv + 1) & tx.height_mask;
    int32_t w00 = ((2047 - fu) * (2047 - fv)) >> 14, w10 = ((2047 - fv) * fu) >> 14, w11 = (fu * fv) >> 14;
    int32_t w01 = 255 - w00 - w10 - w11;
    auto T = [&](int32_t u, int32_t v) { return tx.pixels[(v << tx.width_log2) + u]; };
    uint32_t o = 0;
    for (int c = 0; c < 4; c++) {
        uint32_t s = ch(T(tu, tv), c) * w00 + ch(T(tu1, tv), c) * w10 + ch(T(tu1, tv1), c) * w11 +
                     ch(T(tu, tv1), c) * w01;
        o |= (s >> 8) << (8 * c);
    }
    return o;
}

// Literal walk of the box: fn(pixel index, values) for each shaded pixel.
void reference_walk(const RasterTriangle& t, const std::vector<Interpolant>& a,
                    const std::function<void(int, const int32_t*)>& fn)
{
    uint32_t er[3];
    for (int i = 0; i < 3; i++)
        er[i] = static_cast<uint32_t>(t.edges[i].x_step) * static_cast<uint32_t>(t.min_x) +
                static_cast<uint32_t>(t.edges[i].y_step) * static_cast<uint32_t>(t.min_y) +
                static_cast<uint32_t>(t.edges[i].constant);
    std::vector<uint32_t> vr(a.size());
    for (size_t i = 0; i < a.size(); i++)
        vr[i] = static_cast<uint32_t>(a[i].start);
    std::vector<uint32_t> row_values;
    for (int y = t.min_y; y <= t.max_y; y++) {
        uint32_t e[3] = {er[0], er[1], er[2]};
        std::vector<uint32_t>& v = row_values;
        v = vr;
        int entered = 0;
        for (int x = t.min_x; x <= t.max_x; x++) {
            if (static_cast<int32_t>(e[0] | e[1] | e[2]) >= 0) {
                int32_t vi[16] = {};
                for (size_t i = 0; i < v.size() && i < 16; i++)
                    vi[i] = static_cast<int32_t>(v[i]);
                fn(y * 640 + x, vi);
                entered++;
            } else if (entered) {
                break;
            }
            for (int i = 0; i < 3; i++)
                e[i] += static_cast<uint32_t>(t.edges[i].x_step);
            for (size_t i = 0; i < v.size(); i++)
                v[i] += static_cast<uint32_t>(a[i].x_step);
        }
        for (int i = 0; i < 3; i++)
            er[i] += static_cast<uint32_t>(t.edges[i].y_step);
        for (size_t i = 0; i < v.size(); i++)
            vr[i] += static_cast<uint32_t>(a[i].y_step);
    }
}

// Expected frame for one triangle of `mode` over `pixels`/`depth` (modified).
void reference_draw(RasterTriangle t, uint32_t mode, const Texture& tx, uint32_t* pixels, int32_t* depth)
{
    if (setup_triangle(&t))
        return;
    std::vector<Interpolant> a;
    const bool has_depth = mode & FILL_DEPTH;
    const bool gouraud = mode & FILL_GOURAUD;
    const bool textured = mode & FILL_TEXTURE;
    float z[3], col[4][3], u[3], v[3];
    for (int k = 0; k < 3; k++) {
        z[k] = t.v[k].z * 16383.0f;
        for (int c = 0; c < 4; c++)
            col[c][k] = static_cast<float>((t.v[k].colour >> (8 * c)) & 0xFF);
        u[k] = t.v[k].u * static_cast<float>(tx.width);
        v[k] = t.v[k].v * static_cast<float>(tx.height);
    }
    if (has_depth)
        a.push_back(setup_interpolant(&t, z[0], z[1], z[2]));
    if (gouraud)
        for (int c = 0; c < 4; c++)
            a.push_back(setup_interpolant(&t, col[c][0], col[c][1], col[c][2]));
    if (textured) {
        a.push_back(setup_interpolant(&t, u[0], u[1], u[2]));
        a.push_back(setup_interpolant(&t, v[0], v[1], v[2]));
    }
    const int ci = has_depth ? 1 : 0, ti = ci + (gouraud ? 4 : 0);
    const uint32_t flat = t.flat_colour;
    reference_walk(t, a, [&](int i, const int32_t* val) {
        int32_t d = has_depth ? val[0] >> 11 : 0;
        uint32_t dst = pixels[i];
        uint32_t texel = 0;
        if (textured) {
            if (mode & FILL_BILINEAR)
                texel = ref_bilinear(tx, val[ti], val[ti + 1]);
            else
                texel = tx.pixels[(((val[ti + 1] >> 11) & tx.height_mask) << tx.width_log2) +
                                  ((val[ti] >> 11) & tx.width_mask)];
        }
        if (mode == 16) {
            double g = (d / 16383.0) * 255.0;
            int gi = g <= 0 ? 0 : g >= 255 ? 255 : static_cast<int>(g);
            pixels[i] = static_cast<uint32_t>(gi) * 0x01010101u;
            return;
        }
        if (has_depth && !(d < depth[i]))
            return;
        uint32_t out = 0;
        bool write_depth = has_depth && !(mode & (FILL_ADD | FILL_ALPHA));
        switch (mode) {
        case 1:
        case 17:
            out = flat;
            break;
        case 2:
        case 18:
            out = ref_clamped(val + ci);
            break;
        case 33:
            out = ref_add(dst, flat);
            break;
        case 34:
            out = ref_add(dst, ref_clamped(val + ci));
            break;
        case 65:
        case 81:
            out = ref_mul(dst, flat);
            break;
        case 4:
        case 20:
        case 148:
            out = texel;
            break;
        case 5:
        case 21:
            out = ref_mul(texel, flat);
            break;
        case 6:
            out = ref_mul(texel, ref_clamped(val + ci));
            break;
        case 22:
            out = ref_mul(texel, ref_unclamped(val + ci));
            break;
        case 36:
        case 52:
            out = ref_add(dst, texel);
            break;
        case 37:
        case 53:
            out = ref_add(dst, ref_mul(texel, flat));
            break;
        case 38:
            out = ref_add(dst, ref_mul(texel, ref_clamped(val + ci)));
            break;
        case 532:
            if (texel == 0xFFFF00FFu)
                return;
            out = texel;
            break;
        case 8196:
        case 8212:
            out = ref_alpha(texel, dst, flat);
            break;
        default:
            FAIL() << "no reference for mode " << mode;
        }
        if (write_depth)
            depth[i] = d;
        pixels[i] = out;
    });
}

RasterTriangle random_triangle(TestRandom& r, float spread, bool allow_back)
{
    float cx = r.range(-60.0f, 700.0f), cy = r.range(-60.0f, 540.0f);
    float size = r.range(0.5f, spread);
    RasterTriangle t{};
    for (int k = 0; k < 3; k++) {
        uint32_t colour = r.next();
        if (r.below(4) == 0)
            colour |= 0xFF000000u;
        t.v[k] = ScreenVertex{cx + r.range(-size, size),
                              cy + r.range(-size, size),
                              r.range(-1.0f, 1.0f),
                              1.0f,
                              colour,
                              r.range(-3.0f, 3.0f),
                              r.range(-3.0f, 3.0f),
                              0.0f,
                              0.0f};
    }
    t.flat_colour = r.next();
    t.flags = allow_back && r.below(2) ? RASTER_TWO_SIDED : 0u;
    return t;
}

class RasterWalk : public RasterFixture
{
};

TEST_F(RasterWalk, EveryModeMatchesTheLiteralWalkOnRandomTriangles)
{
    const uint32_t modes[] = {1,  2,  16, 17, 18, 33, 34, 65, 81,  4,   5,    6,
                              20, 21, 22, 36, 37, 38, 52, 53, 148, 532, 8196, 8212};
    TestTexture tex(6, 5);
    TestRandom r(7);
    for (auto& p : tex.pixels)
        p = r.below(8) == 0 ? 0xFFFF00FFu : r.next();
    for (uint32_t mode : modes) {
        TestRandom tr(1000 + mode);
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
        clear(0xFF000000u);
        for (int i = 0; i < 640 * 480; i++)
            surface_.pixels[i] = expect[i] = tr.next();
        for (int n = 0; n < 300; n++) {
            RasterTriangle t = random_triangle(tr, n < 150 ? 40.0f : 400.0f, true);
            RasterTriangle copy = t;
            reference_draw(t, mode, tex.t, expect.data(), expect_depth.data());
            draw_triangles(&copy, 1, &tex.t, mode);
        }
        int mismatches = 0;
        for (int i = 0; i < 640 * 480; i++)
            mismatches += surface_.pixels[i] != expect[i] ||
                          ((mode & FILL_DEPTH) && mode != 16 && depth_buffer->values[i] != expect_depth[i]);
        EXPECT_EQ(mismatches, 0) << "mode " << mode << " (" << fill_mode_name(mode) << ")";
        EXPECT_TRUE(guards_intact());
    }
}

TEST_F(RasterWalk, ThinAndSliverTrianglesMatchTheLiteralWalk)
{
    TestTexture tex(8, 8);
    for (int i = 0; i < 256 * 256; i++)
        tex.pixels[i] = static_cast<uint32_t>(i) * 2654435761u;
    TestRandom r(99);
    std::vector<uint32_t> expect(640 * 480, 0xFF000000u);
    std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
    for (int n = 0; n < 3000; n++) {
        RasterTriangle t{};
        float x0 = r.range(0, 640), y0 = r.range(0, 480);
        float dx = r.range(-300, 300), dy = r.range(-300, 300);
        float w = r.range(-2.0f, 2.0f);
        t.v[0] = sv(x0, y0, r.range(-1, 1), r.next(), r.range(0, 1), r.range(0, 1));
        t.v[1] = sv(x0 + dx, y0 + dy, r.range(-1, 1), r.next(), r.range(0, 1), r.range(0, 1));
        t.v[2] = sv(x0 + dx * r.range(0, 1) + w, y0 + dy * r.range(0, 1) - w, r.range(-1, 1), r.next());
        t.flags = RASTER_TWO_SIDED;
        uint32_t mode = n % 2 ? 20 : 18;
        RasterTriangle copy = t;
        reference_draw(t, mode, tex.t, expect.data(), expect_depth.data());
        draw_triangles(&copy, 1, &tex.t, mode);
    }
    EXPECT_EQ(frame(), expect);
}

} // namespace

namespace
{

// Perspective, bilinear-perspective and mip-mapped modes against the literal
// walk with their per-pixel rules written out again.
void reference_draw_special(RasterTriangle t, uint32_t mode, const Texture& tx, uint32_t* pixels,
                            int32_t* depth)
{
    const bool persp = mode & FILL_PERSPECTIVE;
    if (persp && !(t.v[0].z > 0 && t.v[1].z > 0 && t.v[2].z > 0))
        return;
    if (setup_triangle(&t))
        return;
    std::vector<Interpolant> a;
    const bool has_depth = mode & FILL_DEPTH;
    float z[3], p0[3], p1[3], p2[3];
    const float w = static_cast<float>(tx.width), h = static_cast<float>(tx.height);
    for (int k = 0; k < 3; k++) {
        z[k] = t.v[k].z * 16383.0f;
        if (persp) {
            float s = static_cast<float>(256.0 / static_cast<double>(t.v[k].z));
            p0[k] = w * t.v[k].u * s;
            p1[k] = s * (h * t.v[k].v);
            p2[k] = s;
        } else {
            p0[k] = t.v[k].u * w;
            p1[k] = t.v[k].v * h;
        }
    }
    if (has_depth)
        a.push_back(setup_interpolant(&t, z[0], z[1], z[2]));
    a.push_back(setup_interpolant(&t, p0[0], p0[1], p0[2]));
    a.push_back(setup_interpolant(&t, p1[0], p1[1], p1[2]));
    if (persp)
        a.push_back(setup_interpolant(&t, p2[0], p2[1], p2[2]));
    int level = 0, shift = 0, mask = 0;
    const uint32_t* lp = tx.pixels;
    if (mode & FILL_MIPMAP) {
        level = select_mip_level(&t);
        int count = tx.level_count > 0 ? tx.level_count : 1;
        if (level >= count)
            level = count - 1;
        int lg = std::min(tx.width_log2, tx.height_log2);
        level = std::min(level, lg);
        shift = lg - level;
        mask = (1 << shift) - 1;
        lp = level ? tx.levels[level] : tx.pixels;
    }
    const int ti = has_depth ? 1 : 0;
    reference_walk(t, a, [&](int i, const int32_t* val) {
        int32_t d = has_depth ? val[0] >> 11 : 0;
        if (has_depth && !(d < depth[i]))
            return;
        uint32_t texel;
        if (persp) {
            int32_t W = val[ti + 2];
            if (W == 0)
                return;
            if (mode & FILL_BILINEAR) {
                int32_t uf =
                    static_cast<int32_t>(static_cast<uint32_t>((static_cast<int64_t>(val[ti]) * 2048) / W));
                int32_t vf = static_cast<int32_t>(
                    static_cast<uint32_t>((static_cast<int64_t>(val[ti + 1]) * 2048) / W));
                texel = ref_bilinear(tx, uf, vf);
            } else {
                if (W == -1 && (val[ti] == INT32_MIN || val[ti + 1] == INT32_MIN))
                    return;
                texel = tx.pixels[(((val[ti + 1] / W) & tx.height_mask) << tx.width_log2) +
                                  ((val[ti] / W) & tx.width_mask)];
            }
        } else {
            int32_t tu = ((val[ti] >> 11) >> level) & mask, tv = ((val[ti + 1] >> 11) >> level) & mask;
            texel = lp[(tv << shift) + tu];
        }
        if (has_depth)
            depth[i] = d;
        pixels[i] = texel;
    });
}

TEST_F(RasterWalk, PerspectiveBilinearAndMipModesMatchTheLiteralWalk)
{
    Texture* tex = texture_create_mipmapped(64, 64);
    ASSERT_NE(tex, nullptr);
    TestRandom r(31);
    for (int i = 0; i < 64 * 64; i++)
        tex->pixels[i] = r.next();
    ASSERT_EQ(texture_build_mips(tex), 0);
    for (uint32_t mode : {8u, 24u, 152u, 260u, 276u}) {
        TestRandom tr(500 + mode);
        std::vector<uint32_t> expect(640 * 480, 0xFF000000u);
        std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
        clear(0xFF000000u);
        for (int n = 0; n < 300; n++) {
            RasterTriangle t = random_triangle(tr, n < 150 ? 50.0f : 300.0f, true);
            float scale = (mode & FILL_MIPMAP) ? tr.range(0.5f, 60.0f) : 1.0f;
            for (auto& v : t.v) {
                v.z = (mode & FILL_PERSPECTIVE) ? tr.range(0.02f, 1.0f) : v.z;
                v.u *= scale;
                v.v *= scale;
            }
            RasterTriangle copy = t;
            reference_draw_special(t, mode, *tex, expect.data(), expect_depth.data());
            draw_triangles(&copy, 1, tex, mode);
        }
        int mismatches = 0;
        for (int i = 0; i < 640 * 480; i++)
            mismatches += surface_.pixels[i] != expect[i] ||
                          ((mode & FILL_DEPTH) && depth_buffer->values[i] != expect_depth[i]);
        EXPECT_EQ(mismatches, 0) << "mode " << mode << " (" << fill_mode_name(mode) << ")";
        EXPECT_TRUE(guards_intact());
        int drawn = 0;
        for (uint32_t p : expect)
            drawn += p != 0xFF000000u;
        EXPECT_GT(drawn, 50000) << "mode " << mode;
    }
    texture_free(tex);
}

} // namespace

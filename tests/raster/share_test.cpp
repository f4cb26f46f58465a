// Drawing split between threads by rows: every mode draws a band of rows
// exactly as the whole walk draws those rows and touches nothing outside it,
// and a share drawn by two threads leaves the frame, the depth buffer and the
// slots as one thread leaves them, row work queued between its draws included.
#include "raster_fixture.h"

#include "image/ops2d.h"
#include "raster/raster_internal.h"

#include <algorithm>
#include <sys/mman.h>
#include <vector>

namespace
{

struct Textures {
    TestTexture texture{6, 6}, environment{6, 6}, bump{5, 6}, offset{8, 0};
    explicit Textures(uint32_t seed)
    {
        TestRandom r(seed);
        for (TestTexture* t : {&texture, &environment, &bump, &offset})
            for (uint32_t& p : t->pixels)
                p = r.next();
        // Colour-keyed texels, so that the key modes skip some pixels.
        for (size_t i = 0; i < texture.pixels.size(); i += 7)
            texture.pixels[i] = KEY_COLOUR;
    }
    void install()
    {
        set_environment_texture(&environment.t);
        set_bump_texture(&bump.t);
        set_offset_texture(&offset.t);
    }
};

// Triangles of every size, many of them crossing rows anywhere and ending at
// the frame's right edge (where a group of four runs into the next row).
std::vector<RasterTriangle> random_triangles(uint32_t seed, int count)
{
    TestRandom r(seed);
    std::vector<RasterTriangle> out;
    for (int i = 0; i < count; i++) {
        const float size = i % 3 == 0 ? 400.0f : i % 3 == 1 ? 60.0f : 8.0f;
        const float cx = r.range(-40.0f, 680.0f), cy = r.range(-40.0f, 520.0f);
        ScreenVertex v[3];
        for (ScreenVertex& s : v) {
            s = sv(cx + r.range(-size, size), cy + r.range(-size, size), r.range(-0.9f, 0.9f), r.next(),
                   r.range(-2.0f, 2.0f), r.range(-2.0f, 2.0f));
            s.u2 = r.range(-1.0f, 1.0f);
            s.v2 = r.range(-1.0f, 1.0f);
            s.rhw = r.range(0.2f, 2.0f);
        }
        if (i % 5 == 0)
            v[1].x = v[2].x = 639.5f; // spans that end in the last column
        out.push_back(tri(v[0], v[1], v[2], r.next() | 0x40404040u, RASTER_TWO_SIDED));
    }
    return out;
}

class RasterShare : public RasterFixture
{
  protected:
    void TearDown() override
    {
        raster_detail::band = {0, SCREEN_HEIGHT, 0, SCREEN_WIDTH * SCREEN_HEIGHT};
        raster_threads_stop();
        RasterFixture::TearDown();
    }
    void set_band(int32_t first, int32_t end)
    {
        raster_detail::band = {first, end, static_cast<std::ptrdiff_t>(first) * SCREEN_WIDTH,
                               static_cast<std::ptrdiff_t>(end) * SCREEN_WIDTH};
    }
    std::vector<int32_t> depths() const
    {
        return std::vector<int32_t>(depth_buffer->values,
                                    depth_buffer->values + SCREEN_WIDTH * SCREEN_HEIGHT);
    }
    void draw(std::vector<RasterTriangle> copies, const Texture* texture, FillMode mode)
    {
        draw_triangles(copies.data(), static_cast<int32_t>(copies.size()), texture, mode);
    }
};

// A frame and depth buffer in pages of their own whose rows outside a band
// can be made inaccessible: a band that starts or ends at a multiple of 8
// rows (8 rows of 2,560 bytes are 5 pages) starts or ends on a page.
struct GuardedFrame {
    static constexpr size_t kBytes = size_t{SCREEN_WIDTH} * SCREEN_HEIGHT * 4;
    uint32_t* pixels = nullptr;
    int32_t* values = nullptr;
    FrameSurface surface{};
    DepthBuffer depth{};
    GuardedFrame()
    {
        void* p = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        void* d = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        pixels = p == MAP_FAILED ? nullptr : static_cast<uint32_t*>(p);
        values = d == MAP_FAILED ? nullptr : static_cast<int32_t*>(d);
        surface = FrameSurface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels};
        depth = DepthBuffer{SCREEN_WIDTH, SCREEN_HEIGHT, values};
    }
    ~GuardedFrame()
    {
        if (pixels)
            munmap(pixels, kBytes);
        if (values)
            munmap(values, kBytes);
    }
    // Rows [first, end) accessible, every other row not (any access faults).
    void open_rows(int32_t first, int32_t end)
    {
        const size_t row = size_t{SCREEN_WIDTH} * 4;
        for (void* base : {static_cast<void*>(pixels), static_cast<void*>(values)}) {
            char* b = static_cast<char*>(base);
            mprotect(b, kBytes, PROT_NONE);
            mprotect(b + first * row, (end - first) * row, PROT_READ | PROT_WRITE);
        }
    }
};

TEST_F(RasterShare, EveryModeDrawsABandOfRowsAsTheWholeWalkDrawsThemAndTouchesNoOtherRow)
{
    Textures textures(11);
    textures.install();
    const std::vector<RasterTriangle> triangles = random_triangles(5, 90);
    GuardedFrame guarded;
    ASSERT_TRUE(guarded.pixels && guarded.values);
    FrameSurface* const fixture_screen = screen;
    DepthBuffer* const fixture_depth = depth_buffer;
    screen = &guarded.surface;
    depth_buffer = &guarded.depth;
    auto clear_all = [&] {
        guarded.open_rows(0, SCREEN_HEIGHT);
        std::fill(guarded.pixels, guarded.pixels + SCREEN_WIDTH * SCREEN_HEIGHT, 0xFF203040u);
        std::fill(guarded.values, guarded.values + SCREEN_WIDTH * SCREEN_HEIGHT, DEPTH_CLEAR);
    };
    auto snapshot = [&] {
        std::vector<uint32_t> out(guarded.pixels, guarded.pixels + SCREEN_WIDTH * SCREEN_HEIGHT);
        out.insert(out.end(), guarded.values, guarded.values + SCREEN_WIDTH * SCREEN_HEIGHT);
        return out;
    };
    for (FillMode mode : fill_modes) {
        SCOPED_TRACE(fill_mode_name(mode));
        clear_all();
        draw(triangles, &textures.texture.t, mode);
        const std::vector<uint32_t> whole = snapshot();
        for (int32_t split : {8, 176, 240, 472}) {
            SCOPED_TRACE(split);
            clear_all();
            // Each part with the other part's rows inaccessible: a read or a
            // write-back there would end the test with a fault.
            guarded.open_rows(0, split);
            set_band(0, split);
            draw(triangles, &textures.texture.t, mode);
            guarded.open_rows(split, SCREEN_HEIGHT);
            set_band(split, SCREEN_HEIGHT);
            draw(triangles, &textures.texture.t, mode);
            guarded.open_rows(0, SCREEN_HEIGHT);
            set_band(0, SCREEN_HEIGHT);
            EXPECT_TRUE(snapshot() == whole);
        }
    }
    guarded.open_rows(0, SCREEN_HEIGHT);
    screen = fixture_screen;
    depth_buffer = fixture_depth;
}

// The draws of a small scene: several modes, slots changed between draws.
void draw_sequence(const std::vector<RasterTriangle>& triangles, Textures& textures, TestTexture& other)
{
    auto draw = [&](size_t first, size_t count, const Texture* texture, FillMode mode) {
        std::vector<RasterTriangle> copies(triangles.begin() + static_cast<std::ptrdiff_t>(first),
                                           triangles.begin() + static_cast<std::ptrdiff_t>(first + count));
        draw_triangles(copies.data(), static_cast<int32_t>(copies.size()), texture, mode);
        // The caller may reuse its records at once: the queue holds copies.
        for (RasterTriangle& t : copies)
            t.v[0].x = t.v[1].x = t.v[2].x = 0.0f;
    };
    textures.install();
    draw(0, 60, &textures.texture.t, FILL_TEXTURE | FILL_GOURAUD | FILL_DEPTH);
    draw(60, 40, &textures.texture.t, FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_DOT3);
    set_environment_texture(&other.t);
    draw(100, 40, &textures.texture.t, FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_DOT3);
    draw(140, 30, &textures.texture.t, FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD);
    draw(170, 30, nullptr, FILL_GOURAUD | FILL_MULTIPLY);
    draw(200, triangles.size() - 200, &textures.texture.t, FILL_TEXTURE | FILL_DEPTH);
}

TEST_F(RasterShare, TwoThreadsDrawTheFrameOneThreadDraws)
{
    Textures textures(3);
    TestTexture other(7, 7);
    TestRandom r(9);
    for (uint32_t& p : other.pixels)
        p = r.next();
    // More records than the queue holds, so that a full queue is drawn midway.
    std::vector<RasterTriangle> triangles = random_triangles(21, 300);
    const std::vector<RasterTriangle> small = random_triangles(22, 40000);
    for (size_t i = 0; i < small.size(); i++) {
        RasterTriangle t = small[i];
        for (ScreenVertex& v : t.v) {
            v.x = t.v[0].x + (v.x - t.v[0].x) / 64.0f;
            v.y = t.v[0].y + (v.y - t.v[0].y) / 64.0f;
        }
        triangles.push_back(t);
    }

    clear(0xFF000000u);
    draw_sequence(triangles, textures, other);
    const std::vector<uint32_t> single = frame();
    const std::vector<int32_t> single_depth = depths();

    if (raster_threads_start(2) != 2)
        GTEST_SKIP() << "no second thread here";
    for (int round = 0; round < 3; round++) { // the split moves between shares
        clear(0xFF000000u);
        raster_share_begin();
        raster_share_begin(); // nested: only the outer pair counts
        draw_sequence(triangles, textures, other);
        raster_share_end();
        raster_share_end();
        EXPECT_TRUE(frame() == single);
        EXPECT_TRUE(depths() == single_depth);
        EXPECT_EQ(environment_texture, &other.t);
        EXPECT_EQ(bump_texture, &textures.bump.t);
        raster_share_frame_begin(); // a new frame: the splits start over
    }
    EXPECT_TRUE(guards_intact());
}

// Row work that depends on what lies under it and on its context, so that
// running it out of order with the draws, twice, on rows not asked for or
// with a context changed after queuing gives other bytes.
struct Mix {
    uint32_t add;
    int32_t turn;
};
void mix_rows(void* context, int32_t y0, int32_t y1)
{
    const Mix* m = static_cast<const Mix*>(context);
    for (int32_t y = y0; y < y1; y++) {
        uint32_t* row = screen_row(y);
        for (int32_t x = 0; x < SCREEN_WIDTH; x++)
            row[x] = (row[x] << m->turn | row[x] >> (32 - m->turn)) + m->add + static_cast<uint32_t>(x * y);
    }
}
struct BigMix {
    Mix mix;
    unsigned char more[RASTER_BAND_CONTEXT_MAX];
};
void big_mix_rows(void* context, int32_t y0, int32_t y1)
{
    mix_rows(&static_cast<BigMix*>(context)->mix, y0, y1);
}

void draw_with_row_work(const std::vector<RasterTriangle>& triangles, Textures& textures)
{
    auto draw = [&](size_t first, size_t count, const Texture* texture, FillMode mode) {
        std::vector<RasterTriangle> copies(triangles.begin() + static_cast<std::ptrdiff_t>(first),
                                           triangles.begin() + static_cast<std::ptrdiff_t>(first + count));
        draw_triangles(copies.data(), static_cast<int32_t>(copies.size()), texture, mode);
    };
    auto rows = [](uint32_t add, int32_t turn, int32_t y0, int32_t y1) {
        Mix m = {add, turn};
        raster_share_band(mix_rows, &m, sizeof m, y0, y1);
        m = {0xdeadbeefu, 13}; // the queue holds a copy
    };
    textures.install();
    draw(0, 100, &textures.texture.t, FILL_TEXTURE | FILL_GOURAUD | FILL_DEPTH);
    rows(7, 3, 30, 400);
    draw(100, 100, &textures.texture.t, FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD);
    rows(11, 5, -50, 700); // cut to the frame
    rows(1, 1, 300, 200);  // empty
    // More contexts than a share holds, one row each.
    for (uint32_t i = 0; i < 1500; i++)
        rows(i, 1 + static_cast<int32_t>(i % 30), static_cast<int32_t>(i * 7 % 480),
             static_cast<int32_t>(i * 7 % 480) + 1);
    draw(200, 100, nullptr, FILL_GOURAUD | FILL_MULTIPLY);
    BigMix big = {{5, 9}, {}}; // too large to queue: runs after what is queued
    raster_share_band(big_mix_rows, &big, sizeof big, 100, 200);
    draw(300, triangles.size() - 300, &textures.texture.t, FILL_TEXTURE | FILL_DEPTH);
    rows(3, 7, 0, 480);
}

TEST_F(RasterShare, RowWorkBetweenTheDrawsGivesTheFrameOneThreadDraws)
{
    Textures textures(5);
    const std::vector<RasterTriangle> triangles = random_triangles(31, 400);
    clear(0xFF000000u);
    draw_with_row_work(triangles, textures); // no helper: all at once
    const std::vector<uint32_t> single = frame();
    const std::vector<int32_t> single_depth = depths();

    if (raster_threads_start(2) != 2)
        GTEST_SKIP() << "no second thread here";
    for (int round = 0; round < 3; round++) {
        clear(0xFF000000u);
        raster_share_begin();
        draw_with_row_work(triangles, textures);
        raster_share_end();
        EXPECT_TRUE(frame() == single);
        EXPECT_TRUE(depths() == single_depth);
    }
    // Row work alone in a share, as a scene's background before its meshes.
    clear(0xFF000000u);
    const Mix m = {9, 4};
    mix_rows(const_cast<Mix*>(&m), 0, SCREEN_HEIGHT);
    const std::vector<uint32_t> alone = frame();
    clear(0xFF000000u);
    raster_share_begin();
    raster_share_band(mix_rows, &m, sizeof m, 0, SCREEN_HEIGHT);
    raster_share_end();
    EXPECT_TRUE(frame() == alone);
    EXPECT_TRUE(guards_intact());
}

TEST_F(RasterShare, AShareLeftOpenEndsWithTheRowAndWithTheHelper)
{
    if (raster_threads_start(2) != 2)
        GTEST_SKIP() << "no second thread here";
    const RasterTriangle t = tri(sv(10, 10), sv(300, 20), sv(40, 400), 0xFF00FF00u);
    RasterTriangle copy = t;
    raster_share_begin();
    draw_triangles(&copy, 1, nullptr, FILL_FLAT);
    raster_reset_state();
    EXPECT_EQ(px(50, 50), 0xFF00FF00u);

    copy = t;
    raster_share_begin();
    copy.flat_colour = 0xFFFF0000u;
    draw_triangles(&copy, 1, nullptr, FILL_FLAT);
    raster_threads_stop();
    EXPECT_EQ(px(50, 50), 0xFFFF0000u);
    EXPECT_EQ(raster_threads(), 1);
    // Without the helper a share draws at once.
    copy = t;
    copy.flat_colour = 0xFF0000FFu;
    raster_share_begin();
    draw_triangles(&copy, 1, nullptr, FILL_FLAT);
    EXPECT_EQ(px(50, 50), 0xFF0000FFu);
    raster_share_end();
}

// Band work that writes through a 2D operation, as the scenes' queued passes do.
void scanlines_band(void*, int32_t y0, int32_t y1)
{
    rgb_scanlines_band(y0, y1);
}

// The surface changes inside a share (which callers must not do): what was
// queued before still goes to the surface it was queued for, on both threads.
TEST_F(RasterShare, WorkQueuedBeforeTheSurfaceChangesGoesToTheSurfaceItWasQueuedFor)
{
    Textures textures(13);
    const std::vector<RasterTriangle> triangles = random_triangles(41, 240);
    std::vector<uint32_t> other_pixels(size_t{SCREEN_WIDTH} * SCREEN_HEIGHT);
    FrameSurface other = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, other_pixels.data()};
    DepthBuffer* other_depth = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    ASSERT_NE(other_depth, nullptr);
    auto run = [&] {
        clear(0xFF000000u);
        std::fill(other_pixels.begin(), other_pixels.end(), 0xFF102030u);
        depth_buffer_fill(other_depth, DEPTH_CLEAR);
        FrameSurface* const first = screen;
        DepthBuffer* const first_depth = depth_buffer;
        std::vector<RasterTriangle> copies = triangles;
        textures.install();
        raster_share_begin();
        draw_triangles(copies.data(), 120, &textures.texture.t, FILL_TEXTURE | FILL_GOURAUD | FILL_DEPTH);
        const Mix m = {5, 7};
        raster_share_band(mix_rows, &m, sizeof m, 20, 460);
        raster_share_band(scanlines_band, nullptr, 0, 100, 300);
        screen = &other;
        depth_buffer = other_depth;
        draw_triangles(copies.data() + 120, 120, &textures.texture.t, FILL_TEXTURE | FILL_DEPTH);
        raster_share_band(mix_rows, &m, sizeof m, 0, 480);
        raster_share_end();
        screen = first;
        depth_buffer = first_depth;
        std::vector<uint32_t> out = frame();
        out.insert(out.end(), other_pixels.begin(), other_pixels.end());
        out.insert(out.end(), depth_buffer->values, depth_buffer->values + SCREEN_WIDTH * SCREEN_HEIGHT);
        out.insert(out.end(), other_depth->values, other_depth->values + SCREEN_WIDTH * SCREEN_HEIGHT);
        return out;
    };
    const std::vector<uint32_t> single = run(); // no helper: all at once
    if (raster_threads_start(2) != 2) {
        depth_buffer_free(other_depth);
        GTEST_SKIP() << "no second thread here";
    }
    for (int round = 0; round < 3; round++)
        EXPECT_TRUE(run() == single);
    depth_buffer_free(other_depth);
    EXPECT_TRUE(guards_intact());
}

// A job split in two inside a share draws after what was queued before it,
// and the share (however deeply nested) goes on after it.
TEST_F(RasterShare, AJobSplitInTwoInsideAShareLeavesTheShareOpen)
{
    Textures textures(17);
    const std::vector<RasterTriangle> triangles = random_triangles(43, 200);
    auto run = [&](bool check_open) {
        clear(0xFF000000u);
        std::vector<RasterTriangle> copies = triangles;
        textures.install();
        raster_share_begin();
        raster_share_begin();
        draw_triangles(copies.data(), 100, &textures.texture.t, FILL_TEXTURE | FILL_GOURAUD | FILL_DEPTH);
        Mix m = {3, 11};
        raster_split_in_two(mix_rows, &m);
        if (check_open) {
            EXPECT_TRUE(raster_share_is_open());
        }
        draw_triangles(copies.data() + 100, 100, &textures.texture.t, FILL_FLAT | FILL_TEXTURE | FILL_ADD);
        raster_share_end();
        if (check_open) {
            EXPECT_TRUE(raster_share_is_open());
        }
        raster_split_in_two(mix_rows, &m);
        raster_share_end();
        EXPECT_FALSE(raster_share_is_open());
        return frame();
    };
    const std::vector<uint32_t> single = run(false);
    if (raster_threads_start(2) != 2)
        GTEST_SKIP() << "no second thread here";
    for (int round = 0; round < 3; round++)
        EXPECT_TRUE(run(true) == single);
    // A job on its own, the helper awake after a share, splits too.
    clear(0xFF000000u);
    raster_share_begin();
    raster_share_end();
    Mix m = {9, 2};
    raster_split_in_two(mix_rows, &m);
    const std::vector<uint32_t> split = frame();
    clear(0xFF000000u);
    mix_rows(&m, 0, SCREEN_HEIGHT);
    EXPECT_TRUE(frame() == split);
}

#if FRAME_CHECKS
// Writing the frame directly while a share is open would race the helper:
// debug and sanitizer builds stop with a message naming the operation.
TEST_F(RasterShare, AWriteToTheFrameWhileAShareIsOpenStops)
{
    if (raster_threads_start(2) != 2)
        GTEST_SKIP() << "no second thread here";
    raster_threads_stop();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            raster_threads_start(2);
            raster_share_begin();
            rgb_scanlines();
        },
        "rgb_scanlines.*wrote the frame while a drawing share was open");
    // Outside a share, and with the share ended, the same write is fine.
    raster_threads_start(2);
    raster_share_begin();
    raster_share_end();
    rgb_scanlines();
    EXPECT_EQ(px(0, 0), 0xFF000000u);
}
#endif

} // namespace

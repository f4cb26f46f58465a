// The walk's run of each row against the plain per-row division (and the
// stepping walk for boxes whose values leave 32 bits): set-up triangles of
// every size, and edge functions built to sit at the ends of the 32-bit range,
// with steps of 0, +-1 and INT32_MIN, in boxes of one row, one column and the
// whole screen.
#include "raster/raster_internal.h"
#include "raster_reference.h"

#include <string>

namespace
{

using raster_reference::Box;
using raster_reference::Run;

class WalkRows : public RasterFixture
{
};

// The runs raster_walk hands its span function, as box columns.
std::vector<Run> walked_runs(const Box& b)
{
    RasterTriangle t{};
    for (int i = 0; i < 3; i++) {
        t.edges[i].x_step = b.xs[i];
        t.edges[i].y_step = b.ys[i];
        t.edges[i].constant = b.c[i];
    }
    t.min_x = b.min_x;
    t.min_y = b.min_y;
    t.max_x = b.max_x;
    t.max_y = b.max_y;
    std::vector<Run> out;
    raster_walk<false, 0>(&t, nullptr, [&](uint32_t* p, int32_t*, int32_t count, const uint32_t*) {
        const int32_t offset = static_cast<int32_t>(p - screen->pixels);
        const int32_t y = offset / SCREEN_WIDTH, lo = offset % SCREEN_WIDTH - b.min_x;
        out.push_back(Run{y, lo, lo + count - 1});
    });
    return out;
}

std::string describe(const Box& b)
{
    std::string s = "box x " + std::to_string(b.min_x) + ".." + std::to_string(b.max_x) + " y " +
                    std::to_string(b.min_y) + ".." + std::to_string(b.max_y);
    for (int i = 0; i < 3; i++)
        s += " | " + std::to_string(b.xs[i]) + " " + std::to_string(b.ys[i]) + " " + std::to_string(b.c[i]);
    return s;
}

// Compares the two; reports the first differing row. Returns whether equal.
bool same_runs(const Box& b)
{
    const std::vector<Run> expect = raster_reference::runs_by_division(b), got = walked_runs(b);
    if (expect == got)
        return true;
    size_t i = 0;
    while (i < expect.size() && i < got.size() && expect[i] == got[i])
        i++;
    auto text = [](const std::vector<Run>& v, size_t i) {
        return i < v.size() ? "row " + std::to_string(v[i].y) + " " + std::to_string(v[i].lo) + ".." +
                                  std::to_string(v[i].hi)
                            : std::string("no more rows");
    };
    ADD_FAILURE() << describe(b) << ": expected " << text(expect, i) << ", walked " << text(got, i);
    return false;
}

int32_t random_step(TestRandom& r)
{
    switch (r.below(10)) {
    case 0:
        return 0;
    case 1:
        return r.below(2) ? 1 : -1;
    case 2:
        return r.below(4) ? static_cast<int32_t>(r.next()) >> 10 : INT32_MIN;
    case 3:
    case 4:
        return static_cast<int32_t>(r.next()) >> (10 + r.below(22));
    default:
        return static_cast<int32_t>(r.below(4096)) - 2048;
    }
}

Box random_box(TestRandom& r)
{
    Box b{};
    switch (r.below(8)) {
    case 0: // the whole screen
        b.max_x = SCREEN_WIDTH - 1;
        b.max_y = SCREEN_HEIGHT - 1;
        break;
    case 1:
    case 2: // one row or one column
        b.min_x = static_cast<int32_t>(r.below(SCREEN_WIDTH));
        b.min_y = static_cast<int32_t>(r.below(SCREEN_HEIGHT));
        b.max_x = r.below(2) ? b.min_x : SCREEN_WIDTH - 1;
        b.max_y = b.max_x == b.min_x ? SCREEN_HEIGHT - 1 : b.min_y;
        break;
    default:
        b.min_x = static_cast<int32_t>(r.below(SCREEN_WIDTH));
        b.min_y = static_cast<int32_t>(r.below(SCREEN_HEIGHT));
        b.max_x = b.min_x +
                  static_cast<int32_t>(r.below(static_cast<uint32_t>(std::min(40, SCREEN_WIDTH - b.min_x))));
        b.max_y = b.min_y +
                  static_cast<int32_t>(r.below(static_cast<uint32_t>(std::min(40, SCREEN_HEIGHT - b.min_y))));
        break;
    }
    return b;
}

// Edges with random steps whose constant puts the box's values just inside
// (or, now and then, just outside) the 32-bit range, or around zero; the
// walk must also agree with the four corners on which boxes fit 32 bits.
TEST_F(WalkRows, EdgesAtTheEndsOfTheRangeGiveThePlainRuns)
{
    TestRandom r(2027);
    int failures = 0, linear = 0, linear_runs = 0, runs = 0;
    for (int n = 0; n < 6000 && failures < 5; n++) {
        Box b = random_box(r);
        for (int i = 0; i < 3; i++) {
            b.xs[i] = random_step(r);
            b.ys[i] = random_step(r);
            int64_t low = INT64_MAX, high = INT64_MIN;
            for (int32_t x : {b.min_x, b.max_x})
                for (int32_t y : {b.min_y, b.max_y}) {
                    const int64_t v = int64_t{b.xs[i]} * x + int64_t{b.ys[i]} * y;
                    low = std::min(low, v);
                    high = std::max(high, v);
                }
            // The constants that keep every corner inside 32 bits.
            const int64_t c_min = int64_t{INT32_MIN} - low, c_max = int64_t{INT32_MAX} - high;
            int64_t c;
            switch (r.below(6)) {
            case 0:
                c = c_min + r.below(3) - (r.below(8) == 0);
                break;
            case 1:
                c = c_max - r.below(3) + (r.below(8) == 0);
                break;
            case 2:
                c = -(low + high) / 2 + static_cast<int32_t>(r.below(64)) - 32;
                break;
            default:
                c = c_min <= c_max
                        ? c_min + static_cast<int64_t>(r.next() % static_cast<uint64_t>(c_max - c_min + 1))
                        : int64_t{static_cast<int32_t>(r.next())};
                break;
            }
            b.c[i] = static_cast<int32_t>(std::clamp<int64_t>(c, INT32_MIN, INT32_MAX));
        }
        const bool fits = raster_reference::box_fits_plain(b);
        linear += fits;
        RasterTriangle t{};
        for (int i = 0; i < 3; i++)
            t.edges[i] = EdgeFunction{b.xs[i], b.ys[i], b.c[i], 0};
        t.min_x = b.min_x;
        t.min_y = b.min_y;
        t.max_x = b.max_x;
        t.max_y = b.max_y;
        if (raster_detail::box_is_linear(&t) != fits && failures++ < 5)
            ADD_FAILURE() << describe(b) << ": the walk takes it for " << (fits ? "stepped" : "linear");
        (fits ? linear_runs : runs) += static_cast<int>(raster_reference::runs_by_division(b).size());
        failures += !same_runs(b);
    }
    EXPECT_EQ(failures, 0);
    // The cases must reach both ways of finding a run, with runs to find.
    EXPECT_GT(linear, 3000);
    EXPECT_GT(linear_runs, 20000);
    EXPECT_GT(runs, 15000);
}

// Triangles through the real set-up: small and thin ones as the scenes draw
// them, large ones, and ones far off screen whose boxes leave 32 bits.
TEST_F(WalkRows, SetUpTrianglesGiveThePlainRuns)
{
    TestRandom r(77);
    int failures = 0, drawn = 0;
    for (int n = 0; n < 20000 && failures < 5; n++) {
        const float size = n % 20 == 0 ? r.range(1e3f, 4e6f)
                           : n % 2     ? r.range(0.2f, 6.0f)
                                       : r.range(4.0f, 200.0f);
        const float cx = r.range(-100.0f, 740.0f), cy = r.range(-100.0f, 580.0f);
        RasterTriangle t{};
        for (auto& v : t.v) {
            v.x = cx + r.range(-size, size);
            v.y = cy + r.range(-size, size);
        }
        t.flags = RASTER_TWO_SIDED;
        if (setup_triangle(&t))
            continue;
        drawn++;
        failures += !same_runs(raster_reference::box_of(t));
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(drawn, 10000);
}

} // namespace

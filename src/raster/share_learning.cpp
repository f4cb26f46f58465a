// Where a share splits the frame's rows between the caller and the helper:
// a guessed cost per row from the queued work, and the fraction of it the
// caller takes, corrected after each share by which thread finished last.
// The picture never depends on the split; only the time does.
#include "raster/share_internal.h"

#include <algorithm>

namespace
{
// Feedback on the caller's share of the work: how far one share's imbalance
// moves it, and its bounds.
constexpr float FRACTION_GAIN = 0.5f;
constexpr float FRACTION_MIN = 0.05f, FRACTION_MAX = 0.95f;
// A record's guessed cost: its box area in pixels, halved (a triangle fills
// about half its box), plus this much for its set-up.
constexpr float RECORD_COST = 64.0f;
// Guessed cost of a row of band work (raster_share_band), in a record's
// units: copying or blending a row costs far less per pixel than filling one.
constexpr float BAND_ROW_COST = static_cast<float>(SCREEN_WIDTH) / 4.0f;
// Shares of a frame's row with a split of their own (the later ones share the last).
enum { SHARE_SITES = 4 };
constexpr int32_t SPLIT_MIN = 16, SPLIT_MAX = SCREEN_HEIGHT - 16;

// The shares of a frame cover different parts of it (two scenes overlap at
// times), so the n-th share since the frame began keeps what it learnt
// apart: the guessed cost of the rows above each row last time (cumulative,
// from the records' boxes), and the fraction of that cost the caller takes.
// The cost moves slowly from frame to frame, the fraction takes up the
// caller's own work (it also prepares the draws) and how far the guess is off.
struct Learning {
    int32_t site = 0;
    float cumulative[SHARE_SITES][SCREEN_HEIGHT + 1] = {};
    float fraction[SHARE_SITES] = {0.5f, 0.5f, 0.5f, 0.5f};
    // This share's cost per row, as differences (row_cost[y] - row_cost[y - 1]).
    float row_cost[SCREEN_HEIGHT + 1] = {};
};
Learning learning;

// The row where the guessed cost above it reaches `fraction` of the whole;
// the middle before anything is known.
int32_t split_row(const float* cumulative, float fraction)
{
    const float total = cumulative[SCREEN_HEIGHT];
    int32_t row = SCREEN_HEIGHT / 2;
    if (total > 0.0f)
        row = static_cast<int32_t>(
            std::lower_bound(cumulative, cumulative + SCREEN_HEIGHT + 1, fraction * total) - cumulative);
    return row < SPLIT_MIN ? SPLIT_MIN : row > SPLIT_MAX ? SPLIT_MAX : row;
}
} // namespace

namespace raster_share
{

int32_t learning_open()
{
    std::fill(learning.row_cost, learning.row_cost + SCREEN_HEIGHT + 1, 0.0f);
    return split_row(learning.cumulative[learning.site], learning.fraction[learning.site]);
}

// Spread evenly over the rows the record's box covers.
void learning_add_record(const RasterTriangle& t)
{
    const float x0 = t.v[0].x, x1 = t.v[1].x, x2 = t.v[2].x;
    const float y0 = t.v[0].y, y1 = t.v[1].y, y2 = t.v[2].y;
    float left = std::min(x0, std::min(x1, x2)), right = std::max(x0, std::max(x1, x2));
    float top = std::min(y0, std::min(y1, y2)), bottom = std::max(y0, std::max(y1, y2));
    left = std::max(left, 0.0f);
    right = std::min(right, static_cast<float>(SCREEN_WIDTH));
    top = std::max(top, 0.0f);
    bottom = std::min(bottom, static_cast<float>(SCREEN_HEIGHT - 1));
    if (!(right >= left && bottom >= top)) // also not numbers
        return;
    const int32_t first = static_cast<int32_t>(top), last = static_cast<int32_t>(bottom);
    const float rows = static_cast<float>(last - first + 1);
    const float per_row = 0.5f * (right - left + 1.0f) + RECORD_COST / rows;
    learning.row_cost[first] += per_row;
    learning.row_cost[last + 1] -= per_row;
}

void learning_add_band(int32_t first, int32_t end)
{
    learning.row_cost[first] += BAND_ROW_COST;
    learning.row_cost[end] -= BAND_ROW_COST;
}

void learning_close(int64_t caller_span, int64_t helper_late)
{
    // Rows go to whichever thread finished first, in proportion to how long
    // the other went on.
    const int64_t span = caller_span + (helper_late > 0 ? helper_late : 0);
    float& f = learning.fraction[learning.site];
    if (span > 0)
        f += FRACTION_GAIN * static_cast<float>(static_cast<double>(helper_late) / static_cast<double>(span));
    f = f < FRACTION_MIN ? FRACTION_MIN : f > FRACTION_MAX ? FRACTION_MAX : f;
    float* cumulative = learning.cumulative[learning.site];
    float per_row = 0.0f, total = 0.0f;
    cumulative[0] = 0.0f;
    for (int32_t y = 0; y < SCREEN_HEIGHT; y++) {
        per_row += learning.row_cost[y];
        total += per_row > 0.0f ? per_row : 0.0f;
        cumulative[y + 1] = total;
    }
    if (learning.site < SHARE_SITES - 1)
        learning.site++;
}

void learning_frame_begin()
{
    learning.site = 0;
}

} // namespace raster_share

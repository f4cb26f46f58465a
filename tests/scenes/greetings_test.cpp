// Greetings wall: failed loads name their file and leave nothing behind, the
// soft bodies depend only on the music time (the same after any frame rate,
// after a jump and after the clock went back), a frame drawn from small test
// images, and the timing rules: steps, scroll, band envelope, lens beats.
#include "../overlays/overlay_fixture.h"

#include "scenes/greetings_parts.h"
#include "scenes/scenes.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

namespace
{

// A grey gradient as an RGB JPEG of w x h pixels.
bool write_grey_jpeg(const std::string& path, int w, int h)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < 3 * w; ++x)
            row[x] = static_cast<JSAMPLE>(64 + (x / 3 * 128) / w);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
    return true;
}

class GreetingsScene : public OverlayFrame
{
  protected:
    void write_data()
    {
        for (int i = 0; i < GREETING_COUNT; ++i)
            ASSERT_TRUE(write_png(logo_file(i), 6, 3, 0xffffffffu));
        ASSERT_TRUE(write_grey_jpeg(data_file("wall_big.jpg"), 900, 400));
        ASSERT_TRUE(write_png(data_file("band.png"), 100, 50, 0x80c0ffffu));
    }
    std::string logo_file(int i) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "greet_%02d.png", i);
        return data_file(name);
    }
    void TearDown() override
    {
        greetings_free();
        OverlayFrame::TearDown();
    }
    std::string load_failure()
    {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(greetings_load(), 1);
        return ::testing::internal::GetCapturedStderr();
    }
    void expect_nothing_left()
    {
        for (int i = 0; i < GREETING_COUNT; ++i)
            EXPECT_EQ(greetings_body(i), nullptr) << i;
        set_beat(232.5);
        draw_stages(nullptr, greetings_render);
        for (uint32_t p : pixels_)
            ASSERT_EQ(p, 0u);
    }
    // Every point of every body, for exact comparison.
    std::vector<SoftPoint> positions()
    {
        std::vector<SoftPoint> all;
        for (int i = 0; i < GREETING_COUNT; ++i) {
            const SoftBody* body = greetings_body(i);
            all.insert(all.end(), body->points, body->points + body->point_count);
        }
        return all;
    }
    // Frames k / fps from the scene's first beat up to beat `to`.
    void play(int fps, double to)
    {
        const int64_t first = static_cast<int64_t>(std::ceil(152.0 * fps));
        const int64_t last = static_cast<int64_t>(std::floor(to / 1.5 * fps));
        for (int64_t k = first; k <= last; ++k) {
            clock_set_time(static_cast<double>(k) / fps, 1.0 / fps);
            draw_stages(nullptr, greetings_render);
        }
    }
};

TEST_F(GreetingsScene, LoadFailsNamingAMissingLogoAndFreesTheOthers)
{
    write_data();
    std::filesystem::remove(logo_file(5));
    const std::string err = load_failure();
    EXPECT_NE(err.find(logo_file(5)), std::string::npos) << err;
    EXPECT_NE(err.find("No such file"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    expect_nothing_left();
}

TEST_F(GreetingsScene, LoadFailsNamingABrokenBandPictureOrAMissingWall)
{
    write_data();
    std::ofstream(data_file("band.png"), std::ios::binary) << "\x89PNG\r\n\x1a\nbroken";
    std::string err = load_failure();
    EXPECT_NE(err.find("greetings: cannot load " + data_file("band.png") + " (truncated PNG file)\n"),
              std::string::npos)
        << err;
    expect_nothing_left();

    write_data();
    std::filesystem::remove(data_file("wall_big.jpg"));
    err = load_failure();
    EXPECT_NE(err.find(data_file("wall_big.jpg")), std::string::npos) << err;
    expect_nothing_left();
}

TEST_F(GreetingsScene, ImagesThatAreNotFilesOrAreDamagedAreNamedWithTheReason)
{
    // Each line names the file and says why, never ": Success".
    write_data();
    std::filesystem::remove(data_file("band.png"));
    std::filesystem::create_directory(data_file("band.png"));
    std::string err = load_failure();
    EXPECT_NE(err.find("cannot load " + data_file("band.png") + " (a folder, not a file)\n"), std::string::npos)
        << err;
    expect_nothing_left();
    std::filesystem::remove(data_file("band.png"));

#ifndef _WIN32 // FIFOs and /dev/zero: Windows refuses devices by their own names (paths_win_test)
    write_data();
    std::filesystem::remove(logo_file(3));
    ASSERT_EQ(mkfifo(logo_file(3).c_str(), 0600), 0);
    err = load_failure();
    EXPECT_NE(err.find("cannot load " + logo_file(3) + " (not a regular file)\n"), std::string::npos) << err;
    expect_nothing_left();
    std::filesystem::remove(logo_file(3)); // writing the FIFO would wait for a reader

    write_data();
    std::filesystem::remove(data_file("wall_big.jpg"));
    std::filesystem::create_symlink("/dev/zero", data_file("wall_big.jpg"));
    err = load_failure();
    EXPECT_NE(err.find("cannot load " + data_file("wall_big.jpg") + " (not a regular file)\n"), std::string::npos)
        << err;
    expect_nothing_left();
    std::filesystem::remove(data_file("wall_big.jpg"));
#endif

    // A damaged image: the decoder's own words.
    write_data();
    std::string jpeg;
    {
        std::ifstream in(data_file("wall_big.jpg"), std::ios::binary);
        jpeg.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(jpeg.size(), 40u);
    jpeg[2] = 0x12; // the first marker after the start of the image
    std::ofstream(data_file("wall_big.jpg"), std::ios::binary) << jpeg;
    err = load_failure();
    EXPECT_NE(err.find("cannot load " + data_file("wall_big.jpg") + " (damaged JPEG data: "), std::string::npos)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    expect_nothing_left();
}

TEST_F(GreetingsScene, SoftBodiesDependOnlyOnTheMusicTime)
{
    write_data();
    // Beats 228 to 236.4: rows 0-5 appear, fall, are let go and are pulled left.
    const double to = 236.4;
    std::vector<SoftPoint> at[3];
    const int rates[3] = {30, 60, 240};
    for (int r = 0; r < 3; ++r) {
        ASSERT_EQ(greetings_load(), 0);
        play(rates[r], to);
        at[r] = positions();
        greetings_free();
    }
    ASSERT_EQ(at[0].size(), 16u * 18u);
    for (int r = 1; r < 3; ++r)
        EXPECT_EQ(std::memcmp(at[0].data(), at[r].data(), at[0].size() * sizeof(SoftPoint)), 0)
            << rates[r] << " frames a second";
    // The bodies did move: row 0 fell and was pulled left.
    EXPECT_LT(at[0][0].x, 300.0f);
    EXPECT_GT(at[0][17].y, 100.0f);

    // A first frame late in the scene catches up; a clock that goes back replays.
    ASSERT_EQ(greetings_load(), 0);
    clock_set_time(std::floor(to / 1.5 * 60.0) / 60.0, 1.0 / 60.0);
    draw_stages(nullptr, greetings_render);
    EXPECT_EQ(std::memcmp(positions().data(), at[1].data(), at[1].size() * sizeof(SoftPoint)), 0);
    set_beat(230.0);
    draw_stages(nullptr, greetings_render);
    play(60, to);
    EXPECT_EQ(std::memcmp(positions().data(), at[1].data(), at[1].size() * sizeof(SoftPoint)), 0);
}

TEST_F(GreetingsScene, DrawsTheWallInTheLetterboxAndTheLogos)
{
    write_data();
    ASSERT_EQ(greetings_load(), 0);
    set_beat(229.5); // no lens; row 0 pinned under a sideways pull
    draw_stages(nullptr, greetings_render);
    for (int y : {0, 39, 443, 479})
        for (int x = 0; x < SCREEN_WIDTH; ++x)
            ASSERT_EQ(pixel(x, y), 0u) << "row " << y;
    // The wall has scrolled 1.5 / 40 of its 260 extra columns: its gradient is
    // darkest on the left.
    EXPECT_LT(pixel(0, 400) & 0xffu, pixel(600, 400) & 0xffu);
    int white = 0;
    for (int y = 40; y < 100; ++y)
        for (int x = 300; x < 400; ++x)
            white += pixel(x, y) == 0xffffffffu;
    EXPECT_GT(white, 20);
}

TEST(GreetingsTiming, FixedStepsOfMusicTimeFromTheScenesStart)
{
    EXPECT_EQ(greetings_steps_due(0.0), 0);
    EXPECT_EQ(greetings_steps_due(151.99), 0);
    EXPECT_EQ(greetings_steps_due(152.0), 0);
    EXPECT_EQ(greetings_steps_due(152.0 + 1.0 / 60.0), 1);
    EXPECT_EQ(greetings_steps_due(152.0 + 1.0 / 60.0 - 1e-4), 0);
    EXPECT_EQ(greetings_steps_due(153.0), 60);
    EXPECT_EQ(greetings_steps_due(2.0 / 3.0 * 268.0), 1600);
    EXPECT_EQ(greetings_steps_due(1.0e9), 1600);
    for (int k = 0; k <= 1600; ++k)
        ASSERT_EQ(greetings_steps_due(static_cast<double>(9120 + k) / 60.0), k);
    EXPECT_EQ(greetings_step_beat(39), 0);
    EXPECT_EQ(greetings_step_beat(40), 1);
    EXPECT_EQ(greetings_step_beat(1600), 40);
    EXPECT_FLOAT_EQ(greetings_step_pull(1279), -92.0f); // beat 259.975
    EXPECT_FLOAT_EQ(greetings_step_pull(1280), -32.0f); // beat 260
}

TEST(GreetingsTiming, WallScrollsItsWholeWidthOverTheFortyBeats)
{
    EXPECT_EQ(greetings_scroll(228.0f, 2048), 0);
    EXPECT_EQ(greetings_scroll(248.0f, 2048), 704);
    EXPECT_EQ(greetings_scroll(267.99f, 2048), 1407);
    EXPECT_EQ(greetings_scroll(268.0f, 2048), 1408);
}

TEST(GreetingsTiming, BandFlickersUnderARisingThenFallingEnvelope)
{
    EXPECT_EQ(greetings_band_alpha(255, 255.9f, 0.9f), -1);
    EXPECT_EQ(greetings_band_alpha(264, 264.0f, 0.9f), -1);
    EXPECT_EQ(greetings_band_alpha(256, 256.0f, 0.9f), 0);
    EXPECT_EQ(greetings_band_alpha(258, 258.0f, 1.0f), 127);
    EXPECT_EQ(greetings_band_alpha(258, 258.0f, -1.0f), 0);
    EXPECT_EQ(greetings_band_alpha(258, 258.0f, 0.0f), 63);
    EXPECT_EQ(greetings_band_alpha(260, 260.0f, 1.0f), 255);
    EXPECT_EQ(greetings_band_alpha(262, 262.0f, 1.0f), 127);
    EXPECT_EQ(greetings_band_alpha(263, 263.99f, 1.0f), 0);
    for (float r = -1.0f; r < 1.0f; r += 0.01f)
        for (float b = 256.0f; b < 264.0f; b += 0.05f) {
            const int a = greetings_band_alpha(static_cast<int>(b), b, r);
            ASSERT_TRUE(a >= 0 && a <= 255) << b << " " << r;
        }
}

TEST(GreetingsTiming, LensesOnEveryFourthBeat)
{
    for (int n = 228; n < 268; ++n)
        EXPECT_EQ(greetings_lens_beat(n), n % 4 == 0 ? 1 : 0) << n;
}

} // namespace

// Tests of the data-set generator: the files it writes are read back through
// the program's own loaders (textures, LWO2 objects, meshes, motion files) and
// an MP3 decoder, and checked against what the scenes and overlays need.
// The set is generated once per build folder into <build>/datagen-test.
#include "image/texture.h"
#include "texture_ptr.h"
#include "lightwave/lightwave.h"
#include "scene/mesh.h"
#include "scene/mesh_load.h"
#include "scenes/greetings_parts.h"

#include <gtest/gtest.h>
#include <mpg123.h>
#include <sys/file.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const std::string GENERATOR = std::string(DUNRAVEL_BINARY_DIR) + "/tools/datagen/dunravel-datagen";

bool run_generator(const std::string& dir, const std::string& only)
{
    std::string cmd =
        "\"" + GENERATOR + "\"" + (only.empty() ? "" : " --only " + only) + " \"" + dir + "\" > /dev/null";
    return std::system(cmd.c_str()) == 0;
}

// The data set of this build, regenerated when the generator is newer. A lock
// file keeps parallel test processes from generating at the same time.
const std::string& data_dir()
{
    static const std::string dir = [] {
        std::string d = std::string(DUNRAVEL_BINARY_DIR) + "/datagen-test";
        std::string stamp = d + "/.generated";
        int lock =
            open((std::string(DUNRAVEL_BINARY_DIR) + "/datagen-test.lock").c_str(), O_CREAT | O_RDWR, 0644);
        if (lock >= 0)
            flock(lock, LOCK_EX);
        std::error_code ec;
        bool fresh =
            fs::exists(stamp, ec) && fs::last_write_time(stamp, ec) >= fs::last_write_time(GENERATOR, ec);
        if (!fresh) {
            fs::remove_all(d, ec);
            if (run_generator(d, ""))
                std::ofstream(stamp) << "ok\n";
        }
        if (lock >= 0) {
            flock(lock, LOCK_UN);
            close(lock);
        }
        return d;
    }();
    return dir;
}

std::string path_of(const std::string& name)
{
    return data_dir() + "/" + name;
}

TexturePtr load(const std::string& name)
{
    std::string p = path_of(name);
    if (name.find(".png") != std::string::npos)
        return TexturePtr(texture_load_png(p.c_str(), 0));
    return TexturePtr(texture_load_jpeg(p.c_str(), 0));
}

bool pow2(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

// The texture table's files in table order (rows 0 to 43).
const char* const TABLE[44] = {"EnviGolden.jpg",
                               "EnviBlue.jpg",
                               "invenv.jpg",
                               "invenv_blue.jpg",
                               "summer.jpg",
                               "corkscrew_sepia.jpg",
                               "corkscrew_blue.jpg",
                               "corkscrew_gray.jpg",
                               "particle2.jpg",
                               "circle_particle.jpg",
                               "hiphop.jpg",
                               "angel.jpg",
                               "angel_envmap.jpg",
                               "angel_sprite.png",
                               "twister_bg.jpg",
                               "stone_tiles_12_256x.jpg",
                               "scream.png",
                               "group_of_people.png",
                               "grace_filter.png",
                               "pointlight.png",
                               "corkscrew_grayDUDV.png",
                               "celltile.jpg",
                               "celltileDUDV.jpg",
                               "lightEnv128.jpg",
                               "skyDOT3.jpg",
                               "tunnel_color.jpg",
                               "corkscrew_grayDOT3.jpg",
                               "spec_map_bg.jpg",
                               "flares.jpg",
                               "ribbons_bg.png",
                               "poet_portrait.png",
                               "thinker_small.png",
                               "yo_man.png",
                               "puppets.png",
                               "collider_bg.jpg",
                               "singer_portrait.png",
                               "singer_portrait_2.png",
                               "musician_portrait.png",
                               "wagon.png",
                               "musician_head.png",
                               "hand_1.png",
                               "hand_2.png",
                               "hand_3.png",
                               "hand_4.png"};

// Rows the fill modes address with masks (environment maps, surface textures,
// sprites, offset and normal maps).
const int MASKED_ROWS[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  12, 13, 15, 18,
                           19, 20, 21, 22, 23, 24, 25, 26, 28, 40, 41, 42, 43};

TEST(DataSet, EveryTextureOfTheTableLoadsAndMaskedOnesArePowersOfTwo)
{
    std::map<std::string, TexturePtr> t;
    for (const char* name : TABLE) {
        t[name] = load(name);
        ASSERT_NE(t[name], nullptr) << name;
    }
    for (int row : MASKED_ROWS) {
        const Texture* x = t[TABLE[row]].get();
        EXPECT_TRUE(pow2(x->width) && pow2(x->height)) << TABLE[row] << " " << x->width << "x" << x->height;
    }
    // Textures combined on one mesh (3092, 4116, 5140) share 256 x 256, with their
    // environment maps and the generated offset ramp.
    for (int row : {2, 5, 6, 7, 15, 20, 24, 25, 26}) {
        EXPECT_EQ(t[TABLE[row]]->width, 256) << TABLE[row];
        EXPECT_EQ(t[TABLE[row]]->height, 256) << TABLE[row];
    }
    // Full-width pictures placed at (0, 40).
    for (int row : {10, 11, 14, 27, 29, 34}) {
        EXPECT_EQ(t[TABLE[row]]->width, 640) << TABLE[row];
        EXPECT_EQ(t[TABLE[row]]->height, 400) << TABLE[row];
    }
    // Overlay pictures sized for their positions.
    EXPECT_EQ(t["singer_portrait.png"]->width, 91);
    EXPECT_EQ(t["singer_portrait_2.png"]->width, 335);
    EXPECT_EQ(t["musician_portrait.png"]->width, 271);
    EXPECT_EQ(t["poet_portrait.png"]->width, 197);
    EXPECT_EQ(t["scream.png"]->width, 264);
    EXPECT_LE(t["musician_head.png"]->width, 640 - 449);
    for (int row = 40; row < 44; ++row) {
        EXPECT_LE(t[TABLE[row]]->width, 256);
        EXPECT_LE(t[TABLE[row]]->height, 256);
    }
}

TEST(DataSet, AngelSpriteBackgroundDecodesToTheKeyColourAndTheFigureDoesNot)
{
    TexturePtr s = load("angel_sprite.png");
    ASSERT_NE(s, nullptr);
    int key = 0, figure = 0;
    for (int i = 0; i < s->width * s->height; ++i)
        (s->pixels[i] == 0xFFFF00FFu ? key : figure)++;
    EXPECT_EQ(s->pixels[0], 0xFFFF00FFu);
    EXPECT_GT(key, s->width * s->height / 4);
    EXPECT_GT(figure, s->width * s->height / 8);
}

// Every data file named in the program's sources ("data\\name", numbered
// names with %02d for 0 to 15) is in the data set.
TEST(DataSet, EveryFileTheProgramNamesIsGenerated)
{
    const std::regex literal(R"re("data\\\\([A-Za-z0-9_%.]+\.(png|jpg|lwo|mo|mp3))")re");
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(std::string(DUNRAVEL_SOURCE_DIR) + "/src")) {
        if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h")
            continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        std::string body = text.str();
        for (std::sregex_iterator it(body.begin(), body.end(), literal), end; it != end; ++it) {
            std::string name = (*it)[1];
            if (name.find("%02d") == std::string::npos) {
                names.insert(name);
                continue;
            }
            for (int i = 0; i < 16; ++i) {
                char buf[96];
                std::snprintf(buf, sizeof buf, name.c_str(), i);
                names.insert(buf);
            }
        }
    }
    EXPECT_GE(names.size(), 60u); // the table, the overlays and the title at least
    for (const std::string& n : names)
        EXPECT_TRUE(fs::exists(path_of(n))) << n;
}

int count_alpha(const Texture* t, uint32_t lo, uint32_t hi)
{
    int n = 0;
    for (int i = 0; i < t->width * t->height; ++i) {
        uint32_t a = t->pixels[i] >> 24;
        n += a >= lo && a <= hi;
    }
    return n;
}

TEST(DataSet, PicturesBlendedOverTheScenesLetTheSceneShowThrough)
{
    for (const char* name :
         {"oldtv.png", "end_text.png", "ribbons_bg.png", "when_straight_isnt_good_enough.png", "god.png"}) {
        TexturePtr t = load(name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_GT(count_alpha(t.get(), 0, 8), t->width * t->height / 10) << name;
        EXPECT_GT(count_alpha(t.get(), 250, 255), 100) << name;
    }
    TexturePtr tv = load("oldtv.png"), end = load("end_text.png");
    EXPECT_EQ(tv->width, 640);
    EXPECT_EQ(tv->height, 480);
    EXPECT_EQ(end->width, 640);
    EXPECT_EQ(end->height, 480);
    // The middle of the television screen is clear.
    EXPECT_EQ(tv->pixels[240 * 640 + 280] >> 24, 0u);
}

TEST(DataSet, OverlayTextsAndSceneImagesHaveTheSizesTheirPositionsNeed)
{
    EXPECT_EQ(load("when_straight_isnt_good_enough.png")->width, 437);
    EXPECT_EQ(load("this_is_what_happens_when.png")->width, 350);
    EXPECT_EQ(load("your_gpu_is_on_parole.png")->width, 350);
    TexturePtr grain = load("grain.png");
    EXPECT_GE(grain->width, 256);
    EXPECT_GE(grain->height, 256);
    EXPECT_TRUE(pow2(grain->width) && pow2(grain->height));
    TexturePtr wall = load("wall_big.jpg");
    ASSERT_NE(wall, nullptr);
    EXPECT_GT(wall->width, 640);
    EXPECT_EQ(wall->height, 400);
    TexturePtr film = load("filmstrip.png");
    ASSERT_NE(film, nullptr);
    EXPECT_EQ(film->width % 3, 0);
    EXPECT_EQ(film->height % 5, 0);
    EXPECT_EQ(film->height / 5 * 3, 480); // three frames fill the screen height
    TexturePtr band = load("band.png");
    ASSERT_NE(band, nullptr);
    EXPECT_LE(72 + band->width, 640);
    EXPECT_LE(100 + band->height, 440);
    const char* phrases[] = {"i_spit_on_metaphysics.png",
                             "routine_retirement_of_a_replicant.png",
                             "revertant_colony_of_mutant_grub.png",
                             "mind_the_gap.png",
                             "dont_you_know_what.png",
                             "they_are_looking_for.png",
                             "what_for.png"};
    for (const char* p : phrases) {
        TexturePtr t = load(p);
        ASSERT_NE(t, nullptr) << p;
        EXPECT_LE(t->width, 640) << p;
        EXPECT_LE(t->height, 400) << p;
    }
}

TEST(DataSet, OffsetAndNormalMapsEncodeSmallOffsetsAndOutwardNormals)
{
    for (const char* name : {"corkscrew_grayDUDV.png", "celltileDUDV.jpg"}) {
        TexturePtr t = load(name);
        ASSERT_NE(t, nullptr);
        uint32_t max_offset = 0;
        for (int i = 0; i < t->width * t->height; ++i)
            max_offset = std::max({max_offset, (t->pixels[i] >> 16) & 255u, (t->pixels[i] >> 8) & 255u});
        EXPECT_LE(max_offset, 40u) << name; // never wraps around the environment map
        EXPECT_GT(max_offset, 12u) << name; // but does shift it
    }
    for (const char* name : {"corkscrew_grayDOT3.jpg", "skyDOT3.jpg"}) {
        TexturePtr t = load(name);
        ASSERT_NE(t, nullptr);
        double blue = 0, red = 0;
        for (int i = 0; i < t->width * t->height; ++i) {
            blue += t->pixels[i] & 255u;
            red += (t->pixels[i] >> 16) & 255u;
        }
        blue /= t->width * t->height;
        red /= t->width * t->height;
        EXPECT_GT(blue, 200) << name; // normals point out of the surface
        EXPECT_NEAR(red, 127.5, 12) << name;
    }
}

// The water draws without a second coordinate set, so its environment texel
// is the one the offset map's red and green name: the pair must land on a
// patch of invenv.jpg that reads as sunlit water (cool, mostly dark, a little
// glitter), which lies outside the sphere-map disc so sphere-mapped lookups
// shifted by the same offsets never see it.
TEST(DataSet, WaterOffsetsLookUpAGlitterPatchOutsideTheEnvironmentDisc)
{
    TexturePtr dudv = load("corkscrew_grayDUDV.png"), env = load("invenv.jpg");
    ASSERT_NE(dudv, nullptr);
    ASSERT_NE(env, nullptr);
    ASSERT_EQ(env->width, 256);
    uint32_t min_r = 255, max_r = 0, min_g = 255, max_g = 0;
    int texels = dudv->width * dudv->height, bright = 0, dark = 0, cool = 0;
    double sum = 0;
    for (int i = 0; i < texels; ++i) {
        const uint32_t r = (dudv->pixels[i] >> 16) & 255u, g = (dudv->pixels[i] >> 8) & 255u;
        ASSERT_LT(r, 32u) << i;
        ASSERT_LT(g, 32u) << i;
        min_r = std::min(min_r, r);
        max_r = std::max(max_r, r);
        min_g = std::min(min_g, g);
        max_g = std::max(max_g, g);
        const uint32_t e = env->pixels[g * 256 + r];
        const uint32_t er = (e >> 16) & 255u, eg = (e >> 8) & 255u, eb = e & 255u;
        const uint32_t top = std::max({er, eg, eb});
        bright += top > 200;
        dark += top < 40;
        cool += eb > er;
        sum += (er + eg + eb) / 3.0;
    }
    EXPECT_GE(max_r - min_r, 12u); // the lookups spread over the patch
    EXPECT_GE(max_g - min_g, 12u);
    EXPECT_GT(bright, texels / 200); // glitter
    EXPECT_LT(bright, texels / 10);
    EXPECT_GT(dark, texels / 10); // the water's own colour shows between
    EXPECT_GT(cool, texels / 2);
    EXPECT_GT(sum / texels, 20.0);
    EXPECT_LT(sum / texels, 90.0);
    // The patch's far corner is outside the disc of radius 128 round (128, 128).
    EXPECT_GT(2.0 * (128.0 - 31.5) * (128.0 - 31.5), 128.0 * 128.0);
}

// ribbons_bg.png is blended by alpha after the loader premultiplied it, so
// alpha counts twice: the sky stays opaque down to the water's far edge
// (screen row 322 at y = 40, image row 282), fades out within a dozen rows,
// and its colours in the fade are divided by alpha so the loaded texels hold
// the sky's colour times alpha wherever that fits.
TEST(DataSet, SkyOverTheWaterFadesShortlyBelowTheHorizonWithoutDarkening)
{
    TexturePtr sky = load("ribbons_bg.png");
    ASSERT_NE(sky, nullptr);
    ASSERT_EQ(sky->width, 640);
    ASSERT_EQ(sky->height, 400);
    for (int x = 0; x < 640; x += 7) {
        int first_partial = -1, last_partial = -1;
        for (int y = 0; y < 400; ++y) {
            const uint32_t a = sky->pixels[y * 640 + x] >> 24;
            if (y < 282) {
                ASSERT_EQ(a, 255u) << x << "," << y;
            }
            if (y >= 300) {
                ASSERT_EQ(a, 0u) << x << "," << y;
            }
            if (a > 0 && a < 255) {
                if (first_partial < 0)
                    first_partial = y;
                last_partial = y;
            }
        }
        ASSERT_GE(first_partial, 0) << x; // a soft edge, not a cut
        EXPECT_LE(last_partial - first_partial, 14) << x;
        const uint32_t above = sky->pixels[(first_partial - 1) * 640 + x];
        for (int y = first_partial; y <= last_partial; ++y) {
            const uint32_t p = sky->pixels[y * 640 + x], a = p >> 24;
            for (int shift : {16, 8, 0}) {
                const uint32_t wanted = std::min(a, ((above >> shift) & 255u) * a / 255u);
                EXPECT_GE(((p >> shift) & 255u) + 8u, wanted) << x << "," << y << " channel " << shift;
            }
        }
    }
}

TEST(DataSet, GreetingLogosAreWhiteTextOnOpaqueBlack)
{
    for (int i = 0; i < 16; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "greet_%02d.png", i);
        TexturePtr t = load(name);
        ASSERT_NE(t, nullptr) << name;
        int white = 0;
        for (int k = 0; k < t->width * t->height; ++k) {
            uint32_t p = t->pixels[k];
            ASSERT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << name;
            white += p == 0xFFFFFFFFu;
        }
        EXPECT_GT(white, 40) << name;
        EXPECT_LT(white, 1200) << name;
    }
}

TEST(DataSet, EveryGreetingLogoFitsTheScreenFromItsRow)
{
    // Four screen pixels per image pixel from the row's (x, y), plus the two
    // pixels of the outline: inside the screen's width and above the floor.
    for (int i = 0; i < GREETING_COUNT; ++i) {
        const GreetingRow& row = greeting_rows[i];
        const std::string name = std::string(row.file).substr(5); // after "data\\"
        TexturePtr t = load(name.c_str());
        ASSERT_NE(t, nullptr) << name;
        EXPECT_LE(row.x + 4.0f * static_cast<float>(t->width) + 2.0f, 640.0f)
            << name << " is " << t->width << " wide";
        EXPECT_LE(row.y + 4.0f * static_cast<float>(t->height) + 2.0f, 440.0f) << name;
    }
}

struct ObjectDeleter {
    void operator()(ObjectLayer* o) const { object_free(o); }
};
using ObjectPtr = std::unique_ptr<ObjectLayer, ObjectDeleter>;

int layer_count(const ObjectLayer* o)
{
    int n = 0;
    for (; o; o = o->next)
        ++n;
    return n;
}

TEST(DataSet, TitleLogosAreExtrudedLettersWithTheTopInTheUpperHalfOfTheVertexList)
{
    const std::pair<const char*, int> logos[] = {{"tolvenari.lwo", 9}, {"coproduction.lwo", 7},
                                                 {"vs.lwo", 2},        {"dunravel.lwo", 8},
                                                 {"presents.lwo", 8},  {"event.lwo", 11}};
    for (const auto& [name, letters] : logos) {
        ObjectPtr obj(object_load(path_of(name).c_str()));
        ASSERT_NE(obj, nullptr) << name;
        EXPECT_EQ(layer_count(obj.get()), letters) << name;
        for (const ObjectLayer* l = obj.get(); l; l = l->next) {
            ASSERT_NE(l->points, nullptr);
            int n = l->points->count;
            ASSERT_EQ(n % 2, 0) << name;
            float height = l->points->positions[n / 2].y - l->points->positions[0].y;
            EXPECT_GT(height, 0.1f) << name;
            for (int i = 0; i < n / 2; ++i) {
                const Vec3 &b = l->points->positions[i], &t = l->points->positions[i + n / 2];
                ASSERT_EQ(b.x, t.x);
                ASSERT_EQ(b.z, t.z);
                ASSERT_EQ(b.y, 0.0f);
                ASSERT_EQ(t.y, height);
            }
            // Letters lie within the title camera's view.
            EXPECT_GE(l->bbox_min.x, -3.0f);
            EXPECT_LE(l->bbox_max.x, 3.0f);
            EXPECT_LE(l->bbox_max.z - l->bbox_min.z, 1.0f);
        }
        Mesh** meshes = nullptr;
        int32_t count = 0;
        ASSERT_EQ(mesh_load_layers(path_of(name).c_str(), &meshes, &count), 0) << name;
        EXPECT_EQ(count, letters);
        for (int i = 0; i < count; ++i)
            mesh_free(meshes[i]);
        std::free(meshes);
    }
}

// A closed, consistently wound solid: every directed edge is met once in
// each direction, and the signed volume (sum of a . (b x c) / 6) is positive
// when the plane normals point outwards.
void expect_outward_solid(const Mesh* m, const std::string& name)
{
    std::map<std::pair<int, int>, int> directed;
    double volume = 0;
    for (int i = 0; i < m->triangle_count; ++i) {
        const MeshTriangle& t = m->triangles[i];
        int v[3] = {t.a, t.b, t.c};
        for (int k = 0; k < 3; ++k)
            directed[{v[k], v[(k + 1) % 3]}]++;
        const MeshVertex &a = m->vertices[t.a], &b = m->vertices[t.b], &c = m->vertices[t.c];
        volume +=
            (a.x * (b.y * c.z - b.z * c.y) + a.y * (b.z * c.x - b.x * c.z) + a.z * (b.x * c.y - b.y * c.x)) /
            6.0;
    }
    int unmatched = 0;
    for (const auto& [edge, n] : directed) {
        auto back = directed.find({edge.second, edge.first});
        unmatched += n != 1 || back == directed.end() || back->second != 1;
    }
    EXPECT_EQ(unmatched, 0) << name;
    EXPECT_GT(volume, 0.0) << name;
}

TEST(DataSet, ExtrudedLettersAreClosedSolidsFacingOutwards)
{
    for (const char* name : {"tolvenari.lwo", "coproduction.lwo", "vs.lwo", "dunravel.lwo", "presents.lwo",
                             "event.lwo", "end.lwo"}) {
        Mesh** meshes = nullptr;
        int32_t count = 0;
        ASSERT_EQ(mesh_load_layers(path_of(name).c_str(), &meshes, &count), 0) << name;
        for (int i = 0; i < count; ++i) {
            if (std::string(name) != "end.lwo" || i != 1) // the end title's ring is a flat band
                expect_outward_solid(meshes[i], std::string(name) + " layer " + std::to_string(i));
            mesh_free(meshes[i]);
        }
        std::free(meshes);
    }
}

// Every edge of a closed mesh is shared by exactly two triangles, and every
// triangle's plane normal points away from the centre (star-shaped solids).
void expect_closed_and_outward(const Mesh* m, const char* name)
{
    std::map<std::pair<int, int>, int> edges;
    int inward = 0;
    for (int i = 0; i < m->triangle_count; ++i) {
        const MeshTriangle& t = m->triangles[i];
        int v[3] = {t.a, t.b, t.c};
        for (int k = 0; k < 3; ++k)
            edges[{std::min(v[k], v[(k + 1) % 3]), std::max(v[k], v[(k + 1) % 3])}]++;
        const MeshVertex &a = m->vertices[t.a], &b = m->vertices[t.b], &c = m->vertices[t.c];
        float cx = (a.x + b.x + c.x) / 3, cy = (a.y + b.y + c.y) / 3, cz = (a.z + b.z + c.z) / 3;
        inward += t.nx * cx + t.ny * cy + t.nz * cz < 0;
    }
    EXPECT_EQ(inward, 0) << name;
    int open = 0;
    for (const auto& e : edges)
        open += e.second != 2;
    EXPECT_EQ(open, 0) << name;
}

TEST(DataSet, SphereIsASmoothClosedUnitSphereWithSharedVertices)
{
    Mesh* m = mesh_load(path_of("sphere.lwo").c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_GE(m->vertex_count, 1000);
    EXPECT_LE(m->vertex_count, 2500);
    for (int i = 0; i < m->vertex_count; ++i) {
        const MeshVertex& v = m->vertices[i];
        ASSERT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 1.0f, 1e-4f);
    }
    expect_closed_and_outward(m, "sphere.lwo");
    mesh_free(m);
}

TEST(DataSet, SpikeballIsAClosedSpikedBallInsideTheLatticeBox)
{
    Mesh* m = mesh_load(path_of("spikeball.lwo").c_str());
    ASSERT_NE(m, nullptr);
    float rmin = 1e9f, rmax = 0;
    for (int i = 0; i < m->vertex_count; ++i) {
        const MeshVertex& v = m->vertices[i];
        EXPECT_LE(std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}), 9.0f);
        float r = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        rmin = std::min(rmin, r);
        rmax = std::max(rmax, r);
    }
    EXPECT_GT(rmax, rmin * 1.5f); // spikes
    // The camera at 12 units with the ball 5 units closer stays outside it,
    // even with the scene's bulge of 1.75.
    EXPECT_LT(rmax + 1.75f, 7.0f);
    expect_closed_and_outward(m, "spikeball.lwo");
    mesh_free(m);
}

TEST(DataSet, LayeredObjectsTerrainAndVisualiserLoadAsMeshes)
{
    for (const char* name : {"grid.lwo", "end.lwo"}) {
        Mesh** meshes = nullptr;
        int32_t count = 0;
        ASSERT_EQ(mesh_load_layers(path_of(name).c_str(), &meshes, &count), 0) << name;
        EXPECT_EQ(count, 4) << name;
        for (int i = 0; i < count; ++i)
            mesh_free(meshes[i]);
        std::free(meshes);
    }
    for (const char* name : {"terrain.lwo", "visualize.lwo"}) {
        Mesh* m = mesh_load(path_of(name).c_str());
        ASSERT_NE(m, nullptr) << name;
        EXPECT_GT(m->vertex_count, 1000) << name;
        int up = 0;
        for (int i = 0; i < m->triangle_count; ++i)
            up += m->triangles[i].ny > 0;
        EXPECT_EQ(up, m->triangle_count) << name; // seen from above
        // Surfaces carry colours.
        EXPECT_NE(m->triangles[0].colour & 0xFFFFFF, 0u) << name;
        mesh_free(m);
    }
}

// The end scene shows its title 10 units from the camera (fov 45, letterbox
// 400 of 480 rows) with layers 2 and 3 moved up and down by 3.5 closing to
// 2.5. Both lines stay inside the letterbox and clear of the title, and end
// between the title and the closing card's rule (row 135) and credits (row 340).
TEST(DataSet, EndTitleLinesStayInsideTheLetterboxAndClearOfTheTitle)
{
    Mesh** meshes = nullptr;
    int32_t count = 0;
    ASSERT_EQ(mesh_load_layers(path_of("end.lwo").c_str(), &meshes, &count), 0);
    ASSERT_GE(count, 4);
    struct Box {
        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    } box[4];
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < meshes[i]->vertex_count; ++k) {
            const MeshVertex& v = meshes[i]->vertices[k];
            box[i].x0 = std::min(box[i].x0, v.x), box[i].x1 = std::max(box[i].x1, v.x);
            box[i].y0 = std::min(box[i].y0, v.y), box[i].y1 = std::max(box[i].y1, v.y);
        }
    const float half_height = 10.0f * std::tan(22.5f * 3.1415927f / 180.0f); // whole frame, 240 rows
    const float letterbox = half_height * 200.0f / 240.0f;
    auto row = [&](float y) { return 240.0f - y / half_height * 240.0f; };
    EXPECT_LT(box[0].x1, half_height * 4.0f / 3.0f * 0.9f); // the title fits the width
    for (float h : {3.5f, 2.5f}) {
        EXPECT_LT(box[2].y1 + h, letterbox * 0.95f) << h;
        EXPECT_GT(box[3].y0 - h, -letterbox * 0.95f) << h;
        EXPECT_GT(box[2].y0 + h, box[0].y1 + 0.5f) << h;
        EXPECT_LT(box[3].y1 - h, box[0].y0 - 0.5f) << h;
    }
    EXPECT_GT(row(box[2].y1 + 2.5f), 140.0f);
    EXPECT_LT(row(box[3].y0 - 2.5f), 336.0f);
    for (int i = 0; i < count; ++i)
        mesh_free(meshes[i]);
    std::free(meshes);
}

TEST(DataSet, PipeMotionHasThreeChannelsThatMoveFromTimeZeroAwayFromTheOrigin)
{
    MotionEnvelope** env = nullptr;
    int32_t count = 0;
    ASSERT_EQ(motion_load(path_of("spikeball_pipe.mo").c_str(), &env, &count), 0);
    ASSERT_EQ(count, 3);
    float start[3], travelled = 0, prev[3];
    for (int c = 0; c < 3; ++c) {
        ASSERT_NE(env[c]->keys, nullptr);
        EXPECT_EQ(env[c]->keys->time, 0.0f);
        start[c] = prev[c] = envelope_evaluate(env[c], 0);
    }
    EXPECT_GT(std::sqrt(start[0] * start[0] + start[1] * start[1] + start[2] * start[2]), 1.0f);
    for (float t = 0.25f; t <= 20.0f; t += 0.25f) {
        float d2 = 0;
        for (int c = 0; c < 3; ++c) {
            float v = envelope_evaluate(env[c], t);
            d2 += (v - prev[c]) * (v - prev[c]);
            prev[c] = v;
        }
        EXPECT_GT(d2, 1e-4f) << "stands still at " << t;
        travelled += std::sqrt(d2);
    }
    EXPECT_GT(travelled, 40.0f);
    motion_free_all(env, count);
}

// Decodes the whole track to 16-bit stereo.
bool decode_mp3(const std::string& path, long* rate, int* channels, std::vector<short>* pcm)
{
    mpg123_init();
    int err = 0;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h)
        return false;
    bool ok = mpg123_open(h, path.c_str()) == MPG123_OK;
    int enc = 0;
    ok = ok && mpg123_getformat(h, rate, channels, &enc) == MPG123_OK;
    if (ok) {
        mpg123_format_none(h);
        mpg123_format(h, *rate, *channels, MPG123_ENC_SIGNED_16);
        std::vector<unsigned char> buf(1 << 16);
        size_t got = 0;
        for (;;) {
            int r = mpg123_read(h, buf.data(), buf.size(), &got);
            const short* s = reinterpret_cast<const short*>(buf.data());
            pcm->insert(pcm->end(), s, s + got / 2);
            if (r == MPG123_DONE)
                break;
            if (r != MPG123_OK && r != MPG123_NEW_FORMAT) {
                ok = false;
                break;
            }
        }
    }
    mpg123_close(h);
    mpg123_delete(h);
    return ok;
}

TEST(DataSet, MusicIsLongEnoughStereoAt44100WithAKickOnEveryBeatAt90Bpm)
{
    long rate = 0;
    int channels = 0;
    std::vector<short> pcm;
    ASSERT_TRUE(decode_mp3(path_of("dunravel.mp3"), &rate, &channels, &pcm));
    ASSERT_EQ(rate, 44100);
    ASSERT_EQ(channels, 2);
    double seconds = static_cast<double>(pcm.size()) / 2 / 44100;
    EXPECT_GE(seconds, 276.0);
    // Low band (two one-pole low-passes at about 110 Hz) of the mono mix.
    std::vector<float> low(pcm.size() / 2);
    float a = 1 - std::exp(-2 * 3.14159265f * 110 / 44100), l1 = 0, l2 = 0;
    for (size_t i = 0; i < low.size(); ++i) {
        float x = (pcm[2 * i] + pcm[2 * i + 1]) * 0.5f;
        l1 += a * (x - l1);
        l2 += a * (l1 - l2);
        low[i] = l2 * l2;
    }
    // Energy in the first tenth of each beat against the tenth before the
    // next beat: the kick makes the first much louder, at 90 BPM only.
    auto hits = [&](double bpm) {
        int n = 0;
        for (int beat = 0; beat < 410; ++beat) {
            double t = beat * 60.0 / bpm;
            size_t s0 = static_cast<size_t>(t * 44100),
                   len = static_cast<size_t>(0.1 * 60.0 / bpm * 44100 * 1.0);
            size_t e0 = static_cast<size_t>((t + 0.85 * 60.0 / bpm) * 44100);
            if (e0 + len >= low.size())
                break;
            double on = 0, off = 0;
            for (size_t k = 0; k < len; ++k) {
                on += low[s0 + k];
                off += low[e0 + k];
            }
            n += on > 3 * off;
        }
        return n;
    };
    EXPECT_GE(hits(90.0), 390);
    EXPECT_LT(hits(84.0), 300);
    EXPECT_LT(hits(96.0), 300);
}

bool same_bytes(const std::string& a, const std::string& b)
{
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> da((std::istreambuf_iterator<char>(fa)), {}),
        db((std::istreambuf_iterator<char>(fb)), {});
    return !da.empty() && da == db;
}

TEST(DataSet, TwoRunsWriteByteIdenticalFiles)
{
    const std::string& first = data_dir();
    std::string second = std::string(DUNRAVEL_BINARY_DIR) + "/datagen-test-again";
    std::error_code ec;
    fs::remove_all(second, ec);
    // One file of each family, the music included.
    for (const char* name : {"EnviGolden.jpg", "poet_portrait.png", "oldtv.png", "greet_07.png", "end.lwo",
                             "spikeball_pipe.mo", "dunravel.mp3"}) {
        ASSERT_TRUE(run_generator(second, name)) << name;
        EXPECT_TRUE(same_bytes(first + "/" + name, second + "/" + name)) << name;
    }
    fs::remove_all(second, ec);
}

} // namespace

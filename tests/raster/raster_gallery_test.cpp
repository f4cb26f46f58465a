// Renders a few meshes through the whole pipeline (camera, transform, clipped
// drawing) in several fill modes and writes them as PNG files into the build
// folder (raster_gallery_*.png) for a person to look at.
#include "raster_fixture.h"

#include "scene/mesh.h"

#include <cmath>

namespace
{

Mesh* torus(int seg, int ring, float big, float small)
{
    Mesh* m = mesh_create(seg * ring, seg * ring * 2);
    for (int i = 0; i < seg; i++)
        for (int j = 0; j < ring; j++) {
            float a = 6.2831853f * i / seg, b = 6.2831853f * j / ring;
            MeshVertex& v = m->vertices[i * ring + j];
            v.x = (big + small * std::cos(b)) * std::cos(a);
            v.y = (big + small * std::cos(b)) * std::sin(a);
            v.z = small * std::sin(b);
            v.u = static_cast<float>(i) / seg * 4.0f;
            v.v = static_cast<float>(j) / ring;
            uint32_t r = static_cast<uint32_t>(128 + 127 * std::cos(a)),
                     g = static_cast<uint32_t>(128 + 127 * std::sin(b));
            v.colour = 0xFF000000u | r << 16 | g << 8 | 0x60u;
        }
    int t = 0;
    for (int i = 0; i < seg; i++)
        for (int j = 0; j < ring; j++) {
            int a = i * ring + j, b = ((i + 1) % seg) * ring + j, c = ((i + 1) % seg) * ring + (j + 1) % ring,
                d = i * ring + (j + 1) % ring;
            uint32_t col = 0xFF000000u | ((i * 37 + j * 11) & 0xFF) << 8 | 0x80u << 16;
            m->triangles[t++] = MeshTriangle{a, b, c, 0, 0, 0, 0, 0, 0, 0, col, col, 1, 0};
            m->triangles[t++] = MeshTriangle{a, c, d, 0, 0, 0, 0, 0, 0, 0, col, col, 1, 0};
        }
    mesh_compute_normals(m);
    return m;
}

Mesh* floor_quad(float size, float y, float repeat)
{
    Mesh* m = mesh_create(4, 2);
    const float xs[4] = {-size, size, size, -size}, zs[4] = {-size, -size, size, size};
    const float us[4] = {0, repeat, repeat, 0}, vs[4] = {0, 0, repeat, repeat};
    for (int i = 0; i < 4; i++) {
        m->vertices[i].x = xs[i];
        m->vertices[i].y = y;
        m->vertices[i].z = zs[i];
        m->vertices[i].u = us[i];
        m->vertices[i].v = vs[i];
        m->vertices[i].colour = 0xFFFFFFFFu;
    }
    m->triangles[0] = MeshTriangle{0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0};
    m->triangles[1] = MeshTriangle{0, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0};
    m->flags = MESH_TWO_SIDED;
    return m;
}

class RasterGallery : public RasterFixture
{
  protected:
    void SetUp() override
    {
        RasterFixture::SetUp();
        camera_ = Camera{};
        camera_.eye = Vec3{0, -60, -200}; // the look-at views the target from the mirrored side
        camera_.target = Vec3{0, 0, 0};
        camera_.near = 10;
        camera_.far = 512;
        camera_.fov = 90;
        camera_.viewport_width = 640;
        camera_.viewport_height = 480;
        camera_update(&camera_);
        set_depth_clip(camera_.near, camera_.far);
        set_clip_window(0, 0, 640, 480);
        for (int v = 0; v < 64; v++)
            for (int u = 0; u < 64; u++)
                checker_.at(u, v) = ((u / 8 + v / 8) % 2) ? 0xFFE0C040u : 0xFF203070u;
        for (int v = 0; v < 64; v++)
            for (int u = 0; u < 64; u++) {
                uint32_t a =
                    static_cast<uint32_t>(std::max(0.0, 255.0 - 8.0 * std::hypot(u - 32.0, v - 32.0)));
                glow_.at(u, v) = a << 24 | a << 16 | (a * 3 / 4) << 8 | a / 3;
            }
    }
    void draw(Mesh* mesh, float ry, float rx, float dx, FillMode mode,
              uint32_t clip = CLIP_NEAR | CLIP_WINDOW)
    {
        Matrix rot, move;
        matrix_rotation_yxz(&rot, ry, rx, 0.0f);
        matrix_translation(&move, dx, 0, 0);
        matrix_multiply(&rot, &move, &mesh->model);
        mesh_transform_view(mesh, &camera_, TRANSFORM_NORMALS | TRANSFORM_PLANES);
        draw_mesh(mesh, &camera_, mode, clip);
    }
    int lit_pixels()
    {
        int n = 0;
        for (uint32_t p : frame())
            n += (p & 0xFFFFFFu) != 0;
        return n;
    }
    Camera camera_{};
    TestTexture checker_{6, 6};
    TestTexture glow_{6, 6};
};

TEST_F(RasterGallery, TexturedGouraudAndFlatToriOverAPerspectiveFloor)
{
    // Perspective-correct floor: the perspective modes need z/w > 0, so the
    // floor starts well beyond the near plane.
    Mesh* ground = floor_quad(300, -70, 6);
    for (int i = 0; i < 4; i++)
        ground->vertices[i].z -= 300.0f;
    ground->texture = &checker_.t;
    draw(ground, 0.0f, 0, 0, FILL_PERSPECTIVE | FILL_DEPTH);
    Mesh* a = torus(40, 20, 45, 18);
    a->texture = &checker_.t;
    draw(a, 0.3f, 1.0f, -110, FILL_TEXTURE | FILL_DEPTH);
    Mesh* b = torus(32, 16, 40, 16);
    draw(b, 1.2f, 0.3f, 0, FILL_GOURAUD | FILL_DEPTH);
    Mesh* c = torus(24, 12, 40, 16);
    draw(c, 0.5f, 2.0f, 110, FILL_FLAT | FILL_DEPTH);
    EXPECT_GT(lit_pixels(), 40000);
    EXPECT_TRUE(
        write_frame_png(std::string(DUNRAVEL_BINARY_DIR) + "/raster_gallery_solid.png", surface_.pixels));
    EXPECT_TRUE(guards_intact());
    mesh_free(ground);
    mesh_free(a);
    mesh_free(b);
    mesh_free(c);
}

TEST_F(RasterGallery, BlendedModesAndTheNearPlaneCuttingAMesh)
{
    clear(0xFF101828u);
    Mesh* back = torus(40, 20, 60, 20);
    back->texture = &checker_.t;
    draw(back, 0.0f, 0.4f, 0, 22); // texture x unclamped vertex colour
    Mesh* glow = torus(30, 12, 70, 30);
    glow->texture = &glow_.t;
    glow->flags = MESH_TWO_SIDED;
    draw(glow, 0.9f, 1.3f, -60, FILL_ADD | FILL_DEPTH | FILL_TEXTURE | FILL_FLAT);
    Mesh* alpha = torus(30, 12, 50, 20);
    alpha->texture = &glow_.t;
    for (int i = 0; i < alpha->triangle_count; i++)
        alpha->triangles[i].lit_colour = 0xFFFFFFFFu;
    draw(alpha, 0.2f, 0.2f, 130, FILL_ALPHA | FILL_TEXTURE);
    // A big torus around the camera: cut by the near plane and the window.
    camera_.eye = Vec3{0, 0, 30};
    camera_update(&camera_);
    Mesh* around = torus(48, 16, 35, 8);
    around->texture = &checker_.t;
    around->flags = MESH_TWO_SIDED;
    draw(around, 0.0f, 1.5707964f, 0, FILL_TEXTURE | FILL_DEPTH | FILL_FLAT);
    EXPECT_GT(lit_pixels(), 100000);
    EXPECT_TRUE(
        write_frame_png(std::string(DUNRAVEL_BINARY_DIR) + "/raster_gallery_blend.png", surface_.pixels));
    EXPECT_TRUE(guards_intact());
    mesh_free(back);
    mesh_free(glow);
    mesh_free(alpha);
    mesh_free(around);
}

TEST_F(RasterGallery, DepthGreyOfAScene)
{
    Mesh* a = torus(40, 20, 60, 25);
    draw(a, 0.3f, 0.9f, 0, FILL_FLAT | FILL_DEPTH);
    clear(0xFF000000u);
    draw(a, 0.3f, 0.9f, 0, FILL_DEPTH);
    EXPECT_GT(lit_pixels(), 10000);
    EXPECT_TRUE(
        write_frame_png(std::string(DUNRAVEL_BINARY_DIR) + "/raster_gallery_depth.png", surface_.pixels));
    mesh_free(a);
}

} // namespace

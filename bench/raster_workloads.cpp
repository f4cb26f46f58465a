// Fixed triangle workloads W0-W6 drawn through draw_triangles, timed per frame
// (median of the timed frames after warm-up), with the image checksum and the
// number of fragments written; --mesh instead times mesh_transform plus
// draw_mesh_clipped of a 2,000-triangle mesh; --peer also runs the same
// triangles through Mesa's llvmpipe (OSMesa, loaded at run time where it is
// installed, one rasterizer thread). Relies on raster/ and scene/.
#include "core/frame.h"
#include "image/texture.h"
#include "raster/raster.h"
#include "scene/mesh.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace
{

struct Lcg {
    uint32_t s;
    uint32_t next() { return s = s * 1664525u + 1013904223u; }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(next()) * n) >> 32); }
};

struct WVertex {
    uint32_t x, y, z, argb, u, v;
};
struct WTriangle {
    WVertex p[3];
};

int64_t cross(const WTriangle& t)
{
    int64_t x0 = t.p[0].x, y0 = t.p[0].y, x1 = t.p[1].x, y1 = t.p[1].y, x2 = t.p[2].x, y2 = t.p[2].y;
    return (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
}

std::vector<WTriangle> random_triangles(uint32_t seed, int count, uint32_t half_box_px)
{
    Lcg r{seed};
    const uint32_t R = half_box_px * 32;
    std::vector<WTriangle> out;
    for (int i = 0; i < count; i++) {
        WTriangle t{};
        uint32_t cx = R + r.below(20480 - 2 * R + 1);
        uint32_t cy = R + r.below(15360 - 2 * R + 1);
        for (auto& p : t.p) {
            p.x = cx - R + r.below(2 * R + 1);
            p.y = cy - R + r.below(2 * R + 1);
        }
        for (auto& p : t.p)
            p.z = r.below(1u << 24);
        for (auto& p : t.p)
            p.argb = 0xFF000000u | r.below(1u << 24);
        uint32_t ub = r.below(8192), vb = r.below(8192);
        for (auto& p : t.p) {
            p.u = ub + r.below(2 * R + 1);
            p.v = vb + r.below(2 * R + 1);
        }
        if (cross(t) < 0)
            std::swap(t.p[1], t.p[2]);
        out.push_back(t);
    }
    return out;
}

std::vector<WTriangle> layers()
{
    Lcg r{6};
    std::vector<WTriangle> out;
    for (uint32_t k = 0; k < 10; k++) {
        uint32_t ou = r.below(256), ov = r.below(256);
        auto corner = [&](uint32_t X, uint32_t Y) {
            WVertex v{};
            v.x = 32 * X;
            v.y = 32 * Y;
            v.z = ((10 - k) << 20) + (X ? 1u << 18 : 0) + (Y ? 1u << 18 : 0);
            v.u = 32 * (X + ou);
            v.v = 32 * (Y + ov);
            v.argb = 0xFFFFFFFFu;
            return v;
        };
        WVertex tl = corner(0, 0), tr = corner(640, 0), br = corner(640, 480), bl = corner(0, 480);
        out.push_back(WTriangle{{tl, tr, br}});
        out.push_back(WTriangle{{tl, br, bl}});
    }
    return out;
}

uint32_t fnv_words(const uint32_t* w, size_t n)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++)
        h = (h ^ w[i]) * 16777619u;
    return h;
}

uint32_t tri_hash(const std::vector<WTriangle>& tris)
{
    std::vector<uint32_t> words;
    for (const auto& t : tris)
        for (const auto& p : t.p)
            words.insert(words.end(), {p.x, p.y, p.z, p.argb, p.u, p.v});
    return fnv_words(words.data(), words.size());
}

std::vector<RasterTriangle> to_raster(const std::vector<WTriangle>& tris)
{
    std::vector<RasterTriangle> out;
    for (const auto& t : tris) {
        RasterTriangle r{};
        for (int k = 0; k < 3; k++) {
            const WVertex& p = t.p[k];
            r.v[k] = ScreenVertex{static_cast<float>(p.x) / 32.0f,
                                  static_cast<float>(p.y) / 32.0f,
                                  static_cast<float>(p.z) / 16777216.0f,
                                  1.0f,
                                  p.argb,
                                  static_cast<float>(p.u) / 32.0f / 256.0f,
                                  static_cast<float>(p.v) / 32.0f / 256.0f,
                                  0.0f,
                                  0.0f};
        }
        r.flat_colour = t.p[0].argb;
        r.flags = 0;
        out.push_back(r);
    }
    return out;
}

struct Workload {
    const char* name;
    std::vector<WTriangle> triangles;
    FillMode mode;
    uint32_t expected_hash;
};

void clear_frame()
{
    std::fill(screen->pixels, screen->pixels + 640 * 480, 0xFF000000u);
    depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
}

// Fragments written in one frame: depth values that changed (depth modes) or
// pixels covered (modes without depth), triangle by triangle inside each box.
long count_written(std::vector<RasterTriangle> tris, const Texture* tex, FillMode mode)
{
    clear_frame();
    long written = 0;
    std::vector<int32_t> before;
    for (auto& t : tris) {
        RasterTriangle probe = t;
        if (setup_triangle(&probe)) {
            continue;
        }
        const bool depth = mode & FILL_DEPTH;
        before.clear();
        for (int y = probe.min_y; y <= probe.max_y; y++)
            for (int x = probe.min_x; x <= probe.max_x; x++) {
                if (depth) {
                    before.push_back(depth_buffer->values[y * 640 + x]);
                } else {
                    before.push_back(static_cast<int32_t>(screen->pixels[y * 640 + x]));
                    screen->pixels[y * 640 + x] = 0u;
                }
            }
        if (depth) {
            draw_triangles(&t, 1, tex, mode);
        } else {
            RasterTriangle w = t;
            w.flat_colour = 0xFFFFFFFFu;
            draw_triangles(&w, 1, nullptr, FILL_FLAT);
        }
        size_t i = 0;
        for (int y = probe.min_y; y <= probe.max_y; y++)
            for (int x = probe.min_x; x <= probe.max_x; x++, i++) {
                if (depth) {
                    written += depth_buffer->values[y * 640 + x] != before[i];
                } else {
                    written += screen->pixels[y * 640 + x] == 0xFFFFFFFFu;
                    screen->pixels[y * 640 + x] = static_cast<uint32_t>(before[i]);
                }
            }
        if (!depth)
            draw_triangles(&t, 1, tex, mode);
    }
    return written;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Wall-clock time, or with --cpu the thread's CPU time (steadier on a busy machine).
bool use_cpu_time = false;

double now_ms()
{
    if (use_cpu_time) {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
    }
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// ---- The peer: the same frames through OSMesa's llvmpipe -----------------------
// The few OpenGL 1.1 names the peer uses (no GL headers needed to build).
typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef unsigned int GLbitfield;
typedef float GLfloat;
typedef double GLdouble;
typedef unsigned char GLboolean;
enum : GLenum {
    GL_UNSIGNED_BYTE = 0x1401,
    GL_FLOAT = 0x1406,
    GL_TRIANGLES = 0x0004,
    GL_PROJECTION = 0x1701,
    GL_MODELVIEW = 0x1700,
    GL_DEPTH_TEST = 0x0B71,
    GL_BLEND = 0x0BE2,
    GL_ONE = 1,
    GL_LESS = 0x0201,
    GL_TEXTURE_2D = 0x0DE1,
    GL_RGBA8 = 0x8058,
    GL_BGRA = 0x80E1,
    GL_TEXTURE_MIN_FILTER = 0x2801,
    GL_TEXTURE_MAG_FILTER = 0x2800,
    GL_TEXTURE_WRAP_S = 0x2802,
    GL_TEXTURE_WRAP_T = 0x2803,
    GL_NEAREST = 0x2600,
    GL_REPEAT = 0x2901,
    GL_TEXTURE_ENV = 0x2300,
    GL_TEXTURE_ENV_MODE = 0x2200,
    GL_REPLACE = 0x1E01,
    GL_SMOOTH = 0x1D01,
    GL_VERTEX_ARRAY = 0x8074,
    GL_COLOR_ARRAY = 0x8076,
    GL_TEXTURE_COORD_ARRAY = 0x8078,
};
enum : GLbitfield { GL_COLOR_BUFFER_BIT = 0x4000, GL_DEPTH_BUFFER_BIT = 0x0100 };
struct Peer {
    void* lib = nullptr;
    void* context = nullptr;
    void* (*create)(GLenum, GLint, GLint, GLint, void*) = nullptr;
    GLboolean (*make_current)(void*, void*, GLenum, GLsizei, GLsizei) = nullptr;
    void (*pixel_store)(GLint, GLint) = nullptr;
    void (*destroy)(void*) = nullptr;
    void* (*proc)(const char*) = nullptr;
#define PEER_GL(ret, name, args) ret(*name) args = nullptr;
#define PEER_GL_LIST(X)                                                                                      \
    X(void, Viewport, (GLint, GLint, GLsizei, GLsizei))                                                      \
    X(void, MatrixMode, (GLenum))                                                                            \
    X(void, LoadIdentity, ())                                                                                \
    X(void, Ortho, (GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble))                             \
    X(void, Enable, (GLenum))                                                                                \
    X(void, Disable, (GLenum))                                                                               \
    X(void, DepthFunc, (GLenum))                                                                             \
    X(void, BlendFunc, (GLenum, GLenum))                                                                     \
    X(void, ClearColor, (GLfloat, GLfloat, GLfloat, GLfloat))                                                \
    X(void, ClearDepth, (GLdouble))                                                                          \
    X(void, Clear, (GLbitfield))                                                                             \
    X(void, Finish, ())                                                                                      \
    X(void, GenTextures, (GLsizei, GLuint*))                                                                 \
    X(void, BindTexture, (GLenum, GLuint))                                                                   \
    X(void, TexImage2D, (GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))        \
    X(void, TexParameteri, (GLenum, GLenum, GLint))                                                          \
    X(void, TexEnvi, (GLenum, GLenum, GLint))                                                                \
    X(void, EnableClientState, (GLenum))                                                                     \
    X(void, VertexPointer, (GLint, GLenum, GLsizei, const void*))                                            \
    X(void, ColorPointer, (GLint, GLenum, GLsizei, const void*))                                             \
    X(void, TexCoordPointer, (GLint, GLenum, GLsizei, const void*))                                          \
    X(void, DrawArrays, (GLenum, GLint, GLsizei))                                                            \
    X(void, ShadeModel, (GLenum))
    PEER_GL_LIST(PEER_GL)

    bool open(uint32_t* pixels, const uint32_t* texels)
    {
        setenv("LP_NUM_THREADS", "0", 1);
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        lib = dlopen("libOSMesa.so.8", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return false;
        create = reinterpret_cast<decltype(create)>(dlsym(lib, "OSMesaCreateContextExt"));
        make_current = reinterpret_cast<decltype(make_current)>(dlsym(lib, "OSMesaMakeCurrent"));
        pixel_store = reinterpret_cast<decltype(pixel_store)>(dlsym(lib, "OSMesaPixelStore"));
        destroy = reinterpret_cast<decltype(destroy)>(dlsym(lib, "OSMesaDestroyContext"));
        proc = reinterpret_cast<decltype(proc)>(dlsym(lib, "OSMesaGetProcAddress"));
        if (!create || !make_current || !pixel_store || !destroy || !proc)
            return false;
        context = create(0x1 /* OSMESA_BGRA */, 24, 0, 0, nullptr);
        if (!context || !make_current(context, pixels, GL_UNSIGNED_BYTE, 640, 480))
            return false;
        pixel_store(0x11 /* OSMESA_Y_UP */, 0);
#define PEER_GL_LOAD(ret, name, args)                                                                        \
    name = reinterpret_cast<decltype(name)>(proc("gl" #name));                                               \
    if (!name)                                                                                               \
        return false;
        PEER_GL_LIST(PEER_GL_LOAD)
        Viewport(0, 0, 640, 480);
        MatrixMode(GL_PROJECTION);
        LoadIdentity();
        // x, y in pixels with row 0 at the top; eye z = depth maps to window z = depth.
        Ortho(0.0, 640.0, 480.0, 0.0, 0.0, -1.0);
        MatrixMode(GL_MODELVIEW);
        LoadIdentity();
        GLuint name = 0;
        GenTextures(1, &name);
        BindTexture(GL_TEXTURE_2D, name);
        TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels);
        TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        ShadeModel(GL_SMOOTH);
        EnableClientState(GL_VERTEX_ARRAY);
        EnableClientState(GL_COLOR_ARRAY);
        EnableClientState(GL_TEXTURE_COORD_ARRAY);
        ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        ClearDepth(1.0);
        DepthFunc(GL_LESS);
        return true;
    }
    void close()
    {
        if (context)
            destroy(context);
        context = nullptr;
    }
};

struct PeerVertex {
    float x, y, z, u, v;
    uint8_t rgba[4];
};

// Median ms per frame of the workload through the peer; the frame stays in `pixels`.
double peer_run(Peer& gl, const std::vector<WTriangle>& tris, FillMode mode, int frames)
{
    std::vector<PeerVertex> v;
    for (const auto& t : tris)
        for (const auto& p : t.p) {
            uint32_t c = (mode & FILL_FLAT) ? t.p[0].argb : p.argb;
            v.push_back(PeerVertex{static_cast<float>(p.x) / 32.0f,
                                   static_cast<float>(p.y) / 32.0f,
                                   static_cast<float>(p.z) / 16777216.0f,
                                   static_cast<float>(p.u) / 32.0f / 256.0f,
                                   static_cast<float>(p.v) / 32.0f / 256.0f,
                                   {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                                    static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 24)}});
        }
    if (!v.empty()) {
        gl.VertexPointer(3, GL_FLOAT, sizeof(PeerVertex), &v[0].x);
        gl.TexCoordPointer(2, GL_FLOAT, sizeof(PeerVertex), &v[0].u);
        gl.ColorPointer(4, GL_UNSIGNED_BYTE, sizeof(PeerVertex), v[0].rgba);
    }
    if (mode & FILL_DEPTH)
        gl.Enable(GL_DEPTH_TEST);
    else
        gl.Disable(GL_DEPTH_TEST);
    if (mode & FILL_TEXTURE)
        gl.Enable(GL_TEXTURE_2D);
    else
        gl.Disable(GL_TEXTURE_2D);
    if (mode & FILL_ADD) {
        gl.Enable(GL_BLEND);
        gl.BlendFunc(GL_ONE, GL_ONE);
    } else {
        gl.Disable(GL_BLEND);
    }
    std::vector<double> times;
    for (int f = 0; f < 10 + frames; f++) {
        double t0 = now_ms();
        gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (!v.empty())
            gl.DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v.size()));
        gl.Finish();
        double t1 = now_ms();
        if (f >= 10)
            times.push_back(t1 - t0);
    }
    return median(times);
}

// A torus of 40 x 25 quads (2,000 triangles) in front of the camera.
Mesh* build_torus()
{
    const int seg = 40, ring = 25;
    Mesh* m = mesh_create(seg * ring, seg * ring * 2);
    for (int i = 0; i < seg; i++)
        for (int j = 0; j < ring; j++) {
            float a = 6.2831853f * i / seg, b = 6.2831853f * j / ring;
            MeshVertex& v = m->vertices[i * ring + j];
            v.x = (60.0f + 25.0f * std::cos(b)) * std::cos(a);
            v.y = (60.0f + 25.0f * std::cos(b)) * std::sin(a);
            v.z = 25.0f * std::sin(b);
            v.u = static_cast<float>(i) / seg * 4.0f;
            v.v = static_cast<float>(j) / ring;
            v.colour = 0xFFFFFFFFu;
        }
    int t = 0;
    for (int i = 0; i < seg; i++)
        for (int j = 0; j < ring; j++) {
            int a = i * ring + j, b = ((i + 1) % seg) * ring + j, c = ((i + 1) % seg) * ring + (j + 1) % ring,
                d = i * ring + (j + 1) % ring;
            m->triangles[t++] = MeshTriangle{a, b, c, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0};
            m->triangles[t++] = MeshTriangle{a, c, d, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, 0};
        }
    mesh_compute_normals(m);
    return m;
}

void run_mesh(int frames, const Texture* tex)
{
    Mesh* mesh = build_torus();
    mesh->texture = const_cast<Texture*>(tex);
    Camera cam{};
    cam.eye = Vec3{0, 40, 170};
    cam.target = Vec3{0, 0, 0};
    cam.near = 10;
    cam.far = 512;
    cam.fov = 90;
    cam.viewport_width = 640;
    cam.viewport_height = 480;
    camera_update(&cam);
    std::vector<double> times;
    for (int f = 0; f < 10 + frames; f++) {
        clear_frame();
        double t0 = now_ms();
        matrix_rotation_yxz(&mesh->model, 0.01f * f, 0.4f, 0.0f);
        set_depth_clip(cam.near, cam.far);
        set_clip_window(0, 0, 640, 480);
        mesh_transform_view(mesh, &cam, TRANSFORM_NORMALS | TRANSFORM_PLANES);
        draw_mesh_clipped(mesh, &cam, FILL_TEXTURE | FILL_DEPTH);
        double t1 = now_ms();
        if (f >= 10)
            times.push_back(t1 - t0);
    }
    long covered = 0;
    for (int i = 0; i < 640 * 480; i++)
        covered += screen->pixels[i] != 0xFF000000u;
    std::printf("M1 median_ms=%.3f triangles=%d covered=%ld checksum=0x%08x\n", median(times),
                mesh->triangle_count, covered, fnv_words(screen->pixels, 640 * 480));
    mesh_free(mesh);
}

} // namespace

int main(int argc, char** argv)
{
    std::string only;
    int frames = 50;
    bool mesh = false, with_peer = false;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--workloads") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--frames") && i + 1 < argc)
            frames = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--mesh"))
            mesh = true;
        else if (!std::strcmp(argv[i], "--cpu"))
            use_cpu_time = true;
        else if (!std::strcmp(argv[i], "--peer"))
            with_peer = true;
        else {
            std::fprintf(stderr, "raster_workloads: unknown option %s\n", argv[i]);
            return 1;
        }
    }

    std::vector<uint32_t> pixels(640 * 480);
    FrameSurface surface{640, 480, 2560, pixels.data()};
    screen = &surface;
    depth_buffer = depth_buffer_create(640, 480);

    std::vector<uint32_t> texels(256 * 256);
    for (uint32_t v = 0; v < 256; v++)
        for (uint32_t u = 0; u < 256; u++)
            texels[v * 256 + u] = 0xFF000000u | ((u ^ v) << 16) | (u << 8) | v;
    Texture tex{};
    tex.width = tex.height = 256;
    tex.width_mask = tex.height_mask = 255;
    tex.width_log2 = tex.height_log2 = 8;
    tex.pixels = texels.data();

    if (mesh) {
        run_mesh(frames, &tex);
        depth_buffer_free(depth_buffer);
        return 0;
    }

    Peer peer;
    std::vector<uint32_t> peer_pixels(640 * 480);
    if (with_peer && !peer.open(peer_pixels.data(), texels.data())) {
        std::fprintf(stderr, "raster_workloads: the llvmpipe peer (libOSMesa.so.8) is not available\n");
        with_peer = false;
    }

    std::vector<WTriangle> w1 = random_triangles(1, 20000, 13), w2 = random_triangles(2, 2000, 81);
    std::vector<Workload> workloads = {
        {"W0", {}, FILL_FLAT | FILL_DEPTH, 0x811c9dc5u},
        {"W1", w1, FILL_FLAT | FILL_DEPTH, 0xcf820eb7u},
        {"W2", w2, FILL_FLAT | FILL_DEPTH, 0x022551c9u},
        {"W3", w2, FILL_GOURAUD | FILL_DEPTH, 0x022551c9u},
        {"W4", w2, FILL_TEXTURE | FILL_DEPTH, 0x022551c9u},
        {"W5", w2, FILL_ADD | FILL_TEXTURE, 0x022551c9u},
        {"W6", layers(), FILL_TEXTURE | FILL_DEPTH, 0xe30c6d95u},
    };
    for (Workload& w : workloads) {
        if (!only.empty() && ("," + only + ",").find("," + std::string(w.name) + ",") == std::string::npos)
            continue;
        uint32_t h = tri_hash(w.triangles);
        if (h != w.expected_hash)
            std::fprintf(stderr, "raster_workloads: %s triangle hash %08x, expected %08x\n", w.name, h,
                         w.expected_hash);
        double area = 0;
        for (const auto& t : w.triangles)
            area += static_cast<double>(cross(t)) / 2048.0;
        std::vector<RasterTriangle> tris = to_raster(w.triangles);
        std::vector<double> times;
        for (int f = 0; f < 10 + frames; f++) {
            double t0 = now_ms();
            clear_frame();
            if (!tris.empty())
                draw_triangles(tris.data(), static_cast<int32_t>(tris.size()), &tex, w.mode);
            double t1 = now_ms();
            if (f >= 10)
                times.push_back(t1 - t0);
        }
        uint32_t checksum = fnv_words(screen->pixels, 640 * 480);
        double ms = median(times);
        long written = tris.empty() ? 0 : count_written(to_raster(w.triangles), &tex, w.mode);
        std::printf("%s median_ms=%.3f mpix_s=%.1f checksum=0x%08x written=%ld\n", w.name, ms,
                    area / (ms * 1000.0), checksum, written);
        if (with_peer) {
            double peer_ms = peer_run(peer, w.triangles, w.mode, frames);
            std::printf("%s-llvmpipe median_ms=%.3f mpix_s=%.1f checksum=0x%08x ratio=%.2f\n", w.name,
                        peer_ms, area / (peer_ms * 1000.0), fnv_words(peer_pixels.data(), 640 * 480),
                        peer_ms / ms);
        }
        std::fflush(stdout);
    }
    peer.close();
    depth_buffer_free(depth_buffer);
    return 0;
}

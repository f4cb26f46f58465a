// The rasterizer's public face: mesh drawing, the polygon clipper and its
// state, the triangle record, the fill modes and their dispatch, and the
// texture slots the multi-texture modes read. Draws into core's `screen` and
// `depth_buffer`; reads meshes and cameras from scene/ and textures from image/.
#pragma once

#include "scene/mesh.h"

#include <cstddef>
#include <cstdint>

struct Texture;

// ---- Fill modes ---------------------------------------------------------------
// A FillMode is a combination of these bits; only the 34 combinations listed in
// raster/fill_modes.h draw anything.
typedef uint32_t FillMode;
enum : uint32_t {
    FILL_FLAT = 1u,              // the triangle's flat colour
    FILL_GOURAUD = 2u,           // interpolated vertex colours
    FILL_TEXTURE = 4u,           // affine texture at (u, v)
    FILL_PERSPECTIVE = 8u,       // perspective-corrected texture (implies a texture)
    FILL_DEPTH = 16u,            // depth test; opaque modes also write depth
    FILL_ADD = 32u,              // add to the surface with per-byte saturation
    FILL_MULTIPLY = 64u,         // multiply the surface by the colour
    FILL_BILINEAR = 128u,        // bilinear filter of four texels
    FILL_MIPMAP = 256u,          // one mip level chosen per triangle
    FILL_COLORKEY = 512u,        // texels equal to KEY_COLOUR are not drawn
    FILL_SECOND_TEXTURE = 1024u, // combine with environment_texture at (u2, v2)
    FILL_OFFSET = 2048u,         // environment lookup shifted by an offset map
    FILL_DOT3 = 4096u,           // normal-map lighting against the vertex colour
    FILL_ALPHA = 8192u,          // blend by texel alpha scaled by the flat colour
};

enum : uint32_t { KEY_COLOUR = 0xFFFF00FFu };

// Number of drawable modes, the modes themselves in table order, and a short
// name per mode ("texture_depth" ...) for tests and benchmarks; null for a
// number that is not a drawable mode.
enum { FILL_MODE_COUNT = 34 };
extern const FillMode fill_modes[FILL_MODE_COUNT];
const char* fill_mode_name(FillMode mode);

// ---- Triangle record ----------------------------------------------------------
struct ScreenVertex {
    float x, y;      // pixel column and row (y down)
    float z;         // z/w: -1 at the near plane, +1 at the far plane
    float rhw;       // 1/w, carried through clipping
    uint32_t colour; // 0xAARRGGBB (the light vector in the DOT3 modes)
    float u, v;      // first texture coordinate, in texture widths / heights
    float u2, v2;    // second texture coordinate
};
static_assert(sizeof(ScreenVertex) == 36, "ScreenVertex is nine 32-bit words");

// Value at integer pixel (x, y): x_step * x + y_step * y + constant, in units
// of 1/2048 of the pixel-unit edge function.
struct EdgeFunction {
    int32_t x_step;
    int32_t y_step;
    int32_t constant;
    int32_t direction; // 8 if x_step >= 0, plus 1 if y_step >= 0
};

enum : uint32_t { RASTER_TWO_SIDED = 1u };

struct RasterTriangle {
    ScreenVertex v[3];     // filled by the caller
    EdgeFunction edges[3]; // V0->V1, V1->V2, V2->V0; filled by setup_triangle
    uint32_t flat_colour;  // filled by the caller
    int32_t area;          // 2^12 x area in pixels, positive after set-up
    int32_t min_x, min_y;  // bounding box; the walk turns min_y into a row offset
    int32_t max_x, max_y;  // the walk turns max_y into a row offset
    float inverse_area;    // 2048 / area
    uint32_t flags;        // bit 0: RASTER_TWO_SIDED; filled by the caller
};
static_assert(sizeof(RasterTriangle) == 47 * 4, "RasterTriangle is 47 32-bit words");

// An attribute in 11-bit fixed point (value x 2048, +0.5 included): the value
// at box pixel (x, y) is start + x_step (x - min_x) + y_step (y - min_y).
struct Interpolant {
    int32_t x_step;
    int32_t y_step;
    int32_t start;
};

// ---- Triangle set-up and dispatch -----------------------------------------------
// Draws `count` records in order with the filler of `mode`; `texture` is what
// textured modes sample (a textured mode given none draws nothing). Modes that
// are not drawable draw nothing. Writes `screen` and, with FILL_DEPTH, `depth_buffer`.
void draw_triangles(RasterTriangle* triangles, int32_t count, const Texture* texture, FillMode mode);

// Edge functions, area, culling and box: 0 when the triangle is to be drawn,
// 1 when rejected (degenerate, culled, out of 32-bit range or without a box).
int32_t setup_triangle(RasterTriangle* triangle);
// Gradients of the per-vertex values a (V0), b (V1), c (V2); only after a
// successful setup_triangle.
Interpolant setup_interpolant(const RasterTriangle* triangle, float a, float b, float c);
// Mip level 0..11 for a set-up triangle: the smallest i whose threshold
// 2.5 * 2^i exceeds the triangle's texture-coordinate area (in texture widths x
// heights) per pixel of screen area.
int32_t select_mip_level(const RasterTriangle* triangle);

// Texture slots of the multi-texture modes (not owned; start null; a mode that
// reads a null slot draws nothing).
void set_environment_texture(const Texture* texture);
void set_bump_texture(const Texture* texture);
void set_offset_texture(const Texture* texture);

// ---- Drawing shared by two threads ---------------------------------------------
// Work on a band of the frame: rows [first_row, end_row) (or the columns the
// work maps them to) changed from what the band alone holds, so that bands
// drawn at once by two threads give the bytes of one whole pass. Every 2D
// operation has such a form (image/ops2d.h: the *_band functions).
typedef void (*RasterBandFunction)(void* context, int32_t first_row, int32_t end_row);

// With the helper started, the draws and band work between
// raster_share_begin() and raster_share_end() are queued; the helper draws
// the rows below a split row while the queue grows, the caller the rows above
// it when the share ends. Each pixel has one owner, which draws the work
// covering it in its order: the picture is the one a single thread draws,
// wherever the split lies (it moves towards where both finish together). The
// queue records the surface and depth buffer it opened on, and its work goes
// there. Between the two calls the caller must leave `screen`, `depth_buffer`
// and the textures a queued draw reads as they are, and write the frame only
// through the queue (debug and sanitizer builds stop on a 2D operation that
// writes it directly); everything else (meshes, cameras, clipping, slots)
// may change, as the queue holds copies. Without the helper both do nothing.
// Pairs nest; only the outermost counts.
// Starts the helper for count >= 2 (one helper at most; a frame of this size
// does not split usefully further) and returns how many threads draw: 2, or 1
// without a helper (count below 2, no threads here, or none could start).
int32_t raster_threads_start(int32_t count);
// Ends an open share and stops the helper.
void raster_threads_stop();
// How many threads draw: 1 or 2.
int32_t raster_threads();
// Processor time the helper has used, in platform counter ticks (0 without one).
int64_t raster_threads_time();
void raster_share_begin();
void raster_share_end();
// True between raster_share_begin() and raster_share_end() with the helper
// drawing (the frame is then written through the queue only).
bool raster_share_is_open();
// A new frame: its n-th share splits the rows as the last frame's n-th did,
// corrected by how that one went (the timeline calls it before its rows).
void raster_share_frame_begin();
// Splits a job in two: runs part(context, first_row, end_row) for the upper
// and the lower half of the frame at once, one of them on the helper, and
// returns when both are done; once for the whole frame without the helper,
// or while it sleeps (waking it takes longer than such work). Inside an open
// share the work queued so far is drawn first, and the share goes on after.
void raster_split_in_two(RasterBandFunction part, void* context);
// Band work inside an open share, on rows [first_row, end_row) (cut to the
// frame): queued in order with the draws, it runs on each thread's rows
// after the draws queued before it, so the picture is the single thread's.
// The context's `size` bytes are copied into the queue (up to
// RASTER_BAND_CONTEXT_MAX), and `part` must only read them: both threads get
// the same copy. Runs at once, on every row, outside a share (or for a
// larger context, after what is queued).
enum { RASTER_BAND_CONTEXT_MAX = 256 };
void raster_share_band(RasterBandFunction part, const void* context, size_t size, int32_t first_row,
                       int32_t end_row);

// ---- Clipper ------------------------------------------------------------------
enum { CLIP_BUFFER_SIZE = 12 };
enum : uint32_t {
    CLIP_NEAR = 1u,
    CLIP_LEFT = 2u,
    CLIP_RIGHT = 4u,
    CLIP_TOP = 8u,
    CLIP_BOTTOM = 16u,
    CLIP_WINDOW = 30u, // any of these bits enables all four window planes
};

// Camera-space z planes at -near and -far (the far plane is stored only).
void set_depth_clip(float near, float far);
// Window in pixels: inside is min <= c <= max, edges included.
void set_clip_window(float x, float y, float width, float height);
// The current window as its edges (min_x, min_y, max_x, max_y); any pointer may be null.
void get_clip_window(float* min_x, float* min_y, float* max_x, float* max_y);

// Back to the state a frame starts from: the full 640 x 480 window, the depth
// planes at 1 and 1024 and the three texture slots empty. The timeline calls
// it before every row, so no row depends on or leaks into another.
void raster_reset_state();

// One plane each: reads n vertices from `in`, writes the clipped polygon to
// `out` (a different array of CLIP_BUFFER_SIZE records) and returns its count;
// below 3 means nothing is left. Polygons with non-finite coordinates give 0.
int32_t clip_near(const MeshVertex* in, int32_t n, MeshVertex* out);
int32_t clip_left(const MeshVertex* in, int32_t n, MeshVertex* out);
int32_t clip_right(const MeshVertex* in, int32_t n, MeshVertex* out);
int32_t clip_top(const MeshVertex* in, int32_t n, MeshVertex* out);
int32_t clip_bottom(const MeshVertex* in, int32_t n, MeshVertex* out);

// ---- Mesh drawing -------------------------------------------------------------
// Vertices must hold camera-space positions (mesh_transform with model.view).
// clip_flags: CLIP_NEAR and/or any CLIP_WINDOW bit, or 0 for no clipping (then
// the mesh's own vertices are projected in place).
void draw_mesh(Mesh* mesh, const Camera* camera, FillMode mode, uint32_t clip_flags);
void draw_mesh_clipped(Mesh* mesh, const Camera* camera, FillMode mode);
// Projects count vertices in place: transformed x, y, z become pixel x, y and
// z/w, transformed w becomes 1/w.
void project_vertices(const Matrix* screen_matrix, MeshVertex* vertices, int32_t count);
// Three camera-space vertices per triangle (a trailing partial group is
// ignored); clipped against all five planes and drawn with flat colour white,
// back faces culled.
void clip_and_draw_triangles(const MeshVertex* vertices, int32_t count, const Camera* camera,
                             const Texture* texture, FillMode mode);

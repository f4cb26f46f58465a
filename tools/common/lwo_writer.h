// Writers for the demo's LightWave files: LWO2 objects (IFF, big-endian) and
// LWMO motion files (text). Used by the data generator and by the tests,
// which also build deliberately broken files with the low-level LwoWriter.
// Relies on the C++ standard library only.
//
// Stable API: add fields with defaults, never change the meaning of existing ones.
//
// Projection and axis numbering are the ones this program's reader uses
// (they differ from the published LWO2 numbering):
//   projection: 0 none (the block names a UV map), 1 planar, 2 cubic,
//               3 cylindrical, 4 spherical
//   axis:       1 X, 2 Y, 3 Z
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Low level: an IFF byte builder -----------------------------------------
// Chunks nest: begin_chunk() opens a chunk with a 32-bit size (top level),
// begin_subchunk() one with a 16-bit size (inside SURF, BLOK, CLIP, ENVL).
// end_*() writes the size of everything written since the matching begin and
// a pad byte when that size is odd. finish() closes whatever is open and sets
// the FORM size. Example:
//     LwoWriter w;                 // FORM ... LWO2
//     w.begin_chunk("PNTS"); w.f4(0); w.f4(0); w.f4(0); w.end_chunk();
//     std::vector<uint8_t> file = w.finish();
class LwoWriter
{
  public:
    // With form_header, starts with "FORM" <size> "LWO2"; finish() patches the size.
    explicit LwoWriter(bool form_header = true);

    void id4(const char* id); // exactly four characters, e.g. "RGB "
    void u1(uint8_t v);
    void u2(uint16_t v);
    void u4(uint32_t v);
    void f4(float v);
    void vx(uint32_t index);       // 2 bytes below 0xFF00, else 0xFF + 24-bit index
    void vx4(uint32_t index);      // always the 4-byte form (0xFF marker), low 24 bits
    void s0(const std::string& s); // string, NUL, pad byte when the length is even
    void raw(const void* data, size_t size);

    void begin_chunk(const char* id);
    void begin_subchunk(const char* id);
    // pad = false leaves out the pad byte of an odd size (to build broken files).
    void end_chunk(bool pad = true);
    void end_subchunk(bool pad = true);

    // Current byte offset and direct patches of written bytes (big-endian),
    // for files with lying sizes.
    size_t position() const { return bytes_.size(); }
    void patch_u2(size_t offset, uint16_t v);
    void patch_u4(size_t offset, uint32_t v);

    // Closes open chunks, sets the FORM size (when there is a FORM header)
    // and returns the bytes. The writer may be used again afterwards only
    // through bytes().
    std::vector<uint8_t> finish();
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    struct Open {
        size_t size_offset;
        bool wide; // 32-bit size
    };
    void end_open(bool pad);
    std::vector<uint8_t> bytes_;
    std::vector<Open> open_;
    bool form_;
};

// ---- High level: an object description ---------------------------------------

struct LwoImageBlock {
    uint16_t projection = 0; // 0 none: uses vmap_name; 1 planar .. 4 spherical
    uint16_t axis = 3;       // 1 X, 2 Y, 3 Z
    std::string vmap_name;   // the TXUV map to use (projection 0)
    uint32_t image = 0;      // IMAG: clip index
    bool write_tmap = true;  // a TMAP sub-chunk with centre and size
    float centre[3] = {0.0f, 0.0f, 0.0f};
    float size[3] = {1.0f, 1.0f, 1.0f};
};

struct LwoSurface {
    std::string name;
    float colour[3] = {0.78f, 0.78f, 0.78f}; // COLR, 0..1
    float diffuse = 1.0f;                    // DIFF
    float transparency = 0.0f;               // TRAN (written when non-zero)
    float additive = 0.0f;                   // ADTR (written when non-zero)
    uint16_t sidedness = 1;                  // SIDE: 1 front, 3 both
    std::vector<LwoImageBlock> blocks;       // IMAP blocks, in order
};

struct LwoVertexMap {
    char type[5] = "TXUV"; // four characters
    uint16_t dimension = 2;
    std::string name;
    std::vector<uint32_t> points; // point index per entry
    std::vector<float> values;    // points.size() * dimension, entry-major
};

struct LwoPolygon {
    std::vector<uint32_t> corners; // point indices, at most 1023 (FACE polygons)
    int32_t surface = -1;          // index into LwoObject::surfaces; -1 = no PTAG entry
};

struct LwoLayer {
    uint16_t number = 0;
    uint16_t flags = 0;
    float pivot[3] = {0.0f, 0.0f, 0.0f};
    std::string name;
    int32_t parent = -1;              // -1: no parent field written
    std::vector<float> points;        // x, y, z per point
    std::vector<LwoPolygon> polygons; // one FACE chunk
    std::vector<LwoVertexMap> vertex_maps;
    bool write_bbox = true;
};

struct LwoClip {
    uint32_t index = 1;
    std::string path; // STIL path
};

// Chunk order written: TAGS (the surface names), then per layer LAYR, PNTS,
// BBOX, VMAP..., POLS, PTAG (SURF), then CLIP..., then SURF...
struct LwoObject {
    std::vector<LwoSurface> surfaces;
    std::vector<LwoClip> clips;
    std::vector<LwoLayer> layers;
};

// Chunk writers usable on their own with a LwoWriter (to assemble unusual files).
void lwo_write_tags(LwoWriter& w, const std::vector<std::string>& tags);
void lwo_write_layer(LwoWriter& w, const LwoLayer& layer); // LAYR PNTS BBOX VMAP POLS PTAG
void lwo_write_clip(LwoWriter& w, const LwoClip& clip);
void lwo_write_surface(LwoWriter& w, const LwoSurface& surface);

std::vector<uint8_t> lwo_build(const LwoObject& object);

// Writes bytes to path; true on success.
bool lwo_write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// ---- LWMO motion files -------------------------------------------------------
// Shapes: 0 TCB, 1 Hermite, 2 Bezier, 3 linear, 4 stepped, 5 2D Bezier.
// Behaviours: 0 reset, 1 constant, 2 repeat, 3 oscillate, 4 offset repeat, 5 linear.
struct LwmoKey {
    float value = 0.0f;
    float time = 0.0f;
    int16_t shape = 3;
    float tension = 0.0f, continuity = 0.0f, bias = 0.0f;
    float p0 = 0.0f, p1 = 0.0f, p2 = 0.0f, p3 = 0.0f;
};

struct LwmoChannel {
    std::vector<LwmoKey> keys;
    int16_t pre = 1;
    int16_t post = 1;
};

// The text of a motion file:
//   LWMO / 3 / (blank) / NumChannels n / then per channel:
//   Channel i / { Envelope / <key count> / Key value time shape t c b p0 p1 p2 p3 ... /
//   Behaviors pre post / }
// Floats are written with 9 significant digits, so they read back exactly.
std::string lwmo_format(const std::vector<LwmoChannel>& channels);
bool lwmo_write_file(const std::string& path, const std::vector<LwmoChannel>& channels);

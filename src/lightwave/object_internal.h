// Internal to the object reader: the bounded big-endian reader over the file
// image, the state of one load, and the chunk readers and post-processing
// steps shared between the reader's source files.
// Relies on lightwave.h.
#pragma once

#include "lightwave/lightwave.h"

#include <cstddef>
#include <cstdint>

// A window [pos, end) of the file image. Every read is checked against end;
// a read that runs short sets *status to LWO_END_OF_FILE and yields zeros.
// The first failure recorded in *status wins.
struct LwoReader {
    const uint8_t* data;
    size_t pos;
    size_t end;
    int32_t* status;
};

inline size_t lwo_remaining(const LwoReader* r)
{
    return r->pos < r->end ? r->end - r->pos : 0;
}
void lwo_fail(LwoReader* r, int32_t code);
uint8_t lwo_u1(LwoReader* r);
uint16_t lwo_u2(LwoReader* r);
uint32_t lwo_u4(LwoReader* r);
float lwo_f4(LwoReader* r);
uint32_t lwo_vx(LwoReader* r);
// A NUL-terminated string with its pad byte, bounded by the window. Returns a
// new heap string (null after a failure, which is recorded).
char* lwo_s0(LwoReader* r);
// The next n bytes as their own window; fails (short) when fewer remain.
bool lwo_window(LwoReader* r, size_t n, LwoReader* out);
// Reads one sub-chunk header (ID4, U2 size) and gives the sub-chunk's body as
// a window; the parent moves past the body and its pad byte. Returns 1, 0
// when the header does not fit, or LWO_END_OF_FILE when the size lies.
int32_t lwo_subchunk(LwoReader* r, uint32_t* id, LwoReader* body);

// Lenient field reads for sub-chunks: a field is read only when it fits in
// what remains of the window; otherwise the window is used up, the target is
// left as it was and the result is false.
bool lwo_get_u1(LwoReader* r, uint8_t* out);
bool lwo_get_u2(LwoReader* r, uint16_t* out);
bool lwo_get_u4(LwoReader* r, uint32_t* out);
bool lwo_get_f4(LwoReader* r, float* out);
bool lwo_get_vx(LwoReader* r, int32_t* out);
// Replaces *out (freeing the old string) when a terminated string fits.
bool lwo_get_s0(LwoReader* r, char** out);

// Replaces *slot with a new string, freeing the old one.
void lwo_replace_string(char** slot, char* value);

// Everything one load builds before it is handed to the caller.
struct LwoLoad {
    ObjectLayer* first;
    ObjectLayer* last;
    bool reuse_first; // the first layer came from TAGS/CLIP/ENVL; the next LAYR fills it
    int32_t tag_count;
    int32_t tag_capacity;
    char** tags;
    Surface* surfaces;
    Surface** surface_by_tag; // per tag, the surface of that name (built while post-processing)
    Clip* clips;
    Envelope* envelopes;
    int32_t status;
};

// Chunk readers: r is the chunk's body window; results are LWO_* codes.
int32_t lwo_read_layr(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_pnts(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_bbox(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_pols(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_ptag(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_vmap(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_vmad(LwoReader* r, ObjectLayer* layer);
int32_t lwo_read_tags(LwoReader* r, LwoLoad* load);
int32_t lwo_read_surf(LwoReader* r, LwoLoad* load);
int32_t lwo_read_clip(LwoReader* r, LwoLoad* load);
int32_t lwo_read_envl(LwoReader* r, LwoLoad* load);

// Post-processing of one layer (the shared lists are taken from load).
int32_t lwo_postprocess(ObjectLayer* layer, LwoLoad* load);
int32_t lwo_project(ObjectLayer* layer, Surface* surfaces);

void lwo_free_layer_geometry(ObjectLayer* layer);
void lwo_free_surfaces(Surface* surface);
void lwo_free_clips(Clip* clip);
void lwo_free_envelopes(Envelope* envelope);
void lwo_free_vertex_map(VertexMap* map);

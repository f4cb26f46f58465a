// LightWave assets: the LWO2 object reader (layers, points, polygons, vertex
// maps, surfaces with their texture blocks, clips, envelopes, projection
// mapping) and the LWMO motion files with envelope evaluation.
// Relies on core (Vec3 and the precision helpers).
#pragma once

#include "core/core.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---- Result codes of the object reader --------------------------------------
enum : int32_t {
    LWO_OK = 1,
    LWO_GENERIC_FAILURE = 0, // a required argument or a sub-chunk header is missing
    LWO_WRONG_CHUNK = -1,    // unexpected chunk ID or envelope span type
    LWO_NO_MEMORY = -2,
    LWO_END_OF_FILE = -3, // a read ran short (truncated file or a size that lies)
    LWO_FILE_ERROR = -4,
};

// Four-letter codes compared as 32-bit values built from the bytes in file order.
constexpr uint32_t lwo_id(const char (&s)[5])
{
    return (uint32_t)(uint8_t)s[0] << 24 | (uint32_t)(uint8_t)s[1] << 16 | (uint32_t)(uint8_t)s[2] << 8 |
           (uint32_t)(uint8_t)s[3];
}

// ---- Geometry ---------------------------------------------------------------

struct VertexMap {
    uint32_t type; // lwo_id("TXUV") ...
    uint16_t dimension;
    char* name;
    int32_t entry_count;
    uint32_t* points; // point index per entry
    float* values;    // entry_count * dimension, entry-major
    int32_t ordinal;  // position in the layer's list (set while post-processing)
    VertexMap* next;
};

struct DiscontinuousEntry {
    uint32_t point;
    uint32_t polygon;
    float values[4];
};

struct DiscontinuousMap {
    uint32_t type;
    uint16_t dimension;
    char* name;
    int32_t entry_count;
    DiscontinuousEntry* entries; // in file order
    DiscontinuousMap* next;
};

struct PointSet {
    int32_t count;
    Vec3* positions;
    Vec3* normals;
    // The last map of each type in the layer's list (not owned).
    VertexMap* pick;
    VertexMap* weight;
    VertexMap* mnvw;
    VertexMap* txuv;
    VertexMap* rgb;
    VertexMap* rgba;
    VertexMap* morph;
    VertexMap* spot;
};

struct Surface;

struct Polygon {
    uint16_t corner_count;
    uint32_t* corners;     // point index per corner
    uint32_t* map_entries; // per corner: entry index into image_map
    Vec3 normal;
    float d;
    uint16_t part;                      // tag index
    uint16_t smoothing_group;           // tag index
    float normal_length;                // length of the unnormalised corner cross product
    Surface* surface;                   // or null
    DiscontinuousEntry** discontinuous; // per corner, entries may be null
    VertexMap* image_map;               // or null
};

struct PolygonTag {
    uint32_t type;
    uint32_t polygon;
    uint16_t tag;
};

// ---- Surfaces, clips, envelopes -----------------------------------------------

struct ValuePair {
    float value;
    int32_t envelope; // -1 when the file gave none
};

struct TextureMap {
    float centre[3];
    int32_t centre_envelope;
    float size[3];
    int32_t size_envelope;
    float rotation[3]; // heading, pitch, bank
    int32_t rotation_envelope;
    char* reference_object;
    uint16_t falloff_type;
    float falloff[3];
    int32_t falloff_envelope;
    uint16_t coordinate_system;
};

// Projection numbers as this program reads them (the published LWO2
// numbering differs): 1 planar, 2 cubic, 3 cylindrical, 4 spherical, other
// values none. Axis: 1 X, 2 Y, 3 Z.
enum : uint16_t {
    LWO_PROJECTION_PLANAR = 1,
    LWO_PROJECTION_CUBIC = 2,
    LWO_PROJECTION_CYLINDRICAL = 3,
    LWO_PROJECTION_SPHERICAL = 4,
};

struct ImageMap {
    uint16_t projection;
    uint16_t axis;
    int32_t image; // clip index
    uint16_t wrap_width_mode, wrap_height_mode;
    float wrap_width;
    int32_t wrap_width_envelope;
    float wrap_height;
    int32_t wrap_height_envelope;
    char* vmap_name; // or null
    uint16_t antialiasing_flags;
    float antialiasing_strength;
    uint16_t pixel_blending;
    uint16_t sticky;
    float sticky_time;
    float amplitude;
    int32_t amplitude_envelope;
};

struct Procedural {
    uint16_t axis;
    float values[3];
    char* function;
    uint8_t* data; // the rest of the FUNC sub-chunk, or null
    int32_t data_size;
};

struct GradientKey {
    float input;
    float output;
};

struct Gradient {
    char* parameter;
    char* item;
    float start, end;
    uint16_t repeat;
    int32_t key_count;
    GradientKey* keys;
    int32_t key_parameter_count;
    uint16_t* key_parameters;
};

struct Block {
    char* ordinal;
    uint32_t type; // IMAP, PROC, GRAD or other
    uint32_t channel;
    uint16_t enable;
    uint16_t opacity_type;
    float opacity;
    int32_t opacity_envelope;
    uint16_t axis;
    TextureMap* texture_map;
    ImageMap* image_map;
    Procedural* procedural;
    Gradient* gradient;
    Block* next;
};

struct Surface {
    char* name;
    char* source;
    float colour[3];
    int32_t colour_envelope;
    ValuePair diffuse, luminosity, specular, reflection, transparency, translucency, glossiness, sharpness,
        bump;
    uint16_t sidedness;
    float max_smoothing_angle;
    uint16_t reflection_options;
    int32_t reflection_image;
    ValuePair reflection_seam_angle, reflection_blur, refractive_index;
    uint16_t transparency_options;
    int32_t refraction_image;
    ValuePair refraction_blur, colour_highlights, colour_filter, additive_transparency;
    uint16_t glow_type;
    float glow_intensity;
    int32_t glow_intensity_envelope;
    float glow_size;
    int32_t glow_size_envelope;
    uint16_t alpha_mode;
    float alpha_value;
    float vertex_colour_intensity;
    int32_t vertex_colour_envelope;
    uint32_t vertex_colour_map_type;
    char* vertex_colour_map_name;
    Block* blocks;
    int32_t ordinal; // position in the file's list
    Surface* next;
};

struct Clip {
    uint32_t index;
    char* file_name;
    Clip* next;
};

struct EnvelopeKey {
    float time, value;
    uint32_t span_type;
    float tension, continuity, bias;
    float parameters[4];
    EnvelopeKey* next;
};

struct Envelope {
    int32_t index;
    uint8_t type[2];
    uint16_t pre_behaviour, post_behaviour;
    EnvelopeKey* keys;
    Envelope* next;
};

// ---- Layers -------------------------------------------------------------------

struct ObjectLayer {
    char* name; // after loading: "<path>:<ordinal>"
    uint16_t number;
    uint16_t parent;
    uint16_t flags;
    Vec3 pivot;
    Vec3 bbox_min, bbox_max;
    PointSet* points;
    VertexMap* vertex_maps;
    DiscontinuousMap* discontinuous_maps; // reverse file order
    int32_t polygon_count;
    int32_t polygon_capacity;
    Polygon* polygons;
    int32_t polygon_tag_count;
    int32_t polygon_tag_capacity;
    PolygonTag* polygon_tags;
    int32_t face_polygon_count; // polygons read from FACE chunks, before triangulation
    // The file-wide lists, held by the first layer only.
    int32_t tag_count;
    char** tags;
    Surface* surfaces;
    Clip* clips;
    Envelope* envelopes; // reverse file order
    ObjectLayer* next;
};

// The largest object file the reader takes: a thousand times the largest
// object of the data set (64 KB), and small enough that reading it never
// strains memory. Larger files are refused before anything is read.
enum { LWO_MAX_FILE_BYTES = 64 << 20 };

// Reads an LWO2 file; null when it cannot be read (recorded with the name
// opened and why, platform/paths.h). code (optional) receives LWO_OK or the
// code that made the load fail.
ObjectLayer* object_load(const char* path);
ObjectLayer* object_load_code(const char* path, int32_t* code);
// The same from bytes in memory; name stands for the path in layer names.
ObjectLayer* object_load_memory(const uint8_t* data, size_t size, const char* name, int32_t* code);
void object_free(ObjectLayer* first_layer);

// The diagnostic text of a result code ("ERROR: END OF FILE\n" ...).
const char* object_error_text(int32_t code);
// What a failed load's code means for the user ("truncated: ..."), as the
// failure record gives it (platform/paths.h path_failure).
const char* object_failure_reason(int32_t code);

// ---- Motion files ---------------------------------------------------------------

enum : int16_t {
    MOTION_TCB = 0,
    MOTION_HERMITE = 1,
    MOTION_BEZIER = 2,
    MOTION_LINEAR = 3,
    MOTION_STEPPED = 4,
    MOTION_BEZIER_2D = 5,
};

enum : int32_t {
    MOTION_RESET = 0,
    MOTION_CONSTANT = 1,
    MOTION_REPEAT = 2,
    MOTION_OSCILLATE = 3,
    MOTION_OFFSET_REPEAT = 4,
    MOTION_LINEAR_EXTRAPOLATE = 5,
};

struct MotionKey {
    MotionKey* previous;
    MotionKey* next;
    float value;
    float time;
    int16_t shape;
    float tension, continuity, bias;
    float p0, p1, p2, p3;
};

struct MotionEnvelope {
    MotionKey* keys; // sorted by time
    int32_t key_count;
    int32_t pre_behaviour;
    int32_t post_behaviour;
};

// 0 on success with a new array of count envelopes (the caller frees each with
// motion_free and the array with free()); 1 on failure, envelopes = null, count = 0.
int32_t motion_load(const char* path, MotionEnvelope*** envelopes, int32_t* count);
// The same from an open text stream (not closed here); name stands for the
// path in the message.
int32_t motion_load_stream(FILE* file, const char* name, MotionEnvelope*** envelopes, int32_t* count);
void motion_free(MotionEnvelope* envelope);
// Frees every envelope of an array from motion_load and the array.
void motion_free_all(MotionEnvelope** envelopes, int32_t count);
float envelope_evaluate(const MotionEnvelope* envelope, float time);

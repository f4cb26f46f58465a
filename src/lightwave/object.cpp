// LWO2 object reader: the bounded big-endian primitives, the chunk loop with
// its layer rules, the hand-over of the file-wide lists, release of a loaded
// object and the texts of the result codes.
// Relies on object_internal.h; chunk readers live in geometry.cpp and surface.cpp.
#include "lightwave/object_internal.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Primitives ----------------------------------------------------------------

void lwo_fail(LwoReader* r, int32_t code)
{
    if (*r->status == LWO_OK)
        *r->status = code;
}

static const uint8_t* take(LwoReader* r, size_t n)
{
    if (lwo_remaining(r) < n) {
        r->pos = r->end;
        lwo_fail(r, LWO_END_OF_FILE);
        return nullptr;
    }
    const uint8_t* p = r->data + r->pos;
    r->pos += n;
    return p;
}

uint8_t lwo_u1(LwoReader* r)
{
    const uint8_t* p = take(r, 1);
    return p ? p[0] : 0;
}

uint16_t lwo_u2(LwoReader* r)
{
    const uint8_t* p = take(r, 2);
    return p ? static_cast<uint16_t>(p[0] << 8 | p[1]) : 0;
}

uint32_t lwo_u4(LwoReader* r)
{
    const uint8_t* p = take(r, 4);
    if (!p)
        return 0;
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

float lwo_f4(LwoReader* r)
{
    uint32_t bits = lwo_u4(r);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

uint32_t lwo_vx(LwoReader* r)
{
    if (lwo_remaining(r) >= 1 && r->data[r->pos] == 0xFF)
        return lwo_u4(r) & 0x00FFFFFFu;
    return lwo_u2(r);
}

char* lwo_s0(LwoReader* r)
{
    size_t avail = lwo_remaining(r);
    const uint8_t* start = r->data + r->pos;
    const void* nul = avail ? std::memchr(start, 0, avail) : nullptr;
    if (!nul) {
        r->pos = r->end;
        lwo_fail(r, LWO_END_OF_FILE);
        return nullptr;
    }
    size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
    char* s = static_cast<char*>(std::malloc(length + 1));
    if (!s) {
        lwo_fail(r, LWO_NO_MEMORY);
        r->pos = r->end;
        return nullptr;
    }
    std::memcpy(s, start, length + 1);
    r->pos += length + 1;
    // The field spans an even number of bytes; a pad missing at the very end
    // of the window is tolerated.
    if (length % 2 == 0 && r->pos < r->end)
        r->pos += 1;
    return s;
}

bool lwo_window(LwoReader* r, size_t n, LwoReader* out)
{
    if (lwo_remaining(r) < n) {
        r->pos = r->end;
        lwo_fail(r, LWO_END_OF_FILE);
        return false;
    }
    *out = {r->data, r->pos, r->pos + n, r->status};
    r->pos += n;
    return true;
}

int32_t lwo_subchunk(LwoReader* r, uint32_t* id, LwoReader* body)
{
    if (lwo_remaining(r) < 6) {
        r->pos = r->end;
        return LWO_GENERIC_FAILURE;
    }
    *id = lwo_u4(r);
    uint16_t size = lwo_u2(r);
    if (!lwo_window(r, size, body))
        return LWO_END_OF_FILE;
    if ((size & 1) && r->pos < r->end)
        r->pos += 1;
    return LWO_OK;
}

bool lwo_get_u1(LwoReader* r, uint8_t* out)
{
    if (lwo_remaining(r) < 1) {
        r->pos = r->end;
        return false;
    }
    *out = lwo_u1(r);
    return true;
}

bool lwo_get_u2(LwoReader* r, uint16_t* out)
{
    if (lwo_remaining(r) < 2) {
        r->pos = r->end;
        return false;
    }
    *out = lwo_u2(r);
    return true;
}

bool lwo_get_u4(LwoReader* r, uint32_t* out)
{
    if (lwo_remaining(r) < 4) {
        r->pos = r->end;
        return false;
    }
    *out = lwo_u4(r);
    return true;
}

bool lwo_get_f4(LwoReader* r, float* out)
{
    if (lwo_remaining(r) < 4) {
        r->pos = r->end;
        return false;
    }
    *out = lwo_f4(r);
    return true;
}

bool lwo_get_vx(LwoReader* r, int32_t* out)
{
    size_t need = lwo_remaining(r) >= 1 && r->data[r->pos] == 0xFF ? 4 : 2;
    if (lwo_remaining(r) < need) {
        r->pos = r->end;
        return false;
    }
    *out = static_cast<int32_t>(lwo_vx(r));
    return true;
}

bool lwo_get_s0(LwoReader* r, char** out)
{
    size_t avail = lwo_remaining(r);
    if (!avail || !std::memchr(r->data + r->pos, 0, avail)) {
        r->pos = r->end;
        return false;
    }
    char* s = lwo_s0(r);
    if (!s)
        return false;
    lwo_replace_string(out, s);
    return true;
}

void lwo_replace_string(char** slot, char* value)
{
    std::free(*slot);
    *slot = value;
}

// ---- Release ---------------------------------------------------------------------

void lwo_free_vertex_map(VertexMap* map)
{
    if (!map)
        return;
    std::free(map->name);
    std::free(map->points);
    std::free(map->values);
    std::free(map);
}

void lwo_free_layer_geometry(ObjectLayer* layer)
{
    if (layer->points) {
        std::free(layer->points->positions);
        std::free(layer->points->normals);
        std::free(layer->points);
        layer->points = nullptr;
    }
    std::free(layer->polygon_tags);
    layer->polygon_tags = nullptr;
    layer->polygon_tag_count = layer->polygon_tag_capacity = 0;
    for (DiscontinuousMap* m = layer->discontinuous_maps; m;) {
        DiscontinuousMap* next = m->next;
        std::free(m->name);
        std::free(m->entries);
        std::free(m);
        m = next;
    }
    layer->discontinuous_maps = nullptr;
    for (int32_t i = 0; i < layer->polygon_count; ++i)
        std::free(layer->polygons[i].corners);
    std::free(layer->polygons);
    layer->polygons = nullptr;
    layer->polygon_count = layer->polygon_capacity = 0;
    for (VertexMap* m = layer->vertex_maps; m;) {
        VertexMap* next = m->next;
        lwo_free_vertex_map(m);
        m = next;
    }
    layer->vertex_maps = nullptr;
}

static void free_tags(char** tags, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        std::free(tags[i]);
    std::free(tags);
}

static void free_block(Block* b)
{
    std::free(b->ordinal);
    if (b->texture_map) {
        std::free(b->texture_map->reference_object);
        std::free(b->texture_map);
    }
    if (b->image_map) {
        std::free(b->image_map->vmap_name);
        std::free(b->image_map);
    }
    if (b->procedural) {
        std::free(b->procedural->function);
        std::free(b->procedural->data);
        std::free(b->procedural);
    }
    if (b->gradient) {
        std::free(b->gradient->parameter);
        std::free(b->gradient->item);
        std::free(b->gradient->keys);
        std::free(b->gradient->key_parameters);
        std::free(b->gradient);
    }
    std::free(b);
}

void lwo_free_surfaces(Surface* s)
{
    while (s) {
        Surface* next = s->next;
        std::free(s->name);
        std::free(s->source);
        std::free(s->vertex_colour_map_name);
        for (Block* b = s->blocks; b;) {
            Block* bn = b->next;
            free_block(b);
            b = bn;
        }
        std::free(s);
        s = next;
    }
}

void lwo_free_clips(Clip* c)
{
    while (c) {
        Clip* next = c->next;
        std::free(c->file_name);
        std::free(c);
        c = next;
    }
}

void lwo_free_envelopes(Envelope* e)
{
    while (e) {
        Envelope* next = e->next;
        for (EnvelopeKey* k = e->keys; k;) {
            EnvelopeKey* kn = k->next;
            std::free(k);
            k = kn;
        }
        std::free(e);
        e = next;
    }
}

void object_free(ObjectLayer* layer)
{
    while (layer) {
        ObjectLayer* next = layer->next;
        std::free(layer->name);
        lwo_free_layer_geometry(layer);
        free_tags(layer->tags, layer->tag_count);
        lwo_free_surfaces(layer->surfaces);
        lwo_free_clips(layer->clips);
        lwo_free_envelopes(layer->envelopes);
        std::free(layer);
        layer = next;
    }
}

static void free_load(LwoLoad* load)
{
    object_free(load->first);
    free_tags(load->tags, load->tag_count);
    lwo_free_surfaces(load->surfaces);
    lwo_free_clips(load->clips);
    lwo_free_envelopes(load->envelopes);
    std::free(load->surface_by_tag);
    *load = LwoLoad{};
}

// ---- Chunk loop ------------------------------------------------------------------

static ObjectLayer* new_layer(LwoLoad* load)
{
    ObjectLayer* layer = static_cast<ObjectLayer*>(std::calloc(1, sizeof(ObjectLayer)));
    if (!layer)
        return nullptr;
    if (load->last)
        load->last->next = layer;
    else
        load->first = layer;
    load->last = layer;
    return layer;
}

// TAGS, CLIP and ENVL hold file-wide data; the first of them before any LAYR
// creates the first layer, which the next LAYR then fills.
static int32_t ensure_layer(LwoLoad* load)
{
    if (load->first)
        return LWO_OK;
    if (!new_layer(load))
        return LWO_NO_MEMORY;
    load->reuse_first = true;
    return LWO_OK;
}

static int32_t read_chunk(uint32_t id, LwoReader* body, LwoLoad* load)
{
    ObjectLayer* layer = load->last;
    switch (id) {
    case lwo_id("LAYR"):
        if (load->reuse_first) {
            load->reuse_first = false;
        } else if (!(layer = new_layer(load))) {
            return LWO_NO_MEMORY;
        }
        return lwo_read_layr(body, layer);
    case lwo_id("TAGS"):
        if (int32_t c = ensure_layer(load); c != LWO_OK)
            return c;
        return lwo_read_tags(body, load);
    case lwo_id("PNTS"):
        return layer ? lwo_read_pnts(body, layer) : LWO_GENERIC_FAILURE;
    case lwo_id("BBOX"):
        return layer ? lwo_read_bbox(body, layer) : LWO_GENERIC_FAILURE;
    case lwo_id("POLS"):
        return layer ? lwo_read_pols(body, layer) : LWO_GENERIC_FAILURE;
    case lwo_id("PTAG"):
        return layer ? lwo_read_ptag(body, layer) : LWO_GENERIC_FAILURE;
    case lwo_id("VMAP"):
        return layer ? lwo_read_vmap(body, layer) : LWO_GENERIC_FAILURE;
    case lwo_id("VMAD"):
        return layer ? lwo_read_vmad(body, layer) : LWO_GENERIC_FAILURE;
    case lwo_id("SURF"):
        return lwo_read_surf(body, load);
    case lwo_id("CLIP"):
        if (int32_t c = ensure_layer(load); c != LWO_OK)
            return c;
        return lwo_read_clip(body, load);
    case lwo_id("ENVL"):
        if (int32_t c = ensure_layer(load); c != LWO_OK)
            return c;
        return lwo_read_envl(body, load);
    default:
        return LWO_OK;
    }
}

static char* layer_name(const char* path, int32_t ordinal)
{
    int n = std::snprintf(nullptr, 0, "%s:%d", path, ordinal);
    if (n < 0)
        return nullptr;
    char* s = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (s)
        std::snprintf(s, static_cast<size_t>(n) + 1, "%s:%d", path, ordinal);
    return s;
}

// Runs the chunk loop over the whole file image, then post-processes and
// names every layer. Returns LWO_OK with the layers in load->first.
static int32_t read_object(const uint8_t* data, size_t size, const char* name, LwoLoad* load)
{
    load->status = LWO_OK;
    LwoReader file = {data, 0, size, &load->status};
    if (size < 12)
        return LWO_END_OF_FILE;
    uint32_t form = lwo_u4(&file);
    uint32_t form_size = lwo_u4(&file);
    if (form != lwo_id("FORM") || lwo_u4(&file) != lwo_id("LWO2"))
        return LWO_WRONG_CHUNK;
    // The FORM encloses every chunk; a FORM size beyond the file makes the
    // loop run short on the chunk that crosses the end.
    size_t form_end = 8 + static_cast<size_t>(form_size);
    if (form_size < 4)
        return LWO_END_OF_FILE;
    LwoReader chunks = {data, 12, form_end < size ? form_end : size, &load->status};
    bool form_short = form_end > size;

    while (chunks.pos < chunks.end || (form_short && chunks.pos < form_end)) {
        if (lwo_remaining(&chunks) < 8)
            return LWO_END_OF_FILE;
        uint32_t id = lwo_u4(&chunks);
        uint32_t chunk_size = lwo_u4(&chunks);
        LwoReader body;
        if (!lwo_window(&chunks, chunk_size, &body))
            return LWO_END_OF_FILE;
        int32_t code = read_chunk(id, &body, load);
        if (load->status != LWO_OK)
            return load->status;
        if (code != LWO_OK)
            return code;
        // A pad byte missing after the last chunk of the file is tolerated.
        if ((chunk_size & 1) && chunks.pos < chunks.end)
            chunks.pos += 1;
    }

    if (!load->first)
        return LWO_GENERIC_FAILURE;

    int32_t ordinal = 0;
    for (ObjectLayer* layer = load->first; layer; layer = layer->next, ++ordinal) {
        int32_t code = lwo_postprocess(layer, load);
        if (code != LWO_OK)
            return code;
        char* s = layer_name(name, ordinal);
        if (!s)
            return LWO_NO_MEMORY;
        lwo_replace_string(&layer->name, s);
    }

    // The first layer keeps the file-wide lists.
    ObjectLayer* first = load->first;
    first->tags = load->tags;
    first->tag_count = load->tag_count;
    first->surfaces = load->surfaces;
    first->clips = load->clips;
    first->envelopes = load->envelopes;
    load->tags = nullptr;
    load->tag_count = load->tag_capacity = 0;
    load->surfaces = nullptr;
    load->clips = nullptr;
    load->envelopes = nullptr;
    std::free(load->surface_by_tag);
    load->surface_by_tag = nullptr;
    return LWO_OK;
}

ObjectLayer* object_load_memory(const uint8_t* data, size_t size, const char* name, int32_t* code)
{
    LwoLoad load = {};
    int32_t result = read_object(data, size, name ? name : "", &load);
    if (code)
        *code = result;
    if (result != LWO_OK) {
        free_load(&load);
        return nullptr;
    }
    return load.first;
}

// The file's size in bytes, the position left at the start; -1 when it
// cannot be told (a size beyond what long holds counts as unknown).
static int64_t file_size(FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

// Reads the FORM header and then the bytes it declares, after checking both
// against the file's size, so that nothing larger than an object can be is
// ever read. LWO_OK with *data (malloc'd) and *size, or the failure's code
// with the reason recorded for path.
static int32_t read_form(FILE* file, const char* path, uint8_t** data, size_t* size)
{
    *data = nullptr;
    *size = 0;
    int64_t bytes = file_size(file);
    if (bytes < 0 || bytes > LWO_MAX_FILE_BYTES) {
        char reason[96];
        std::snprintf(reason, sizeof reason, "too large: an object file has at most %d MiB",
                      LWO_MAX_FILE_BYTES >> 20);
        path_fail(path, reason);
        return LWO_NO_MEMORY;
    }
    uint8_t header[12];
    size_t got = std::fread(header, 1, sizeof header, file);
    int32_t status = LWO_OK;
    LwoReader r = {header, 0, got, &status};
    uint32_t form = lwo_u4(&r), form_size = lwo_u4(&r), type = lwo_u4(&r);
    int32_t result = LWO_OK;
    if (std::ferror(file))
        result = LWO_FILE_ERROR;
    else if (got < sizeof header)
        result = LWO_END_OF_FILE;
    else if (form != lwo_id("FORM") || type != lwo_id("LWO2"))
        result = LWO_WRONG_CHUNK;
    else if (form_size < 4 || 8 + static_cast<int64_t>(form_size) > bytes)
        result = LWO_END_OF_FILE; // the FORM runs past the end of the file
    if (result != LWO_OK) {
        path_fail(path, object_failure_reason(result));
        return result;
    }
    // Only the FORM is read; anything after it is not part of the object.
    size_t total = 8 + static_cast<size_t>(form_size);
    uint8_t* bytes_read = static_cast<uint8_t*>(std::malloc(total));
    if (!bytes_read) {
        path_fail(path, object_failure_reason(LWO_NO_MEMORY));
        return LWO_NO_MEMORY;
    }
    std::memcpy(bytes_read, header, sizeof header);
    size_t n = sizeof header + std::fread(bytes_read + sizeof header, 1, total - sizeof header, file);
    if (n < total) {
        result = std::ferror(file) ? LWO_FILE_ERROR : LWO_END_OF_FILE; // it shrank while read
        path_fail(path, object_failure_reason(result));
        std::free(bytes_read);
        return result;
    }
    *data = bytes_read;
    *size = total;
    return LWO_OK;
}

ObjectLayer* object_load_code(const char* path, int32_t* code)
{
    if (code)
        *code = LWO_FILE_ERROR;
    if (!path)
        return nullptr;
    FILE* file = path_fopen(path, "rb"); // records why it cannot be opened
    if (!file)
        return nullptr;
    uint8_t* data = nullptr;
    size_t size = 0;
    int32_t result = read_form(file, path, &data, &size); // records why it fails
    std::fclose(file);
    ObjectLayer* layer = nullptr;
    if (result == LWO_OK) {
        layer = object_load_memory(data, size, path, &result);
        if (!layer)
            path_fail(path, object_failure_reason(result));
    }
    std::free(data);
    if (code)
        *code = result;
    return layer;
}

ObjectLayer* object_load(const char* path)
{
    return object_load_code(path, nullptr);
}

const char* object_failure_reason(int32_t code)
{
    switch (code) {
    case LWO_FILE_ERROR:
        return "read error";
    case LWO_END_OF_FILE:
        return "truncated: a chunk runs past the end of the file";
    case LWO_NO_MEMORY:
        return "too large for memory";
    case LWO_WRONG_CHUNK:
        return "not an LWO2 object, or an unexpected chunk";
    case LWO_GENERIC_FAILURE:
        return "damaged LWO2 data";
    default:
        return "cannot be read";
    }
}

const char* object_error_text(int32_t code)
{
    switch (code) {
    case LWO_FILE_ERROR:
        return "ERROR: FILE ERROR\n";
    case LWO_END_OF_FILE:
        return "ERROR: END OF FILE\n";
    case LWO_NO_MEMORY:
        return "ERROR: MEMORY ALLOCATION ERROR\n";
    case LWO_WRONG_CHUNK:
        return "ERROR: WRONG LWO CHUNK\n";
    case LWO_GENERIC_FAILURE:
        return "ERROR: GENERIC FAILURE\n";
    default:
        return "ERROR: UNKNOWN ERROR CONDITION\n";
    }
}

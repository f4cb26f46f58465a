// Surface, clip and envelope chunks of an LWO2 file (SURF with its BLOK
// texture blocks, CLIP, ENVL). Every sub-chunk is read from its own window,
// so a sub-chunk longer than its known fields has the rest skipped and one
// shorter than them fills only the fields it holds.
// Relies on object_internal.h.
#include "lightwave/object_internal.h"

#include <cstdlib>
#include <cstring>

static void value_pair(LwoReader* r, ValuePair* v)
{
    lwo_get_f4(r, &v->value);
    lwo_get_vx(r, &v->envelope);
}

static int32_t status(const LwoReader* r)
{
    return *r->status;
}

// Walks the sub-chunks of r in order, giving visit each one's ID and body as
// its own window. Stops at the first failure: a header that does not fit or
// whose size lies, a code visit returns, or a failure the reader recorded.
template <typename Visit> static int32_t for_each_subchunk(LwoReader* r, Visit visit)
{
    while (lwo_remaining(r) > 0) {
        uint32_t id;
        LwoReader body;
        int32_t code = lwo_subchunk(r, &id, &body);
        if (code != LWO_OK)
            return code;
        code = visit(id, body);
        if (code != LWO_OK)
            return code;
        if (status(r) != LWO_OK)
            return status(r);
    }
    return LWO_OK;
}

// ---- Texture blocks ---------------------------------------------------------------

static int32_t read_tmap(LwoReader* r, Block* block)
{
    // A repeated TMAP replaces the earlier one.
    if (block->texture_map) {
        std::free(block->texture_map->reference_object);
        std::free(block->texture_map);
    }
    block->texture_map = static_cast<TextureMap*>(std::calloc(1, sizeof(TextureMap)));
    if (!block->texture_map)
        return LWO_NO_MEMORY;
    TextureMap* t = block->texture_map;
    return for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        switch (id) {
        case lwo_id("CNTR"):
            for (float& v : t->centre)
                lwo_get_f4(&b, &v);
            lwo_get_vx(&b, &t->centre_envelope);
            break;
        case lwo_id("SIZE"):
            for (float& v : t->size)
                lwo_get_f4(&b, &v);
            lwo_get_vx(&b, &t->size_envelope);
            break;
        case lwo_id("ROTA"):
            for (float& v : t->rotation)
                lwo_get_f4(&b, &v);
            lwo_get_vx(&b, &t->rotation_envelope);
            break;
        case lwo_id("OREF"):
            lwo_get_s0(&b, &t->reference_object);
            break;
        case lwo_id("FALL"):
            lwo_get_u2(&b, &t->falloff_type);
            for (float& v : t->falloff)
                lwo_get_f4(&b, &v);
            lwo_get_vx(&b, &t->falloff_envelope);
            break;
        case lwo_id("CSYS"):
            lwo_get_u2(&b, &t->coordinate_system);
            break;
        default:
            break;
        }
        return LWO_OK;
    });
}

static int32_t read_imap(LwoReader* r, Block* block)
{
    if (!block->image_map) {
        block->image_map = static_cast<ImageMap*>(std::calloc(1, sizeof(ImageMap)));
        if (!block->image_map)
            return LWO_NO_MEMORY;
    }
    ImageMap* m = block->image_map;
    return for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        int32_t code = LWO_OK;
        switch (id) {
        case lwo_id("PROJ"):
            lwo_get_u2(&b, &m->projection);
            break;
        case lwo_id("AXIS"):
            lwo_get_u2(&b, &m->axis);
            break;
        case lwo_id("IMAG"):
            lwo_get_vx(&b, &m->image);
            break;
        case lwo_id("WRAP"):
            lwo_get_u2(&b, &m->wrap_width_mode);
            lwo_get_u2(&b, &m->wrap_height_mode);
            break;
        case lwo_id("WRPW"):
            lwo_get_f4(&b, &m->wrap_width);
            lwo_get_vx(&b, &m->wrap_width_envelope);
            break;
        case lwo_id("WRPH"):
            lwo_get_f4(&b, &m->wrap_height);
            lwo_get_vx(&b, &m->wrap_height_envelope);
            break;
        case lwo_id("VMAP"):
            lwo_get_s0(&b, &m->vmap_name);
            break;
        case lwo_id("AAST"):
            lwo_get_u2(&b, &m->antialiasing_flags);
            lwo_get_f4(&b, &m->antialiasing_strength);
            break;
        case lwo_id("PIXB"):
            lwo_get_u2(&b, &m->pixel_blending);
            break;
        case lwo_id("STCK"):
            lwo_get_u2(&b, &m->sticky);
            lwo_get_f4(&b, &m->sticky_time);
            break;
        case lwo_id("TAMP"):
            lwo_get_f4(&b, &m->amplitude);
            lwo_get_vx(&b, &m->amplitude_envelope);
            break;
        case lwo_id("TMAP"):
            code = read_tmap(&b, block);
            break;
        default:
            break;
        }
        return code;
    });
}

static int32_t read_proc(LwoReader* r, Block* block)
{
    if (!block->procedural) {
        block->procedural = static_cast<Procedural*>(std::calloc(1, sizeof(Procedural)));
        if (!block->procedural)
            return LWO_NO_MEMORY;
    }
    Procedural* p = block->procedural;
    return for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        int32_t code = LWO_OK;
        switch (id) {
        case lwo_id("AXIS"):
            lwo_get_u2(&b, &p->axis);
            break;
        case lwo_id("VALU"):
            for (int i = 0; i < 3; ++i)
                lwo_get_f4(&b, &p->values[i]);
            break;
        case lwo_id("FUNC"):
            if (lwo_get_s0(&b, &p->function)) {
                // The rest of the sub-chunk is the function's own data.
                size_t n = lwo_remaining(&b);
                std::free(p->data);
                p->data = nullptr;
                p->data_size = 0;
                if (n > 0) {
                    p->data = static_cast<uint8_t*>(std::malloc(n));
                    if (!p->data)
                        return LWO_NO_MEMORY;
                    std::memcpy(p->data, b.data + b.pos, n);
                    p->data_size = static_cast<int32_t>(n);
                }
            }
            break;
        case lwo_id("TMAP"):
            code = read_tmap(&b, block);
            break;
        default:
            break;
        }
        return code;
    });
}

static int32_t read_grad(LwoReader* r, Block* block)
{
    if (!block->gradient) {
        block->gradient = static_cast<Gradient*>(std::calloc(1, sizeof(Gradient)));
        if (!block->gradient)
            return LWO_NO_MEMORY;
    }
    Gradient* g = block->gradient;
    return for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        int32_t code = LWO_OK;
        switch (id) {
        case lwo_id("FNAM"):
            lwo_get_s0(&b, &g->parameter);
            break;
        case lwo_id("INAM"):
            lwo_get_s0(&b, &g->item);
            break;
        case lwo_id("GRST"):
            lwo_get_f4(&b, &g->start);
            break;
        case lwo_id("GREN"):
            lwo_get_f4(&b, &g->end);
            break;
        case lwo_id("GRPT"):
            lwo_get_u2(&b, &g->repeat);
            break;
        case lwo_id("FKEY"): {
            size_t n = lwo_remaining(&b) / 8;
            std::free(g->keys);
            g->keys = nullptr;
            g->key_count = 0;
            if (n > 0) {
                g->keys = static_cast<GradientKey*>(std::malloc(n * sizeof(GradientKey)));
                if (!g->keys)
                    return LWO_NO_MEMORY;
                for (size_t k = 0; k < n; ++k) {
                    g->keys[k].input = lwo_f4(&b);
                    g->keys[k].output = lwo_f4(&b);
                }
                g->key_count = static_cast<int32_t>(n);
            }
            break;
        }
        case lwo_id("IKEY"): {
            // One parameter per key of the preceding FKEY, as far as the sub-chunk holds them.
            size_t n = lwo_remaining(&b) / 2;
            if (n > static_cast<size_t>(g->key_count))
                n = static_cast<size_t>(g->key_count);
            std::free(g->key_parameters);
            g->key_parameters = nullptr;
            g->key_parameter_count = 0;
            if (n > 0) {
                g->key_parameters = static_cast<uint16_t*>(std::malloc(n * sizeof(uint16_t)));
                if (!g->key_parameters)
                    return LWO_NO_MEMORY;
                for (size_t k = 0; k < n; ++k)
                    g->key_parameters[k] = lwo_u2(&b);
                g->key_parameter_count = static_cast<int32_t>(n);
            }
            break;
        }
        default:
            break;
        }
        return code;
    });
}

static int32_t read_blok(LwoReader* r, Surface* surface)
{
    Block* block = static_cast<Block*>(std::calloc(1, sizeof(Block)));
    if (!block)
        return LWO_NO_MEMORY;
    Block** tail = &surface->blocks;
    while (*tail)
        tail = &(*tail)->next;
    *tail = block;

    // The header sub-chunk: its ID is the block type.
    LwoReader header;
    int32_t code = lwo_subchunk(r, &block->type, &header);
    if (code != LWO_OK)
        return code;
    lwo_get_s0(&header, &block->ordinal);
    code = for_each_subchunk(&header, [&](uint32_t id, LwoReader& b) -> int32_t {
        switch (id) {
        case lwo_id("CHAN"):
            lwo_get_u4(&b, &block->channel);
            break;
        case lwo_id("ENAB"):
            lwo_get_u2(&b, &block->enable);
            break;
        case lwo_id("OPAC"):
            lwo_get_u2(&b, &block->opacity_type);
            lwo_get_f4(&b, &block->opacity);
            lwo_get_vx(&b, &block->opacity_envelope);
            break;
        case lwo_id("AXIS"):
            lwo_get_u2(&b, &block->axis);
            break;
        default:
            break;
        }
        return LWO_OK;
    });
    if (code != LWO_OK)
        return code;

    switch (block->type) {
    case lwo_id("IMAP"):
        return read_imap(r, block);
    case lwo_id("PROC"):
        return read_proc(r, block);
    case lwo_id("GRAD"):
        return read_grad(r, block);
    default:
        return LWO_OK; // the rest of the block is skipped
    }
}

// ---- SURF --------------------------------------------------------------------------

int32_t lwo_read_surf(LwoReader* r, LwoLoad* load)
{
    if (!r || !load)
        return LWO_GENERIC_FAILURE;
    Surface* s = static_cast<Surface*>(std::calloc(1, sizeof(Surface)));
    if (!s)
        return LWO_NO_MEMORY;
    Surface** tail = &load->surfaces;
    while (*tail)
        tail = &(*tail)->next;
    *tail = s;
    ValuePair* unset[] = {&s->diffuse,
                          &s->luminosity,
                          &s->specular,
                          &s->reflection,
                          &s->transparency,
                          &s->translucency,
                          &s->glossiness,
                          &s->sharpness,
                          &s->bump,
                          &s->reflection_seam_angle,
                          &s->reflection_blur,
                          &s->refractive_index,
                          &s->refraction_blur,
                          &s->colour_highlights,
                          &s->colour_filter,
                          &s->additive_transparency};
    for (ValuePair* v : unset)
        v->envelope = -1;

    s->name = lwo_s0(r);
    s->source = lwo_s0(r);
    if (status(r) != LWO_OK)
        return status(r);

    return for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        int32_t code = LWO_OK;
        switch (id) {
        case lwo_id("COLR"):
            for (float& v : s->colour)
                lwo_get_f4(&b, &v);
            lwo_get_vx(&b, &s->colour_envelope);
            break;
        case lwo_id("DIFF"):
            value_pair(&b, &s->diffuse);
            break;
        case lwo_id("LUMI"):
            value_pair(&b, &s->luminosity);
            break;
        case lwo_id("SPEC"):
            value_pair(&b, &s->specular);
            break;
        case lwo_id("TRAN"):
            value_pair(&b, &s->transparency);
            break;
        case lwo_id("GLOS"):
            value_pair(&b, &s->glossiness);
            break;
        case lwo_id("SHRP"):
            value_pair(&b, &s->sharpness);
            break;
        case lwo_id("BUMP"):
            value_pair(&b, &s->bump);
            break;
        case lwo_id("SIDE"):
            lwo_get_u2(&b, &s->sidedness);
            break;
        case lwo_id("SMAN"):
            lwo_get_f4(&b, &s->max_smoothing_angle);
            break;
        case lwo_id("RFOP"):
            lwo_get_u2(&b, &s->reflection_options);
            break;
        case lwo_id("RIMG"):
            lwo_get_vx(&b, &s->reflection_image);
            break;
        case lwo_id("RSAN"):
            value_pair(&b, &s->reflection_seam_angle);
            break;
        case lwo_id("RBLR"):
            value_pair(&b, &s->reflection_blur);
            break;
        case lwo_id("RIND"):
            value_pair(&b, &s->refractive_index);
            break;
        case lwo_id("TROP"):
            lwo_get_u2(&b, &s->transparency_options);
            break;
        case lwo_id("TIMG"):
            lwo_get_vx(&b, &s->refraction_image);
            break;
        case lwo_id("TBLR"):
            value_pair(&b, &s->refraction_blur);
            break;
        case lwo_id("CLRH"):
            value_pair(&b, &s->colour_highlights);
            break;
        case lwo_id("CLRF"):
            value_pair(&b, &s->colour_filter);
            break;
        case lwo_id("ADTR"):
            value_pair(&b, &s->additive_transparency);
            break;
        case lwo_id("GLOW"):
            lwo_get_u2(&b, &s->glow_type);
            lwo_get_f4(&b, &s->glow_intensity);
            lwo_get_vx(&b, &s->glow_intensity_envelope);
            lwo_get_f4(&b, &s->glow_size);
            lwo_get_vx(&b, &s->glow_size_envelope);
            break;
        case lwo_id("ALPH"):
            lwo_get_u2(&b, &s->alpha_mode);
            lwo_get_f4(&b, &s->alpha_value);
            break;
        case lwo_id("VCOL"):
            lwo_get_f4(&b, &s->vertex_colour_intensity);
            lwo_get_vx(&b, &s->vertex_colour_envelope);
            lwo_get_u4(&b, &s->vertex_colour_map_type);
            lwo_get_s0(&b, &s->vertex_colour_map_name);
            break;
        case lwo_id("BLOK"):
            code = read_blok(&b, s);
            break;
        default:
            break;
        }
        return code;
    });
}

// ---- CLIP --------------------------------------------------------------------------

int32_t lwo_read_clip(LwoReader* r, LwoLoad* load)
{
    if (!r || !load)
        return LWO_GENERIC_FAILURE;
    uint32_t index = lwo_u4(r);
    if (status(r) != LWO_OK)
        return status(r);
    char* file_name = nullptr;
    const int32_t code = for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        if (id == lwo_id("STIL")) {
            char* path = nullptr;
            if (lwo_get_s0(&b, &path)) {
                // Only the part after the last forward slash is kept.
                const char* slash = std::strrchr(path, '/');
                if (slash) {
                    std::memmove(path, slash + 1, std::strlen(slash + 1) + 1);
                }
                lwo_replace_string(&file_name, path);
            }
        }
        return LWO_OK;
    });
    if (code != LWO_OK || !file_name) {
        std::free(file_name);
        return code;
    }
    Clip* clip = static_cast<Clip*>(std::calloc(1, sizeof(Clip)));
    if (!clip) {
        std::free(file_name);
        return LWO_NO_MEMORY;
    }
    clip->index = index;
    clip->file_name = file_name;
    Clip** tail = &load->clips;
    while (*tail)
        tail = &(*tail)->next;
    *tail = clip;
    return LWO_OK;
}

// ---- ENVL --------------------------------------------------------------------------

int32_t lwo_read_envl(LwoReader* r, LwoLoad* load)
{
    if (!r || !load)
        return LWO_GENERIC_FAILURE;
    Envelope* e = static_cast<Envelope*>(std::calloc(1, sizeof(Envelope)));
    if (!e)
        return LWO_NO_MEMORY;
    e->next = load->envelopes;
    load->envelopes = e;
    e->index = static_cast<int32_t>(lwo_vx(r));
    if (status(r) != LWO_OK)
        return status(r);

    // The span in force: keys take it when read, a SPAN sets it and is copied
    // into the last key read so far.
    EnvelopeKey current = {};
    EnvelopeKey* last = nullptr;
    return for_each_subchunk(r, [&](uint32_t id, LwoReader& b) -> int32_t {
        switch (id) {
        case lwo_id("TYPE"):
            lwo_get_u1(&b, &e->type[0]);
            lwo_get_u1(&b, &e->type[1]);
            break;
        case lwo_id("PRE "):
            lwo_get_u2(&b, &e->pre_behaviour);
            break;
        case lwo_id("POST"):
            lwo_get_u2(&b, &e->post_behaviour);
            break;
        case lwo_id("KEY "): {
            EnvelopeKey* k = static_cast<EnvelopeKey*>(std::malloc(sizeof(EnvelopeKey)));
            if (!k)
                return LWO_NO_MEMORY;
            *k = current;
            k->next = nullptr;
            k->time = 0.0f;
            k->value = 0.0f;
            lwo_get_f4(&b, &k->time);
            lwo_get_f4(&b, &k->value);
            if (last)
                last->next = k;
            else
                e->keys = k;
            last = k;
            break;
        }
        case lwo_id("SPAN"): {
            uint32_t type = 0;
            lwo_get_u4(&b, &type);
            EnvelopeKey span = {};
            span.span_type = type;
            switch (type) {
            case lwo_id("TCB "):
                lwo_get_f4(&b, &span.tension);
                lwo_get_f4(&b, &span.continuity);
                lwo_get_f4(&b, &span.bias);
                break;
            case lwo_id("HERM"):
            case lwo_id("BEZI"):
                lwo_get_f4(&b, &span.parameters[0]);
                lwo_get_f4(&b, &span.parameters[1]);
                break;
            case lwo_id("BEZ2"):
                for (float& v : span.parameters)
                    lwo_get_f4(&b, &v);
                break;
            case lwo_id("LINE"):
            case lwo_id("STEP"):
                break;
            default:
                return LWO_WRONG_CHUNK;
            }
            current = span;
            if (last) {
                last->span_type = span.span_type;
                last->tension = span.tension;
                last->continuity = span.continuity;
                last->bias = span.bias;
                std::memcpy(last->parameters, span.parameters, sizeof span.parameters);
            }
            break;
        }
        default:
            break;
        }
        return LWO_OK;
    });
}

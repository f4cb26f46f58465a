// LWO2 object writer: the IFF byte builder and the chunk writers that turn an
// LwoObject description into a file the program's object reader accepts.
// Relies on the C++ standard library only.
#include "common/lwo_writer.h"

#include <cstdio>
#include <cstring>

LwoWriter::LwoWriter(bool form_header) : form_(form_header)
{
    if (form_) {
        id4("FORM");
        u4(0);
        id4("LWO2");
    }
}

void LwoWriter::id4(const char* id)
{
    size_t n = std::strlen(id);
    for (size_t i = 0; i < 4; ++i)
        bytes_.push_back(i < n ? static_cast<uint8_t>(id[i]) : static_cast<uint8_t>(' '));
}

void LwoWriter::u1(uint8_t v)
{
    bytes_.push_back(v);
}

void LwoWriter::u2(uint16_t v)
{
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    bytes_.push_back(static_cast<uint8_t>(v));
}

void LwoWriter::u4(uint32_t v)
{
    bytes_.push_back(static_cast<uint8_t>(v >> 24));
    bytes_.push_back(static_cast<uint8_t>(v >> 16));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    bytes_.push_back(static_cast<uint8_t>(v));
}

void LwoWriter::f4(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u4(bits);
}

void LwoWriter::vx(uint32_t index)
{
    if (index < 0xFF00u)
        u2(static_cast<uint16_t>(index));
    else
        vx4(index);
}

void LwoWriter::vx4(uint32_t index)
{
    u4(0xFF000000u | (index & 0x00FFFFFFu));
}

void LwoWriter::s0(const std::string& s)
{
    raw(s.data(), s.size());
    bytes_.push_back(0);
    if (s.size() % 2 == 0)
        bytes_.push_back(0);
}

void LwoWriter::raw(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

void LwoWriter::begin_chunk(const char* id)
{
    id4(id);
    open_.push_back({bytes_.size(), true});
    u4(0);
}

void LwoWriter::begin_subchunk(const char* id)
{
    id4(id);
    open_.push_back({bytes_.size(), false});
    u2(0);
}

void LwoWriter::end_open(bool pad)
{
    if (open_.empty())
        return;
    Open o = open_.back();
    open_.pop_back();
    size_t start = o.size_offset + (o.wide ? 4 : 2);
    size_t size = bytes_.size() - start;
    if (o.wide)
        patch_u4(o.size_offset, static_cast<uint32_t>(size));
    else
        patch_u2(o.size_offset, static_cast<uint16_t>(size));
    if (pad && (size & 1))
        bytes_.push_back(0);
}

void LwoWriter::end_chunk(bool pad)
{
    end_open(pad);
}
void LwoWriter::end_subchunk(bool pad)
{
    end_open(pad);
}

void LwoWriter::patch_u2(size_t offset, uint16_t v)
{
    if (offset + 2 > bytes_.size())
        return;
    bytes_[offset] = static_cast<uint8_t>(v >> 8);
    bytes_[offset + 1] = static_cast<uint8_t>(v);
}

void LwoWriter::patch_u4(size_t offset, uint32_t v)
{
    if (offset + 4 > bytes_.size())
        return;
    bytes_[offset] = static_cast<uint8_t>(v >> 24);
    bytes_[offset + 1] = static_cast<uint8_t>(v >> 16);
    bytes_[offset + 2] = static_cast<uint8_t>(v >> 8);
    bytes_[offset + 3] = static_cast<uint8_t>(v);
}

std::vector<uint8_t> LwoWriter::finish()
{
    while (!open_.empty())
        end_open(true);
    if (form_ && bytes_.size() >= 8)
        patch_u4(4, static_cast<uint32_t>(bytes_.size() - 8));
    return bytes_;
}

// ---- Chunk writers ------------------------------------------------------------

void lwo_write_tags(LwoWriter& w, const std::vector<std::string>& tags)
{
    w.begin_chunk("TAGS");
    for (const std::string& t : tags)
        w.s0(t);
    w.end_chunk();
}

static void write_bbox(LwoWriter& w, const std::vector<float>& points)
{
    float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (size_t i = 0; i + 2 < points.size(); i += 3) {
        for (int a = 0; a < 3; ++a) {
            float v = points[i + a];
            if (i == 0 || v < lo[a])
                lo[a] = v;
            if (i == 0 || v > hi[a])
                hi[a] = v;
        }
    }
    w.begin_chunk("BBOX");
    for (float v : lo)
        w.f4(v);
    for (float v : hi)
        w.f4(v);
    w.end_chunk();
}

void lwo_write_layer(LwoWriter& w, const LwoLayer& layer)
{
    w.begin_chunk("LAYR");
    w.u2(layer.number);
    w.u2(layer.flags);
    for (float v : layer.pivot)
        w.f4(v);
    w.s0(layer.name);
    if (layer.parent >= 0)
        w.u2(static_cast<uint16_t>(layer.parent));
    w.end_chunk();

    w.begin_chunk("PNTS");
    for (size_t i = 0; i + 2 < layer.points.size(); i += 3) {
        w.f4(layer.points[i]);
        w.f4(layer.points[i + 1]);
        w.f4(layer.points[i + 2]);
    }
    w.end_chunk();

    if (layer.write_bbox)
        write_bbox(w, layer.points);

    for (const LwoVertexMap& map : layer.vertex_maps) {
        w.begin_chunk("VMAP");
        w.id4(map.type);
        w.u2(map.dimension);
        w.s0(map.name);
        for (size_t k = 0; k < map.points.size(); ++k) {
            w.vx(map.points[k]);
            for (uint16_t d = 0; d < map.dimension; ++d) {
                size_t at = k * map.dimension + d;
                w.f4(at < map.values.size() ? map.values[at] : 0.0f);
            }
        }
        w.end_chunk();
    }

    if (!layer.polygons.empty()) {
        w.begin_chunk("POLS");
        w.id4("FACE");
        for (const LwoPolygon& p : layer.polygons) {
            w.u2(static_cast<uint16_t>(p.corners.size() & 0x3FF));
            for (uint32_t c : p.corners)
                w.vx(c);
        }
        w.end_chunk();

        bool any_surface = false;
        for (const LwoPolygon& p : layer.polygons)
            any_surface = any_surface || p.surface >= 0;
        if (any_surface) {
            w.begin_chunk("PTAG");
            w.id4("SURF");
            for (size_t i = 0; i < layer.polygons.size(); ++i) {
                if (layer.polygons[i].surface < 0)
                    continue;
                w.vx(static_cast<uint32_t>(i));
                w.u2(static_cast<uint16_t>(layer.polygons[i].surface));
            }
            w.end_chunk();
        }
    }
}

void lwo_write_clip(LwoWriter& w, const LwoClip& clip)
{
    w.begin_chunk("CLIP");
    w.u4(clip.index);
    w.begin_subchunk("STIL");
    w.s0(clip.path);
    w.end_subchunk();
    w.end_chunk();
}

static void write_value_pair(LwoWriter& w, const char* id, float v)
{
    w.begin_subchunk(id);
    w.f4(v);
    w.vx(0);
    w.end_subchunk();
}

static void write_image_block(LwoWriter& w, const LwoImageBlock& b, size_t ordinal)
{
    w.begin_subchunk("BLOK");
    w.begin_subchunk("IMAP");
    char ord[8];
    std::snprintf(ord, sizeof ord, "%c", static_cast<char>(0x80 + (ordinal & 0x7F)));
    w.s0(ord);
    w.begin_subchunk("CHAN");
    w.id4("COLR");
    w.end_subchunk();
    w.begin_subchunk("ENAB");
    w.u2(1);
    w.end_subchunk();
    w.end_subchunk();

    if (b.write_tmap) {
        w.begin_subchunk("TMAP");
        w.begin_subchunk("CNTR");
        for (float v : b.centre)
            w.f4(v);
        w.vx(0);
        w.end_subchunk();
        w.begin_subchunk("SIZE");
        for (float v : b.size)
            w.f4(v);
        w.vx(0);
        w.end_subchunk();
        w.begin_subchunk("ROTA");
        for (int i = 0; i < 3; ++i)
            w.f4(0.0f);
        w.vx(0);
        w.end_subchunk();
        w.begin_subchunk("CSYS");
        w.u2(0);
        w.end_subchunk();
        w.end_subchunk();
    }
    w.begin_subchunk("PROJ");
    w.u2(b.projection);
    w.end_subchunk();
    w.begin_subchunk("AXIS");
    w.u2(b.axis);
    w.end_subchunk();
    w.begin_subchunk("IMAG");
    w.vx(b.image);
    w.end_subchunk();
    w.begin_subchunk("WRAP");
    w.u2(1);
    w.u2(1);
    w.end_subchunk();
    if (!b.vmap_name.empty()) {
        w.begin_subchunk("VMAP");
        w.s0(b.vmap_name);
        w.end_subchunk();
    }
    w.end_subchunk();
}

void lwo_write_surface(LwoWriter& w, const LwoSurface& s)
{
    w.begin_chunk("SURF");
    w.s0(s.name);
    w.s0("");
    w.begin_subchunk("COLR");
    for (float v : s.colour)
        w.f4(v);
    w.vx(0);
    w.end_subchunk();
    write_value_pair(w, "DIFF", s.diffuse);
    if (s.transparency != 0.0f)
        write_value_pair(w, "TRAN", s.transparency);
    if (s.additive != 0.0f)
        write_value_pair(w, "ADTR", s.additive);
    w.begin_subchunk("SIDE");
    w.u2(s.sidedness);
    w.end_subchunk();
    for (size_t i = 0; i < s.blocks.size(); ++i)
        write_image_block(w, s.blocks[i], i);
    w.end_chunk();
}

std::vector<uint8_t> lwo_build(const LwoObject& object)
{
    LwoWriter w;
    std::vector<std::string> tags;
    for (const LwoSurface& s : object.surfaces)
        tags.push_back(s.name);
    if (!tags.empty())
        lwo_write_tags(w, tags);
    for (const LwoLayer& layer : object.layers)
        lwo_write_layer(w, layer);
    for (const LwoClip& clip : object.clips)
        lwo_write_clip(w, clip);
    for (const LwoSurface& s : object.surfaces)
        lwo_write_surface(w, s);
    return w.finish();
}

bool lwo_write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// ---- LWMO ---------------------------------------------------------------------

std::string lwmo_format(const std::vector<LwmoChannel>& channels)
{
    std::string out = "LWMO\n3\n\n";
    char line[512];
    std::snprintf(line, sizeof line, "NumChannels %zu\n", channels.size());
    out += line;
    for (size_t c = 0; c < channels.size(); ++c) {
        const LwmoChannel& ch = channels[c];
        std::snprintf(line, sizeof line, "Channel %zu\n{ Envelope\n  %zu\n", c, ch.keys.size());
        out += line;
        for (const LwmoKey& k : ch.keys) {
            std::snprintf(line, sizeof line, "  Key %.9g %.9g %d %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n",
                          k.value, k.time, k.shape, k.tension, k.continuity, k.bias, k.p0, k.p1, k.p2, k.p3);
            out += line;
        }
        std::snprintf(line, sizeof line, "  Behaviors %d %d\n}\n", ch.pre, ch.post);
        out += line;
    }
    return out;
}

bool lwmo_write_file(const std::string& path, const std::vector<LwmoChannel>& channels)
{
    std::string text = lwmo_format(channels);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

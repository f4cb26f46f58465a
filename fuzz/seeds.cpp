// Writes the seed corpus of the LightWave fuzz targets with the project's own
// LWO2/LWMO writers: well-formed objects using every chunk and sub-chunk the
// reader knows, and motion files with every key shape and behaviour.
//   lightwave_seeds OBJECT_DIR MOTION_DIR
// Relies on tools/common (lwo_writer.h).
#include "common/lwo_writer.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace
{

LwoLayer grid_layer(int n, float z, int32_t surface)
{
    LwoLayer layer;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            layer.points.push_back(static_cast<float>(x));
            layer.points.push_back(static_cast<float>(y));
            layer.points.push_back(z + 0.1f * static_cast<float>(x * y));
        }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            uint32_t a = static_cast<uint32_t>(y * (n + 1) + x);
            LwoPolygon p;
            p.corners = {a, a + 1, a + static_cast<uint32_t>(n) + 2, a + static_cast<uint32_t>(n) + 1};
            p.surface = surface;
            layer.polygons.push_back(p);
        }
    LwoVertexMap uv;
    uv.name = "uv";
    for (uint32_t k = 0; k < layer.points.size() / 3; ++k) {
        uv.points.push_back(k);
        uv.values.push_back(layer.points[k * 3] / static_cast<float>(n));
        uv.values.push_back(layer.points[k * 3 + 1] / static_cast<float>(n));
    }
    layer.vertex_maps.push_back(uv);
    return layer;
}

LwoSurface surface(const char* name, uint16_t projection, uint16_t axis)
{
    LwoSurface s;
    s.name = name;
    s.colour[0] = 0.9f;
    s.colour[1] = 0.6f;
    s.colour[2] = 0.2f;
    LwoImageBlock b;
    b.projection = projection;
    b.axis = axis;
    b.vmap_name = projection ? "" : "uv";
    b.image = 1;
    b.size[0] = b.size[1] = b.size[2] = 2.0f;
    s.blocks.push_back(b);
    return s;
}

void extra_chunks(LwoWriter& w)
{
    // VMAD, PTAG SMGP/PART, a procedural and a gradient block, an envelope
    // with every span type.
    w.begin_chunk("VMAD");
    w.id4("TXUV");
    w.u2(2);
    w.s0("uv");
    w.vx(1);
    w.vx(0);
    w.f4(0.5f);
    w.f4(0.25f);
    w.end_chunk();
    w.begin_chunk("PTAG");
    w.id4("SMGP");
    w.vx(0);
    w.u2(1);
    w.end_chunk();
    w.begin_chunk("PTAG");
    w.id4("PART");
    w.vx(1);
    w.u2(0);
    w.end_chunk();

    w.begin_chunk("SURF");
    w.s0("Procedural");
    w.s0("");
    w.begin_subchunk("BLOK");
    w.begin_subchunk("PROC");
    w.s0("\x80");
    w.begin_subchunk("OPAC");
    w.u2(0);
    w.f4(1.0f);
    w.vx(0);
    w.end_subchunk();
    w.end_subchunk();
    w.begin_subchunk("VALU");
    w.f4(1);
    w.f4(2);
    w.end_subchunk();
    w.begin_subchunk("FUNC");
    w.s0("Noise");
    w.u4(7);
    w.end_subchunk();
    w.begin_subchunk("TMAP");
    w.begin_subchunk("OREF");
    w.s0("(none)");
    w.end_subchunk();
    w.begin_subchunk("FALL");
    w.u2(0);
    w.f4(0);
    w.f4(0);
    w.f4(0);
    w.vx(0);
    w.end_subchunk();
    w.end_subchunk();
    w.end_subchunk();
    w.begin_subchunk("BLOK");
    w.begin_subchunk("GRAD");
    w.s0("\x81");
    w.end_subchunk();
    w.begin_subchunk("FNAM");
    w.s0("Slope");
    w.end_subchunk();
    w.begin_subchunk("INAM");
    w.s0("(none)");
    w.end_subchunk();
    w.begin_subchunk("GRST");
    w.f4(0);
    w.end_subchunk();
    w.begin_subchunk("GREN");
    w.f4(1);
    w.end_subchunk();
    w.begin_subchunk("GRPT");
    w.u2(1);
    w.end_subchunk();
    w.begin_subchunk("FKEY");
    w.f4(0);
    w.f4(1);
    w.f4(1);
    w.f4(0);
    w.end_subchunk();
    w.begin_subchunk("IKEY");
    w.u2(0);
    w.u2(1);
    w.end_subchunk();
    w.end_subchunk();
    const char* value_pairs[] = {"LUMI", "SPEC", "GLOS", "SHRP", "BUMP", "RSAN",
                                 "RBLR", "RIND", "TBLR", "CLRH", "CLRF"};
    for (const char* id : value_pairs) {
        w.begin_subchunk(id);
        w.f4(0.5f);
        w.vx(0);
        w.end_subchunk();
    }
    w.begin_subchunk("GLOW");
    w.u2(1);
    w.f4(1);
    w.vx(0);
    w.f4(2);
    w.vx(0);
    w.end_subchunk();
    w.begin_subchunk("VCOL");
    w.f4(1);
    w.vx(0);
    w.id4("RGB ");
    w.s0("colours");
    w.end_subchunk();
    w.end_chunk();

    w.begin_chunk("ENVL");
    w.vx(1);
    w.begin_subchunk("TYPE");
    w.u1(0);
    w.u1(1);
    w.end_subchunk();
    w.begin_subchunk("PRE ");
    w.u2(1);
    w.end_subchunk();
    w.begin_subchunk("POST");
    w.u2(2);
    w.end_subchunk();
    const char* spans[] = {"TCB ", "HERM", "BEZI", "BEZ2", "LINE", "STEP"};
    for (int i = 0; i < 6; ++i) {
        w.begin_subchunk("KEY ");
        w.f4(static_cast<float>(i));
        w.f4(static_cast<float>(i * i));
        w.end_subchunk();
        w.begin_subchunk("SPAN");
        w.id4(spans[i]);
        for (int p = 0; p < 4; ++p)
            w.f4(0.25f * static_cast<float>(p));
        w.end_subchunk();
    }
    w.end_chunk();
}

bool write_object(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes)
{
    return lwo_write_file(dir + "/" + name, bytes);
}

LwmoKey key(float time, float value, int16_t shape)
{
    LwmoKey k;
    k.time = time;
    k.value = value;
    k.shape = shape;
    k.tension = 0.25f;
    k.continuity = -0.5f;
    k.bias = 0.1f;
    k.p0 = -0.3f;
    k.p1 = 0.6f;
    k.p2 = 0.3f;
    k.p3 = 0.4f;
    return k;
}

std::vector<uint8_t> triangle_file()
{
    LwoObject o;
    LwoLayer layer;
    layer.points = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    LwoPolygon p;
    p.corners = {0, 1, 2};
    layer.polygons.push_back(p);
    o.layers.push_back(layer);
    return lwo_build(o);
}

void put_u4(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v >> 24);
    b[at + 1] = static_cast<uint8_t>(v >> 16);
    b[at + 2] = static_cast<uint8_t>(v >> 8);
    b[at + 3] = static_cast<uint8_t>(v);
}

bool write_text(const std::string& path, const std::string& text)
{
    return lwo_write_file(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// The deliberately broken files kept under tests/lightwave/corpus/; the
// tests know what each must give.
bool write_broken(const std::string& dir)
{
    bool ok = true;
    auto put = [&](const char* name, const std::vector<uint8_t>& bytes) {
        ok = lwo_write_file(dir + "/" + name, bytes) && ok;
    };
    std::vector<uint8_t> good = triangle_file();
    put("empty.lwo", {});
    put("truncated_in_chunk.lwo", std::vector<uint8_t>(good.begin(), good.end() - 5));
    {
        // Cut after the LAYR chunk: the FORM still claims the rest.
        std::vector<uint8_t> cut(good.begin(), good.begin() + 12 + 8 + 18);
        put("truncated_at_boundary.lwo", cut);
    }
    {
        std::vector<uint8_t> b = good;
        put_u4(b, 12 + 8 + 18 + 4, 0x7FFFFFF0u); // the PNTS size
        put("lying_chunk_size.lwo", b);
    }
    {
        std::vector<uint8_t> b = good;
        put_u4(b, 4, 0xFFFFFFF0u);
        put("lying_form_size.lwo", b);
    }
    {
        LwoWriter w;
        w.raw(good.data() + 12, good.size() - 12);
        w.begin_chunk("SURF");
        w.s0("S");
        w.s0("");
        w.id4("COLR");
        w.u2(0x7FFF);
        w.f4(1);
        w.end_chunk();
        put("lying_subchunk_size.lwo", w.finish());
    }
    {
        LwoWriter w;
        w.raw(good.data() + 12, good.size() - 12);
        w.begin_chunk("POLS");
        w.id4("FACE");
        w.u2(0x3FF);
        w.u2(0);
        w.end_chunk();
        put("corner_count_beyond_chunk.lwo", w.finish());
    }
    {
        LwoWriter w;
        w.begin_chunk("TAGS");
        w.raw("abcd", 4);
        w.end_chunk();
        w.raw(good.data() + 12, good.size() - 12);
        put("string_without_nul.lwo", w.finish());
    }
    {
        LwoWriter w;
        w.raw(good.data() + 12, good.size() - 12);
        w.begin_chunk("ENVL");
        w.vx(0);
        w.begin_subchunk("KEY ");
        w.f4(0);
        w.f4(0);
        w.end_subchunk();
        w.begin_subchunk("SPAN");
        w.id4("CUBE");
        w.end_subchunk();
        w.end_chunk();
        put("bad_envelope_span.lwo", w.finish());
    }
    {
        std::vector<uint8_t> b = good;
        b[11] = 'B'; // LWOB
        put("wrong_form_type.lwo", b);
    }
    {
        std::string text = "this is not an object file at all\n";
        put("not_iff.lwo", std::vector<uint8_t>(text.begin(), text.end()));
    }
    {
        LwoWriter w;
        w.begin_chunk("PNTS");
        w.f4(0);
        w.f4(0);
        w.f4(0);
        w.end_chunk();
        put("geometry_before_layer.lwo", w.finish());
    }
    {
        LwoWriter w;
        LwoSurface s;
        s.name = "Lonely";
        lwo_write_surface(w, s);
        put("no_layer.lwo", w.finish());
    }
    {
        LwoWriter w;
        w.raw(good.data() + 12, good.size() - 12);
        w.begin_chunk("SURF");
        w.s0("S");
        w.s0("");
        w.raw("COL", 3); // a sub-chunk header that does not fit
        w.end_chunk();
        put("subchunk_header_cut.lwo", w.finish());
    }
    {
        LwoWriter w;
        w.raw(good.data() + 12, good.size() - 12);
        w.begin_chunk("VMAP");
        w.id4("TXUV");
        w.u2(0xFFFF);
        w.s0("wide");
        w.u2(0);
        w.f4(1);
        w.end_chunk();
        put("huge_vmap_dimension.lwo", w.finish());
    }
    {
        LwoWriter w;
        lwo_write_tags(w, {"S"});
        w.raw(good.data() + 12, good.size() - 12);
        w.begin_chunk("POLS");
        w.id4("FACE");
        w.u2(3);
        w.vx(0);
        w.vx(1);
        w.vx(0xFFFFFF);
        w.end_chunk();
        w.begin_chunk("PTAG");
        w.id4("SURF");
        w.vx(0x123456);
        w.u2(0);
        w.vx(1);
        w.u2(999);
        w.end_chunk();
        w.begin_chunk("VMAP");
        w.id4("TXUV");
        w.u2(2);
        w.s0("uv");
        w.vx(0xFFFFFF);
        w.f4(1);
        w.f4(1);
        w.end_chunk();
        w.begin_chunk("VMAD");
        w.id4("TXUV");
        w.u2(2);
        w.s0("uv");
        w.vx(2);
        w.vx(0xFFFFFF);
        w.f4(1);
        w.f4(1);
        w.end_chunk();
        put("out_of_range_indices.lwo", w.finish());
    }

    const std::string head = "LWMO\n3\n\nNumChannels 1\nChannel 0\n{ Envelope\n  1\n";
    auto text = [&](const char* name, const std::string& t) { ok = write_text(dir + "/" + name, t) && ok; };
    text("no_magic.mo", "LWM0\nNumChannels 1\n");
    text("eof_before_brace.mo", head + "  Key 0 0 3 0 0 0 0 0 0 0\n");
    text("short_key.mo", head + "  Key 0 0 3 0\n}\n");
    text("short_behaviours.mo", head + "  Behaviors 2\n}\n");
    text("negative_channels.mo", "LWMO\nNumChannels -1\n");
    text("huge_channels.mo", "LWMO\nNumChannels 2147483647\n");
    text("missing_channel.mo", "LWMO\nNumChannels 2\nChannel 0\n{ Envelope\n 0\n}\n");
    std::string tail(300, 'k');
    tail[270] = '}';
    // Loads with one key: the brace beyond the line buffer must not end the channel.
    text("overlong_brace.mo", head + "Note " + tail + "\n  Key 1 0 3 0 0 0 0 0 0 0\n}\n");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--broken")
        return write_broken(argv[2]) ? 0 : 1;
    if (argc != 3) {
        std::fprintf(stderr, "usage: lightwave_seeds OBJECT_DIR MOTION_DIR\n"
                             "       lightwave_seeds --broken CORPUS_DIR\n");
        return 2;
    }
    std::string objects = argv[1], motions = argv[2];
    bool ok = true;

    // One object per projection and axis, with a UV-mapped surface too.
    for (uint16_t projection = 0; projection <= 4; ++projection) {
        LwoObject o;
        o.surfaces.push_back(surface("Mapped", projection, static_cast<uint16_t>(1 + projection % 3)));
        o.surfaces.push_back(surface("Plain", 0, 1));
        o.surfaces[1].transparency = 0.5f;
        o.clips.push_back({1, "images/wood.png"});
        o.layers.push_back(grid_layer(2, 0.0f, 0));
        o.layers.push_back(grid_layer(1, 1.0f, 1));
        o.layers[1].number = 1;
        o.layers[1].parent = 0;
        o.layers[1].name = "top";
        ok = write_object(objects, "projection_" + std::to_string(projection) + ".lwo", lwo_build(o)) && ok;
    }

    // Every other chunk kind, and mixed polygon sizes with large indices.
    {
        LwoWriter w;
        lwo_write_tags(w, {"Mapped", "Procedural"});
        lwo_write_clip(w, {2, "c:\\textures\\stone.jpg"});
        LwoLayer layer = grid_layer(3, 0.0f, 0);
        LwoPolygon pentagon;
        pentagon.corners = {0, 1, 2, 6, 5};
        layer.polygons.push_back(pentagon);
        LwoPolygon line;
        line.corners = {0, 15};
        layer.polygons.push_back(line);
        lwo_write_layer(w, layer);
        extra_chunks(w);
        lwo_write_surface(w, surface("Mapped", 2, 2));
        ok = write_object(objects, "every_chunk.lwo", w.finish()) && ok;
    }
    {
        LwoObject o;
        o.layers.push_back(grid_layer(1, 0.0f, -1));
        o.layers[0].polygons[0].corners = {0, 1, 3};
        ok = write_object(objects, "minimal.lwo", lwo_build(o)) && ok;
    }

    // Motion files: every shape, every behaviour.
    for (int16_t behaviour = 0; behaviour <= 5; ++behaviour) {
        std::vector<LwmoChannel> channels;
        for (int16_t shape = 0; shape <= 5; ++shape) {
            LwmoChannel c;
            c.pre = behaviour;
            c.post = static_cast<int16_t>(5 - behaviour);
            for (int k = 0; k < 4; ++k)
                c.keys.push_back(
                    key(static_cast<float>(k) * 1.5f, std::sin(static_cast<float>(k + shape)), shape));
            channels.push_back(c);
        }
        ok = lwmo_write_file(motions + "/behaviour_" + std::to_string(behaviour) + ".mo", channels) && ok;
    }
    {
        LwmoChannel one;
        one.keys.push_back(key(0, 3, 3));
        ok = lwmo_write_file(motions + "/one_key.mo", {one, LwmoChannel{}}) && ok;
    }
    return ok ? 0 : 1;
}

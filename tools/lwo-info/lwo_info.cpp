// lwo-info: prints what the program's own readers make of LightWave object
// (LWO2) and motion (LWMO) files, for artists checking their files. The
// output format is stable and documented in the --help text below.
// Relies on lightwave (object_load_code, motion_load) and scene (mesh_build_from_layer).
#include "lightwave/lightwave.h"
#include "platform/paths.h"
#include "scene/mesh_load.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

const char* const HELP = "usage: lwo-info [--tsv] FILE...\n"
                         "\n"
                         "Prints what the demo reads from LightWave object files (LWO2, .lwo) and\n"
                         "motion files (LWMO, .mo). A file is read as a motion file when its name\n"
                         "ends in .mo or it starts with LWMO, otherwise as an object file.\n"
                         "\n"
                         "Object file, one block per file:\n"
                         "  object PATH\n"
                         "  layer ORDINAL NAME number N parent P\n"
                         "    points N\n"
                         "    polygons N triangulated M      N: polygons read from FACE chunks,\n"
                         "                                   M: polygons after triangulation\n"
                         "    mesh triangles T               T: triangles of the Mesh built from the\n"
                         "                                   layer, or 'mesh failed'\n"
                         "    bbox MINX MINY MINZ MAXX MAXY MAXZ\n"
                         "    vmap TYPE NAME entries N dimension D   (one line per vertex map; TXUV\n"
                         "                                   maps the Mesh uses are marked ' used')\n"
                         "  surface NAME colour R G B transparency T additive A   (R G B as 0..1)\n"
                         "    block TYPE projection P (KIND) axis A (X|Y|Z|?) vmap NAME|-\n"
                         "                                   (one line per IMAP block; projection\n"
                         "                                   1 planar, 2 cubic, 3 cylindrical,\n"
                         "                                   4 spherical, 0 none; axis 1 X, 2 Y, 3 Z)\n"
                         "  clip INDEX FILENAME\n"
                         "Names are printed in double quotes. Numbers use printf %g.\n"
                         "\n"
                         "Motion file:\n"
                         "  motion PATH\n"
                         "  channels N\n"
                         "  channel I keys K pre B post B values T:V T:V ...\n"
                         "                                   values at times -1 0 0.5 1 2 5 10\n"
                         "\n"
                         "--tsv prints instead one tab-separated line per layer of each object:\n"
                         "  PATH  LAYER  POINTS  POLYGONS  TRIANGLES\n"
                         "LAYER counts from 0, POLYGONS are those read from FACE chunks before\n"
                         "triangulation, TRIANGLES those of the Mesh built from the layer ('-' when\n"
                         "the build fails). A motion file prints PATH - motion CHANNELS.\n"
                         "\n"
                         "A file that cannot be read prints 'PATH: TEXT' on standard error, TEXT\n"
                         "being 'cannot open it (REASON)' or the reader's diagnostic (e.g. ERROR:\n"
                         "END OF FILE); with --tsv it\n"
                         "prints PATH - error TEXT (tab-separated) on standard output. The other\n"
                         "files are still listed; the exit status is then 1, else 0. A motion file\n"
                         "without the LWMO magic also makes the reader print its own line\n"
                         "'ERROR! PATH is not a LWMO file: LINE' on standard output.\n";

const float TIMES[] = {-1.0f, 0.0f, 0.5f, 1.0f, 2.0f, 5.0f, 10.0f};

std::string id_text(uint32_t id)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((id >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

const char* projection_name(uint16_t p)
{
    switch (p) {
    case LWO_PROJECTION_PLANAR:
        return "planar";
    case LWO_PROJECTION_CUBIC:
        return "cubic";
    case LWO_PROJECTION_CYLINDRICAL:
        return "cylindrical";
    case LWO_PROJECTION_SPHERICAL:
        return "spherical";
    default:
        return "none";
    }
}

const char* axis_name(uint16_t a)
{
    switch (a) {
    case 1:
        return "X";
    case 2:
        return "Y";
    case 3:
        return "Z";
    default:
        return "?";
    }
}

std::string without_newline(const char* text)
{
    std::string s = text;
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

bool is_motion_file(const char* path)
{
    size_t n = std::strlen(path);
    if (n >= 3 && std::strcmp(path + n - 3, ".mo") == 0)
        return true;
    char head[4] = {};
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    size_t got = std::fread(head, 1, 4, f);
    std::fclose(f);
    return got == 4 && std::memcmp(head, "LWMO", 4) == 0;
}

// A file that cannot be opened (missing, a folder, not a regular file) is
// reported as such, with the reason, before any reader sees it.
bool can_open(const char* path, bool tsv)
{
    int fd = path_open_data(path);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    if (tsv)
        std::printf("%s\t-\terror\tcannot open it (%s)\n", path, path_failure_reason());
    else
        std::fprintf(stderr, "%s: cannot open it (%s)\n", path, path_failure_reason());
    return false;
}

bool motion_info(const char* path, bool tsv)
{
    MotionEnvelope** envelopes = nullptr;
    int32_t count = 0;
    if (motion_load(path, &envelopes, &count) != 0) {
        const char* text = object_error_text(LWO_GENERIC_FAILURE);
        if (tsv)
            std::printf("%s\t-\terror\t%s\n", path, without_newline(text).c_str());
        else
            std::fprintf(stderr, "%s: %s", path, text);
        return false;
    }
    if (tsv) {
        std::printf("%s\t-\tmotion\t%d\n", path, count);
    } else {
        std::printf("motion %s\nchannels %d\n", path, count);
        for (int32_t i = 0; i < count; ++i) {
            const MotionEnvelope* e = envelopes[i];
            std::printf("channel %d keys %d pre %d post %d values", i, e->key_count, e->pre_behaviour,
                        e->post_behaviour);
            for (float t : TIMES)
                std::printf(" %g:%g", t, envelope_evaluate(e, t));
            std::printf("\n");
        }
    }
    motion_free_all(envelopes, count);
    return true;
}

void print_layer(const ObjectLayer* layer, int ordinal, int32_t triangles)
{
    const PointSet* set = layer->points;
    std::printf("layer %d \"%s\" number %d parent %d\n", ordinal, layer->name ? layer->name : "",
                layer->number, layer->parent);
    std::printf("  points %d\n", set ? set->count : 0);
    std::printf("  polygons %d triangulated %d\n", layer->face_polygon_count, layer->polygon_count);
    if (triangles >= 0)
        std::printf("  mesh triangles %d\n", triangles);
    else
        std::printf("  mesh failed\n");
    std::printf("  bbox %g %g %g %g %g %g\n", layer->bbox_min.x, layer->bbox_min.y, layer->bbox_min.z,
                layer->bbox_max.x, layer->bbox_max.y, layer->bbox_max.z);
    for (const VertexMap* m = layer->vertex_maps; m; m = m->next)
        std::printf("  vmap %s \"%s\" entries %d dimension %d%s\n", id_text(m->type).c_str(),
                    m->name ? m->name : "", m->entry_count, m->dimension,
                    set && set->txuv == m ? " used" : "");
}

void print_surfaces(const ObjectLayer* first)
{
    for (const Surface* s = first->surfaces; s; s = s->next) {
        std::printf("surface \"%s\" colour %g %g %g transparency %g additive %g\n", s->name ? s->name : "",
                    s->colour[0], s->colour[1], s->colour[2], s->transparency.value,
                    s->additive_transparency.value);
        for (const Block* b = s->blocks; b; b = b->next) {
            if (!b->image_map)
                continue;
            const ImageMap* m = b->image_map;
            std::printf("  block %s projection %d (%s) axis %d (%s) vmap %s%s%s\n", id_text(b->type).c_str(),
                        m->projection, projection_name(m->projection), m->axis, axis_name(m->axis),
                        m->vmap_name ? "\"" : "", m->vmap_name ? m->vmap_name : "-",
                        m->vmap_name ? "\"" : "");
        }
    }
    for (const Clip* c = first->clips; c; c = c->next)
        std::printf("clip %u \"%s\"\n", c->index, c->file_name);
}

bool object_info(const char* path, bool tsv)
{
    int32_t code = 0;
    ObjectLayer* object = object_load_code(path, &code);
    if (!object) {
        const char* text = object_error_text(code);
        if (tsv)
            std::printf("%s\t-\terror\t%s\n", path, without_newline(text).c_str());
        else
            std::fprintf(stderr, "%s: %s", path, text);
        return false;
    }
    if (!tsv)
        std::printf("object %s\n", path);
    int ordinal = 0;
    for (const ObjectLayer* layer = object; layer; layer = layer->next, ++ordinal) {
        Mesh* mesh = mesh_build_from_layer(layer, "error\n");
        int32_t triangles = mesh ? mesh->triangle_count : -1;
        mesh_free(mesh);
        if (tsv) {
            std::printf("%s\t%d\t%d\t%d\t", path, ordinal, layer->points ? layer->points->count : 0,
                        layer->face_polygon_count);
            if (triangles >= 0)
                std::printf("%d\n", triangles);
            else
                std::printf("-\n");
        } else {
            print_layer(layer, ordinal, triangles);
        }
    }
    if (!tsv)
        print_surfaces(object);
    object_free(object);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool tsv = false;
    int files = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HELP, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--tsv") == 0)
            tsv = true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tsv") == 0)
            continue;
        ++files;
        bool read = can_open(argv[i], tsv) &&
                    (is_motion_file(argv[i]) ? motion_info(argv[i], tsv) : object_info(argv[i], tsv));
        ok = read && ok;
    }
    if (files == 0) {
        std::fputs(HELP, stderr);
        return 2;
    }
    return ok ? 0 : 1;
}

// The LWO2 object reader: primitives and chunk sizes, layer rules, polygons,
// tags, vertex maps, surfaces, clips, envelopes, post-processing and the
// handling of truncated, lying and out-of-range files.
#include "lw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

const std::vector<float> TRIANGLE = {0, 0, 0, 1, 0, 0, 0, 1, 0};

std::vector<uint8_t> one_triangle()
{
    LwoObject o;
    o.layers.push_back(make_layer(TRIANGLE, {{0, 1, 2}}));
    return lwo_build(o);
}

} // namespace

TEST(ObjectReader, ErrorTextsFollowTheCodes)
{
    EXPECT_STREQ(object_error_text(-4), "ERROR: FILE ERROR\n");
    EXPECT_STREQ(object_error_text(-3), "ERROR: END OF FILE\n");
    EXPECT_STREQ(object_error_text(-2), "ERROR: MEMORY ALLOCATION ERROR\n");
    EXPECT_STREQ(object_error_text(-1), "ERROR: WRONG LWO CHUNK\n");
    EXPECT_STREQ(object_error_text(0), "ERROR: GENERIC FAILURE\n");
    EXPECT_STREQ(object_error_text(7), "ERROR: UNKNOWN ERROR CONDITION\n");
}

TEST(ObjectReader, MissingFileAndWrongFormFail)
{
    int32_t code = 0;
    EXPECT_EQ(object_load_code(build_path("no_such_object.lwo").c_str(), &code), nullptr);
    EXPECT_EQ(code, LWO_FILE_ERROR);
    std::vector<uint8_t> bytes = one_triangle();
    bytes[8] = 'X'; // LWO2 -> XWO2
    EXPECT_EQ(load_code(bytes), LWO_WRONG_CHUNK);
    bytes = one_triangle();
    bytes[0] = 'F' + 1;
    EXPECT_EQ(load_code(bytes), LWO_WRONG_CHUNK);
}

TEST(ObjectReader, ChunkEndingAtEndOfFileIsNotAnError)
{
    int32_t code = 0;
    ObjectPtr o = load_bytes(one_triangle(), &code);
    ASSERT_TRUE(o);
    EXPECT_EQ(code, LWO_OK);
    EXPECT_EQ(o->points->count, 3);
    EXPECT_EQ(o->polygon_count, 1);
    EXPECT_STREQ(o->name, "mem:0");
}

TEST(ObjectReader, OddUnknownChunkIsSkippedWithItsPad)
{
    LwoWriter w;
    w.begin_chunk("ZZZZ");
    w.u1(0xFF);
    w.u1(0xFF);
    w.u1(0xFF);
    w.end_chunk(); // size 3 plus a pad byte
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    EXPECT_EQ(o->polygon_count, 1);
}

TEST(ObjectReader, StringsSpanAnEvenNumberOfBytes)
{
    LwoWriter w;
    lwo_write_tags(w, {"abcd", "abc", "", "x"}); // 6 + 4 + 2 + 2 bytes
    w.begin_chunk("TAGS");
    w.raw("ab\0", 3); // odd chunk: three bytes, then the chunk's pad
    w.end_chunk();
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    std::vector<uint8_t> bytes = w.finish();
    EXPECT_EQ(bytes[19], 6 + 4 + 2 + 2); // the first TAGS chunk's size
    ObjectPtr o = load_bytes(bytes);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->tag_count, 5);
    EXPECT_STREQ(o->tags[0], "abcd");
    EXPECT_STREQ(o->tags[1], "abc");
    EXPECT_STREQ(o->tags[2], "");
    EXPECT_STREQ(o->tags[3], "x");
    EXPECT_STREQ(o->tags[4], "ab");
}

TEST(ObjectReader, IndexSizesFollowTheirFirstByte)
{
    // 0xFF10 points: corners below 0xFF00 may use either form, those above
    // must use the four-byte one.
    const uint32_t points = 0xFF10;
    LwoLayer layer;
    layer.points.assign(points * 3, 0.0f);
    for (uint32_t i = 0; i < points; ++i)
        layer.points[i * 3] = static_cast<float>(i);
    LwoWriter w;
    lwo_write_layer(w, layer);
    w.begin_chunk("POLS");
    w.id4("FACE");
    w.u2(3);
    w.vx4(0); // non-canonical four-byte forms of small indices
    w.vx4(1);
    w.vx4(2);
    w.u2(3);
    w.vx(0xFE01); // first byte 0xFE: two bytes
    w.vx(0xFF05); // four bytes
    w.vx(7);
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    ASSERT_EQ(o->polygon_count, 2);
    EXPECT_EQ(o->polygons[0].corners[2], 2u);
    EXPECT_EQ(o->polygons[1].corners[0], 0xFE01u);
    EXPECT_EQ(o->polygons[1].corners[1], 0xFF05u);
    EXPECT_EQ(o->polygons[1].corners[2], 7u);
}

TEST(ObjectReader, TagsBeforeFirstLayerMakeOneLayer)
{
    LwoObject obj;
    obj.surfaces.push_back(LwoSurface{});
    obj.surfaces[0].name = "Default";
    obj.layers.push_back(make_layer(TRIANGLE, {{0, 1, 2}}, 0));
    ObjectPtr o = load_bytes(lwo_build(obj));
    ASSERT_TRUE(o);
    EXPECT_EQ(layer_count(o.get()), 1);
    ASSERT_EQ(o->tag_count, 1);
    ASSERT_NE(o->polygons[0].surface, nullptr);
    EXPECT_STREQ(o->polygons[0].surface->name, "Default");
}

TEST(ObjectReader, TwoLayersAreNamedByOrdinalAndShareTheFileLists)
{
    LwoObject obj;
    obj.surfaces.push_back(LwoSurface{});
    obj.surfaces[0].name = "Skin";
    obj.clips.push_back({3, "images/skin.png"});
    obj.layers.push_back(make_layer(TRIANGLE, {{0, 1, 2}}, 0));
    obj.layers.push_back(make_layer({0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 2, 2}, {{0, 1, 3, 2}}, 0));
    obj.layers[1].number = 1;
    obj.layers[1].parent = 0;
    ObjectPtr o = load_bytes(lwo_build(obj), nullptr, "dir/thing.lwo");
    ASSERT_TRUE(o);
    ASSERT_EQ(layer_count(o.get()), 2);
    ObjectLayer* second = o->next;
    EXPECT_STREQ(o->name, "dir/thing.lwo:0");
    EXPECT_STREQ(second->name, "dir/thing.lwo:1");
    EXPECT_EQ(second->number, 1);
    EXPECT_EQ(second->parent, 0);
    // The second layer's polygons found the first layer's surface.
    ASSERT_EQ(second->polygon_count, 2);
    ASSERT_NE(second->polygons[0].surface, nullptr);
    EXPECT_STREQ(second->polygons[0].surface->name, "Skin");
    // Only the first layer holds the shared lists.
    ASSERT_NE(o->clips, nullptr);
    EXPECT_STREQ(o->clips->file_name, "skin.png");
    EXPECT_EQ(o->clips->index, 3u);
    EXPECT_EQ(second->clips, nullptr);
    EXPECT_EQ(second->surfaces, nullptr);
    EXPECT_EQ(second->tags, nullptr);
}

TEST(ObjectReader, ClipBeforeFirstLayerIsKept)
{
    LwoWriter w;
    lwo_write_clip(w, {1, "a\\b\\c.png"});
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    lwo_write_clip(w, {2, "x/y/z.jpg"});
    w.begin_chunk("CLIP"); // no STIL: discarded
    w.u4(9);
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    EXPECT_EQ(layer_count(o.get()), 1);
    ASSERT_NE(o->clips, nullptr);
    EXPECT_STREQ(o->clips->file_name, "a\\b\\c.png"); // backslashes are kept whole
    ASSERT_NE(o->clips->next, nullptr);
    EXPECT_STREQ(o->clips->next->file_name, "z.jpg");
    EXPECT_EQ(o->clips->next->next, nullptr);
}

TEST(ObjectReader, GeometryBeforeAnyLayerFails)
{
    LwoWriter w;
    w.begin_chunk("PNTS");
    for (int i = 0; i < 9; ++i)
        w.f4(0);
    w.end_chunk();
    EXPECT_EQ(load_code(w.finish()), LWO_GENERIC_FAILURE);
    LwoWriter empty;
    EXPECT_EQ(load_code(empty.finish()), LWO_GENERIC_FAILURE); // no layer at all
}

TEST(ObjectReader, LayerWithoutParentFieldReadsAndStaysInStep)
{
    LwoWriter w;
    w.begin_chunk("LAYR");
    w.u2(4);
    w.u2(1);
    w.f4(1);
    w.f4(2);
    w.f4(3);
    w.s0("top");
    w.end_chunk();
    w.begin_chunk("PNTS");
    for (float v : TRIANGLE)
        w.f4(v);
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    EXPECT_EQ(o->number, 4);
    EXPECT_EQ(o->flags, 1);
    EXPECT_EQ(o->pivot.z, 3.0f);
    EXPECT_EQ(o->parent, 0);
    EXPECT_EQ(o->points->count, 3);
}

TEST(ObjectReader, FaceFlagBitsAreDroppedAndOtherPolygonTypesSkipped)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {}));
    w.begin_chunk("POLS");
    w.id4("PTCH");
    w.u2(3);
    w.u2(0);
    w.u2(1);
    w.u2(2);
    w.end_chunk();
    w.begin_chunk("POLS");
    w.id4("FACE"); // empty: reads nothing from the next chunk
    w.end_chunk();
    w.begin_chunk("POLS");
    w.id4("FACE");
    w.u2(0xFC00 | 3);
    w.u2(2);
    w.u2(1);
    w.u2(0);
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    ASSERT_EQ(o->polygon_count, 1);
    EXPECT_EQ(o->face_polygon_count, 1);
    EXPECT_EQ(o->polygons[0].corner_count, 3);
    EXPECT_EQ(o->polygons[0].corners[0], 2u);
}

TEST(ObjectReader, QuadsAndPentagonsBecomeFans)
{
    std::vector<float> pts = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 0.5f, 0};
    ObjectPtr o =
        load_bytes(lwo_build({{}, {}, {make_layer(pts, {{0, 1, 2, 3}, {0, 1, 2}, {0, 1, 2, 3, 4}})}}));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->face_polygon_count, 3);
    ASSERT_EQ(o->polygon_count, 2 + 1 + 3);
    const uint32_t expect[6][3] = {{0, 1, 2}, {0, 2, 3}, {0, 1, 2}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(o->polygons[i].corner_count, 3);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(o->polygons[i].corners[c], expect[i][c]) << i << " " << c;
    }
    // Fan triangles carry the polygon's plane with a zero normal length.
    EXPECT_EQ(o->polygons[1].normal.z, 1.0f);
    EXPECT_EQ(o->polygons[1].normal_length, 0.0f);
    EXPECT_EQ(o->polygons[2].normal_length, 1.0f);
}

TEST(ObjectReader, PlanesAndAreaWeightedPointNormals)
{
    // Triangle A: (0,0,0) (1,0,0) (0,1,0), normal +Z, area weight 1.
    // Triangle B shares the edge 0-1 and has twice A's weight along +Y.
    std::vector<float> pts = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, -2};
    ObjectPtr o = load_bytes(lwo_build({{}, {}, {make_layer(pts, {{0, 1, 2}, {0, 1, 3}})}}));
    ASSERT_TRUE(o);
    const Polygon& a = o->polygons[0];
    EXPECT_EQ(a.normal.x, 0.0f);
    EXPECT_EQ(a.normal.y, 0.0f);
    EXPECT_EQ(a.normal.z, 1.0f);
    EXPECT_EQ(a.d, 0.0f);
    EXPECT_EQ(a.normal_length, 1.0f);
    const Polygon& b = o->polygons[1];
    EXPECT_EQ(b.normal_length, 2.0f);
    EXPECT_EQ(b.normal.y, 1.0f);
    // Point 0: (0,0,1)*1 + (0,1,0)*2 normalised.
    const Vec3& n0 = o->points->normals[0];
    EXPECT_FLOAT_EQ(n0.y / n0.z, 2.0f);
    EXPECT_NEAR(n0.y * n0.y + n0.z * n0.z, 1.0f, 1e-6f);
    EXPECT_EQ(o->points->normals[2].z, 1.0f);
    EXPECT_EQ(o->points->normals[3].y, 1.0f);
}

TEST(ObjectReader, PointOfNoPolygonKeepsZeroNormalAndBoundingBoxIsRecomputed)
{
    LwoLayer layer = make_layer({0, 0, 0, 1, 0, 0, 0, 1, 0, 5, -7, 2}, {{0, 1, 2}});
    layer.write_bbox = false;
    LwoWriter w;
    lwo_write_layer(w, layer);
    w.begin_chunk("BBOX");
    for (int i = 0; i < 6; ++i)
        w.f4(100.0f);
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    EXPECT_EQ(o->points->normals[3].x, 0.0f);
    EXPECT_EQ(o->points->normals[3].y, 0.0f);
    EXPECT_EQ(o->points->normals[3].z, 0.0f);
    EXPECT_EQ(o->bbox_min.y, -7.0f);
    EXPECT_EQ(o->bbox_max.x, 5.0f);
    EXPECT_EQ(o->bbox_max.z, 2.0f);
    EXPECT_EQ(o->bbox_min.x, 0.0f);
}

TEST(ObjectReader, PolygonTagsResolveSurfacesSmoothingGroupsAndParts)
{
    LwoWriter w;
    lwo_write_tags(w, {"Red", "Green", "Missing"});
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}));
    w.begin_chunk("PTAG");
    w.id4("SURF");
    w.u2(0);
    w.u2(1);
    w.u2(1);
    w.u2(0);
    w.u2(2);
    w.u2(2); // a tag naming no surface
    w.u2(40);
    w.u2(0); // no such polygon
    w.u2(0);
    w.u2(9); // no such tag
    w.end_chunk();
    w.begin_chunk("PTAG");
    w.id4("SMGP");
    w.u2(1);
    w.u2(2);
    w.end_chunk();
    w.begin_chunk("PTAG");
    w.id4("PART");
    w.u2(2);
    w.u2(1);
    w.end_chunk();
    LwoSurface red, green;
    red.name = "Red";
    green.name = "Green";
    lwo_write_surface(w, red);
    lwo_write_surface(w, green);
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    ASSERT_EQ(o->polygon_count, 3);
    ASSERT_NE(o->polygons[0].surface, nullptr);
    EXPECT_STREQ(o->polygons[0].surface->name, "Green");
    EXPECT_STREQ(o->polygons[1].surface->name, "Red");
    EXPECT_EQ(o->polygons[2].surface, nullptr);
    EXPECT_EQ(o->polygons[1].smoothing_group, 2);
    EXPECT_EQ(o->polygons[2].part, 1);
}

TEST(ObjectReader, OutOfRangeIndicesAreDroppedAndTagsFollowTheirPolygons)
{
    LwoWriter w;
    lwo_write_tags(w, {"A", "B"});
    LwoLayer layer = make_layer(TRIANGLE, {{0, 1, 99}, {2, 1, 0}, {0, 0x00FFFFFF, 1}, {0, 2, 1}});
    layer.polygons[1].surface = 1;
    layer.polygons[3].surface = 0;
    layer.polygons[0].surface = 0;
    LwoVertexMap map;
    map.name = "uv";
    map.points = {0, 99, 2};
    map.values = {0.1f, 0.2f, 9, 9, 0.5f, 0.6f};
    layer.vertex_maps.push_back(map);
    lwo_write_layer(w, layer);
    w.begin_chunk("VMAD");
    w.id4("TXUV");
    w.u2(2);
    w.s0("uv");
    w.u2(77); // point out of range
    w.u2(1);
    w.f4(1);
    w.f4(1);
    w.u2(2);
    w.u2(3); // polygon 3 becomes polygon 1
    w.f4(0.25f);
    w.f4(0.75f);
    w.end_chunk();
    LwoSurface a, b;
    a.name = "A";
    b.name = "B";
    LwoImageBlock block;
    block.vmap_name = "uv";
    a.blocks.push_back(block);
    lwo_write_surface(w, a);
    lwo_write_surface(w, b);
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    ASSERT_EQ(o->polygon_count, 2);
    EXPECT_EQ(o->polygons[0].corners[0], 2u);
    EXPECT_STREQ(o->polygons[0].surface->name, "B");
    EXPECT_STREQ(o->polygons[1].surface->name, "A");
    const VertexMap* uv = find_map(o.get(), "uv");
    ASSERT_NE(uv, nullptr);
    ASSERT_EQ(uv->entry_count, 2);
    EXPECT_EQ(uv->points[1], 2u);
    EXPECT_EQ(uv->values[2], 0.5f);
    EXPECT_EQ(uv->values[3], 0.6f);
    // Polygon 1 (was 3) links the map; its corner on point 2 has entry 1.
    EXPECT_EQ(o->polygons[1].image_map, uv);
    EXPECT_EQ(o->polygons[1].map_entries[1], 1u);
    EXPECT_EQ(o->polygons[1].map_entries[0], 0u);
    ASSERT_NE(o->discontinuous_maps, nullptr);
    EXPECT_EQ(o->discontinuous_maps->entry_count, 1);
    ASSERT_NE(o->polygons[1].discontinuous[1], nullptr);
    EXPECT_EQ(o->polygons[1].discontinuous[1]->values[1], 0.75f);
    EXPECT_EQ(o->polygons[1].discontinuous[0], nullptr);
}

TEST(ObjectReader, VertexMapCapacityHoldsOneEntryAndOddPickMaps)
{
    LwoLayer layer = make_layer(TRIANGLE, {{0, 1, 2}});
    LwoVertexMap one;
    one.name = "one";
    one.points = {1};
    one.values = {0.25f, 0.5f};
    LwoVertexMap pick;
    std::memcpy(pick.type, "PICK", 5);
    pick.dimension = 0;
    pick.name = "sel";
    pick.points = {0, 1, 2};
    LwoVertexMap rgb;
    std::memcpy(rgb.type, "RGB ", 5);
    rgb.dimension = 3;
    rgb.name = "c";
    rgb.points = {2};
    rgb.values = {1, 0.5f, 0};
    layer.vertex_maps = {one, pick, rgb};
    ObjectPtr o = load_bytes(lwo_build({{}, {}, {layer}}));
    ASSERT_TRUE(o);
    const VertexMap* m = find_map(o.get(), "one");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->entry_count, 1);
    EXPECT_EQ(m->points[0], 1u);
    EXPECT_EQ(m->values[1], 0.5f);
    m = find_map(o.get(), "sel");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->entry_count, 3);
    EXPECT_EQ(o->points->pick, m);
    EXPECT_EQ(o->points->rgb, find_map(o.get(), "c"));
    EXPECT_EQ(o->points->txuv, find_map(o.get(), "one"));
}

TEST(ObjectReader, RepeatedPointChunkReplacesTheEarlierOne)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer({1, 1, 1, 2, 2, 2}, {}));
    w.begin_chunk("PNTS");
    for (float v : TRIANGLE)
        w.f4(v);
    w.end_chunk();
    w.begin_chunk("PNTS"); // shorter than one point: no points
    w.f4(1);
    w.end_chunk();
    w.begin_chunk("PNTS");
    for (float v : TRIANGLE)
        w.f4(v);
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    EXPECT_EQ(o->points->count, 3);
    EXPECT_EQ(o->points->positions[1].x, 1.0f);
}

TEST(ObjectReader, LyingSizesFailWithoutAllocating)
{
    // A chunk claiming 2 GB.
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    size_t at = w.position();
    w.begin_chunk("PNTS");
    w.f4(0);
    w.end_chunk();
    std::vector<uint8_t> bytes = w.finish();
    LwoWriter patch(false);
    patch.bytes() = bytes;
    patch.patch_u4(at + 4, 0x7FFFFFF0u);
    EXPECT_EQ(load_code(patch.bytes()), LWO_END_OF_FILE);

    // A polygon claiming 1023 corners in a short chunk.
    LwoWriter p;
    lwo_write_layer(p, make_layer(TRIANGLE, {}));
    p.begin_chunk("POLS");
    p.id4("FACE");
    p.u2(1023);
    p.u2(0);
    p.end_chunk();
    EXPECT_EQ(load_code(p.finish()), LWO_END_OF_FILE);

    // A sub-chunk longer than its surface.
    LwoWriter s;
    lwo_write_layer(s, make_layer(TRIANGLE, {{0, 1, 2}}));
    s.begin_chunk("SURF");
    s.s0("S");
    s.s0("");
    s.id4("COLR");
    s.u2(0x7FFF);
    s.f4(1);
    s.end_chunk();
    EXPECT_EQ(load_code(s.finish()), LWO_END_OF_FILE);

    // A FORM larger than the file.
    std::vector<uint8_t> form = one_triangle();
    form[7] += 2;
    EXPECT_EQ(load_code(form), LWO_END_OF_FILE);
}

TEST(ObjectReader, TruncationAtEveryChunkBoundaryAndByteFailsCleanly)
{
    LwoObject obj;
    obj.surfaces.resize(2);
    obj.surfaces[0].name = "Plain";
    obj.surfaces[1].name = "Glass";
    obj.surfaces[1].transparency = 0.5f;
    LwoImageBlock block;
    block.projection = LWO_PROJECTION_SPHERICAL;
    block.axis = 2;
    obj.surfaces[1].blocks.push_back(block);
    obj.clips.push_back({1, "a/b.png"});
    std::vector<float> pts = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    obj.layers.push_back(make_layer(pts, {{0, 1, 2, 3}}, 0));
    obj.layers.push_back(make_layer(pts, {{0, 1, 2}, {0, 2, 3}}, 1));
    std::vector<uint8_t> full = lwo_build(obj);
    ASSERT_TRUE(load_bytes(full));

    std::vector<size_t> boundaries;
    for (size_t pos = 12; pos + 8 <= full.size();) {
        boundaries.push_back(pos);
        uint32_t size = static_cast<uint32_t>(full[pos + 4]) << 24 | full[pos + 5] << 16 |
                        full[pos + 6] << 8 | full[pos + 7];
        pos += 8 + size + (size & 1);
    }
    ASSERT_GE(boundaries.size(), 10u);
    for (size_t b : boundaries) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(b));
        EXPECT_EQ(load_code(cut), LWO_END_OF_FILE) << "cut at " << b;
    }
    for (size_t n = 0; n < full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
        int32_t code = 0;
        EXPECT_FALSE(load_bytes(cut, &code)) << "cut at " << n;
        EXPECT_LE(code, 0);
        // With the FORM size matching the cut, the reader may succeed or
        // fail, but never reads past the end.
        if (n >= 12) {
            uint32_t size = static_cast<uint32_t>(n - 8);
            cut[4] = static_cast<uint8_t>(size >> 24);
            cut[5] = static_cast<uint8_t>(size >> 16);
            cut[6] = static_cast<uint8_t>(size >> 8);
            cut[7] = static_cast<uint8_t>(size);
            load_bytes(cut);
        }
    }
}

TEST(ObjectReader, OpaquePolygonsComeFirstInTheirOrder)
{
    LwoObject obj;
    obj.surfaces.resize(3);
    obj.surfaces[0].name = "Glass";
    obj.surfaces[0].transparency = 0.5f;
    obj.surfaces[1].name = "Solid";
    obj.surfaces[2].name = "Glow";
    obj.surfaces[2].additive = 1.0f;
    LwoLayer layer = make_layer(TRIANGLE, {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {1, 0, 2}});
    layer.polygons[0].surface = 0;
    layer.polygons[1].surface = 2;
    layer.polygons[2].surface = 1;
    layer.polygons[3].surface = -1;
    layer.polygons[4].surface = 1;
    obj.layers.push_back(layer);
    ObjectPtr o = load_bytes(lwo_build(obj));
    ASSERT_TRUE(o);
    ASSERT_EQ(o->polygon_count, 5);
    EXPECT_EQ(o->polygons[0].corners[0], 2u); // Solid
    EXPECT_EQ(o->polygons[1].surface, nullptr);
    EXPECT_EQ(o->polygons[2].corners[0], 1u); // Solid
    EXPECT_STREQ(o->polygons[3].surface->name, "Glass");
    EXPECT_STREQ(o->polygons[4].surface->name, "Glow");
}

TEST(ObjectReader, SurfaceDefaultsAndUnknownOrLongSubchunks)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    w.begin_chunk("SURF");
    w.s0("Odd");
    w.s0("");
    w.begin_subchunk("XYZW");
    w.u4(0xDEADBEEF);
    w.u1(1);
    w.end_subchunk(); // odd size, padded
    w.end_chunk();
    w.begin_chunk("SURF");
    w.s0("Long");
    w.s0("src");
    w.begin_subchunk("COLR");
    w.f4(0.5f);
    w.f4(0.25f);
    w.f4(1.0f);
    w.vx(3);
    w.u4(0x12345678); // fields a newer version added
    w.end_subchunk();
    w.begin_subchunk("BLOK"); // a block type this reader does not know
    w.begin_subchunk("XTRA");
    w.s0("\x80");
    w.end_subchunk();
    w.u4(1);
    w.end_subchunk();
    w.begin_subchunk("DIFF");
    w.f4(0.75f);
    w.end_subchunk(); // short: no envelope index
    w.begin_subchunk("SIDE");
    w.u2(3);
    w.end_subchunk();
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    Surface* odd = o->surfaces;
    ASSERT_NE(odd, nullptr);
    EXPECT_STREQ(odd->name, "Odd");
    EXPECT_EQ(odd->transparency.value, 0.0f);
    EXPECT_EQ(odd->transparency.envelope, -1);
    EXPECT_EQ(odd->diffuse.envelope, -1);
    EXPECT_EQ(odd->additive_transparency.envelope, -1);
    EXPECT_EQ(odd->colour_envelope, 0);
    Surface* s = odd->next;
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->source, "src");
    EXPECT_EQ(s->colour[1], 0.25f);
    EXPECT_EQ(s->colour_envelope, 3);
    EXPECT_EQ(s->diffuse.value, 0.75f);
    EXPECT_EQ(s->diffuse.envelope, -1);
    EXPECT_EQ(s->sidedness, 3);
    ASSERT_NE(s->blocks, nullptr);
    EXPECT_EQ(s->blocks->type, lwo_id("XTRA"));
}

TEST(ObjectReader, ImageBlockSubchunksAreStored)
{
    LwoObject obj;
    obj.surfaces.resize(1);
    obj.surfaces[0].name = "S";
    LwoImageBlock b;
    b.projection = LWO_PROJECTION_CYLINDRICAL;
    b.axis = 1;
    b.image = 4;
    b.centre[1] = 2.0f;
    b.size[2] = 3.0f;
    obj.surfaces[0].blocks.push_back(b);
    obj.layers.push_back(make_layer(TRIANGLE, {{0, 1, 2}}, 0));
    ObjectPtr o = load_bytes(lwo_build(obj));
    ASSERT_TRUE(o);
    const Block* block = o->surfaces->blocks;
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->type, lwo_id("IMAP"));
    EXPECT_EQ(block->channel, lwo_id("COLR"));
    EXPECT_EQ(block->enable, 1);
    ASSERT_NE(block->image_map, nullptr);
    EXPECT_EQ(block->image_map->projection, 3);
    EXPECT_EQ(block->image_map->axis, 1);
    EXPECT_EQ(block->image_map->image, 4);
    EXPECT_EQ(block->image_map->wrap_width_mode, 1);
    ASSERT_NE(block->texture_map, nullptr);
    EXPECT_EQ(block->texture_map->centre[1], 2.0f);
    EXPECT_EQ(block->texture_map->size[2], 3.0f);
    EXPECT_STREQ(block->image_map->vmap_name, "cylinder_uv_1");
}

TEST(ObjectReader, ProceduralAndGradientBlocksReadTheirFields)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    w.begin_chunk("SURF");
    w.s0("P");
    w.s0("");
    w.begin_subchunk("BLOK");
    w.begin_subchunk("PROC");
    w.s0("\x80");
    w.begin_subchunk("AXIS");
    w.u2(2);
    w.end_subchunk();
    w.end_subchunk();
    w.begin_subchunk("VALU");
    for (int i = 1; i <= 4; ++i)
        w.f4(static_cast<float>(i));
    w.end_subchunk();
    w.begin_subchunk("FUNC");
    w.s0("Turbulence");
    w.u4(0x01020304);
    w.u1(5);
    w.end_subchunk();
    w.end_subchunk();
    w.begin_subchunk("BLOK");
    w.begin_subchunk("GRAD");
    w.s0("\x81");
    w.end_subchunk();
    w.begin_subchunk("FNAM");
    w.s0("Slope");
    w.end_subchunk();
    w.begin_subchunk("FKEY");
    for (int i = 0; i < 4; ++i)
        w.f4(static_cast<float>(i));
    w.end_subchunk();
    w.begin_subchunk("IKEY");
    w.u2(7);
    w.u2(8);
    w.u2(9); // more than the keys: dropped
    w.end_subchunk();
    w.end_subchunk();
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    const Block* proc = o->surfaces->blocks;
    ASSERT_NE(proc->procedural, nullptr);
    EXPECT_EQ(proc->axis, 2);
    EXPECT_EQ(proc->procedural->values[2], 3.0f);
    EXPECT_STREQ(proc->procedural->function, "Turbulence");
    ASSERT_EQ(proc->procedural->data_size, 5);
    EXPECT_EQ(proc->procedural->data[4], 5);
    const Block* grad = proc->next;
    ASSERT_NE(grad, nullptr);
    ASSERT_NE(grad->gradient, nullptr);
    EXPECT_STREQ(grad->gradient->parameter, "Slope");
    ASSERT_EQ(grad->gradient->key_count, 2);
    EXPECT_EQ(grad->gradient->keys[1].output, 3.0f);
    ASSERT_EQ(grad->gradient->key_parameter_count, 2);
    EXPECT_EQ(grad->gradient->key_parameters[1], 8);
}

TEST(ObjectReader, EnvelopesTakeTheSpanInForce)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    w.begin_chunk("ENVL");
    w.vx(1);
    w.begin_subchunk("PRE ");
    w.u2(2);
    w.end_subchunk();
    w.begin_subchunk("SPAN"); // before any key: only sets the span in force
    w.id4("TCB ");
    w.f4(0.5f);
    w.f4(0.25f);
    w.f4(0.125f);
    w.end_subchunk();
    w.begin_subchunk("KEY ");
    w.f4(0);
    w.f4(1);
    w.end_subchunk();
    w.begin_subchunk("KEY ");
    w.f4(2);
    w.f4(3);
    w.end_subchunk();
    w.begin_subchunk("SPAN");
    w.id4("BEZ2");
    for (int i = 0; i < 4; ++i)
        w.f4(static_cast<float>(i + 1));
    w.end_subchunk();
    w.begin_subchunk("NAME");
    w.s0("Position.X");
    w.end_subchunk();
    w.end_chunk();
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    const Envelope* e = o->envelopes;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->index, 1);
    EXPECT_EQ(e->pre_behaviour, 2);
    const EnvelopeKey* k = e->keys;
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->span_type, lwo_id("TCB "));
    EXPECT_EQ(k->bias, 0.125f);
    EXPECT_EQ(k->value, 1.0f);
    ASSERT_NE(k->next, nullptr);
    EXPECT_EQ(k->next->time, 2.0f);
    EXPECT_EQ(k->next->span_type, lwo_id("BEZ2"));
    EXPECT_EQ(k->next->parameters[3], 4.0f);
    EXPECT_EQ(k->next->tension, 0.0f);
}

TEST(ObjectReader, UnknownEnvelopeSpanTypeFailsTheLoad)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    w.begin_chunk("ENVL");
    w.vx(1);
    w.begin_subchunk("KEY ");
    w.f4(0);
    w.f4(1);
    w.end_subchunk();
    w.begin_subchunk("SPAN");
    w.id4("SPLN");
    w.end_subchunk();
    w.end_chunk();
    EXPECT_EQ(load_code(w.finish()), LWO_WRONG_CHUNK);
}

TEST(ObjectReader, EmptyEntryChunksReadNothingFromTheNextChunk)
{
    LwoWriter w;
    lwo_write_layer(w, make_layer(TRIANGLE, {{0, 1, 2}}));
    w.begin_chunk("PTAG");
    w.id4("SURF");
    w.end_chunk();
    w.begin_chunk("VMAP");
    w.id4("TXUV");
    w.u2(2);
    w.s0("empty");
    w.end_chunk();
    w.begin_chunk("VMAD");
    w.id4("TXUV");
    w.u2(2);
    w.s0("nothing");
    w.end_chunk();
    lwo_write_layer(w, make_layer(TRIANGLE, {{2, 1, 0}}));
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    EXPECT_EQ(o->polygon_tag_count, 0);
    ASSERT_NE(find_map(o.get(), "empty"), nullptr);
    EXPECT_EQ(find_map(o.get(), "empty")->entry_count, 0);
    EXPECT_EQ(o->discontinuous_maps->entry_count, 0);
    ASSERT_EQ(layer_count(o.get()), 2);
    EXPECT_EQ(o->next->polygons[0].corners[0], 2u);
}

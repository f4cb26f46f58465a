// Motion-path pipe: the superformula section, the grow limits (before the
// start, fewer than two rings, past the end), and the ring frames on paths
// that degenerate: keys that stop early, a start at the origin, a straight
// line through it. No ring may hold a NaN vertex.
#include "common/lwo_writer.h"
#include "scenes/pipe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace
{

struct Path {
    MotionEnvelope* x = nullptr;
    MotionEnvelope* y = nullptr;
    MotionEnvelope* z = nullptr;
};

// Three linear channels with keys at the given times from f.
Path make_path(const std::vector<float>& times, const std::function<void(float, float*)>& f)
{
    std::vector<LwmoChannel> channels(3);
    for (float t : times) {
        float p[3];
        f(t, p);
        for (int c = 0; c < 3; ++c) {
            LwmoKey key;
            key.time = t;
            key.value = p[c];
            channels[static_cast<size_t>(c)].keys.push_back(key);
        }
    }
    std::string text = lwmo_format(channels);
    FILE* file = fmemopen(text.data(), text.size(), "r");
    MotionEnvelope** envelopes = nullptr;
    int32_t count = 0;
    Path path;
    if (file && motion_load_stream(file, "path.mo", &envelopes, &count) == 0 && count == 3) {
        path.x = envelopes[0];
        path.y = envelopes[1];
        path.z = envelopes[2];
        std::free(envelopes);
    }
    if (file)
        std::fclose(file);
    return path;
}

std::vector<float> key_times(float first, float last)
{
    std::vector<float> times;
    for (float t = first; t <= last; t += 1.0f)
        times.push_back(t);
    return times;
}

void circle(float t, float* p)
{
    p[0] = 8.0f * std::cos(0.3f * t);
    p[1] = 0.5f * t;
    p[2] = 8.0f * std::sin(0.3f * t);
}

void expect_finite_rings(const Pipe* pipe, float radius)
{
    const Mesh* mesh = pipe->mesh;
    for (int32_t ring = 0; ring < pipe->ring_count; ++ring) {
        float cx = 0, cy = 0, cz = 0;
        for (int32_t k = 0; k < pipe->sides; ++k) {
            const MeshVertex& v = mesh->vertices[ring * pipe->sides + k];
            ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z)) << "ring " << ring;
            cx += v.x;
            cy += v.y;
            cz += v.z;
        }
        cx /= pipe->sides;
        cy /= pipe->sides;
        cz /= pipe->sides;
        // Every side sits at the section's radius from the ring's centre.
        for (int32_t k = 0; k < pipe->sides; ++k) {
            const MeshVertex& v = mesh->vertices[ring * pipe->sides + k];
            const float d =
                std::sqrt((v.x - cx) * (v.x - cx) + (v.y - cy) * (v.y - cy) + (v.z - cz) * (v.z - cz));
            ASSERT_NEAR(d, radius, 1e-3f) << "ring " << ring << " side " << k;
        }
    }
    for (int32_t i = 0; i < mesh->vertex_count * 3; ++i)
        ASSERT_TRUE(std::isfinite(mesh->normals[i])) << i;
}

TEST(PipeSection, CircleOfTheScaleAndNoNaNForUnusableParameters)
{
    Path path = make_path(key_times(0, 4), circle);
    ASSERT_NE(path.x, nullptr);
    Pipe* pipe = pipe_create(0.0f, 4.0f, 4, 8, path.x, path.y, path.z);
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(pipe->caps, 0);
    EXPECT_EQ(pipe->u_repeat, 1);
    EXPECT_EQ(pipe->v_repeat, 1.0f);
    EXPECT_EQ(pipe->vertex_count, 0);
    EXPECT_EQ(pipe->triangle_count, 0);
    pipe_set_shape(pipe, 1, 1, 0, 1, 1, 1, 1.125f);
    for (int k = 0; k < 8; ++k) {
        const float phi = 6.2831855f * k / 8;
        EXPECT_NEAR(pipe->section[k].x, 1.125f * std::cos(phi), 1e-5f) << k;
        EXPECT_NEAR(pipe->section[k].y, 1.125f * std::sin(phi), 1e-5f) << k;
    }
    // m = 4, n = (1, 1, 1): a diamond, r = |cos phi| + |sin phi|.
    pipe_set_shape(pipe, 1, 1, 4, 1, 1, 1, 1.0f);
    EXPECT_NEAR(pipe->section[1].x, std::cos(0.7853982f) / (2 * std::cos(0.7853982f)), 1e-5f);
    EXPECT_NEAR(pipe->section[2].y, 1.0f, 1e-5f);
    // a = 0 or n1 = 0 make r infinite or NaN: every point is finite.
    for (float a : {0.0f, 1.0f}) {
        pipe_set_shape(pipe, a, 1, 4, a == 0.0f ? 1.0f : 0.0f, 1, 1, 1.0f);
        for (int k = 0; k < 8; ++k)
            EXPECT_TRUE(std::isfinite(pipe->section[k].x) && std::isfinite(pipe->section[k].y))
                << a << " " << k;
    }
    pipe_free(pipe);
}

TEST(PipeGrow, EmptyBeforeTheStartAndBelowTwoRingsFullAndNoMorePastTheEnd)
{
    Path path = make_path(key_times(0, 20), circle);
    Pipe* pipe = pipe_create(0.0f, 20.0f, 16, 8, path.x, path.y, path.z);
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(pipe->ring_capacity, 320);
    EXPECT_EQ(pipe->mesh->vertex_count, 0);
    for (float t : {-5.0f, -0.001f, 0.0f, 1.0f / 16.0f}) {
        pipe_grow(pipe, t);
        EXPECT_EQ(pipe->mesh->vertex_count, 0) << t;
        EXPECT_EQ(pipe->mesh->triangle_count, 0) << t;
    }
    pipe_grow(pipe, 0.1f); // two rings
    EXPECT_EQ(pipe->ring_count, 2);
    EXPECT_EQ(pipe->mesh->vertex_count, 16);
    EXPECT_EQ(pipe->mesh->triangle_count, 16);
    pipe_grow(pipe, 5.0f);
    EXPECT_EQ(pipe->ring_count, 80);
    for (float t : {20.0f, 20.03f, 25.0f, 1e30f}) {
        pipe_grow(pipe, t);
        EXPECT_EQ(pipe->ring_count, 320) << t;
        EXPECT_EQ(pipe->mesh->vertex_count, 320 * 8) << t;
        EXPECT_EQ(pipe->mesh->triangle_count, 2 * 8 * 319) << t;
    }
    // A NaN time draws nothing.
    pipe_grow(pipe, std::nanf(""));
    EXPECT_EQ(pipe->mesh->vertex_count, 0);
    pipe_free(pipe);
}

TEST(PipeGrow, RingsAreCirclesAroundThePathAcrossTheTangent)
{
    Path path = make_path(key_times(0, 20), circle);
    Pipe* pipe = pipe_create(0.0f, 20.0f, 16, 8, path.x, path.y, path.z);
    ASSERT_NE(pipe, nullptr);
    pipe_set_shape(pipe, 1, 1, 0, 1, 1, 1, 0.5f);
    pipe_grow(pipe, 12.3f);
    expect_finite_rings(pipe, 0.5f);
    // Ring l lies across the path direction at time l * step + step.
    const float step = 20.0f / 320.0f;
    const int l = 40;
    float p[3], q[3];
    circle(l * step + step, p);
    circle(l * step, q);
    const float t[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    const float tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    for (int k = 0; k < 8; ++k) {
        const MeshVertex& v = pipe->mesh->vertices[l * 8 + k];
        const float d = ((v.x - envelope_evaluate(pipe->path_x, l * step + step)) * t[0] +
                         (v.y - envelope_evaluate(pipe->path_y, l * step + step)) * t[1] +
                         (v.z - envelope_evaluate(pipe->path_z, l * step + step)) * t[2]) /
                        tl;
        EXPECT_NEAR(d, 0.0f, 0.05f) << k;
    }
    // Vertex normals point out of the tube, so its outside faces the viewer.
    for (int ring = 1; ring < pipe->ring_count - 1; ++ring) {
        float c[3] = {0, 0, 0};
        for (int k = 0; k < 8; ++k) {
            c[0] += pipe->mesh->vertices[ring * 8 + k].x / 8;
            c[1] += pipe->mesh->vertices[ring * 8 + k].y / 8;
            c[2] += pipe->mesh->vertices[ring * 8 + k].z / 8;
        }
        for (int k = 0; k < 8; ++k) {
            const MeshVertex& v = pipe->mesh->vertices[ring * 8 + k];
            const float* n = pipe->mesh->normals + 6 * (ring * 8 + k);
            EXPECT_GT(n[0] * (v.x - c[0]) + n[1] * (v.y - c[1]) + n[2] * (v.z - c[2]), 0.0f)
                << ring << " " << k;
        }
    }
    // Texture coordinates: around the tube in u, along the whole path in v.
    pipe->v_repeat = 64.0f;
    pipe_grow(pipe, 20.0f);
    EXPECT_FLOAT_EQ(pipe->mesh->vertices[3].u, 3.0f / 8.0f);
    EXPECT_FLOAT_EQ(pipe->mesh->vertices[160 * 8].v, 32.0f);
    pipe_free(pipe);
}

TEST(PipeGrow, KeysThatStopEarlyKeepTheLastFrameWithoutNaN)
{
    // Keys only up to 6 s of a 20 s pipe: the path stands still afterwards.
    Path path = make_path(key_times(0, 6), circle);
    Pipe* pipe = pipe_create(0.0f, 20.0f, 16, 8, path.x, path.y, path.z);
    ASSERT_NE(pipe, nullptr);
    pipe_set_shape(pipe, 1, 1, 0, 1, 1, 1, 0.75f);
    for (float t : {6.5f, 20.0f}) {
        pipe_grow(pipe, t);
        expect_finite_rings(pipe, 0.75f);
    }
    pipe_free(pipe);
}

TEST(PipeGrow, PathsThroughTheOriginUseTheFallbackReference)
{
    // From the origin along a curve, and a straight line along x through it:
    // the first reference (T x normalize(P1 + P0)) is zero in both.
    const std::function<void(float, float*)> paths[] = {
        [](float t, float* p) {
            p[0] = 2.0f * t;
            p[1] = 0.3f * t * t;
            p[2] = 0.0f;
        },
        [](float t, float* p) {
            p[0] = 3.0f * t;
            p[1] = 0.0f;
            p[2] = 0.0f;
        },
        [](float, float* p) { p[0] = p[1] = p[2] = 0.0f; }, // stands still at the origin
    };
    for (const auto& f : paths) {
        Path path = make_path(key_times(0, 10), f);
        Pipe* pipe = pipe_create(0.0f, 10.0f, 8, 6, path.x, path.y, path.z);
        ASSERT_NE(pipe, nullptr);
        pipe_set_shape(pipe, 1, 1, 0, 1, 1, 1, 0.25f);
        pipe_grow(pipe, 10.0f);
        EXPECT_EQ(pipe->ring_count, 80);
        expect_finite_rings(pipe, 0.25f);
        pipe_free(pipe);
    }
}

TEST(PipeCreate, RefusesUnusableArgumentsAndLeavesTheEnvelopesToTheCaller)
{
    Path path = make_path(key_times(0, 2), circle);
    ASSERT_NE(path.x, nullptr);
    EXPECT_EQ(pipe_create(0, 20, 16, 8, nullptr, path.y, path.z), nullptr);
    EXPECT_EQ(pipe_create(0, 20, 16, 2, path.x, path.y, path.z), nullptr);
    EXPECT_EQ(pipe_create(0, 20, 16, PIPE_MAX_SIDES + 1, path.x, path.y, path.z), nullptr);
    EXPECT_EQ(pipe_create(0, 20, 0, 8, path.x, path.y, path.z), nullptr);
    EXPECT_EQ(pipe_create(5, 5, 16, 8, path.x, path.y, path.z), nullptr);
    EXPECT_EQ(pipe_create(0, std::nanf(""), 16, 8, path.x, path.y, path.z), nullptr);
    EXPECT_EQ(pipe_create(0, 1e9f, 16, 8, path.x, path.y, path.z), nullptr);
    // Still ours: the sanitizer build reports a double free or a leak otherwise.
    motion_free(path.x);
    motion_free(path.y);
    motion_free(path.z);
    pipe_free(nullptr);
}

} // namespace

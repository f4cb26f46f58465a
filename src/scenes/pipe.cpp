// Motion-path pipe: creation, the superformula cross-section, and the grow
// that sweeps the section along the path with a frame carried from ring to
// ring. Relies on the motion envelopes, core vector math and the Mesh record.
#include "scenes/pipe.h"

#include <cmath>
#include <cstdlib>

namespace
{

constexpr float PIPE_TWO_PI = 6.2831855f;
// Squared lengths below these count as no direction at all.
constexpr float TANGENT_EPSILON = 1e-10f;
constexpr float REFERENCE_EPSILON = 1e-12f;

Vec3 path_at(const Pipe* pipe, float time)
{
    return Vec3{envelope_evaluate(pipe->path_x, time), envelope_evaluate(pipe->path_y, time),
                envelope_evaluate(pipe->path_z, time)};
}

bool finite3(const Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The unit axis least aligned with t: a reference that is never parallel to it.
Vec3 fallback_reference(const Vec3& t)
{
    const float ax = std::fabs(t.x), ay = std::fabs(t.y), az = std::fabs(t.z);
    if (ax <= ay && ax <= az)
        return Vec3{1.0f, 0.0f, 0.0f};
    if (ay <= az)
        return Vec3{0.0f, 1.0f, 0.0f};
    return Vec3{0.0f, 0.0f, 1.0f};
}

// The unit direction from `from` to `to`, or `previous` when the two points
// coincide (keys that stop early, a path that stands still) or are not finite.
Vec3 tangent_between(const Vec3& from, const Vec3& to, const Vec3& previous)
{
    Vec3 d;
    vec3_sub(&to, &from, &d);
    const float q = vec3_dot(&d, &d);
    if (!(q > TANGENT_EPSILON) || !std::isfinite(q))
        return previous;
    vec3_normalize(&d, &d);
    return d;
}

// S = normalize(N x T), with the fallback reference when N is zero or
// parallel to T (a path through the origin, a right-angle turn).
Vec3 side_vector(const Vec3& reference, const Vec3& t)
{
    Vec3 s;
    vec3_cross(&reference, &t, &s);
    const float q = vec3_dot(&s, &s);
    if (!(q > REFERENCE_EPSILON) || !std::isfinite(q)) {
        const Vec3 r = fallback_reference(t);
        vec3_cross(&r, &t, &s);
    }
    vec3_normalize(&s, &s);
    return s;
}

void write_triangles(Pipe* pipe)
{
    const int32_t s = pipe->sides;
    MeshTriangle* out = pipe->mesh->triangles;
    for (int32_t i = 0; i + 1 < pipe->ring_capacity; ++i) {
        for (int32_t j = 0; j < s; ++j) {
            const int32_t j1 = (j + 1) % s;
            MeshTriangle* t = out + 2 * (i * s + j);
            t[0].a = i * s + j;
            t[0].b = i * s + j1;
            t[0].c = (i + 1) * s + j1;
            t[1].a = i * s + j;
            t[1].b = (i + 1) * s + j1;
            t[1].c = (i + 1) * s + j;
            for (int32_t k = 0; k < 2; ++k) {
                t[k].colour = 0xffffffffu;
                t[k].lit_colour = 0xffffffffu;
                t[k].visible = 1;
            }
        }
    }
}

void set_counts(Pipe* pipe, int32_t rings)
{
    pipe->ring_count = rings;
    pipe->vertex_count = rings * pipe->sides;
    pipe->triangle_count = rings > 1 ? 2 * pipe->sides * (rings - 1) : 0;
    pipe->mesh->vertex_count = pipe->vertex_count;
    pipe->mesh->triangle_count = pipe->triangle_count;
}

} // namespace

Pipe* pipe_create(float start_time, float end_time, int32_t samples_per_second, int32_t sides,
                  MotionEnvelope* path_x, MotionEnvelope* path_y, MotionEnvelope* path_z)
{
    if (!path_x || !path_y || !path_z || sides < 3 || sides > PIPE_MAX_SIDES || samples_per_second < 1)
        return nullptr;
    if (!std::isfinite(start_time) || !std::isfinite(end_time) || !(end_time > start_time))
        return nullptr;
    const double rings = std::ceil(static_cast<double>(end_time - start_time) * samples_per_second);
    if (!(rings >= 1.0) || (rings + 2.0) * sides > static_cast<double>(PIPE_MAX_VERTICES))
        return nullptr;
    const int32_t capacity = static_cast<int32_t>(rings);

    auto* pipe = static_cast<Pipe*>(std::calloc(1, sizeof(Pipe)));
    if (!pipe)
        return nullptr;
    pipe->section =
        static_cast<PipeSectionPoint*>(std::calloc(static_cast<size_t>(sides), sizeof(PipeSectionPoint)));
    // Room for the whole path plus two rings' worth for end caps.
    pipe->mesh = mesh_create(sides * capacity + 2 * sides, (6 * sides * capacity + 3 * sides) / 3);
    if (!pipe->section || !pipe->mesh) {
        mesh_free(pipe->mesh);
        std::free(pipe->section);
        std::free(pipe);
        return nullptr;
    }
    pipe->caps = 0;
    pipe->u_repeat = 1;
    pipe->v_repeat = 1.0f;
    pipe->samples_per_second = samples_per_second;
    pipe->sides = sides;
    pipe->start_time = start_time;
    pipe->end_time = end_time;
    pipe->path_x = path_x;
    pipe->path_y = path_y;
    pipe->path_z = path_z;
    pipe->ring_capacity = capacity;
    write_triangles(pipe);
    set_counts(pipe, 0);
    pipe_set_shape(pipe, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    return pipe;
}

void pipe_set_shape(Pipe* pipe, float a, float b, float m, float n1, float n2, float n3, float scale)
{
    if (!pipe)
        return;
    const float shape[7] = {a, b, m, n1, n2, n3, scale};
    for (int32_t i = 0; i < 7; ++i)
        pipe->shape[i] = shape[i];
    for (int32_t k = 0; k < pipe->sides; ++k) {
        const float phi = PIPE_TWO_PI * static_cast<float>(k) / static_cast<float>(pipe->sides);
        const float c = std::fabs(core_cos(m * phi / 4.0f) / a);
        const float s = std::fabs(core_sin(m * phi / 4.0f) / b);
        const float r = core_pow(core_pow(c, n2) + core_pow(s, n3), 1.0f / n1);
        PipeSectionPoint& p = pipe->section[k];
        if (r != 0.0f && std::isfinite(r)) {
            p.x = core_cos(phi) / r * scale;
            p.y = core_sin(phi) / r * scale;
        } else {
            p.x = 0.0f;
            p.y = 0.0f;
        }
    }
}

void pipe_grow(Pipe* pipe, float t)
{
    if (!pipe)
        return;
    set_counts(pipe, 0);
    if (!(t >= pipe->start_time))
        return;
    if (t > pipe->end_time)
        t = pipe->end_time;
    const int32_t total = pipe->ring_capacity;
    const float span = pipe->end_time - pipe->start_time;
    const float step = span / static_cast<float>(total);
    const float wanted = std::ceil(static_cast<float>(pipe->samples_per_second) * (t - pipe->start_time));
    // Float rounding may ask for one ring past the whole path: never more than it.
    const int32_t rings = wanted >= static_cast<float>(total) ? total : static_cast<int32_t>(wanted);
    if (rings < 2)
        return;

    // Initial frame: the first tangent and a reference vector across it.
    const Vec3 p0 = path_at(pipe, pipe->start_time);
    const Vec3 p1 = path_at(pipe, pipe->start_time + step);
    if (!finite3(p0) || !finite3(p1))
        return;
    Vec3 tangent = tangent_between(p0, p1, Vec3{0.0f, 0.0f, 1.0f});
    Vec3 reference;
    vec3_add(&p1, &p0, &reference);
    vec3_normalize(&reference, &reference);
    vec3_cross(&tangent, &reference, &reference);
    Vec3 previous = p0;

    const int32_t sides = pipe->sides;
    const float u_scale = static_cast<float>(pipe->u_repeat);
    MeshVertex* v = pipe->mesh->vertices;
    for (int32_t l = 0; l < rings; ++l) {
        const float tau = l == rings - 1 ? t : pipe->start_time + static_cast<float>(l) * step;
        Vec3 p = path_at(pipe, tau + step);
        if (!finite3(p))
            p = previous;
        tangent = tangent_between(previous, p, tangent);
        const Vec3 side = side_vector(reference, tangent);
        Vec3 binormal;
        vec3_cross(&tangent, &side, &binormal);
        vec3_normalize(&binormal, &binormal);
        reference = binormal;
        previous = p;
        const float ring_v = static_cast<float>(l) / static_cast<float>(total) * pipe->v_repeat;
        for (int32_t k = 0; k < sides; ++k, ++v) {
            const PipeSectionPoint& q = pipe->section[k];
            v->x = side.x * q.x + binormal.x * q.y + p.x;
            v->y = side.y * q.x + binormal.y * q.y + p.y;
            v->z = side.z * q.x + binormal.z * q.y + p.z;
            v->u = static_cast<float>(k) / static_cast<float>(sides) * u_scale;
            v->v = ring_v;
            v->colour = 0xffffffffu;
        }
    }
    set_counts(pipe, rings);
    mesh_compute_normals(pipe->mesh);
}

void pipe_free(Pipe* pipe)
{
    if (!pipe)
        return;
    mesh_free(pipe->mesh);
    std::free(pipe->section);
    motion_free(pipe->path_x);
    motion_free(pipe->path_y);
    motion_free(pipe->path_z);
    std::free(pipe);
}

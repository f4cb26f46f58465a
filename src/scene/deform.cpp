// Vertex deformers (bulge, lattice, ripple, wave, twist). Every deformer works
// on d = P - centre, writes P = centre + d' and leaves all other vertex fields
// alone. Relies on core vector math; the all-axes twist forms the rotation of
// matrix_rotation_yxz (scene/mesh.h) row by row in SSE2.
#include "scene/deform.h"

#include "core/core.h"

#include <cmath>
#include <emmintrin.h>

namespace
{

constexpr float QUARTER_TURN = 1.5707964f; // slightly above pi/2: cos of it is negative

// Weights of Q0..Q3 (rows) for the coefficients a, b, c, e (columns) of the
// cubic through Q0..Q3 at t = 0, 1/3, 2/3, 1 (Lagrange interpolation).
constexpr float CURVE_WEIGHTS[4][4] = {
    {-4.5f, 9.0f, -5.5f, 1.0f},
    {13.5f, -22.5f, 9.0f, 0.0f},
    {-13.5f, 18.0f, -4.5f, 0.0f},
    {4.5f, -4.5f, 1.0f, 0.0f},
};

bool usable(const Mesh* mesh, const void* params)
{
    return mesh && mesh->vertices && params && mesh->vertex_count > 0;
}

float& component(Vec3& v, int32_t axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

Vec3 position(const MeshVertex& v)
{
    return Vec3{v.x, v.y, v.z};
}

void set_position(MeshVertex& v, const Vec3& p)
{
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
}

// P = centre + d + scale * direction, summed in that order.
void store(MeshVertex& v, const Vec3& centre, const Vec3& d, float scale, const Vec3& direction)
{
    Vec3 p;
    vec3_add(&centre, &d, &p);
    Vec3 shift;
    vec3_scale(&direction, scale, &shift);
    vec3_add(&p, &shift, &p);
    set_position(v, p);
}

// Deformers take their sines a block of vertices at a time.
constexpr int32_t SINE_BLOCK = 64;

int32_t block_size(const Mesh* mesh, int32_t start)
{
    return mesh->vertex_count - start < SINE_BLOCK ? mesh->vertex_count - start : SINE_BLOCK;
}

Vec3 curve_point(const Vec3 coefficients[4], float t)
{
    Vec3 out;
    vec3_cubic(&coefficients[0], &coefficients[1], &coefficients[2], &coefficients[3], t, &out);
    return out;
}

Vec3 curve_through(const Vec3 points[4], float t)
{
    Vec3 coefficients[4];
    lattice_curve(points, coefficients);
    return curve_point(coefficients, t);
}

// One row of a row-vector product: row . (b0; b1; b2; b3), each lane summed
// in matrix_multiply's order.
__m128 product_row(__m128 row, __m128 b0, __m128 b1, __m128 b2, __m128 b3)
{
    __m128 s = _mm_mul_ps(_mm_shuffle_ps(row, row, _MM_SHUFFLE(0, 0, 0, 0)), b0);
    s = _mm_add_ps(s, _mm_mul_ps(_mm_shuffle_ps(row, row, _MM_SHUFFLE(1, 1, 1, 1)), b1));
    s = _mm_add_ps(s, _mm_mul_ps(_mm_shuffle_ps(row, row, _MM_SHUFFLE(2, 2, 2, 2)), b2));
    return _mm_add_ps(s, _mm_mul_ps(_mm_shuffle_ps(row, row, _MM_SHUFFLE(3, 3, 3, 3)), b3));
}

// d times the upper rows of matrix_rotation_yxz(y, x, z), given the cosines
// and sines of y, x and z: the three rotations' rows as the builders fill
// them (zeros included, so signed zeros and non-finite angles come out as the
// full products give them), the two products row by row, then
// d.x m[0] + d.y m[4] + d.z m[8] and so on.
Vec3 rotate_yxz(const float cosine[3], const float sine[3], const Vec3& d)
{
    const float cy = cosine[0], sy = sine[0], cx = cosine[1], sx = sine[1], cz = cosine[2], sz = sine[2];
    const __m128 w_row = _mm_setr_ps(0.0f, 0.0f, 0.0f, 1.0f);
    const __m128 rx0 = _mm_setr_ps(1.0f, 0.0f, 0.0f, 0.0f), rx1 = _mm_setr_ps(0.0f, cx, sx, 0.0f);
    const __m128 rx2 = _mm_setr_ps(0.0f, -sx, cx, 0.0f);
    const __m128 rz0 = _mm_setr_ps(cz, sz, 0.0f, 0.0f), rz1 = _mm_setr_ps(-sz, cz, 0.0f, 0.0f);
    const __m128 rz2 = _mm_setr_ps(0.0f, 0.0f, 1.0f, 0.0f);
    const __m128 ry0 = _mm_setr_ps(cy, 0.0f, -sy, 0.0f), ry1 = _mm_setr_ps(0.0f, 1.0f, 0.0f, 0.0f);
    const __m128 ry2 = _mm_setr_ps(sy, 0.0f, cy, 0.0f);
    const __m128 m0 = product_row(product_row(ry0, rx0, rx1, rx2, w_row), rz0, rz1, rz2, w_row);
    const __m128 m1 = product_row(product_row(ry1, rx0, rx1, rx2, w_row), rz0, rz1, rz2, w_row);
    const __m128 m2 = product_row(product_row(ry2, rx0, rx1, rx2, w_row), rz0, rz1, rz2, w_row);
    __m128 r = _mm_mul_ps(_mm_set1_ps(d.x), m0);
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(d.y), m1));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(d.z), m2));
    float out[4];
    _mm_storeu_ps(out, r);
    return Vec3{out[0], out[1], out[2]};
}

// The all-axes twist (mode 3), a block of vertices at a time: first each
// vertex's offset, weight and cosine arguments, then the cosines of the
// vertices the identity shortcut does not take, their angles and the angles'
// sines and cosines through the array calls (the same bits as one call
// each), then the rotations.
void twist_all_axes(Mesh* mesh, const TwistParams& p)
{
    enum { BLOCK = 64 };
    Vec3 d[BLOCK];
    float w[BLOCK];
    int32_t turned[BLOCK];
    float k[3 * BLOCK], angle[3 * BLOCK], cosine[3 * BLOCK], sine[3 * BLOCK];
    const bool finite_amount = std::isfinite(p.amount);
    for (int32_t start = 0; start < mesh->vertex_count; start += BLOCK) {
        const int32_t n = mesh->vertex_count - start < BLOCK ? mesh->vertex_count - start : BLOCK;
        MeshVertex* v = mesh->vertices + start;
        int32_t count = 0;
        for (int32_t i = 0; i < n; ++i) {
            Vec3 pos = position(v[i]);
            vec3_sub(&pos, &p.centre, &d[i]);
            float length = vec3_length(&d[i]);
            float t = p.size >= length ? length / p.size : 1.0f;
            w[i] = 1.0f - t; // full effect at the centre, none from the distance size on
            float* a = k + 3 * count;
            a[0] = d[i].x / p.size * QUARTER_TURN;
            a[1] = d[i].y / p.size * QUARTER_TURN;
            a[2] = d[i].z / p.size * QUARTER_TURN;
            // Beyond the reach (w = 0) a finite amount times a finite cosine
            // gives three zero angles: the identity, known without the cosines.
            const bool identity = w[i] == 0.0f && finite_amount && std::isfinite(a[0]) &&
                                  std::isfinite(a[1]) && std::isfinite(a[2]);
            if (!identity)
                turned[count++] = i;
        }
        core_cos_array(k, k, 3 * count);
        for (int32_t j = 0; j < 3 * count; ++j)
            angle[j] = p.amount * k[j] * w[turned[j / 3]];
        core_cos_array(angle, cosine, 3 * count);
        core_sin_array(angle, sine, 3 * count);
        for (int32_t j = 0; j < count; ++j) {
            const float* a = angle + 3 * j;
            // Three zero angles (NaN ones do not pass) leave d as it is.
            if (!(a[0] == 0.0f && a[1] == 0.0f && a[2] == 0.0f))
                d[turned[j]] = rotate_yxz(cosine + 3 * j, sine + 3 * j, d[turned[j]]);
        }
        for (int32_t i = 0; i < n; ++i) {
            Vec3 out;
            vec3_add(&p.centre, &d[i], &out);
            set_position(v[i], out);
        }
    }
}

} // namespace

void deform_bulge(Mesh* mesh, const BulgeParams* params)
{
    if (!usable(mesh, params) || params->radius == 0.0f)
        return;
    const BulgeParams& p = *params;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos = position(v);
        Vec3 d;
        vec3_sub(&pos, &p.centre, &d);
        float length = vec3_length(&d);
        if (!(length <= p.radius))
            continue;
        float f = core_cos(length / p.radius * QUARTER_TURN);
        if (f >= 0.000001f)
            store(v, p.centre, d, f * p.amount, p.direction);
    }
}

void lattice_curve(const Vec3 points[4], Vec3 coefficients[4])
{
    for (int col = 0; col < 4; ++col) {
        Vec3 sum{0.0f, 0.0f, 0.0f};
        for (int k = 0; k < 4; ++k) {
            float w = CURVE_WEIGHTS[k][col];
            if (k == 0) {
                vec3_scale(&points[0], w, &sum);
                continue;
            }
            Vec3 term;
            vec3_scale(&points[k], w, &term);
            vec3_add(&sum, &term, &sum);
        }
        coefficients[col] = sum;
    }
}

void lattice_reset(Lattice* lattice)
{
    if (!lattice)
        return;
    lattice->minimum = Vec3{-1.0f, -1.0f, -1.0f};
    lattice->maximum = Vec3{1.0f, 1.0f, 1.0f};
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                lattice->points[x + 4 * y + 16 * z] = Vec3{2.0f * static_cast<float>(x) / 3.0f - 1.0f,
                                                           2.0f * static_cast<float>(y) / 3.0f - 1.0f,
                                                           2.0f * static_cast<float>(z) / 3.0f - 1.0f};
}

void deform_lattice(Mesh* mesh, const Lattice* lattice)
{
    if (!usable(mesh, lattice))
        return;
    Vec3 extent;
    vec3_sub(&lattice->maximum, &lattice->minimum, &extent);
    if (extent.x == 0.0f || extent.y == 0.0f || extent.z == 0.0f)
        return;
    // The 16 rows along x (fixed y, z) are the same for every vertex.
    Vec3 rows[16][4];
    for (int row = 0; row < 16; ++row)
        lattice_curve(&lattice->points[4 * row], rows[row]);
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos = position(v);
        Vec3 t;
        vec3_sub(&pos, &lattice->minimum, &t);
        vec3_div(&t, &extent, &t);
        Vec3 along_z[4];
        for (int z = 0; z < 4; ++z) {
            Vec3 along_y[4];
            for (int y = 0; y < 4; ++y)
                along_y[y] = curve_point(rows[y + 4 * z], t.x);
            along_z[z] = curve_through(along_y, t.y);
        }
        set_position(v, curve_through(along_z, t.z));
    }
}

void deform_ripple(Mesh* mesh, const RippleParams* params)
{
    if (!usable(mesh, params) || params->axis < 0 || params->axis > 2)
        return;
    const RippleParams& p = *params;
    float period = p.frequency != 0.0f ? 1.0f / p.frequency : 0.000001f;
    // A block's sines first, through the array call (the same bits as one call each).
    float sines[SINE_BLOCK];
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        const int32_t slot = i % SINE_BLOCK;
        if (slot == 0) {
            const int32_t n = block_size(mesh, i);
            for (int32_t j = 0; j < n; ++j) {
                Vec3 pos = position(mesh->vertices[i + j]), d;
                vec3_sub(&pos, &p.centre, &d);
                sines[j] = (vec3_length(&d) / period + p.phase) * CORE_TWO_PI + p.angle_offset;
            }
            core_sin_array(sines, sines, n);
        }
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos = position(v);
        Vec3 d;
        vec3_sub(&pos, &p.centre, &d);
        float length = vec3_length(&d);
        float weight;
        if (p.start_weight == p.end_weight) {
            weight = p.start_weight;
        } else if (length == 0.0f) {
            weight = 0.0f;
        } else {
            // h: angle from the axis as a fraction of pi, folded so that both
            // poles give 0 and the equator 0.5.
            float cosine = component(d, p.axis) / length;
            if (cosine > 1.0f)
                cosine = 1.0f;
            if (cosine < -1.0f)
                cosine = -1.0f;
            float h = core_acos(cosine) / CORE_PI;
            if (h > 0.5f)
                h = 1.0f - h;
            float m = 2.0f * h;
            weight = (1.0f - m) * p.start_weight + m * p.end_weight;
        }
        float s = sines[slot];
        float& along = component(d, p.axis);
        along = along + core_exp(-p.decay * length) * s * weight * p.amplitude;
        Vec3 out;
        vec3_add(&p.centre, &d, &out);
        set_position(v, out);
    }
}

void deform_wave(Mesh* mesh, const WaveParams* params)
{
    if (!usable(mesh, params) || params->axis < 0 || params->axis > 2)
        return;
    const WaveParams& p = *params;
    float period = p.wavelength != 0.0f ? 1.0f / p.wavelength : 0.000001f;
    static const Vec3 FIXED_DIRECTIONS[6] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f},
                                             {1.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 1.0f}};
    float sines[SINE_BLOCK];
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        const int32_t slot = i % SINE_BLOCK;
        if (slot == 0) {
            const int32_t n = block_size(mesh, i);
            for (int32_t j = 0; j < n; ++j) {
                Vec3 pos = position(mesh->vertices[i + j]), d;
                vec3_sub(&pos, &p.centre, &d);
                sines[j] = component(d, p.axis) * period * CORE_TWO_PI + p.phase;
            }
            core_sin_array(sines, sines, n);
        }
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos = position(v);
        Vec3 d;
        vec3_sub(&pos, &p.centre, &d);
        float w = sines[slot] * p.amplitude;
        if (p.falloff_radius > 0.0f) {
            float length = vec3_length(&d);
            w = w * (length <= p.falloff_radius ? 1.0f - length / p.falloff_radius : 0.0f);
        }
        Vec3 direction{0.0f, 0.0f, 0.0f};
        if (p.direction_mode >= 0 && p.direction_mode < 6)
            direction = FIXED_DIRECTIONS[p.direction_mode];
        else if (p.direction_mode == 6)
            vec3_normalize(&d, &direction);
        else
            w = 0.0f;
        store(v, p.centre, d, w, direction);
    }
}

void deform_twist(Mesh* mesh, const TwistParams* params)
{
    if (!usable(mesh, params) || params->size == 0.0f)
        return;
    const TwistParams& p = *params;
    if (p.mode == 3) {
        twist_all_axes(mesh, p);
        return;
    }
    auto k = [&](float x) { return core_cos(x / p.size * QUARTER_TURN); };
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos = position(v);
        Vec3 d;
        vec3_sub(&pos, &p.centre, &d);
        float length = vec3_length(&d);
        float t = p.size >= length ? length / p.size : 1.0f;
        float w = 1.0f - t; // full effect at the centre, none from the distance size on
        // Rotates the pair (a, b) by phi in place. A zero angle (beyond the
        // reach) takes cos 1 and sin phi, the values the calls give for +-0.
        auto turn = [](float phi, float* a, float* b) {
            const bool zero = phi == 0.0f;
            float c = zero ? 1.0f : core_cos(phi);
            float s = zero ? phi : core_sin(phi);
            float na = c * *a + s * *b;
            float nb = -s * *a + c * *b;
            *a = na;
            *b = nb;
        };
        switch (p.mode) {
        case 0:
            turn(p.amount * k(d.x) * w, &d.y, &d.z);
            break;
        case 1:
            turn(p.amount * k(d.y) * w, &d.x, &d.z);
            break;
        case 2:
            turn(p.amount * k(d.z) * w, &d.x, &d.y);
            break;
        default:
            break;
        }
        Vec3 out;
        vec3_add(&p.centre, &d, &out);
        set_position(v, out);
    }
}

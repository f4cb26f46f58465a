// Foundations shared by every module: three-component vector math, the two
// deterministic random generators with the start-up noise tables, and the
// numeric helpers that fix the precision policy of the whole program.
// Relies on nothing but the C++ standard library.
#pragma once

#include <cmath>
#include <cstdint>

// Pi and two pi in single precision, the values every angle in the program uses.
constexpr float CORE_PI = 3.1415927f;
constexpr float CORE_TWO_PI = 6.2831855f;

// ---- Precision policy -------------------------------------------------------
// Stored values are 32-bit floats where the program says so. Transcendental
// functions are evaluated in double and rounded once to float (core_sin & co.),
// so results do not depend on the libm float variants. Beats are computed in
// double and stored as float. Never -ffast-math.
float core_sin(float x);
float core_cos(float x);
// out[i] = core_sin(x[i]) / core_cos(x[i]) bit for bit, for many at once
// (faster than one call each); out may be x.
void core_sin_array(const float* x, float* out, int32_t count);
void core_cos_array(const float* x, float* out, int32_t count);
float core_tan(float x);
// Inline (see the vector math below); the double root rounded once to float.
inline float core_sqrt(float x)
{
    return static_cast<float>(std::sqrt(static_cast<double>(x)));
}
float core_pow(float x, float y);
float core_acos(float x);
float core_atan2(float y, float x);
float core_exp(float x);
float core_floor(float x);

// Float-to-int conversion defined for every input: truncates toward zero like
// the hardware's cvttss2si and returns INT32_MIN for NaN and out-of-range
// values (the "integer indefinite" result), never undefined behaviour.
int32_t float_to_int(float x);
int32_t double_to_int(double x);

// Lane helpers for 0xAARRGGBB pixel words.
// grey(level): level clamped to 0..255 and replicated into all four bytes.
uint32_t grey(int32_t level);
// Per-byte saturating add of two pixel words.
uint32_t add_saturate(uint32_t a, uint32_t b);

// ---- Vector math ------------------------------------------------------------
struct Vec3 {
    float x, y, z;
};

// Defined here so that the per-vertex loops of the deformers, lighting and
// tangents compile them inline: the same single-precision operations in the
// same order (no contraction: -ffp-contract=off), so the same bits.
// Every operation allows out to be one of its inputs.
inline void vec3_cubic(const Vec3* a, const Vec3* b, const Vec3* c, const Vec3* d, float t, Vec3* out)
{
    float x = ((a->x * t + b->x) * t + c->x) * t + d->x;
    float y = ((a->y * t + b->y) * t + c->y) * t + d->y;
    float z = ((a->z * t + b->z) * t + c->z) * t + d->z;
    out->x = x;
    out->y = y;
    out->z = z;
}

inline float vec3_dot(const Vec3* a, const Vec3* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

inline float vec3_length(const Vec3* v)
{
    return core_sqrt(vec3_dot(v, v));
}

inline void vec3_cross(const Vec3* a, const Vec3* b, Vec3* out)
{
    // Formed in locals first, so out may also be a or b.
    float x = a->y * b->z - a->z * b->y;
    float y = a->z * b->x - a->x * b->z;
    float z = a->x * b->y - a->y * b->x;
    out->x = x;
    out->y = y;
    out->z = z;
}

inline void vec3_scale(const Vec3* v, float s, Vec3* out)
{
    out->x = v->x * s;
    out->y = v->y * s;
    out->z = v->z * s;
}

inline void vec3_div(const Vec3* a, const Vec3* b, Vec3* out)
{
    out->x = a->x / b->x;
    out->y = a->y / b->y;
    out->z = a->z / b->z;
}

inline void vec3_sub(const Vec3* a, const Vec3* b, Vec3* out)
{
    out->x = a->x - b->x;
    out->y = a->y - b->y;
    out->z = a->z - b->z;
}

inline void vec3_add(const Vec3* a, const Vec3* b, Vec3* out)
{
    out->x = a->x + b->x;
    out->y = a->y + b->y;
    out->z = a->z + b->z;
}

inline void vec3_reflect(const Vec3* v, const Vec3* n, Vec3* out)
{
    float k = 2.0f * vec3_dot(v, n);
    float nx = n->x, ny = n->y, nz = n->z;
    out->x = v->x - k * nx;
    out->y = v->y - k * ny;
    out->z = v->z - k * nz;
}

inline void vec3_normalize(const Vec3* v, Vec3* out)
{
    float q = vec3_dot(v, v);
    float f = 0.0f;
    if (q != 0.0f) {
        float root = core_sqrt(q);
        f = 1.0f / root;
    }
    vec3_scale(v, f, out);
}

// ---- Random numbers ---------------------------------------------------------
// Multiplicative generator: seed × 16807 (wrapping 32-bit), floats in [-1, 1).
extern uint32_t random_seed;
float next_random();
// The same rule on a caller's own state (never 0: an odd state stays odd), for
// draws that must not depend on how many other draws came before.
float next_random_from(uint32_t* state);

// The runtime's 15-bit generator (state × 214013 + 2531011, wrapping), our own
// so the sequence is the same on every platform. One process-wide state: the
// loads and the later frames continue one sequence; the loading screen draws
// no random numbers.
int32_t core_rand();
void core_srand(uint32_t state);
uint32_t core_rand_state();

// rand() mod 2n, minus n, divided by n: [-1, 1) in steps of 1/n. n must be
// from 1 to 2^30; other n give 0 without drawing.
float random_signed(int32_t n);

// ---- Noise tables -----------------------------------------------------------
enum { NOISE_B = 0x1000 };
extern int32_t noise_perm[NOISE_B * 2 + 2];
extern float noise_grad1[NOISE_B * 2 + 2];
extern float noise_grad2[NOISE_B * 2 + 2][2];
extern float noise_grad3[NOISE_B * 2 + 2][3];
// Builds the tables; a non-zero seed reseeds the runtime generator first.
// Draws 28,671 values from core_rand().
void noise_init(int32_t seed);
void noise_release();

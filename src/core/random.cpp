// The two deterministic random generators and the start-up noise tables
// (Perlin's gradient-noise initialisation with B = 4096).
#include "core/core.h"

#include <cstring>

uint32_t random_seed = 1;
static uint32_t rand_state = 1;

int32_t noise_perm[NOISE_B * 2 + 2];
float noise_grad1[NOISE_B * 2 + 2];
float noise_grad2[NOISE_B * 2 + 2][2];
float noise_grad3[NOISE_B * 2 + 2][3];

float next_random_from(uint32_t* state)
{
    *state *= 16807u;
    uint32_t bits = (*state & 0x7fffffu) | 0x40000000u; // a float in [2, 4)
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f - 3.0f;
}

float next_random()
{
    return next_random_from(&random_seed);
}

int32_t core_rand()
{
    rand_state = rand_state * 214013u + 2531011u;
    return static_cast<int32_t>((rand_state >> 16) & 0x7fffu);
}

void core_srand(uint32_t state)
{
    rand_state = state;
}
uint32_t core_rand_state()
{
    return rand_state;
}

float random_signed(int32_t n)
{
    if (n <= 0 || n > (1 << 30))
        return 0.0f;
    int32_t r = core_rand() % (2 * n);
    return static_cast<float>(r - n) / static_cast<float>(n);
}

// Normalises n components in place; a (near) zero vector becomes zero.
static void normalize_components(float* v, int n)
{
    float q = 0.0f;
    for (int i = 0; i < n; i++)
        q += v[i] * v[i];
    if (static_cast<double>(q) + 1e-16 > 0.0 && static_cast<double>(q) - 1e-16 < 0.0) {
        for (int i = 0; i < n; i++)
            v[i] = 0.0f;
        return;
    }
    float f = 1.0f / core_sqrt(q);
    for (int i = 0; i < n; i++)
        v[i] *= f;
}

void noise_init(int32_t seed)
{
    if (seed != 0)
        core_srand(static_cast<uint32_t>(seed));
    for (int32_t i = 0; i < NOISE_B; i++) {
        noise_perm[i] = i;
        noise_grad1[i] = random_signed(NOISE_B);
        // Draws happen in the written order: x before y before z.
        for (int k = 0; k < 2; k++)
            noise_grad2[i][k] = random_signed(NOISE_B);
        normalize_components(noise_grad2[i], 2);
        for (int k = 0; k < 3; k++)
            noise_grad3[i][k] = random_signed(NOISE_B);
        normalize_components(noise_grad3[i], 3);
    }
    for (int32_t i = NOISE_B - 1; i > 0; i--) {
        int32_t j = core_rand() % NOISE_B;
        int32_t t = noise_perm[i];
        noise_perm[i] = noise_perm[j];
        noise_perm[j] = t;
    }
    for (int32_t i = 0; i < NOISE_B + 2; i++) {
        noise_perm[NOISE_B + i] = noise_perm[i];
        noise_grad1[NOISE_B + i] = noise_grad1[i];
        for (int k = 0; k < 2; k++)
            noise_grad2[NOISE_B + i][k] = noise_grad2[i][k];
        for (int k = 0; k < 3; k++)
            noise_grad3[NOISE_B + i][k] = noise_grad3[i][k];
    }
}

void noise_release() {}

// LWMO motion files: the text reader (channels of keys with shapes and
// behaviours) and envelope evaluation with TCB, Hermite, Bezier, linear,
// stepped and 2D Bezier spans and the pre/post behaviours.
// Relies on lightwave.h.
#include "lightwave/lightwave.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Reading -----------------------------------------------------------------------

enum { LINE_SIZE = 256, MAX_CHANNELS = 4096 };

// Reads one line whole: the first 255 characters are kept, the rest of an
// overlong line is discarded, a carriage return ends the line early. False at
// end of file with nothing read, or on a read error.
static bool read_line(FILE* file, char* line)
{
    size_t n = 0;
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (n < LINE_SIZE - 1)
            line[n++] = static_cast<char>(c);
    }
    line[n] = '\0';
    if (char* cr = std::strchr(line, '\r'))
        *cr = '\0';
    if (std::ferror(file))
        return false;
    return any;
}

static void free_keys(MotionKey* k)
{
    while (k) {
        MotionKey* next = k->next;
        std::free(k);
        k = next;
    }
}

void motion_free(MotionEnvelope* envelope)
{
    if (!envelope)
        return;
    free_keys(envelope->keys);
    std::free(envelope);
}

void motion_free_all(MotionEnvelope** envelopes, int32_t count)
{
    if (!envelopes)
        return;
    for (int32_t i = 0; i < count; ++i)
        motion_free(envelopes[i]);
    std::free(envelopes);
}

// Inserts after every key whose time is not greater than the new key's.
static void insert_key(MotionEnvelope* env, MotionKey* key)
{
    MotionKey* after = nullptr;
    MotionKey* last = env->keys;
    while (last && last->next)
        last = last->next;
    // Keys usually arrive in time order: search from the end.
    for (MotionKey* k = last; k; k = k->previous) {
        if (!(k->time > key->time)) {
            after = k;
            break;
        }
    }
    key->previous = after;
    key->next = after ? after->next : env->keys;
    if (key->next)
        key->next->previous = key;
    if (after)
        after->next = key;
    else
        env->keys = key;
    env->key_count++;
}

static int32_t behaviour(short b)
{
    return b >= 0 && b <= 5 ? static_cast<int32_t>(b) : static_cast<int32_t>(MOTION_CONSTANT);
}

// Reads one channel after its "Channel " line. 0 on success.
static int read_channel(FILE* file, MotionEnvelope* env, char* line)
{
    if (!read_line(file, line) || !std::strstr(line, "{ Envelope"))
        return 1;
    if (!read_line(file, line)) // the key count line
        return 1;
    for (;;) {
        if (!read_line(file, line))
            return 1;
        if (std::strstr(line, "Key ")) {
            float value, time, tension, continuity, bias, p0, p1, p2, p3;
            short shape;
            if (std::sscanf(line, "%*s %f %f %hd %f %f %f %f %f %f %f", &value, &time, &shape, &tension,
                            &continuity, &bias, &p0, &p1, &p2, &p3) != 10)
                return 1;
            MotionKey* key = static_cast<MotionKey*>(std::calloc(1, sizeof(MotionKey)));
            if (!key)
                return 1;
            key->value = value;
            key->time = time;
            key->shape = shape;
            key->tension = tension;
            key->continuity = continuity;
            key->bias = bias;
            key->p0 = p0;
            key->p1 = p1;
            key->p2 = p2;
            key->p3 = p3;
            insert_key(env, key);
        } else if (std::strstr(line, "Behaviors ")) {
            short pre, post;
            if (std::sscanf(line, "%*s %hd %hd", &pre, &post) != 2)
                return 1;
            env->pre_behaviour = behaviour(pre);
            env->post_behaviour = behaviour(post);
        } else if (std::strchr(line, '}')) {
            return 0;
        }
    }
}

int32_t motion_load_stream(FILE* file, const char* name, MotionEnvelope*** envelopes, int32_t* count)
{
    if (!file || !envelopes || !count)
        return 1;
    char line[LINE_SIZE];
    if (!read_line(file, line))
        line[0] = '\0';
    if (!std::strstr(line, "LWMO")) {
        std::printf("ERROR! %s is not a LWMO file: %s\n", name ? name : "", line);
        *envelopes = nullptr;
        *count = 0;
        return 1;
    }
    do {
        if (!read_line(file, line)) {
            *envelopes = nullptr;
            *count = 0;
            return 1;
        }
    } while (!std::strstr(line, "NumChannels "));

    int channels = 0;
    MotionEnvelope** array = nullptr;
    bool ok = std::sscanf(std::strstr(line, "NumChannels "), "%*s %d", &channels) == 1 && channels > 0 &&
              channels <= MAX_CHANNELS;
    if (ok) {
        array = static_cast<MotionEnvelope**>(
            std::calloc(static_cast<size_t>(channels), sizeof(MotionEnvelope*)));
        ok = array != nullptr;
    }
    for (int c = 0; ok && c < channels; ++c) {
        MotionEnvelope* env = static_cast<MotionEnvelope*>(std::calloc(1, sizeof(MotionEnvelope)));
        if (!env) {
            ok = false;
            break;
        }
        env->pre_behaviour = MOTION_CONSTANT;
        env->post_behaviour = MOTION_CONSTANT;
        array[c] = env;
        ok = read_line(file, line) && std::strstr(line, "Channel ") && read_channel(file, env, line) == 0;
    }
    if (!ok) {
        motion_free_all(array, channels);
        *envelopes = nullptr;
        *count = 0;
        return 1;
    }
    *envelopes = array;
    *count = channels;
    return 0;
}

int32_t motion_load(const char* path, MotionEnvelope*** envelopes, int32_t* count)
{
    if (!path || !envelopes || !count)
        return 1;
    FILE* file = path_fopen(path, "r"); // records why it cannot be opened
    if (!file)
        return 1;
    int32_t result = motion_load_stream(file, path, envelopes, count);
    std::fclose(file);
    if (result != 0)
        path_fail(path, "not a motion file, or a damaged one");
    return result;
}

// ---- Curves ------------------------------------------------------------------------

static void hermite(float t, float* h1, float* h2, float* h3, float* h4)
{
    float t2 = t * t;
    float t3 = t * t2;
    *h2 = 3.0f * t2 - 2.0f * t3;
    *h1 = 1.0f - *h2;
    *h4 = t3 - t2;
    *h3 = t3 - 2.0f * t2 + t;
}

static float bezier(float x0, float x1, float x2, float x3, float t)
{
    float c = 3.0f * (x1 - x0);
    float b = 3.0f * (x2 - x1) - c;
    float a = x3 - x0 - c - b;
    float t2 = t * t;
    float t3 = t2 * t;
    return a * t3 + b * t2 + c * t + x0;
}

// The parameter t of a monotone Bezier whose value is time, by halving.
static float bezier_time(float x0, float x1, float x2, float x3, float time, float t0, float t1)
{
    float t = t0;
    for (int i = 0; i < 200; ++i) {
        t = t0 + (t1 - t0) * 0.5f;
        float v = bezier(x0, x1, x2, x3, t);
        if (std::fabs(time - v) > 0.0001f) {
            if (time < v)
                t1 = t;
            else
                t0 = t;
        } else {
            return t;
        }
    }
    return t;
}

// a / b, or 0 when b is 0 (keys at equal times).
static float ratio(float a, float b)
{
    return b != 0.0f ? a / b : 0.0f;
}

// Wraps v into [lo, hi) relative to lo; n counts the periods moved.
static float range(float v, float lo, float hi, int* n)
{
    float r = hi - lo;
    if (r == 0.0f) {
        if (n)
            *n = 0;
        return lo;
    }
    float w = lo + (v - lo) - r * std::floor((v - lo) / r);
    if (n) {
        float k = (w - v) / r + (w > v ? 0.5f : -0.5f);
        // Periods beyond the 32-bit range (huge or non-finite times) count as 0.
        int32_t periods = float_to_int(k);
        *n = periods == INT32_MIN ? 0 : -periods;
    }
    return w;
}

static float outgoing(const MotionKey* k, const MotionKey* n)
{
    const MotionKey* p = k->previous;
    float a = k->tension, b = k->continuity, c = k->bias;
    switch (k->shape) {
    case MOTION_TCB: {
        float d = (1.0f - a) * (1.0f - b) * (1.0f - c) * (n->value - k->value);
        if (p)
            return ((k->value - p->value) * (1.0f - a) * (1.0f + b) * (1.0f + c) + d) *
                   ratio(n->time - k->time, n->time - p->time);
        return d;
    }
    case MOTION_HERMITE:
    case MOTION_BEZIER:
        return p ? k->p1 * ratio(n->time - k->time, n->time - p->time) : k->p1;
    case MOTION_LINEAR: {
        float d = n->value - k->value;
        if (p)
            return ratio(n->time - k->time, n->time - p->time) * (d + k->value - p->value);
        return d;
    }
    case MOTION_BEZIER_2D: {
        float s = (n->time - k->time) * k->p3;
        return std::fabs(k->p2) > 0.00001f ? s / k->p2 : s * 100000.0f;
    }
    default:
        return 0.0f;
    }
}

static float incoming(const MotionKey* k, const MotionKey* p)
{
    const MotionKey* n = k->next;
    float a = k->tension, b = k->continuity, c = k->bias;
    switch (k->shape) {
    case MOTION_TCB: {
        float d = (1.0f - a) * (1.0f - b) * (1.0f + c) * (k->value - p->value);
        if (n)
            return ((n->value - k->value) * (1.0f - a) * (1.0f + b) * (1.0f - c) + d) *
                   ratio(k->time - p->time, n->time - p->time);
        return d;
    }
    case MOTION_HERMITE:
    case MOTION_BEZIER:
        return n ? k->p0 * ratio(k->time - p->time, n->time - p->time) : k->p0;
    case MOTION_LINEAR: {
        float d = k->value - p->value;
        if (n)
            return ratio(k->time - p->time, n->time - p->time) * (d + n->value - k->value);
        return d;
    }
    case MOTION_BEZIER_2D: {
        float s = (k->time - p->time) * k->p1;
        return std::fabs(k->p0) > 0.00001f ? s / k->p0 : s * 100000.0f;
    }
    default:
        return 0.0f;
    }
}

static float bezier_2d(const MotionKey* k0, const MotionKey* k1, float time)
{
    float x1 = k0->shape == MOTION_BEZIER_2D ? k0->time + k0->p2 : k0->time + (k1->time - k0->time) / 3.0f;
    float x2 = k1->time + k1->p0;
    float t = bezier_time(k0->time, x1, x2, k1->time, time, 0.0f, 1.0f);
    float y1 = k0->shape == MOTION_BEZIER_2D ? k0->value + k0->p3 : k0->value + k0->p1 / 3.0f;
    float y2 = k1->value + k1->p1;
    return bezier(k0->value, y1, y2, k1->value, t);
}

float envelope_evaluate(const MotionEnvelope* envelope, float time)
{
    if (!envelope || !envelope->keys)
        return 0.0f;
    const MotionKey* s = envelope->keys;
    if (!s->next)
        return s->value;
    const MotionKey* e = s;
    while (e->next)
        e = e->next;
    float offset = 0.0f;
    int n;

    if (time < s->time) {
        switch (envelope->pre_behaviour) {
        case MOTION_RESET:
            return 0.0f;
        case MOTION_CONSTANT:
            return s->value;
        case MOTION_REPEAT:
            time = range(time, s->time, e->time, nullptr);
            break;
        case MOTION_OSCILLATE:
            time = range(time, s->time, e->time, &n);
            if (n % 2 != 0)
                time = s->time + e->time - time;
            break;
        case MOTION_OFFSET_REPEAT:
            time = range(time, s->time, e->time, &n);
            offset = static_cast<float>(n) * (e->value - s->value);
            break;
        case MOTION_LINEAR_EXTRAPOLATE:
            return s->value + ratio((time - s->time) * outgoing(s, s->next), s->next->time - s->time);
        default:
            break;
        }
    } else if (time > e->time) {
        switch (envelope->post_behaviour) {
        case MOTION_RESET:
            return 0.0f;
        case MOTION_CONSTANT:
            return e->value;
        case MOTION_REPEAT:
            time = range(time, s->time, e->time, nullptr);
            break;
        case MOTION_OSCILLATE:
            time = range(time, s->time, e->time, &n);
            if (n % 2 != 0)
                time = s->time + e->time - time;
            break;
        case MOTION_OFFSET_REPEAT:
            time = range(time, s->time, e->time, &n);
            offset = static_cast<float>(n) * (e->value - s->value);
            break;
        case MOTION_LINEAR_EXTRAPOLATE:
            return e->value + ratio((time - e->time) * incoming(e, e->previous), e->time - e->previous->time);
        default:
            break;
        }
    }

    const MotionKey* k1 = s->next;
    while (k1 && k1->time < time)
        k1 = k1->next;
    if (!k1 || !(k1->time >= time)) // no key at or after time (NaN included)
        return offset + e->value;
    const MotionKey* k0 = k1->previous;

    if (time == k0->time)
        return offset + k0->value;
    if (time == k1->time)
        return offset + k1->value;
    float t = (time - k0->time) / (k1->time - k0->time);
    float value;
    switch (k1->shape) {
    case MOTION_TCB:
    case MOTION_HERMITE:
    case MOTION_BEZIER: {
        float out = outgoing(k0, k1);
        float in = incoming(k1, k0);
        float h1, h2, h3, h4;
        hermite(t, &h1, &h2, &h3, &h4);
        value = h1 * k0->value + h2 * k1->value + h3 * out + h4 * in;
        break;
    }
    case MOTION_LINEAR:
        value = k0->value + (k1->value - k0->value) * t;
        break;
    case MOTION_STEPPED:
        value = k0->value;
        break;
    case MOTION_BEZIER_2D:
        value = bezier_2d(k0, k1, time);
        break;
    default:
        return offset;
    }
    return offset + value;
}

// The soundtrack, dunravel.mp3: a 90 BPM piece in A minor synthesised note by
// note (kick, snare, clap, hats, bass, pad, plucked chords, bells and a lead
// with a ping-pong delay), arranged in sections that change at the timeline's
// scene beats, then encoded with LAME at fixed settings (44.1 kHz stereo,
// 192 kbit/s CBR). A kick lands on every beat from 0 to 410; its fundamental
// falls from about 110 Hz to 45 Hz, the bass plays between 43 and 110 Hz.
#include "datagen.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const int RATE = 44100;
const int BPM = 90;
const int BEAT = RATE * 60 / BPM;   // 29400 samples per beat
const int SONG_BEATS = 415;         // 276.7 s of music
const int TOTAL = (SONG_BEATS + 2) * BEAT; // plus a ringing tail
const float PI = 3.14159265f;
const float TWO_PI = 6.2831853f;

struct Mix {
    std::vector<float> l, r;
    Mix() : l(TOTAL, 0.0f), r(TOTAL, 0.0f) {}
    void add(int i, float v, float pan) // pan -1 left .. 1 right, equal power
    {
        if (i < 0 || i >= TOTAL)
            return;
        float a = (pan + 1) * 0.25f * PI;
        l[i] += v * std::cos(a);
        r[i] += v * std::sin(a);
    }
};

// Side-chain pumping: the bass and pads duck under every kick and swell back
// within the beat, which keeps the kick clear in the low spectrum bands.
float duck(int sample, float depth)
{
    int pos = ((sample % BEAT) + BEAT) % BEAT;
    return 1 - depth * std::exp(-static_cast<float>(pos) / RATE * 9);
}

float midi_hz(int note) { return 440.0f * std::pow(2.0f, static_cast<float>(note - 69) / 12.0f); }

// Deterministic noise source.
struct Noise {
    uint32_t s;
    explicit Noise(uint32_t seed) : s(seed | 1) {}
    float next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return static_cast<float>(s >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
};

// ---- Instruments (each adds one note into a mix) -----------------------------

void kick(Mix& m, int start, float gain)
{
    // Sine sweeping from 110 Hz down to 45 Hz, with a short click.
    float phase = 0;
    int len = RATE * 45 / 100;
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        float f = 45 + 65 * std::exp(-t * 28);
        phase += TWO_PI * f / RATE;
        float env = std::exp(-t * 7) * std::min(1.0f, t * 800);
        float v = std::sin(phase) * env + 0.3f * std::exp(-t * 300) * std::sin(phase * 3);
        m.add(start + i, v * gain, 0);
    }
}

void snare(Mix& m, int start, float gain, uint32_t seed)
{
    Noise n(seed);
    float hp = 0, prev = 0, phase = 0;
    int len = RATE / 4;
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        float w = n.next();
        hp = 0.7f * (hp + w - prev); // one-pole high-pass
        prev = w;
        phase += TWO_PI * 185 / RATE;
        float v = hp * std::exp(-t * 16) * 0.8f + std::sin(phase) * std::exp(-t * 30) * 0.5f;
        m.add(start + i, v * gain, 0.1f);
    }
}

void clap(Mix& m, int start, float gain, uint32_t seed)
{
    Noise n(seed);
    float bp = 0, lp = 0;
    int len = RATE / 5;
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        float burst = 0;
        for (int k = 0; k < 3; ++k) {
            float tk = t - static_cast<float>(k) * 0.011f;
            if (tk >= 0)
                burst = std::max(burst, std::exp(-tk * (k == 2 ? 22.0f : 120.0f)));
        }
        float w = n.next();
        lp += 0.35f * (w - lp);
        bp = w - lp;
        m.add(start + i, bp * burst * gain, -0.15f);
    }
}

void hat(Mix& m, int start, float gain, bool open, float pan, uint32_t seed)
{
    Noise n(seed);
    float prev = 0, hp = 0;
    int len = open ? RATE / 3 : RATE / 16;
    float decay = open ? 9.0f : 70.0f;
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        float w = n.next();
        hp = 0.4f * (hp + w - prev);
        prev = w;
        m.add(start + i, hp * std::exp(-t * decay) * gain, pan);
    }
}

void crash(Mix& m, int start, float gain, uint32_t seed)
{
    Noise n(seed);
    float prev = 0, hp = 0;
    int len = RATE * 2;
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        float w = n.next();
        hp = 0.5f * (hp + w - prev);
        prev = w;
        float v = hp * std::exp(-t * 2.2f) * gain;
        m.add(start + i, v, (i & 1) ? 0.4f : -0.4f);
    }
}

// Bass: two detuned saws and a sub sine through a resonant-free low-pass whose
// cut-off follows a short envelope.
void bass(Mix& m, int start, int len, int note, float gain, float bright)
{
    float f = midi_hz(note);
    float p1 = 0, p2 = 0, ps = 0, lp1 = 0, lp2 = 0;
    int rel = RATE / 50;
    for (int i = 0; i < len + rel; ++i) {
        float t = static_cast<float>(i) / RATE;
        p1 += f / RATE;
        p2 += f * 1.006f / RATE;
        p1 -= std::floor(p1);
        p2 -= std::floor(p2);
        ps += TWO_PI * f / RATE;
        float saw = (p1 * 2 - 1) + (p2 * 2 - 1);
        float cut = 150 + bright * 1400 * std::exp(-t * 9);
        float k = 1 - std::exp(-TWO_PI * cut / RATE);
        lp1 += k * (saw - lp1);
        lp2 += k * (lp1 - lp2);
        float env = std::min(1.0f, t * 300) * (i < len ? 1.0f : 1.0f - static_cast<float>(i - len) / rel);
        float v = (lp2 * 0.35f + std::sin(ps) * 0.8f) * env * duck(start + i, 0.8f);
        m.add(start + i, v * gain, 0);
    }
}

// Pad: three detuned saws per note, slow attack, soft low-pass; spread in stereo.
void pad(Mix& m, int start, int len, int note, float gain, float cutoff)
{
    float f = midi_hz(note);
    const float det[3] = {0.996f, 1.0f, 1.0045f};
    const float pan[3] = {-0.7f, 0.0f, 0.7f};
    int rel = RATE / 2;
    float attack = 0.35f;
    for (int o = 0; o < 3; ++o) {
        float p = static_cast<float>(o) * 0.31f, lp1 = 0, lp2 = 0;
        float k = 1 - std::exp(-TWO_PI * cutoff / RATE);
        for (int i = 0; i < len + rel; ++i) {
            float t = static_cast<float>(i) / RATE;
            p += f * det[o] / RATE;
            p -= std::floor(p);
            lp1 += k * ((p * 2 - 1) - lp1);
            lp2 += k * (lp1 - lp2);
            float env = std::min(1.0f, t / attack);
            if (i >= len)
                env *= 1 - static_cast<float>(i - len) / rel;
            m.add(start + i, lp2 * env * gain * duck(start + i, 0.5f), pan[o]);
        }
    }
}

// Pluck: a saw with a fast-closing filter, for chord stabs and arpeggios.
void pluck(Mix& m, int start, int note, float gain, float pan, float decay)
{
    float f = midi_hz(note);
    float p = 0, lp = 0;
    int len = static_cast<int>(RATE * std::min(1.5f, 5.0f / decay));
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        p += f / RATE;
        p -= std::floor(p);
        float cut = 300 + 4000 * std::exp(-t * decay * 2);
        lp += (1 - std::exp(-TWO_PI * cut / RATE)) * ((p * 2 - 1) - lp);
        float env = std::exp(-t * decay) * std::min(1.0f, t * 500);
        m.add(start + i, lp * env * gain, pan);
    }
}

// Bell: two-operator FM, bright attack, long ring.
void bell(Mix& m, int start, int note, float gain, float pan)
{
    float f = midi_hz(note);
    float pc = 0, pm = 0;
    int len = RATE * 2;
    for (int i = 0; i < len; ++i) {
        float t = static_cast<float>(i) / RATE;
        pm += TWO_PI * f * 3.5f / RATE;
        pc += TWO_PI * f / RATE;
        float idx = 2.5f * std::exp(-t * 6);
        float v = std::sin(pc + idx * std::sin(pm)) * std::exp(-t * 2.5f) * std::min(1.0f, t * 1000);
        m.add(start + i, v * gain, pan);
    }
}

// Lead: pulse wave with vibrato after the attack and a soft filter.
void lead(std::vector<float>& bus, int start, int len, int note, float gain)
{
    float f = midi_hz(note);
    float p = 0, lp = 0, lp2 = 0;
    int rel = RATE / 10;
    for (int i = 0; i < len + rel; ++i) {
        float t = static_cast<float>(i) / RATE;
        float vib = 1 + 0.006f * std::sin(TWO_PI * 5.5f * t) * std::min(1.0f, std::max(0.0f, t - 0.15f) * 4);
        p += f * vib / RATE;
        p -= std::floor(p);
        float width = 0.35f + 0.12f * std::sin(TWO_PI * 0.7f * t);
        float sq = p < width ? 1.0f : -1.0f;
        float saw = p * 2 - 1;
        float k = 1 - std::exp(-TWO_PI * 2600 / RATE);
        lp += k * ((0.6f * sq + 0.4f * saw) - lp);
        lp2 += k * (lp - lp2);
        float env = std::min(1.0f, t * 120) * (0.75f + 0.25f * std::exp(-t * 6));
        if (i >= len)
            env *= 1 - static_cast<float>(i - len) / rel;
        int j = start + i;
        if (j >= 0 && j < TOTAL)
            bus[static_cast<size_t>(j)] += lp2 * env * gain;
    }
}

// ---- Score ----------------------------------------------------------------------

// Chords of the two progressions: bass root (MIDI) and voicing.
struct Chord {
    int root;
    int notes[4];
};
const Chord MAIN[4] = {{33, {57, 60, 64, 69}},  // Am
                       {29, {57, 60, 65, 69}},  // F
                       {36, {55, 60, 64, 67}},  // C
                       {31, {55, 59, 62, 67}}}; // G
const Chord TENSION[4] = {{29, {57, 60, 65, 69}},  // F
                          {31, {55, 59, 62, 67}},  // G
                          {28, {55, 59, 64, 67}},  // Em
                          {33, {57, 60, 64, 69}}}; // Am

// Melodies: one token per eighth note; "-" holds, "." rests.
const char* MELODY_A = "A4 . C5 E5 - D5 C5 - A4 - - . F4 A4 C5 - G4 . C5 E5 - G5 E5 D5 D5 - - B4 - - . . "
                       "A4 . C5 E5 - A5 G5 E5 F5 - E5 - C5 - A4 - G4 - C5 - E5 - D5 C5 B4 - - - - - . .";
const char* MELODY_B = "E5 - - - - - - - F5 - - - E5 - C5 - E5 - - - G5 - - - D5 - - - - - - - "
                       "C5 - - - B4 - A4 - A4 - - - C5 - F5 - G5 - - - E5 - C5 - B4 - - - - - - -";
const char* MELODY_C = "A5 . E5 . A5 . G5 E5 F5 . C5 . F5 . E5 C5 G5 . E5 . G5 . A5 G5 D5 . B4 . D5 . G5 . "
                       "A5 . E5 . A5 . B5 C6 A5 . F5 . A5 . C6 A5 G5 . E5 . C5 . E5 G5 B5 - - - G5 - . .";
const char* MELODY_H = "C5 - - - D5 - - - B4 - - - G4 - - - E5 - - - D5 - B4 - C5 - - - - - . . "
                       "F5 - - - G5 - - - E5 - - - B4 - - - E5 - - - D5 - - - C5 - B4 - A4 - . .";

int note_from(const char* tok, int len)
{
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    int n = base[tok[0] - 'A'];
    int i = 1, acc = 0;
    if (i < len && tok[i] == '#')
        acc = 1, ++i;
    int octave = tok[i] - '0';
    return 12 * (octave + 1) + n + acc;
}

// Plays a melody (64 eighths = 8 bars) from beat `from` for `beats` beats, looping.
void play_melody(std::vector<float>& bus, const char* melody, int from, int beats, int transpose, float gain)
{
    struct Ev {
        int note, start, len;
    };
    std::vector<Ev> evs;
    int pos = 0;
    const char* p = melody;
    while (*p) {
        while (*p == ' ')
            ++p;
        if (!*p)
            break;
        const char* t = p;
        while (*p && *p != ' ')
            ++p;
        int len = static_cast<int>(p - t);
        if (t[0] == '-') {
            if (!evs.empty() && evs.back().start + evs.back().len == pos)
                evs.back().len += 1;
        } else if (t[0] != '.')
            evs.push_back(Ev{note_from(t, len), pos, 1});
        ++pos;
    }
    int cycle = pos; // eighths
    for (int e = 0; e < beats * 2; e += cycle)
        for (const Ev& ev : evs) {
            int at = e + ev.start;
            if (at >= beats * 2)
                break;
            int len = std::min(ev.len, beats * 2 - at);
            lead(bus, (from * 2 + at) * BEAT / 2, len * BEAT / 2 - RATE / 40, ev.note + transpose, gain);
        }
}

struct Section {
    int from, to;
    float kick, snare, clap, hats, open_hats; // gains (0 = silent)
    int bass_mode;                            // 0 none, 1 whole, 2 eighths, 3 sixteenths
    float pad, plucks, bells, crash;
    const char* melody;
    int transpose;
    bool tension;
};

// Bass modes: 1 an off-beat pulse, 2 eighths, 3 sixteenths.
// Section boundaries follow the timeline's scene changes.
const Section SECTIONS[] = {
    // from to   kick  snare clap hats open  bass pad   pluck bells crash melody    tr tension
    {0, 44, 0.9f, 0.0f, 0.0f, 0.10f, 0.0f, 1, 0.16f, 0.0f, 0.10f, 0.0f, nullptr, 0, false},      // title
    {44, 76, 1.0f, 0.5f, 0.0f, 0.14f, 0.10f, 2, 0.10f, 0.14f, 0.0f, 0.4f, MELODY_A, 0, false},   // metaballs
    {76, 100, 1.0f, 0.5f, 0.3f, 0.16f, 0.12f, 3, 0.12f, 0.0f, 0.12f, 0.4f, MELODY_C, -12, false}, // tunnel
    {100, 132, 0.9f, 0.4f, 0.0f, 0.08f, 0.0f, 1, 0.18f, 0.0f, 0.14f, 0.4f, MELODY_B, 0, false},  // sphere over water
    {132, 164, 1.0f, 0.5f, 0.0f, 0.14f, 0.10f, 2, 0.12f, 0.14f, 0.10f, 0.4f, MELODY_A, -12, false}, // ribbon
    {164, 196, 1.0f, 0.5f, 0.35f, 0.16f, 0.12f, 3, 0.10f, 0.16f, 0.0f, 0.4f, MELODY_C, 0, false}, // twister
    {196, 228, 1.1f, 0.55f, 0.4f, 0.16f, 0.0f, 3, 0.10f, 0.0f, 0.10f, 0.4f, MELODY_H, 0, true},   // spikeball
    {228, 268, 1.0f, 0.45f, 0.0f, 0.12f, 0.08f, 2, 0.12f, 0.10f, 0.14f, 0.4f, MELODY_A, 0, false}, // greetings
    {268, 308, 1.0f, 0.5f, 0.3f, 0.16f, 0.10f, 3, 0.16f, 0.0f, 0.12f, 0.4f, MELODY_H, 0, true},  // terrain
    {308, 361, 1.1f, 0.55f, 0.4f, 0.16f, 0.12f, 3, 0.12f, 0.16f, 0.10f, 0.5f, MELODY_C, 0, false}, // collider
    {361, 397, 0.8f, 0.0f, 0.0f, 0.08f, 0.0f, 1, 0.18f, 0.0f, 0.12f, 0.5f, MELODY_B, -12, false}, // end
    {397, SONG_BEATS, 0.7f, 0.0f, 0.0f, 0.0f, 0.0f, 1, 0.16f, 0.0f, 0.0f, 0.4f, nullptr, 0, false}, // coda
};

void render(Mix& m)
{
    std::vector<float> lead_bus(TOTAL, 0.0f);
    uint32_t seed = 1;
    for (const Section& s : SECTIONS) {
        for (int b = s.from; b < s.to; ++b) {
            int at = b * BEAT;
            int bar = b / 4, in_bar = b % 4;
            const Chord& ch = (s.tension ? TENSION : MAIN)[bar % 4];
            // Fade in the first beats of the title and out over the coda.
            float level = 1;
            if (b < 4)
                level = 0.5f + 0.125f * static_cast<float>(b);
            if (b >= 397)
                level = std::max(0.15f, 1 - static_cast<float>(b - 397) / 16.0f);
            if (b <= 410)
                kick(m, at, s.kick * level);
            if (s.snare > 0 && (in_bar == 1 || in_bar == 3) && !(s.from == 100 && in_bar == 1))
                snare(m, at, s.snare, seed++);
            if (s.clap > 0 && (in_bar == 1 || in_bar == 3))
                clap(m, at, s.clap, seed++);
            if (s.hats > 0)
                for (int k = 0; k < 4; ++k) {
                    bool off = k == 2;
                    if (s.open_hats > 0 && off)
                        hat(m, at + k * BEAT / 4, s.open_hats, true, 0.3f, seed++);
                    else if (s.from != 0 || b >= 12)
                        hat(m, at + k * BEAT / 4, s.hats * (k == 0 ? 1.0f : 0.6f), false, -0.3f + 0.2f * static_cast<float>(k), seed++);
                }
            // Bass.
            if (s.bass_mode == 1 && (s.from != 0 || b >= 12)) // off-beat pulse between the kicks
                bass(m, at + BEAT / 2, BEAT * 7 / 20, ch.root + (in_bar == 3 ? 12 : 0), 0.45f * level, 0.25f);
            if (s.bass_mode == 2)
                for (int k = 0; k < 2; ++k) {
                    int note = ch.root + ((in_bar == 1 && k == 1) || (in_bar == 3 && k == 0) ? 12 : 0);
                    bass(m, at + k * BEAT / 2, BEAT / 2 - RATE / 40, note, 0.42f, 0.5f);
                }
            if (s.bass_mode == 3)
                for (int k = 0; k < 4; ++k) {
                    int note = ch.root + (k == 2 ? 12 : 0);
                    bass(m, at + k * BEAT / 4, BEAT / 4 - RATE / 60, note, 0.40f, k == 0 ? 0.8f : 0.45f);
                }
            // Harmony.
            if (s.pad > 0 && in_bar == 0)
                for (int n : ch.notes)
                    pad(m, at, 4 * BEAT, n, s.pad * level * 0.25f, 1800);
            if (s.plucks > 0)
                for (int k = 1; k < 4; k += 2) // off-beat stabs
                    for (int n : ch.notes)
                        pluck(m, at + k * BEAT / 4, n, s.plucks * 0.3f, 0.2f, 9);
            if (s.bells > 0 && (s.from != 0 || b >= 20))
                for (int k = 0; k < 2; ++k) {
                    int n = ch.notes[(in_bar * 2 + k) % 4] + 12;
                    bell(m, at + k * BEAT / 2, n, s.bells * 0.35f, k ? 0.5f : -0.5f);
                }
            if (s.crash > 0 && b == s.from && b > 0)
                crash(m, at, s.crash * 0.5f, seed++);
        }
        if (s.melody)
            play_melody(lead_bus, s.melody, s.from, s.to - s.from, s.transpose, 0.16f);
    }
    // The title's closing beats (28..43) preview the lead quietly.
    play_melody(lead_bus, MELODY_B, 28, 16, -12, 0.08f);
    // Fills: sixteenth snares over the last beat before each scene change.
    for (int boundary : {44, 76, 100, 132, 164, 196, 228, 268, 361})
        for (int k = 0; k < 4; ++k)
            snare(m, (boundary - 1) * BEAT + k * BEAT / 4, 0.18f + 0.08f * static_cast<float>(k), 9100u + static_cast<uint32_t>(boundary * 4 + k));
    // A snare roll into the collider.
    for (int k = 0; k < 16; ++k)
        snare(m, 304 * BEAT + k * BEAT / 4, 0.12f + 0.03f * static_cast<float>(k), 9000u + static_cast<uint32_t>(k));

    // Lead bus: ping-pong delay of a dotted eighth, then into the mix.
    int d = BEAT * 3 / 4;
    std::vector<float> dl(TOTAL, 0.0f), dr(TOTAL, 0.0f);
    for (int i = 0; i < TOTAL; ++i) {
        float in = lead_bus[static_cast<size_t>(i)];
        float fl = i >= d ? dr[static_cast<size_t>(i - d)] : 0.0f;
        float fr = i >= d ? dl[static_cast<size_t>(i - d)] : 0.0f;
        dl[static_cast<size_t>(i)] = in * 0.35f + fl * 0.45f;
        dr[static_cast<size_t>(i)] = fr * 0.9f;
        m.l[static_cast<size_t>(i)] += in + dl[static_cast<size_t>(i)] * 0.5f;
        m.r[static_cast<size_t>(i)] += in + dr[static_cast<size_t>(i)] * 0.5f;
    }
}

bool encode(const Mix& m, const std::string& path)
{
    // Master: peak normalise with a gentle saturation.
    float peak = 1e-6f;
    for (int i = 0; i < TOTAL; ++i)
        peak = std::max(peak, std::max(std::fabs(m.l[static_cast<size_t>(i)]), std::fabs(m.r[static_cast<size_t>(i)])));
    float gain = 1.6f / peak;
    std::vector<short> l(TOTAL), r(TOTAL);
    float norm = 0.95f / std::tanh(1.6f);
    for (int i = 0; i < TOTAL; ++i) {
        l[static_cast<size_t>(i)] = static_cast<short>(std::lround(std::tanh(m.l[static_cast<size_t>(i)] * gain) * norm * 32767));
        r[static_cast<size_t>(i)] = static_cast<short>(std::lround(std::tanh(m.r[static_cast<size_t>(i)] * gain) * norm * 32767));
    }
    lame_global_flags* gf = lame_init();
    if (!gf)
        return false;
    lame_set_in_samplerate(gf, RATE);
    lame_set_out_samplerate(gf, RATE);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_brate(gf, 192);
    lame_set_VBR(gf, vbr_off);
    lame_set_quality(gf, 7);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "wb+");
    if (!f) {
        lame_close(gf);
        std::fprintf(stderr, "dunravel-datagen: cannot write %s\n", path.c_str());
        return false;
    }
    std::vector<unsigned char> out(static_cast<size_t>(1.25 * 8192 + 7200) * 4);
    bool ok = true;
    const int chunk = 8192;
    for (int i = 0; i < TOTAL && ok; i += chunk) {
        int n = std::min(chunk, TOTAL - i);
        int bytes = lame_encode_buffer(gf, &l[static_cast<size_t>(i)], &r[static_cast<size_t>(i)], n, out.data(), static_cast<int>(out.size()));
        ok = bytes >= 0 && std::fwrite(out.data(), 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
    }
    int bytes = lame_encode_flush(gf, out.data(), static_cast<int>(out.size()));
    ok = ok && bytes >= 0 && std::fwrite(out.data(), 1, static_cast<size_t>(bytes), f) == static_cast<size_t>(bytes);
    if (ok)
        lame_mp3_tags_fid(gf, f); // the Info frame: length, encoder delay and padding
    lame_close(gf);
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "dunravel-datagen: MP3 encoding of %s failed\n", path.c_str());
    return ok;
}

} // namespace

int generate_music(const GenContext& ctx)
{
    const char* name = "dunravel.mp3";
    if (!ctx.wants(name))
        return 0;
    Mix m;
    render(m);
    return encode(m, ctx.dir + name) ? 0 : 1;
}

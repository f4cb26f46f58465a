// A player's keys, shared by the window and the page: which key does what
// (the conventions media players share), where a seek lands (bars and beats
// at the demo's tempo, the scenes as chapters, the ends of the show), held
// keys repeating by time, and the short position line a seek shows. Pure
// functions over SDL key symbols and times; the loops that call them do the
// seeking. Relies on the timeline's rows and names (effects.h).
#pragma once

#include <cstdint>
#include <cstddef>

enum PlayerCommand : int32_t {
    PLAYER_NONE = 0,
    PLAYER_QUIT,           // Escape
    PLAYER_PAUSE,          // Space
    PLAYER_SCREENSHOT,     // 1, F12
    PLAYER_SEEK,           // arrows: amount in beats (a bar is 4)
    PLAYER_PREVIOUS_SCENE, // Page Up
    PLAYER_NEXT_SCENE,     // Page Down
    PLAYER_HOME,           // Home: the start
    PLAYER_STEP,           // '.' and ',': amount in 1/60-s frames, pausing first
    PLAYER_FULLSCREEN,     // f
    PLAYER_MUTE,           // m
    PLAYER_POSITION        // o: show the position line
};

struct PlayerKey {
    int32_t command; // PlayerCommand
    int32_t amount;  // beats for PLAYER_SEEK, frames for PLAYER_STEP, else 0
};

// The command of a key-down: sym is an SDL key symbol, modifiers SDL's
// modifier bits (Shift turns the bar-long arrow seeks into one beat).
PlayerKey player_key(int32_t sym, int32_t modifiers);
// True for the commands a held key repeats (seeks and frame steps; the
// screenshot key keeps its own rule, screenshot.h).
bool player_key_repeats(int32_t command);

// The beat the end card (the closing text alone on black) stands from.
constexpr int32_t PLAYER_END_CARD_BEAT = 397;

// Where a seek command lands, in music seconds, from `now` in a show that
// ends at end_seconds (the earlier of the music's and the timeline's end):
// arrows move by their beats, Home goes to 0, Page Down to the next scene's
// first beat, Page Up to the start of the scene playing (or, within its first
// beat, of the one before), a step by 1/60 s on the 60-per-second grid. A
// target before 0 lands at 0; one at or past the end lands on the end card
// (where it is not already past it: then it stays where it is).
double player_target(PlayerKey key, double now, double end_seconds);
// The clamp alone: target in [0, end), past the end the end card (or now).
double player_clamp(double target, double now, double end_seconds);

// Held keys repeat by time, not by frames: the press acts at once, the
// first repeat comes PLAYER_REPEAT_DELAY_MS later and the next ones every
// PLAYER_REPEAT_MS, counted from when each was due, so the rate does not
// follow the frame times; a stall is not made up for.
constexpr int32_t PLAYER_REPEAT_DELAY_MS = 400;
constexpr int32_t PLAYER_REPEAT_MS = 100;
struct KeyRepeat {
    int32_t sym;       // the key held (0: none)
    int32_t modifiers; // its modifiers at the press
    int64_t next_due;  // counter value of the next repeat
};
// A key-down of a repeating key: it becomes the held one.
void key_repeat_press(KeyRepeat* repeat, int32_t sym, int32_t modifiers, int64_t now, int64_t frequency);
// A key-up: ends the repeat when it is the held key.
void key_repeat_release(KeyRepeat* repeat, int32_t sym);
// Once per frame: 1 when a repeat of the held key is due now (and records it).
int32_t key_repeat_due(KeyRepeat* repeat, int64_t now, int64_t frequency);

// The position line: "<scene>  beat <b>  <m>:<ss.s>", the scene being the
// last scene row that draws at that time ("overlay" before and after the
// scenes). Writes at most size bytes, always terminated.
void player_position_text(double seconds, char* out, size_t size);
// How long the line stays after a seek or `o`, in milliseconds.
constexpr int32_t PLAYER_POSITION_MS = 1000;

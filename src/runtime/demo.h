// The program: start-up in its fixed order, the frame loop and shut-down.
// main() only calls demo_main.
#pragma once

// Runs the demo with the command line; ends the process through exit() on
// every path after the video has opened (the exit handler closes it), and
// returns the exit status otherwise.
int demo_main(int argc, char** argv);

// Draws one frame of the demo at the clock's time: depth clear, black, the
// timeline, present (a no-op without a window).
void demo_draw_frame();
// The same without the present: the frame stays locked for the caller, who
// presents it with frame_end.
void demo_draw_picture();

// Length in seconds of the loaded music track (0 without one).
double demo_music_seconds();
// One warning line on standard error when the track is shorter than the
// timeline: the demo then ends with the music.
void demo_warn_short_music(double track_seconds);

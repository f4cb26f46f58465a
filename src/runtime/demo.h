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

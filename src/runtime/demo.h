// The program: start-up in its fixed order, the frame loop and shut-down.
// main() only calls demo_main.
#pragma once

// Runs the demo with the command line; ends the process through exit() on
// every path after the video has opened (the exit handler closes it), and
// returns the exit status otherwise.
int demo_main(int argc, char** argv);
